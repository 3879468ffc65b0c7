// Starting, pausing, resuming and stopping a conversion; the worker and
// termination threads; the interrupt checks that let blocking library calls
// give up.
#include "engine/FFmpeg.h"
#include "engine/FFmpegDevices.h"
#include "media/FFLoad.h"
#include "platform/UiHandOver.h"

namespace engine {

void TConvertThread::Resume() {
  std::call_once(FStarted, [this] {
    // Reset before the thread exists, so a Stop that follows at once waits.
    FOwner->FStopEvent.Reset();
    FThread.Start([owner = FOwner] { owner->ConvertThreadBody(); });
  });
}

void TCustomFFmpeg::ConvertThreadBody() {
  DoConvert();
  FStopEvent.Set();
}

void TCustomFFmpeg::Fail(const std::string& AMessage) {
  Log(media::llQuiet, AMessage);
  {
    std::lock_guard lock(FFatalLock);
    FFatalMessage = AMessage;
  }
  FFatalException = true;
}

TConvertThread* TCustomFFmpeg::StartConvert(bool AUseThread) {
  if (FConverting || FTerminated) return nullptr;
  const char* refusal = nullptr;
  if (Fnb_output_files <= 0)
    refusal = "At least one output file must be specified";
  else if (Fnb_input_files == 0)
    refusal = "At least one input file must be specified";
  if (refusal) {
    FreeResources();
    Fail(refusal);
    MarkTerminated();
    return nullptr;
  }
  FConverting = true;
  FBroken = false;
  FFinished = false;
  FTerminated = false;
  if (!AUseThread) {
    DoConvert();
    return nullptr;
  }
  FConvertThread = std::make_unique<TConvertThread>(this);
  FThread = FConvertThread.get();
  return FConvertThread.get();
}

void TCustomFFmpeg::DoConvert() {
  // Every step runs whatever the previous one did: an error of any kind is
  // recorded as the task's fatal message, resources are still released and
  // OnTerminate still fires once.
  auto guarded = [this](auto&& AStep) {
    try {
      AStep();
    } catch (const std::exception& e) {
      Fail(e.what());
    } catch (...) {
      Fail("Unexpected error in the conversion");
    }
  };
  FFinished = false;
  guarded([this] { RunConversion(); });
  guarded([this] { FreeResources(); });
  guarded([this] { MarkTerminated(); });
}

void TCustomFFmpeg::MarkTerminated() {
  std::call_once(FTerminateOnce, [this] {
    FConverting = false;
    FTerminated = true;
    FThread = nullptr;
    if (FOnTerminate) {
      try {
        FOnTerminate(this);
      } catch (const std::exception& e) {
        Log(media::llError, e.what());
      } catch (...) {
        Log(media::llError, "OnTerminate failed");
      }
    }
  });
}

void TCustomFFmpeg::Stop(bool AWaitForStop) {
  FBroken = true;
  {
    std::lock_guard lock(FGateLock);
    FPaused = false;
  }
  FGateChanged.notify_all();
  TConvertThread* thread = FThread;
  if (!thread) {
    // A blocked open (or a synchronous run) gives up at its next check.
    FLastRead = 0;
    return;
  }
  if (!AWaitForStop || platform::CurrentThreadId() == thread->Id()) return;
  if (platform::ui::IsUiThread())
    platform::ui::WaitServing(FStopEvent);
  else
    FStopEvent.Wait();
}

void TCustomFFmpeg::Pause() {
  if (!FThread) return;
  std::lock_guard lock(FGateLock);
  FPaused = true;
}

void TCustomFFmpeg::Resume() {
  {
    std::lock_guard lock(FGateLock);
    if (!FPaused) return;
    FPaused = false;
  }
  FGateChanged.notify_all();
}

bool TCustomFFmpeg::Paused() const {
  std::lock_guard lock(FGateLock);
  return FPaused;
}

bool TCustomFFmpeg::WaitAtPauseGate() {
  std::unique_lock lock(FGateLock);
  if (!FPaused || FBroken) return !FBroken;
  lock.unlock();
  // Capture devices leave the paused time out of their timeline.
  for (int32_t i = 0; i < Fnb_input_files; ++i)
    if (Finput_files[i] && Finput_files[i]->device) Finput_files[i]->device->Pause();
  lock.lock();
  FGateChanged.wait(lock, [this] { return !FPaused || FBroken; });
  lock.unlock();
  for (int32_t i = 0; i < Fnb_input_files; ++i)
    if (Finput_files[i] && Finput_files[i]->device) Finput_files[i]->device->Resume();
  return !FBroken;
}

void TCustomFFmpeg::Cancel(bool AWaitForStop) {
  if (FConverting) {
    Stop(AWaitForStop);
    return;
  }
  if (FTerminated) return;
  if (!FTermThread) {
    FTermEvent.Reset();
    FTermThread = std::make_unique<platform::TThread>([this] {
      MarkTerminated();
      FTermEvent.Set();
    });
  }
  if (!AWaitForStop) return;
  if (platform::ui::IsUiThread())
    platform::ui::WaitServing(FTermEvent);
  else
    FTermEvent.Wait();
}

bool TCustomFFmpeg::CheckReadTimeout(void* ASender) {
  if (ASender != this) return false;
  const int64_t last = FLastRead;
  if (last == kNoTime) return false;
  if (last == 0) {
    // Stop cancels whether or not a time-out is set.
    Log(media::llInfo, "connecting/reading/writing canceled");
    return true;
  }
  if (FReadTimeout <= 0) return false;
  if (ff::av_gettime_relative() - last > static_cast<int64_t>(FReadTimeout) * 1000) {
    Log(media::llInfo, "connecting/reading/writing timeout");
    return true;
  }
  return false;
}

bool TCustomFFmpeg::CheckBroken(void* ASender) { return ASender == this && FBroken; }

bool TCustomFFmpeg::ReadTimeoutProc(void* ASender) {
  return static_cast<TCustomFFmpeg*>(ASender)->CheckReadTimeout(ASender);
}

bool TCustomFFmpeg::BrokenProc(void* ASender) {
  return static_cast<TCustomFFmpeg*>(ASender)->CheckBroken(ASender);
}

TReadWatch::TReadWatch(TCustomFFmpeg* AEngine) : FEngine(AEngine) {
  // After a Stop the engine stays cancelled: the open gives up at once.
  FEngine->FLastRead = FEngine->FBroken ? 0 : ff::av_gettime_relative();
  media::InterruptCB().Add(platform::CurrentThreadId(), FEngine, &TCustomFFmpeg::ReadTimeoutProc);
}

void TReadWatch::Refresh() {
  int64_t last = FEngine->FLastRead;
  while (last != 0 && !FEngine->FLastRead.compare_exchange_weak(last, ff::av_gettime_relative())) {
  }
}

TReadWatch::~TReadWatch() {
  media::InterruptCB().Remove(platform::CurrentThreadId(), FEngine,
                              &TCustomFFmpeg::ReadTimeoutProc);
  if (!FEngine->FBroken) FEngine->FLastRead = kNoTime;
}

}  // namespace engine
