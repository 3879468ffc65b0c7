#pragma once
// Inputs that are capture devices: the engine opens an input whose format
// name is a registered capture device through the device's adapter instead
// of the library's demuxer, reads its packets through it, and holds it while
// the task is paused.

#include <memory>
#include <string>

#include "media/FFBindings.h"

namespace capture {
class TRecordingStart;
}

namespace engine {

// An input opened through a capture device.
class TEngineDeviceInput {
 public:
  virtual ~TEngineDeviceInput() = default;
  // The device's format context with its streams (owned by the device).
  virtual AVFormatContext* Context() const = 0;
  virtual int ReadPacket(AVPacket* APacket) = 0;
  virtual void Pause() = 0;
  virtual void Resume() = 0;
};

// True when AFormatName names a registered capture device.
bool IsCaptureDevice(const std::string& AFormatName);
// The time zero that the capture devices of one run share.
std::shared_ptr<capture::TRecordingStart> NewRecordingStart();
// Opens a capture device with its option string, the engine's frame size
// and time base ({0,0} when none) and the run's shared time zero; null with
// the reason in AError and the library code in ACode when the device refuses.
std::unique_ptr<TEngineDeviceInput> OpenCaptureDevice(const std::string& AFormatName,
                                                      const std::string& AOptions, int AWidth,
                                                      int AHeight, AVRational ATimeBase,
                                                      std::shared_ptr<capture::TRecordingStart> AStart,
                                                      std::string& AError, int& ACode);

}  // namespace engine
