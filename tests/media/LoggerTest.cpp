// Line assembly, repeat suppression, level gating and delivery of the logger.
#include <gtest/gtest.h>

#include <cstdarg>
#include <mutex>
#include <string>
#include <vector>

#include "media/FFLog.h"
#include "platform/UiHandOver.h"

using namespace media;

namespace {

void LibraryLog(void* ctx, int level, const char* fmt, ...) {
  va_list args;
  va_start(args, fmt);
  AVLogCallback(ctx, level, fmt, args);
  va_end(args);
}

struct Line {
  platform::ThreadId thread;
  TLogLevel level;
  std::string text;
};

struct Logger : ::testing::Test {
  TFFLogger logger;  // the application's logger for this test
  std::mutex lock;
  std::vector<Line> lines;

  void SetUp() override {
    logger.SetLogLevel(llDebug);
    logger.SetLogLevel(llInfo);
    logger.SetOnLog([this](void* sender, platform::ThreadId tid, TLogLevel level, const std::string& msg) {
      EXPECT_TRUE(sender == &logger || sender == nullptr || sender == this);
      std::lock_guard l(lock);
      lines.push_back({tid, level, msg});
    });
  }
  std::vector<std::string> Texts() {
    std::lock_guard l(lock);
    std::vector<std::string> t;
    for (auto& x : lines) t.push_back(x.text);
    return t;
  }
};

}  // namespace

TEST_F(Logger, FragmentsOfOneThreadBecomeOneLine) {
  LibraryLog(nullptr, 16, "one ");
  LibraryLog(nullptr, 16, "two %d ", 2);
  EXPECT_TRUE(Texts().empty());
  LibraryLog(nullptr, 24, "three\n");
  ASSERT_EQ(Texts(), std::vector<std::string>{"one two 2 three"});
  EXPECT_EQ(lines[0].level, llWarning);  // the level of the call that completed it
  EXPECT_EQ(lines[0].thread, platform::CurrentThreadId());
}

TEST_F(Logger, InterleavedThreadsKeepTheirOwnFragments) {
  platform::TEvent aStarted, bStarted, aDone;
  platform::TThread a([&] {
    LibraryLog(nullptr, 16, "A1 ");
    aStarted.Set();
    bStarted.Wait();
    LibraryLog(nullptr, 16, "A2\n");
    aDone.Set();
  });
  platform::TThread b([&] {
    aStarted.Wait();
    LibraryLog(nullptr, 16, "B1 ");
    bStarted.Set();
    aDone.Wait();
    LibraryLog(nullptr, 16, "B2\n");
  });
  a.Join();
  b.Join();
  ASSERT_EQ(Texts(), (std::vector<std::string>{"A1 A2", "B1 B2"}));
  EXPECT_EQ(lines[0].thread, a.Id());
  EXPECT_EQ(lines[1].thread, b.Id());
}

TEST_F(Logger, RepeatedLinesAreCountedOnce) {
  for (int i = 0; i < 5; ++i) LibraryLog(nullptr, 16, "same line %d\n", 7);
  LibraryLog(nullptr, 16, "different\n");
  EXPECT_EQ(Texts(), (std::vector<std::string>{"same line 7", "    Last message repeated 4 times",
                                               "different"}));
}

TEST_F(Logger, LevelGatesLibraryLinesButVerboseProgramLinesPass) {
  logger.SetLogLevel(llWarning);
  LibraryLog(nullptr, 32, "info from the library\n");
  LibraryLog(nullptr, 24, "warning from the library\n");
  logger.Log(nullptr, llInfo, "info from the program");
  logger.Log(nullptr, llVerbose, "verbose from the program");
  logger.LogFmt(nullptr, llError, "error %s %d%%", "number", 5);
  EXPECT_EQ(Texts(), (std::vector<std::string>{"warning from the library", "verbose from the program",
                                               "error number 5%"}));
  logger.SetLogLevel(llQuiet);
  logger.Log(nullptr, llVerbose, "now silent");
  EXPECT_EQ(Texts().size(), 3u);
}

TEST_F(Logger, OptLogLevelTakesNamesAndNumbers) {
  logger.OptLogLevel("24");
  EXPECT_EQ(logger.LogLevel(), llWarning);
  logger.OptLogLevel("verbose");
  EXPECT_EQ(logger.LogLevel(), llVerbose);
  logger.OptLogLevel("DEBUG");
  EXPECT_EQ(logger.LogLevel(), llDebug);
  EXPECT_THROW(logger.OptLogLevel("loud"), std::invalid_argument);
  EXPECT_THROW(logger.OptLogLevel("24x"), std::invalid_argument);
  EXPECT_THROW(logger.OptLogLevel(""), std::invalid_argument);
  EXPECT_EQ(logger.LogLevel(), llDebug);
}

TEST(LoggerLevels, LibraryLevelsMapBothWays) {
  EXPECT_EQ(LogLevelOf(-8), llQuiet);
  EXPECT_EQ(LogLevelOf(-1), llPanic);
  EXPECT_EQ(LogLevelOf(47), llVerbose);
  EXPECT_EQ(LogLevelOf(100), llDebug);
  EXPECT_EQ(LogLevelOf(-100), llQuiet);
  EXPECT_EQ(LibraryLevel(llQuiet), -8);
  EXPECT_EQ(LibraryLevel(llDebug), 48);
}

TEST_F(Logger, AMessageLongerThanTheLineBufferArrivesWhole) {
  const std::string big(10000, 'x');
  LibraryLog(nullptr, 16, "%s|%s\n", big.c_str(), "end");
  ASSERT_EQ(Texts().size(), 1u);
  EXPECT_EQ(Texts()[0], big + "|end");
}

TEST_F(Logger, EventsRunOnTheUiThreadWhileItWaits) {
  platform::ui::DesignateUiThread();
  std::vector<platform::ThreadId> ranOn;
  logger.SetOnLog([&](void*, platform::ThreadId, TLogLevel, const std::string&) {
    ranOn.push_back(platform::CurrentThreadId());
  });
  platform::TThread worker([&] {
    LibraryLog(nullptr, 16, "from the worker\n");
    logger.Log(nullptr, llError, "program line from the worker");
  });
  ASSERT_TRUE(platform::ui::WaitServing(worker.Finished(), 10000));
  platform::ui::ReleaseUiThread();
  ASSERT_EQ(ranOn.size(), 2u);
  EXPECT_EQ(ranOn[0], platform::CurrentThreadId());
  EXPECT_EQ(ranOn[1], platform::CurrentThreadId());
}

TEST(LoggerInstances, AnApplicationLoggerReplacesTheAutoCreatedOne) {
  TFFLogger& automatic = GetFFLogger();
  EXPECT_EQ(CurrentFFLogger(), &automatic);
  {
    TFFLogger mine;
    EXPECT_EQ(CurrentFFLogger(), &mine);
    EXPECT_EQ(&GetFFLogger(), &mine);
    EXPECT_THROW(TFFLogger second, std::logic_error);
  }
  EXPECT_EQ(CurrentFFLogger(), nullptr);
}
