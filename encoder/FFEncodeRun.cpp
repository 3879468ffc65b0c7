// The encoder's run control: starting the task list on conversion threads or
// synchronously, pause, resume and stop, the progress relay, and the
// termination notifications of each task and of the whole run.
#include <sys/resource.h>

#include "encoder/FFEncode.h"
#include "media/FFLog.h"
#include "platform/UiHandOver.h"

namespace encoder {
namespace {

int NiceValue(TThreadPriority APriority) {
  switch (APriority) {
    case tpIdle: return 19;
    case tpLowest: return 10;
    case tpLower: return 5;
    case tpNormal: return 0;
    case tpHigher: return -5;
    case tpHighest: return -10;
    case tpTimeCritical: return -15;
  }
  return 0;
}

}  // namespace

void TCustomEncoder::Start(int32_t AThreadCount) {
  CheckNotWorking("StartTask");
  {
    std::lock_guard lock(FTerminateLock);
    FCompleteTasks = 0;
    FCurrentTask = 0;
    FPendingTasks = FFFmpegList.Count();
    FTerminated = false;
    FThreadMode = AThreadCount > 0;
    FWorking = true;
    FPaused = false;
  }
  // Nothing to run: the run has ended at once.
  if (FFFmpegList.Count() == 0) {
    std::lock_guard lock(FTerminateLock);
    DoAllTerminated();
    return;
  }
  for (;;) {
    if (FThreadMode) {
      std::lock_guard lock(FTerminateLock);
      if (FPendingTasks <= 0) break;
      StartNextTask();
      if (--AThreadCount == 0) break;
    } else {
      // A synchronous run converts outside the lock, so that Stop from
      // another thread can end it.
      TFFmpeg* task = nullptr;
      {
        std::lock_guard lock(FTerminateLock);
        FSyncLoop = true;
        if (FPendingTasks <= 0) break;
        task = TakeNextTask();
        FSyncTask = task;
      }
      task->StartConvert(false);
    }
  }
  if (FThreadMode) return;
  // After a Stop, the tasks the run had not reached report their end here,
  // in order and before Start returns.
  for (int32_t i = FCurrentTask; i < FFFmpegList.Count(); ++i) FFFmpegList.Items(i)->Cancel(true);
  std::lock_guard lock(FTerminateLock);
  FSyncLoop = false;
  FSyncTask = nullptr;
}

// Called with FTerminateLock held.
TFFmpeg* TCustomEncoder::TakeNextTask() {
  --FPendingTasks;
  TFFmpeg* task = FFFmpegList.Items(FCurrentTask++);
  task->ReportInterval = static_cast<int64_t>(FProgressInterval) * 1000;
  return task;
}

// Called with FTerminateLock held.
void TCustomEncoder::StartNextTask() {
  if (FPendingTasks <= 0) return;
  TFFmpeg* task = TakeNextTask();
  engine::TConvertThread* thread = task->StartConvert(FThreadMode);
  if (FThreadMode && thread) {
    thread->Resume();
    const int nice = NiceValue(FThreadPriority);
    if (nice != 0 && thread->Id() != 0 && ::setpriority(PRIO_PROCESS, static_cast<id_t>(thread->Id()), nice) != 0)
      media::GetFFLogger().Log(this, media::llVerbose,
                               "Cannot set the priority of the conversion thread");
  }
}

void TCustomEncoder::Pause() {
  if (!FWorking || FPaused) return;
  for (int32_t i = 0; i < FFFmpegList.Count(); ++i) FFFmpegList.Items(i)->Pause();
  FPaused = true;
}

void TCustomEncoder::Resume() {
  if (!FWorking || !FPaused) return;
  for (int32_t i = 0; i < FFFmpegList.Count(); ++i) FFFmpegList.Items(i)->Resume();
  FPaused = false;
}

void TCustomEncoder::Stop(bool AWaitForStop) {
  bool syncLoop = false;
  TFFmpeg* syncTask = nullptr;
  {
    // Once this is through, no further task starts.
    std::lock_guard lock(FTerminateLock);
    FPendingTasks = 0;
    syncLoop = FSyncLoop;
    syncTask = FSyncTask;
  }
  if (!FWorking) return;
  if (syncLoop) {
    // A synchronous run: stop the task it runs (which its caller is about
    // to start when it is not converting yet); Start ends the others.
    if (syncTask) {
      while (!syncTask->Converting() && !syncTask->Terminated()) std::this_thread::yield();
      syncTask->Cancel(AWaitForStop);
    }
    return;
  }
  for (int32_t i = 0; i < FFFmpegList.Count(); ++i) FFFmpegList.Items(i)->Cancel(AWaitForStop);
}

void TCustomEncoder::DoProgress(TFFmpeg* ATask, int32_t AFileIndex, int32_t AFrameNumber,
                                int32_t AFPS, float AQuality, float ABitRate, int64_t ACurrentSize,
                                int64_t ACurrentDuration, int64_t ATotalDuration) {
  if (!OnProgress) return;
  std::lock_guard lock(FProgressLock);
  FProgressInfo.TaskIndex = GetTaskIndex(ATask);
  FProgressInfo.FileIndex = AFileIndex;
  FProgressInfo.FrameNumber = AFrameNumber;
  FProgressInfo.FPS = AFPS;
  FProgressInfo.Quality = AQuality;
  FProgressInfo.BitRate = ABitRate;
  FProgressInfo.CurrentSize = ACurrentSize;
  FProgressInfo.CurrentDuration = ACurrentDuration;
  FProgressInfo.TotalDuration = ATotalDuration;
  auto call = [this] {
    if (OnProgress) OnProgress(this, &FProgressInfo);
  };
  if (FTriggerEventInMainThread)
    platform::ui::RunOnUiThread(call);
  else
    call();
}

void TCustomEncoder::DoPreviewBitmap(TFFmpeg* ATask, QImage& ABitmap, int32_t AFrameNumber,
                                     int64_t APTS) {
  if (!OnPreviewBitmap) return;
  std::lock_guard lock(FPreviewLock);
  FPreviewInfo = TPreviewInfo{GetTaskIndex(ATask), &ABitmap, AFrameNumber, APTS};
  auto call = [this] {
    if (OnPreviewBitmap) OnPreviewBitmap(this, FPreviewInfo);
  };
  if (FTriggerEventInMainThread)
    platform::ui::RunOnUiThread(call);
  else
    call();
}

void TCustomEncoder::DoVideoHook(const TVideoHookEvent& AHandler, TFFmpeg* ATask, QImage& ABitmap,
                                 int32_t AFrameNumber, int64_t APTS, bool& AUpdate, bool& AStopHook) {
  if (!AHandler) return;
  std::lock_guard lock(FVideoHookLock);
  FVideoHookInfo = THookInfo{GetTaskIndex(ATask), &ABitmap, AFrameNumber, APTS, AUpdate, AStopHook};
  AHandler(this, &FVideoHookInfo);
  AUpdate = FVideoHookInfo.Update;
  AStopHook = FVideoHookInfo.StopHook;
}

void TCustomEncoder::DoAudioHook(TFFmpeg* ATask, int64_t APTS, uint8_t* ASample, int32_t ASize,
                                 int32_t ASampleRate, int32_t AChannels, AVSampleFormat ASampleFormat) {
  if (!OnAudioHook) return;
  std::lock_guard lock(FAudioHookLock);
  OnAudioHook(this, GetTaskIndex(ATask), APTS, ASample, ASize, ASampleRate, AChannels, ASampleFormat);
}

void TCustomEncoder::DoTerminate(TFFmpeg* ATask) {
  std::lock_guard lock(FTerminateLock);
  if (OnTerminate) {
    FTerminateInfo.TaskIndex = GetTaskIndex(ATask);
    FTerminateInfo.Finished = ATask->Finished();
    FTerminateInfo.Exception = ATask->FatalException();
    FTerminateInfo.ExceptionMsg = ATask->FatalMessage();
    if (FThreadMode || !FWorking)
      Notify(FTerminateInfo);
    else
      OnTerminate(this, FTerminateInfo);
  }
  ++FCompleteTasks;
  if (FPendingTasks <= 0) {
    if (FCompleteTasks >= FFFmpegList.Count()) DoAllTerminated();
  } else if (FThreadMode) {
    StartNextTask();
  }
}

// Called with FTerminateLock held.
void TCustomEncoder::DoAllTerminated() {
  // Finished before the notification, so its handler may clear the list.
  FTerminated = true;
  if (OnTerminate) {
    FTerminateInfo = TTerminateInfo{-1, true, false, {}};
    if (FThreadMode || !FWorking)
      Notify(FTerminateInfo);
    else
      OnTerminate(this, FTerminateInfo);
  }
}

void TCustomEncoder::Notify(const TTerminateInfo& AInfo) {
  JoinNotifyThreads(false);
  std::lock_guard lock(FNotifyLock);
  const uint64_t ticket = FNotifyTickets++;
  auto entry = std::make_unique<TNotifyThread>();
  TNotifyThread* self = entry.get();
  entry->thread = std::thread([this, self, ticket, info = AInfo] {
    {
      std::unique_lock turn(FNotifyLock);
      FNotifyTurn.wait(turn, [&] { return FNotifyServed == ticket; });
    }
    try {
      TTerminateEvent handler = OnTerminate;
      if (handler) handler(this, info);
    } catch (const std::exception& e) {
      media::GetFFLogger().Log(this, media::llError, e.what());
    } catch (...) {
      media::GetFFLogger().Log(this, media::llError, "OnTerminate failed");
    }
    {
      std::lock_guard turn(FNotifyLock);
      ++FNotifyServed;
    }
    FNotifyTurn.notify_all();
    self->done = true;
  });
  FNotifyThreads.push_back(std::move(entry));
}

void TCustomEncoder::JoinNotifyThreads(bool AAll) {
  std::vector<std::unique_ptr<TNotifyThread>> ended;
  {
    std::lock_guard lock(FNotifyLock);
    for (auto it = FNotifyThreads.begin(); it != FNotifyThreads.end();) {
      TNotifyThread& t = **it;
      // A handler that clears the task list runs on one of these: it cannot
      // wait for itself, so its thread is detached and its entry kept.
      if (t.thread.get_id() == std::this_thread::get_id()) {
        t.thread.detach();
        ++it;
      } else if (AAll || t.done) {
        ended.push_back(std::move(*it));
        it = FNotifyThreads.erase(it);
      } else {
        ++it;
      }
    }
  }
  for (auto& t : ended) {
    // A detached thread's entry is released once it has finished.
    if (t->thread.joinable()) t->thread.join();
    while (!t->done) std::this_thread::yield();
  }
}

}  // namespace encoder
