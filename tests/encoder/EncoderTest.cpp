// The encoder component: task list guards, capacity, messages from the
// engine, and the order and threads of the termination notifications in
// threaded and synchronous runs, with Stop in the middle of a run.
#include <sys/resource.h>

#include <QImage>

#include <filesystem>

#include "encoder/FFEncode.h"
#include "engine/EngineTestSupport.h"

namespace enginetest {
using namespace encoder;

namespace {

// Records every OnTerminate call with the thread it came on.
struct TTerminations {
  struct TCall {
    TTerminateInfo info;
    std::thread::id thread;
  };
  std::mutex lock;
  std::vector<TCall> calls;
  platform::TEvent allDone;

  void Attach(TCustomEncoder& AEnc) {
    AEnc.OnTerminate = [this](void*, const TTerminateInfo& AInfo) {
      std::lock_guard g(lock);
      calls.push_back({AInfo, std::this_thread::get_id()});
      if (AInfo.TaskIndex == -1) allDone.Set();
    };
  }
  std::vector<int> Indexes() {
    std::lock_guard g(lock);
    std::vector<int> v;
    for (const auto& c : calls) v.push_back(c.info.TaskIndex);
    return v;
  }
};

}  // namespace

class Encoder : public EngineTest {
 protected:
  // A task converting the 3-second test video into AOut.
  int AddConversion(TFFEncoder& AEnc, const std::string& AOut, const std::string& AInputExt = "") {
    const int task = AEnc.AddTask(VideoFile(), AInputExt);
    EXPECT_GE(task, 0) << AEnc.LastErrMsg();
    if (task < 0) return task;
    EXPECT_TRUE(AEnc.SetOutputFile(task, Out(AOut), "vcodec=mpeg4")) << AEnc.LastErrMsg();
    return task;
  }
};

TEST_F(Encoder, ThreadedRunReportsEachTaskThenTheRun) {
  TTerminations t;  // outlives the encoder, whose threads call it
  TFFEncoder enc;
  t.Attach(enc);
  for (int i = 0; i < 3; ++i) AddConversion(enc, "threaded" + std::to_string(i) + ".avi");
  ASSERT_EQ(enc.TasksCount(), 3);
  // The last progress of each task comes from its conversion thread.
  enc.SetThreadPriority(tpLowest);
  enc.SetTriggerEventInMainThread(false);
  std::atomic<int> nice{-100};
  enc.OnProgress = [&](void*, TProgressInfo*) {
    nice = ::getpriority(PRIO_PROCESS, static_cast<id_t>(platform::CurrentThreadId()));
  };
  enc.Start(1);
  EXPECT_TRUE(enc.Working());
  ASSERT_TRUE(t.allDone.Wait(60000));
  EXPECT_EQ(t.Indexes(), (std::vector<int>{0, 1, 2, -1}));
  EXPECT_EQ(nice.load(), 10) << "the lowest priority is nice 10";
  for (const auto& c : t.calls) {
    EXPECT_NE(c.thread, std::this_thread::get_id()) << "off the caller's thread";
    if (c.info.TaskIndex >= 0) {
      EXPECT_TRUE(c.info.Finished) << c.info.ExceptionMsg;
      EXPECT_FALSE(c.info.Exception);
    }
  }
  EXPECT_TRUE(enc.Terminated());
  for (int i = 0; i < 3; ++i) {
    std::string err;
    EXPECT_EQ(testmedia::DecodeFrameIndexes(Out("threaded" + std::to_string(i) + ".avi"), err).size(), 75u)
        << err;
  }
  EXPECT_THROW(enc.AddTask(VideoFile(), ""), ECannotWhileWorking) << "a finished run still holds";
  enc.ClearTasks();
  EXPECT_FALSE(enc.Working());
  EXPECT_EQ(enc.TasksCount(), 0);
}

TEST_F(Encoder, SynchronousRunDeliversOnTheCallersThread) {
  TTerminations t;  // outlives the encoder, whose threads call it
  TFFEncoder enc;
  t.Attach(enc);
  AddConversion(enc, "sync0.avi");
  AddConversion(enc, "sync1.avi");
  std::atomic<int> progress{0};
  enc.SetTriggerEventInMainThread(false);
  enc.OnProgress = [&](void*, TProgressInfo* AInfo) {
    EXPECT_GE(AInfo->TaskIndex, 0);
    ++progress;
  };
  enc.Start(0);
  EXPECT_EQ(t.Indexes(), (std::vector<int>{0, 1, -1})) << "all delivered when Start returns";
  for (const auto& c : t.calls) EXPECT_EQ(c.thread, std::this_thread::get_id());
  EXPECT_GT(progress.load(), 0);
  EXPECT_TRUE(enc.Terminated());
}

TEST_F(Encoder, StopDuringTheFirstOfTwoTasks) {
  TTerminations t;  // outlives the encoder, whose threads call it
  TFFEncoder enc;
  t.Attach(enc);
  // Real-time reading makes the first task take three seconds.
  AddConversion(enc, "stop0.avi", "re=1");
  AddConversion(enc, "stop1.avi");
  enc.Start(1);
  engine::TCustomFFmpeg* first = enc.Task(0);
  for (int i = 0; i < 500 && first->PacketsRead() < 3; ++i) platform::SleepMs(10);
  EXPECT_THROW(enc.ClearTasks(), ECannotWhileWorking);
  enc.Pause();
  EXPECT_TRUE(enc.Paused());
  enc.Stop(true);
  ASSERT_TRUE(t.allDone.Wait(30000));
  EXPECT_EQ(t.Indexes(), (std::vector<int>{0, 1, -1}));
  EXPECT_FALSE(t.calls[1].info.Finished) << "the second task never converted";
  EXPECT_FALSE(std::filesystem::exists(Out("stop1.avi")) &&
               std::filesystem::file_size(Out("stop1.avi")) > 0);
  enc.ClearTasks();
}

TEST_F(Encoder, StopEndsASynchronousRunFromAnotherThread) {
  TTerminations t;  // outlives the encoder, whose threads call it
  TFFEncoder enc;
  t.Attach(enc);
  AddConversion(enc, "syncstop0.avi", "re=1");
  AddConversion(enc, "syncstop1.avi");
  std::thread stopper([&] {
    engine::TCustomFFmpeg* first = enc.Task(0);
    for (int i = 0; i < 500 && first->PacketsRead() < 3; ++i) platform::SleepMs(10);
    enc.Stop(false);
  });
  enc.Start(0);
  stopper.join();
  ASSERT_TRUE(t.allDone.Wait(30000));
  ASSERT_EQ(t.Indexes(), (std::vector<int>{0, 1, -1}));
  EXPECT_FALSE(t.calls[0].info.Finished) << "stopped in the middle";
  EXPECT_FALSE(t.calls[1].info.Finished) << "never converted";
}

TEST_F(Encoder, GuardsCapacityAndMessages) {
  TFFEncoder enc;
  EXPECT_EQ(enc.Version(), "3.9");
  enc.SetProgressInterval(50);
  EXPECT_EQ(enc.ProgressInterval(), 100);
  // The engine's messages reach LastErrMsg unchanged.
  EXPECT_EQ(enc.AddTask(Out("missing.avi"), ""), -1);
  EXPECT_FALSE(enc.LastErrMsg().empty());
  int stream = 0;
  EXPECT_EQ(enc.AddTask(&stream, "data", nullptr), -1) << "no protocol serves stream names";
  EXPECT_FALSE(enc.LastErrMsg().empty());
  EXPECT_EQ(enc.AddTask(VideoFile(), "r=fast"), -1);
  EXPECT_EQ(enc.LastErrMsg(), "Incorrect frame rate");
  EXPECT_EQ(enc.AddTask(VideoFile(), "nosuchoption=1"), -1);
  EXPECT_EQ(enc.LastErrMsg(), "Unrecognized option \"nosuchoption\"");
  enc.SetHaltOnInvalidOption(false);
  void* probedBy = nullptr;
  AVFormatContext* probed = nullptr;
  enc.OnBeforeFindStreamInfo = [&](void* ASender, AVFormatContext* AContext) {
    probedBy = ASender;
    probed = AContext;
  };
  EXPECT_EQ(enc.AddTask(VideoFile(), "nosuchoption=1"), 0);
  EXPECT_EQ(probedBy, enc.Task(0)) << "the task is the sender";
  EXPECT_EQ(probed, enc.Task(0)->InputFile(0));
  enc.SetHaltOnInvalidOption(true);
  // Capacity of one file per task.
  enc.SetCustomMaxFiles(1);
  const int small = enc.AddTask(VideoFile(), "");
  ASSERT_EQ(small, 1);
  EXPECT_FALSE(enc.AddInputFile(small, VideoFile(), ""));
  EXPECT_EQ(enc.LastErrMsg(), "max input files 1 reached");
  ASSERT_TRUE(enc.SetOutputFile(small, Out("cap.avi"), "vcodec=mpeg4")) << enc.LastErrMsg();
  EXPECT_FALSE(enc.SetOutputFile(small, Out("cap2.avi"), ""));
  EXPECT_EQ(enc.LastErrMsg(), "max output files 1 reached");
  EXPECT_FALSE(enc.SetOutputFile(0, Out("unknown.avi"), "vcodec=nosuch"));
  EXPECT_EQ(enc.LastErrMsg(), "new_video_stream fail: Unknown encoder 'nosuch'");
  EXPECT_THROW(enc.AddInputFile(7, VideoFile(), ""), std::out_of_range);
  // List editing before a run.
  enc.Exchange(0, 1);
  EXPECT_EQ(enc.GetTaskIndex(enc.Task(1)), 1);
  enc.RemoveTask(1);
  EXPECT_EQ(enc.TasksCount(), 1);
  enc.ClearTasks();
  EXPECT_TRUE(enc.LastErrMsg().empty());
}

TEST_F(Encoder, MisuseWhileWorkingAndFailedTasks) {
  TTerminations t;  // outlives the encoder, whose threads call it
  TFFEncoder enc;
  t.Attach(enc);
  // A task without an output fails when it starts.
  ASSERT_EQ(enc.AddTask(VideoFile(), "re=1"), 0);
  AddConversion(enc, "misuse.avi", "re=1");
  enc.Start(2);
  try {
    enc.AddTask(VideoFile(), "");
    ADD_FAILURE() << "no exception";
  } catch (const ECannotWhileWorking& e) {
    EXPECT_STREQ(e.what(), "Cannot AddTask while working.");
  }
  EXPECT_THROW(enc.Start(1), ECannotWhileWorking);
  EXPECT_THROW(enc.RemoveTask(0), ECannotWhileWorking);
  enc.Stop(true);
  ASSERT_TRUE(t.allDone.Wait(30000));
  const auto indexes = t.Indexes();
  ASSERT_EQ(indexes.size(), 3u);
  EXPECT_EQ(indexes.back(), -1);
  for (const auto& c : t.calls)
    if (c.info.TaskIndex == 0) {
      EXPECT_TRUE(c.info.Exception);
      EXPECT_EQ(c.info.ExceptionMsg, "At least one output file must be specified");
    }
}

TEST_F(Encoder, HookAndPreviewRelays) {
  TFFEncoder enc;
  std::atomic<int> outputCalls{0}, inputCalls{0};
  enc.OnVideoOutputHook = [&](void*, THookInfo* AInfo) {
    EXPECT_EQ(AInfo->TaskIndex, 0);
    EXPECT_NE(AInfo->Bitmap, nullptr);
    EXPECT_TRUE(AInfo->Update);
    AInfo->Update = false;
    if (++outputCalls == 3) AInfo->StopHook = true;
  };
  enc.OnVideoInputHook = [&](void*, THookInfo*) { ++inputCalls; };
  // The preview as bitmaps, handed on from the conversion thread.
  std::atomic<int> previews{0};
  enc.SetPreviewBitmap(true);
  enc.SetTriggerEventInMainThread(false);
  enc.OnPreviewBitmap = [&](void*, const TPreviewInfo& AInfo) {
    EXPECT_EQ(AInfo.TaskIndex, 0);
    EXPECT_NE(AInfo.Bitmap, nullptr);
    ++previews;
  };
  ASSERT_EQ(enc.AddTask(VideoFile(), ""), 0) << enc.LastErrMsg();
  ASSERT_TRUE(enc.SetOutputFile(0, Out("hook.avi"), "vcodec=mpeg4\nVideoOutputHook")) << enc.LastErrMsg();
  enc.Start(0);
  EXPECT_EQ(outputCalls.load(), 3) << "StopHook ends the hook";
  EXPECT_EQ(inputCalls.load(), 0) << "the record did not ask for it";
  EXPECT_GT(previews.load(), 0);
}

// An output record with AudioHook, Join and VideoHookBitsPixel: the sound
// reaches OnAudioHook with the task's index, both inputs are appended into
// the one file, and the hook bitmaps have the asked depth.
TEST_F(Encoder, AudioHookJoinAndHookDepthFromTheRecord) {
  TFFEncoder enc;
  std::atomic<int> audioCalls{0}, wrongTask{0}, wrongDepth{0};
  enc.OnAudioHook = [&](void*, int32_t ATask, int64_t, uint8_t*, int32_t, int32_t, int32_t, AVSampleFormat) {
    if (ATask != 0) ++wrongTask;
    ++audioCalls;
  };
  enc.OnVideoOutputHook = [&](void*, THookInfo* AInfo) {
    if (AInfo->Bitmap->depth() != 16) ++wrongDepth;
    AInfo->Update = false;
  };
  ASSERT_EQ(enc.AddTask(AvFile(), ""), 0) << enc.LastErrMsg();
  ASSERT_TRUE(enc.AddInputFile(0, AvFile(), "")) << enc.LastErrMsg();
  EXPECT_FALSE(enc.SetOutputFile(0, Out("hookdepth.avi"), "VideoHookBitsPixel=12"));
  EXPECT_EQ(enc.LastErrMsg(), "Invalid BitsPixel 12");
  ASSERT_TRUE(enc.SetOutputFile(0, Out("joined.avi"),
                                "vcodec=mpeg4\nacodec=pcm_s16le\nAudioHook\nJoin\nVideoOutputHook\n"
                                "VideoHookBitsPixel=16"))
      << enc.LastErrMsg();
  enc.Start(0);
  EXPECT_GT(audioCalls.load(), 0);
  EXPECT_EQ(wrongTask.load(), 0);
  EXPECT_EQ(wrongDepth.load(), 0);
  std::string err;
  const std::vector<int> indexes = testmedia::DecodeFrameIndexes(Out("joined.avi"), err);
  ASSERT_EQ(indexes.size(), 40u) << err;
  EXPECT_EQ(indexes[19], 19);
  EXPECT_EQ(indexes[20], 0);
}

TEST_F(Encoder, EmptyRunEndsAtOnce) {
  TTerminations t;  // outlives the encoder, whose threads call it
  TFFEncoder enc;
  t.Attach(enc);
  enc.Start(1);
  ASSERT_TRUE(t.allDone.Wait(5000));
  EXPECT_EQ(t.Indexes(), std::vector<int>{-1});
  EXPECT_NO_THROW(enc.ClearTasks());
}

TEST_F(Encoder, ClearTasksFromTheRunEndNotification) {
  platform::TEvent cleared;  // outlives the encoder, whose threads set it
  TFFEncoder enc;
  enc.OnTerminate = [&](void*, const TTerminateInfo& AInfo) {
    if (AInfo.TaskIndex != -1) return;
    enc.ClearTasks();
    cleared.Set();
  };
  AddConversion(enc, "clear.avi");
  enc.Start(1);
  ASSERT_TRUE(cleared.Wait(30000));
  EXPECT_EQ(enc.TasksCount(), 0);
  EXPECT_FALSE(enc.Working());
}

}  // namespace enginetest
