#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QTimer>

#include <atomic>
#include <stdexcept>

#include "platform/UiHandOver.h"

using namespace platform;

namespace {
// Each test designates the test thread as the UI thread and releases it.
struct UiThreadScope {
  UiThreadScope() { ui::DesignateUiThread(); }
  ~UiThreadScope() { ui::ReleaseUiThread(); }
};
}  // namespace

TEST(UiHandOver, WithoutUiThreadCallsRunOnTheCaller) {
  ASSERT_FALSE(ui::HasUiThread());
  ThreadId ran = 0;
  TThread t([&] { ui::RunOnUiThread([&] { ran = CurrentThreadId(); }); });
  t.Join();
  EXPECT_EQ(ran, t.Id());
}

TEST(UiHandOver, WaitingUiThreadServesAWorkersCalls) {
  UiThreadScope scope;
  std::atomic<ThreadId> ranOn{0};
  std::atomic<int> posted{0};
  TThread worker([&] {
    // Blocks until the UI thread has run it.
    ui::RunOnUiThread([&] { ranOn = CurrentThreadId(); });
    ui::PostToUiThread([&] { ++posted; });
  });
  // The UI thread waits for the worker and serves it meanwhile: no deadlock.
  ASSERT_TRUE(ui::WaitServing(worker.Finished(), 10000));
  ui::ServeHandOvers();
  EXPECT_EQ(ranOn, CurrentThreadId());
  EXPECT_EQ(posted, 1);
}

TEST(UiHandOver, ExceptionReachesTheWaitingCaller) {
  UiThreadScope scope;
  std::atomic<bool> caught{false};
  TThread worker([&] {
    try {
      ui::RunOnUiThread([] { throw std::runtime_error("boom"); });
    } catch (const std::runtime_error& e) {
      caught = std::string(e.what()) == "boom";
    }
  });
  ASSERT_TRUE(ui::WaitServing(worker.Finished(), 10000));
  EXPECT_TRUE(caught);
}

TEST(UiHandOver, OnTheUiThreadItselfRunsDirectly) {
  UiThreadScope scope;
  int n = 0;
  ui::RunOnUiThread([&] { ++n; });
  EXPECT_EQ(n, 1);
  EXPECT_TRUE(ui::IsUiThread());
}

TEST(UiHandOver, ReleasingTheUiThreadRunsWhatIsPending) {
  ui::DesignateUiThread();
  std::atomic<int> n{0};
  ui::PostToUiThread([&] { ++n; });
  ui::ReleaseUiThread();
  EXPECT_EQ(n, 1);
}

TEST(UiHandOver, WaitServingTimesOut) {
  UiThreadScope scope;
  TEvent never;
  EXPECT_FALSE(ui::WaitServing(never, 20));
}

TEST(UiHandOver, QtEventLoopServesHandOvers) {
  int argc = 1;
  char name[] = "test";
  char* argv[] = {name, nullptr};
  QCoreApplication app(argc, argv);
  UiThreadScope scope;
  std::atomic<ThreadId> ranOn{0};
  TThread worker([&] {
    ui::RunOnUiThread([&] { ranOn = CurrentThreadId(); });
    QMetaObject::invokeMethod(&app, [] { QCoreApplication::quit(); }, Qt::QueuedConnection);
  });
  QTimer::singleShot(10000, &app, [] { QCoreApplication::exit(1); });
  EXPECT_EQ(app.exec(), 0);
  worker.Join();
  EXPECT_EQ(ranOn, CurrentThreadId());
}
