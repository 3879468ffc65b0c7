#pragma once
// Loads the media libraries once and collects the logger's lines.

#include <gtest/gtest.h>

#include <mutex>
#include <string>
#include <vector>

#include "media/FFLoad.h"
#include "media/FFLog.h"

namespace capture::test {

class TLogLines {
 public:
  TLogLines() {
    FLogger.SetTriggerEventInMainThread(false);
    FLogger.SetLogLevel(media::llDebug);
    FLogger.SetOnLog([this](void*, platform::ThreadId, media::TLogLevel, const std::string& msg) {
      std::lock_guard l(FLock);
      FLines.push_back(msg);
    });
  }
  std::vector<std::string> Lines() {
    std::lock_guard l(FLock);
    return FLines;
  }
  // True when some line contains AText.
  bool Has(const std::string& AText) {
    for (const auto& l : Lines())
      if (l.find(AText) != std::string::npos) return true;
    return false;
  }

 private:
  media::TFFLogger FLogger;
  std::mutex FLock;
  std::vector<std::string> FLines;
};

inline void LoadMediaLibraries() {
  ASSERT_TRUE(media::FFLoader().Load(media::kEncoderLibraries)) << media::FFLoader().LastErrMsg();
}

}  // namespace capture::test
