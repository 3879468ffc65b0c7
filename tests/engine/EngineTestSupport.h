#pragma once
// Shared set-up of the engine tests: the bound libraries, a log collector,
// and the test media written once per test program.

#include <gtest/gtest.h>

#include <mutex>
#include <string>
#include <vector>

#include "TestMedia.h"
#include "engine/FFmpeg.h"
#include "media/FFLoad.h"
#include "media/FFLog.h"

namespace enginetest {

// Collects the logger's lines while it lives.
class TLogCollector {
 public:
  TLogCollector() {
    media::GetFFLogger().SetOnLog(
        [this](void*, platform::ThreadId, media::TLogLevel, const std::string& AMsg) {
          std::lock_guard lock(FLock);
          FLines.push_back(AMsg);
        });
  }
  ~TLogCollector() { media::GetFFLogger().SetOnLog(nullptr); }
  bool Contains(const std::string& AText) const {
    std::lock_guard lock(FLock);
    for (const auto& l : FLines)
      if (l.find(AText) != std::string::npos) return true;
    return false;
  }
  std::string All() const {
    std::lock_guard lock(FLock);
    std::string all;
    for (const auto& l : FLines) all += l + "\n";
    return all;
  }
  int Count(const std::string& AText) const {
    std::lock_guard lock(FLock);
    int n = 0;
    for (const auto& l : FLines)
      if (l.find(AText) != std::string::npos) ++n;
    return n;
  }

 private:
  mutable std::mutex FLock;
  std::vector<std::string> FLines;
};

// Loads the libraries once and writes the test media into a temporary
// directory shared by the tests of one program.
class EngineTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    ASSERT_TRUE(media::FFLoader().Load(media::kEncoderLibraries)) << media::FFLoader().LastErrMsg();
    media::GetFFLogger().SetLogLevel(media::llInfo);
    Dir() = std::make_unique<testmedia::TTempDir>();
    testmedia::TMediaSpec spec;
    spec.path = Dir()->Path("av.avi");
    spec.sar = AVRational{4, 3};
    std::string err;
    ASSERT_TRUE(testmedia::WriteTestMedia(spec, err)) << err;
    testmedia::TMediaSpec silent;
    silent.path = Dir()->Path("video.avi");
    silent.audio = false;
    silent.width = 96;
    silent.height = 64;
    silent.rate = AVRational{25, 1};
    silent.frames = 75;
    ASSERT_TRUE(testmedia::WriteTestMedia(silent, err)) << err;
  }
  static void TearDownTestSuite() { Dir().reset(); }
  static std::unique_ptr<testmedia::TTempDir>& Dir() {
    static std::unique_ptr<testmedia::TTempDir> dir;
    return dir;
  }
  static std::string AvFile() { return Dir()->Path("av.avi"); }
  static std::string VideoFile() { return Dir()->Path("video.avi"); }
  static std::string Out(const std::string& AName) { return Dir()->Path(AName); }
};

// The message of the exception SetExtOption raises for the option, or
// "(no exception)" when it accepts it.
inline std::string OptionFailure(engine::TCustomFFmpeg& AEngine, const std::string& AName,
                                 const std::string& AValue) {
  try {
    AEngine.SetExtOption(AName, AValue);
  } catch (const std::exception& ex) {
    return ex.what();
  }
  return "(no exception)";
}

}  // namespace enginetest
