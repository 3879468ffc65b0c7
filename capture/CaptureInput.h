#pragma once
// The engine's reader for inputs that are capture devices.
//
// Open allocates a format context (public fields only), hands the option
// string to the device as the context's URL (at most 1023 characters),
// creates the device's private record and calls its read_header; ReadPacket
// calls read_packet and numbers packets that carry no timestamp by their
// durations from 0 in the stream's time base; Close calls read_close and
// frees everything. The library's probe, dump, seek and pause/play functions
// are never called on such a context.

#include <cstdint>
#include <string>

#include "capture/CaptureDevices.h"

namespace capture {

// Longest option string a device sees.
constexpr size_t kMaxOptionLength = 1023;

class TDeviceInput {
 public:
  TDeviceInput() = default;
  TDeviceInput(const TDeviceInput&) = delete;
  TDeviceInput& operator=(const TDeviceInput&) = delete;
  ~TDeviceInput() { Close(); }

  // True when AFormatName names a registered device.
  static bool IsDevice(const std::string& AFormatName);

  // Opens the device; 0 or a negative library error code, with the reason in
  // LastErrMsg. AParams may be null (no engine defaults).
  int Open(const std::string& AFormatName, const std::string& AOptions,
           const TFormatParameters* AParams = nullptr);
  // Reads one packet into APacket (unreferenced first); returns its size or a
  // negative error code. Packets get pts, dts and duration in the stream's
  // time base.
  int ReadPacket(AVPacket* APacket);
  // Holds and resumes reading (the engine's pause); the time in between is
  // left out of the device's timeline. No-op for devices that do not care.
  void Pause();
  void Resume();
  void Close();

  bool Opened() const { return FContext != nullptr; }
  AVFormatContext* Context() const { return FContext; }
  // The one stream of the device (nullptr while closed).
  AVStream* Stream() const;
  const AVCodecParameters* CodecParameters() const;
  AVRational TimeBase() const;
  // The capture frame rate (video), {0,1} when there is none.
  AVRational FrameRate() const;

  const std::string& LastErrMsg() const { return FLastErrMsg; }
  // Used by DeviceLog: the log context that names the device, and the last
  // error line of the device.
  void* LogContext() { return &FLogContext; }
  void SetLastErrMsg(std::string AMsg) { FLastErrMsg = std::move(AMsg); }

 private:
  int64_t DefaultDuration(const AVStream* AStream) const;
  // Sample frames in an audio payload of ABytes.
  static int64_t AudioSamples(const AVCodecParameters* APar, int ABytes);

  struct TLogContext {
    const AVClass* av_class;
  };
  AVClass FLogClass{};
  TLogContext FLogContext{&FLogClass};
  const TCaptureDevice* FDevice = nullptr;
  AVFormatContext* FContext = nullptr;
  TPrivData FPriv{nullptr, [](void*) {}};
  int64_t FNextDts = 0;
  int64_t FSamples = 0;  // audio sample frames delivered so far
  bool FPaused = false;
  std::string FLastErrMsg;
};

}  // namespace capture
