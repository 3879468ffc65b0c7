#pragma once
// What the engine takes from the media runtime and the capture devices: the
// text of a library result code, file names between the program and the
// libraries, and inputs that are capture devices. One place, so the engine
// code reads the same whichever unit provides them.

#include <memory>
#include <string>

#include "media/FFBindings.h"

namespace engine {

// APrefix + ": " + the text of a library result code.
std::string EngineErrorText(const std::string& APrefix, int ACode);
// The 8-bit name handed to the libraries for a program file name.
std::string EngineEncodeFileName(const std::string& AName);
// The program's name for a name read back from a library context.
std::string EngineDecodeFileName(const std::string& AName8);

// An input opened through a capture device instead of a demuxer.
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
// Opens a capture device with its option string; null with the reason in
// AError when the device refuses.
std::unique_ptr<TEngineDeviceInput> OpenCaptureDevice(const std::string& AFormatName,
                                                      const std::string& AOptions, int AWidth,
                                                      int AHeight, AVRational ATimeBase,
                                                      std::string& AError, int& ACode);

}  // namespace engine
