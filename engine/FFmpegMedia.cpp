#include "engine/FFmpegMedia.h"

namespace engine {

// Local until the media runtime's ErrorText lands: the library's own text.
std::string EngineErrorText(const std::string& APrefix, int ACode) {
  return APrefix + ": " + ff::err2str(ACode);
}

std::string EngineEncodeFileName(const std::string& AName) { return AName; }

std::string EngineDecodeFileName(const std::string& AName8) {
  static const std::string kPrefix = "unicode:utf8:";
  if (AName8.size() > kPrefix.size() && AName8.compare(0, kPrefix.size(), kPrefix) == 0)
    return AName8.substr(kPrefix.size());
  return AName8;
}

// No capture devices until the capture unit lands.
bool IsCaptureDevice(const std::string&) { return false; }

std::unique_ptr<TEngineDeviceInput> OpenCaptureDevice(const std::string& AFormatName,
                                                      const std::string&, int, int, AVRational,
                                                      std::string& AError, int& ACode) {
  AError = "Unknown input format: \"" + AFormatName + "\"";
  ACode = AVERROR(EINVAL);
  return nullptr;
}

}  // namespace engine
