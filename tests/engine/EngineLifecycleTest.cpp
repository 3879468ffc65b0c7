// Starting, pausing, resuming, stopping and cancelling a task.
#include <atomic>
#include <chrono>
#include <thread>

#include "EngineTestSupport.h"
#include "platform/UiHandOver.h"

namespace enginetest {
using engine::TCustomFFmpeg;
using namespace std::chrono_literals;

class EngineLifecycle : public EngineTest {
 protected:
  // Waits up to ATimeout for the condition.
  static bool WaitFor(const std::function<bool()>& ADone, std::chrono::milliseconds ATimeout) {
    const auto until = std::chrono::steady_clock::now() + ATimeout;
    while (!ADone()) {
      if (std::chrono::steady_clock::now() > until) return false;
      std::this_thread::sleep_for(5ms);
    }
    return true;
  }
};

TEST_F(EngineLifecycle, StartWithoutOutputsFailsOnceAndForAll) {
  TLogCollector log;
  TCustomFFmpeg e(1);
  std::atomic<int> terminated{0};
  e.SetOnTerminate([&](void* ASender) {
    EXPECT_EQ(ASender, &e);
    ++terminated;
  });
  ASSERT_TRUE(e.OpenInput(AvFile())) << e.LastErrMsg();
  EXPECT_EQ(e.StartConvert(true), nullptr);
  EXPECT_EQ(terminated, 1) << "OnTerminate fired before StartConvert returned";
  EXPECT_TRUE(e.FatalException());
  EXPECT_EQ(e.FatalMessage(), "At least one output file must be specified");
  EXPECT_TRUE(log.Contains("At least one output file must be specified"));
  EXPECT_TRUE(e.Terminated());
  EXPECT_EQ(e.nb_input_files(), 0) << "resources are released";
  EXPECT_EQ(e.StartConvert(true), nullptr);
  e.Cancel(true);
  EXPECT_EQ(terminated, 1) << "a terminated task never fires again";
}

TEST_F(EngineLifecycle, StartWithoutInputs) {
  TCustomFFmpeg e(1);
  ASSERT_EQ(e.OpenOutput(Out("noinput.avi"), false), 1) << e.LastErrMsg();
  EXPECT_EQ(e.StartConvert(false), nullptr);
  EXPECT_EQ(e.FatalMessage(), "At least one input file must be specified");
}

TEST_F(EngineLifecycle, CancelOfANeverStartedTaskTerminatesOnAnotherThread) {
  TCustomFFmpeg e(1);
  std::atomic<platform::ThreadId> where{0};
  std::atomic<int> terminated{0};
  e.SetOnTerminate([&](void*) {
    where = platform::CurrentThreadId();
    ++terminated;
  });
  e.Cancel(true);
  EXPECT_EQ(terminated, 1);
  EXPECT_NE(where, platform::CurrentThreadId());
  EXPECT_TRUE(e.Terminated());
  e.Cancel(true);
  EXPECT_EQ(terminated, 1);
}

TEST_F(EngineLifecycle, TerminationThreadDoesNotOutliveTheEngine) {
  std::atomic<int> terminated{0};
  {
    TCustomFFmpeg e(1);
    e.SetOnTerminate([&](void*) {
      std::this_thread::sleep_for(50ms);
      ++terminated;
    });
    e.Cancel(false);
  }
  EXPECT_EQ(terminated, 1) << "the destructor waited for the notification";
}

TEST_F(EngineLifecycle, HeldThreadConvertsNothingUntilResumed) {
  TCustomFFmpeg e(1);
  ASSERT_TRUE(e.OpenInput(VideoFile())) << e.LastErrMsg();
  ASSERT_EQ(e.OpenOutput(Out("held.avi"), false), 1) << e.LastErrMsg();
  std::atomic<int> terminated{0};
  e.SetOnTerminate([&](void*) { ++terminated; });
  engine::TConvertThread* t = e.StartConvert(true);
  ASSERT_NE(t, nullptr);
  EXPECT_TRUE(e.Converting());
  std::this_thread::sleep_for(100ms);
  EXPECT_EQ(e.PacketsRead(), 0);
  t->Resume();
  ASSERT_TRUE(WaitFor([&] { return terminated == 1; }, 20s));
  EXPECT_TRUE(e.Finished());
  EXPECT_FALSE(e.FatalException());
  EXPECT_EQ(e.PacketsRead(), 75);
  EXPECT_FALSE(e.Converting());
}

TEST_F(EngineLifecycle, PauseHoldsReadingResumeContinuesStopEnds) {
  TCustomFFmpeg e(1);
  e.SetExtOption("re", "");  // 75 frames at 25/s: three seconds of reading
  ASSERT_TRUE(e.OpenInput(VideoFile())) << e.LastErrMsg();
  ASSERT_EQ(e.OpenOutput(Out("paused.avi"), false), 1) << e.LastErrMsg();
  std::atomic<int> terminated{0};
  e.SetOnTerminate([&](void*) { ++terminated; });
  engine::TConvertThread* t = e.StartConvert(true);
  ASSERT_NE(t, nullptr);
  t->Resume();
  ASSERT_TRUE(WaitFor([&] { return e.PacketsRead() >= 3; }, 10s));
  e.Pause();
  EXPECT_TRUE(e.Paused());
  std::this_thread::sleep_for(100ms);  // lets a read in progress finish
  const int64_t held = e.PacketsRead();
  std::this_thread::sleep_for(400ms);
  EXPECT_EQ(e.PacketsRead(), held) << "nothing is read while paused";
  e.Resume();
  EXPECT_TRUE(WaitFor([&] { return e.PacketsRead() > held; }, 10s)) << "reading goes on";
  e.Pause();
  std::this_thread::sleep_for(50ms);
  e.Stop(true);  // opens the gate and waits for the end
  EXPECT_EQ(terminated, 1);
  EXPECT_TRUE(e.Terminated());
  EXPECT_FALSE(e.Finished()) << "a stopped task did not finish";
  EXPECT_FALSE(e.FatalException());
  EXPECT_LT(e.PacketsRead(), 75);
}

TEST_F(EngineLifecycle, StopOnTheUiThreadKeepsServingHandOvers) {
  platform::ui::DesignateUiThread();
  {
    TCustomFFmpeg e(1);
    e.SetExtOption("re", "");
    ASSERT_TRUE(e.OpenInput(VideoFile())) << e.LastErrMsg();
    ASSERT_EQ(e.OpenOutput(Out("ui.avi"), false), 1) << e.LastErrMsg();
    std::atomic<bool> handedOver{false};
    // The terminating worker waits for the UI thread while the UI thread
    // waits for the worker.
    e.SetOnTerminate([&](void*) { platform::ui::RunOnUiThread([&] { handedOver = true; }); });
    engine::TConvertThread* t = e.StartConvert(true);
    ASSERT_NE(t, nullptr);
    t->Resume();
    std::this_thread::sleep_for(100ms);
    e.Stop(true);
    EXPECT_TRUE(handedOver);
  }
  platform::ui::ReleaseUiThread();
}

TEST_F(EngineLifecycle, ErrorsOfAnyTypeInTheHandlersDoNotEndTheProcess) {
  TCustomFFmpeg e(1);
  ASSERT_TRUE(e.OpenInput(VideoFile())) << e.LastErrMsg();
  ASSERT_EQ(e.OpenOutput(Out("throws.avi"), false), 1) << e.LastErrMsg();
  std::atomic<int> terminated{0};
  e.SetOnTerminate([&](void*) {
    ++terminated;
    throw 42;  // not even a std::exception
  });
  engine::TConvertThread* t = e.StartConvert(true);
  ASSERT_NE(t, nullptr);
  t->Resume();
  ASSERT_TRUE(WaitFor([&] { return e.Terminated(); }, 20s));
  e.Stop(true);
  EXPECT_EQ(terminated, 1);
}

TEST_F(EngineLifecycle, DestroyingARunningTaskStopsAndJoins) {
  std::atomic<int> terminated{0};
  {
    TCustomFFmpeg e(1);
    e.SetExtOption("re", "");
    ASSERT_TRUE(e.OpenInput(VideoFile())) << e.LastErrMsg();
    ASSERT_EQ(e.OpenOutput(Out("destroyed.avi"), false), 1) << e.LastErrMsg();
    e.SetOnTerminate([&](void*) { ++terminated; });
    e.StartConvert(true)->Resume();
    std::this_thread::sleep_for(100ms);
  }
  EXPECT_EQ(terminated, 1);
}

}  // namespace enginetest
