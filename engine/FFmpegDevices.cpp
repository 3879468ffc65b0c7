#include "engine/FFmpegDevices.h"

namespace engine {

// No capture devices are registered in this build yet.
bool IsCaptureDevice(const std::string&) { return false; }

std::unique_ptr<TEngineDeviceInput> OpenCaptureDevice(const std::string& AFormatName,
                                                      const std::string&, int, int, AVRational,
                                                      std::string& AError, int& ACode) {
  AError = "Unknown input format: \"" + AFormatName + "\"";
  ACode = AVERROR(EINVAL);
  return nullptr;
}

}  // namespace engine
