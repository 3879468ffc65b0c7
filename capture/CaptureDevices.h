#pragma once
// The process-wide registry of the program's capture devices.
//
// The media library of this generation cannot take input formats from an
// application, so each device is a record of its own operations: the engine
// opens an input whose format name is a registered device through
// TDeviceInput (CaptureInput.h) instead of the library's demuxer.

#include <cstdarg>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

extern "C" {
#include <libavformat/avformat.h>
}

#include "capture/CaptureClock.h"

namespace capture {

// The engine's defaults for an input, handed to read_header: frame size and
// time base (zero when the engine has none).
struct TFormatParameters {
  int width = 0;
  int height = 0;
  AVRational time_base{0, 0};
  // The time zero shared with the run's other capture devices; null: the
  // device's own first read.
  std::shared_ptr<TRecordingStart> recording_start;
};

// A device's private record, owned by the adapter while the input is open.
using TPrivData = std::unique_ptr<void, void (*)(void*)>;

struct TCaptureDevice {
  const char* name;
  const char* long_name;
  // Creates the zero-filled private record (value-initialised).
  TPrivData (*create_priv)();
  int (*read_header)(AVFormatContext* s, const TFormatParameters* ap);
  int (*read_packet)(AVFormatContext* s, AVPacket* pkt);
  int (*read_close)(AVFormatContext* s);
  // Optional: the engine holds reading (pause) and lets it go on (play).
  int (*read_pause)(AVFormatContext* s);
  int (*read_play)(AVFormatContext* s);
};

// Value-initialised private record of type T, as create_priv.
template <typename T>
TPrivData MakePrivData() {
  return TPrivData(new T(), [](void* p) { delete static_cast<T*>(p); });
}

// Adds a device unless the very same record (by the identity of its name
// string) is registered already. Registration is permanent.
void RegisterInputFormat(const TCaptureDevice& AFormat);
// Registers "screencapture" (ScreenCapture.cpp).
void RegisterScreenCapture();
// Registers "wavecapture" (WaveCapture.cpp).
void RegisterWaveCapture();
// The registered device with this name (text comparison), or nullptr.
const TCaptureDevice* FindCaptureDevice(const std::string& AName);
// Names of the registered devices, in registration order.
std::vector<std::string> CaptureDeviceNames();

// Logs a device line through the library with the format context as the log
// context; error lines also become the open input's last error message.
void DeviceLog(AVFormatContext* s, int ALevel, const char* AFormat, ...)
    __attribute__((format(printf, 3, 4)));

}  // namespace capture
