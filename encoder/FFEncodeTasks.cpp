// The encoder's task list: creating tasks, adding their inputs and outputs
// (each opened at once), removing and clearing them, and loading the media
// libraries.
#include <cstdint>

#include "encoder/FFEncode.h"
#include "media/FFLoad.h"

namespace encoder {

// ---- TFFmpeg ----

TFFmpeg::TFFmpeg(int32_t AMaxFiles, TCustomEncoder* AParent)
    : engine::TCustomFFmpeg(AMaxFiles),
      FInputOptions(static_cast<size_t>(AMaxFiles)),
      FOutputOptions(static_cast<size_t>(AMaxFiles)),
      FParent(AParent) {}

TFFmpeg::~TFFmpeg() {
  SetOnTerminate(nullptr);
  SetOnProgress(nullptr);
  SetOnBeforeFindStreamInfo(nullptr);
  SetOnPreviewBitmap(nullptr);
  SetOnInputVideoHook(nullptr);
  SetOnOutputVideoHook(nullptr);
  SetOnAudioHook(nullptr);
}

// ---- TFFmpegList ----

int32_t TFFmpegList::Add(std::unique_ptr<TFFmpeg> ATask) {
  FItems.push_back(std::move(ATask));
  return Count() - 1;
}

TFFmpeg* TFFmpegList::Items(int32_t AIndex) const {
  if (AIndex < 0 || AIndex >= Count())
    throw std::out_of_range("List index out of bounds (" + std::to_string(AIndex) + ")");
  return FItems[static_cast<size_t>(AIndex)].get();
}

void TFFmpegList::Delete(int32_t AIndex) {
  Items(AIndex);
  FItems.erase(FItems.begin() + AIndex);
}

void TFFmpegList::Clear() {
  // Freed one by one, last first, so a task never outlives a later one.
  while (!FItems.empty()) FItems.pop_back();
}

void TFFmpegList::Exchange(int32_t AIndex1, int32_t AIndex2) {
  Items(AIndex1);
  Items(AIndex2);
  std::swap(FItems[static_cast<size_t>(AIndex1)], FItems[static_cast<size_t>(AIndex2)]);
}

int32_t TFFmpegList::IndexOf(const TFFmpeg* ATask) const {
  for (size_t i = 0; i < FItems.size(); ++i)
    if (FItems[i].get() == ATask) return static_cast<int32_t>(i);
  return -1;
}

// ---- TCustomEncoder: libraries ----

TCustomEncoder::TCustomEncoder() = default;

TCustomEncoder::~TCustomEncoder() {
  // Running tasks end first, then the tasks go, then the notification
  // threads they started deliver and are joined.
  if (FWorking) Stop(true);
  FFFmpegList.Clear();
  JoinNotifyThreads(true);
  std::lock_guard progress(FProgressLock);
  std::lock_guard terminate(FTerminateLock);
  std::lock_guard preview(FPreviewLock);
  std::lock_guard hook(FVideoHookLock);
}

bool TCustomEncoder::AVLibLoaded() const { return media::FFLoader().Loaded(media::kEncoderLibraries); }

bool TCustomEncoder::LoadAVLib(const std::string& APath) {
  media::FFLoader().SetLibraryPath(APath);
  if (media::FFLoader().Load(media::kEncoderLibraries)) return true;
  FLastErrMsg = media::FFLoader().LastErrMsg();
  return false;
}

void TCustomEncoder::UnloadAVLib() { media::FFLoader().Unload(media::kEncoderLibraries); }

// ---- TCustomEncoder: task list ----

void TCustomEncoder::CheckNotWorking(const char* AOperation) const {
  if (FWorking) throw ECannotWhileWorking(std::string("Cannot ") + AOperation + " while working.");
}

void TCustomEncoder::ApplyPostHooks(TFFmpeg& ATask) const {
  engine::TPostHooks hooks = ATask.FPostHooks;
  hooks = FPreview ? (hooks | engine::phPreview) : (hooks & ~engine::phPreview);
  hooks = FPreviewBitmap ? (hooks | engine::phBitmap) : (hooks & ~engine::phBitmap);
  ATask.SetPostHooks(hooks);
}

std::unique_ptr<TFFmpeg> TCustomEncoder::NewTask() {
  // Fewer than one file per task leaves no room for the first input.
  auto task = std::make_unique<TFFmpeg>(FCustomMaxFiles < 1 ? 1 : FCustomMaxFiles, this);
  task->HaltOnInvalidOption = FHaltOnInvalidOption;
  task->Fverbose = FVerbose;
  ApplyPostHooks(*task);
  TFFmpeg* t = task.get();
  task->SetOnBeforeFindStreamInfo([this, t](void*, AVFormatContext* AContext) {
    if (OnBeforeFindStreamInfo) OnBeforeFindStreamInfo(t, AContext);
  });
  task->SetOnPreviewBitmap([this, t](void*, QImage& ABitmap, int32_t AFrame, int64_t APTS) {
    DoPreviewBitmap(t, ABitmap, AFrame, APTS);
  });
  return task;
}

void TCustomEncoder::BindRunEvents(TFFmpeg& ATask) {
  TFFmpeg* t = &ATask;
  ATask.SetOnProgress([this, t](void*, int32_t AFile, int32_t AFrame, int32_t AFPS, float AQ,
                                float ABitRate, int64_t ASize, int64_t ADuration, int64_t ATotal) {
    DoProgress(t, AFile, AFrame, AFPS, AQ, ABitRate, ASize, ADuration, ATotal);
  });
  ATask.SetOnTerminate([this, t](void*) { DoTerminate(t); });
}

int32_t TCustomEncoder::AddTask(const std::string& AFileName, TInputOptions* AOptions) {
  CheckNotWorking("AddTask");
  std::unique_ptr<TFFmpeg> task;
  try {
    task = NewTask();
    if (AOptions) {
      if (AOptions->FileName.empty()) AOptions->FileName = AFileName;
      task->FInputOptions[static_cast<size_t>(task->Fnb_input_files)] = *AOptions;
      ApplyInputOptions(*task, *AOptions);
    }
    task->SetReadTimeout(FReadTimeout);
    if (!task->OpenInput(AFileName)) {
      FLastErrMsg = task->LastErrMsg();
      return -1;
    }
  } catch (const std::exception& e) {
    FLastErrMsg = e.what();
    return -1;
  }
  BindRunEvents(*task);
  return FFFmpegList.Add(std::move(task));
}

int32_t TCustomEncoder::AddTask(const std::string& AFileName, const std::string& AExtOptions) {
  TInputOptions options = InputOptionsFromText(AExtOptions);
  return AddTask(AFileName, &options);
}

namespace {
std::string StreamName(const void* AStream, const std::string& APrivateData) {
  return "stream:" + std::to_string(reinterpret_cast<uintptr_t>(AStream)) + ":" + APrivateData;
}
}  // namespace

int32_t TCustomEncoder::AddTask(const void* AStream, const std::string& APrivateData,
                                TInputOptions* AOptions) {
  return AddTask(StreamName(AStream, APrivateData), AOptions);
}

bool TCustomEncoder::SetOutputStream(int32_t ATaskIndex, const void* AStream,
                                     const std::string& APrivateData, TOutputOptions* AOptions) {
  return SetOutputFile(ATaskIndex, StreamName(AStream, APrivateData), AOptions);
}

bool TCustomEncoder::AddInputFile(int32_t ATaskIndex, const std::string& AFileName,
                                  TInputOptions* AOptions) {
  CheckNotWorking("AddInputFile");
  TFFmpeg* task = FFFmpegList.Items(ATaskIndex);
  const int32_t slot = task->Fnb_input_files;
  if (slot >= task->MaxFiles()) {
    FLastErrMsg = engine::Format("max input files %d reached", task->MaxFiles());
    return false;
  }
  auto& stored = task->FInputOptions[static_cast<size_t>(slot)];
  try {
    task->HaltOnInvalidOption = FHaltOnInvalidOption;
    if (AOptions) {
      if (AOptions->FileName.empty()) AOptions->FileName = AFileName;
      stored = *AOptions;
      ApplyInputOptions(*task, *AOptions);
    } else {
      stored.reset();
    }
    task->SetReadTimeout(FReadTimeout);
    if (task->OpenInput(AFileName)) return true;
    stored.reset();
    FLastErrMsg = task->LastErrMsg();
  } catch (const std::exception& e) {
    FLastErrMsg = e.what();
  }
  return false;
}

bool TCustomEncoder::AddInputFile(int32_t ATaskIndex, const std::string& AFileName,
                                  const std::string& AExtOptions) {
  TInputOptions options = InputOptionsFromText(AExtOptions);
  return AddInputFile(ATaskIndex, AFileName, &options);
}

bool TCustomEncoder::SetOutputFile(int32_t ATaskIndex, const std::string& AFileName,
                                   TOutputOptions* AOptions) {
  CheckNotWorking("SetOutputFile");
  TFFmpeg* task = FFFmpegList.Items(ATaskIndex);
  const int32_t slot = task->Fnb_output_files;
  if (slot >= task->MaxFiles()) {
    FLastErrMsg = engine::Format("max output files %d reached", task->MaxFiles());
    return false;
  }
  auto& stored = task->FOutputOptions[static_cast<size_t>(slot)];
  try {
    task->HaltOnInvalidOption = FHaltOnInvalidOption;
    std::optional<TStreamOptionQueues> queues;
    bool join = false;
    if (AOptions) {
      if (AOptions->FileName.empty()) AOptions->FileName = AFileName;
      stored = *AOptions;
      queues.emplace(*AOptions);
      ApplyOutputOptions(*task, *AOptions, *queues);
      join = AOptions->Join;
      auto relay = [this, task](TVideoHookEvent TCustomEncoder::*AHandler) {
        return [this, task, AHandler](void*, QImage& ABitmap, int32_t AFrame, int64_t APTS, bool& AUpdate,
                                      bool& AStop) {
          DoVideoHook(this->*AHandler, task, ABitmap, AFrame, APTS, AUpdate, AStop);
        };
      };
      if (AOptions->VideoInputHook) task->SetOnInputVideoHook(relay(&TCustomEncoder::OnVideoInputHook));
      if (AOptions->VideoOutputHook) task->SetOnOutputVideoHook(relay(&TCustomEncoder::OnVideoOutputHook));
      if (AOptions->AudioHook)
        task->SetOnAudioHook([this, task](void*, int64_t APTS, uint8_t* ASample, int32_t ASize, int32_t ARate,
                                          int32_t AChannels, AVSampleFormat AFormat) {
          DoAudioHook(task, APTS, ASample, ASize, ARate, AChannels, AFormat);
        });
    } else {
      stored.reset();
    }
    task->SetReadTimeout(FReadTimeout);
    if (task->OpenOutput(AFileName, join) < 0) {
      FLastErrMsg = task->LastErrMsg();
      stored.reset();
      return false;
    }
    if (AOptions) {
      CreateExtraStreams(*task, *AOptions, *queues);
      if (join) task->SetupJoinMode();
    }
    return true;
  } catch (const std::exception& e) {
    FLastErrMsg = e.what();
  }
  return false;
}

bool TCustomEncoder::SetOutputFile(int32_t ATaskIndex, const std::string& AFileName,
                                   const std::string& AExtOptions) {
  TOutputOptions options = OutputOptionsFromText(AExtOptions);
  return SetOutputFile(ATaskIndex, AFileName, &options);
}

void TCustomEncoder::ClearTasks() {
  if (FWorking && !FTerminated) throw ECannotWhileWorking("Cannot ClearTasks while working.");
  FFFmpegList.Clear();
  JoinNotifyThreads(false);
  FLastErrMsg.clear();
  FCompleteTasks = 0;
  FCurrentTask = -1;
  FPendingTasks = 0;
  FTerminated = false;
  FThreadMode = false;
  FWorking = false;
  FPaused = false;
}

void TCustomEncoder::Exchange(int32_t ATaskIndex1, int32_t ATaskIndex2) {
  CheckNotWorking("Exchange");
  FFFmpegList.Exchange(ATaskIndex1, ATaskIndex2);
}

void TCustomEncoder::RemoveTask(int32_t ATaskIndex) {
  CheckNotWorking("RemoveTask");
  FFFmpegList.Delete(ATaskIndex);
}

void TCustomEncoder::SetPreview(bool AValue) {
  FPreview = AValue;
  for (int32_t i = 0; i < FFFmpegList.Count(); ++i) ApplyPostHooks(*FFFmpegList.Items(i));
}

void TCustomEncoder::SetPreviewBitmap(bool AValue) {
  FPreviewBitmap = AValue;
  for (int32_t i = 0; i < FFFmpegList.Count(); ++i) ApplyPostHooks(*FFFmpegList.Items(i));
}

}  // namespace encoder
