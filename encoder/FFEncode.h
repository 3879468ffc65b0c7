#pragma once
// The encoder component: the application's one entry point to conversion.
//
// It keeps a list of tasks, each a conversion engine with its inputs and
// outputs. The caller adds tasks, inputs and outputs one call at a time (each
// call opens the file or device at once and reports failure through
// LastErrMsg), then starts the list: the tasks run on conversion threads
// (Start(n), n > 0: up to n at once) or one after another on the calling
// thread (Start(0)). Progress is relayed through OnProgress, the end of every
// task and then of the whole run (task index -1) through OnTerminate.
//
// Misuse while a run is in progress (adding, removing, starting again)
// throws ECannotWhileWorking ("Cannot AddTask while working.").

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include "encoder/FFEncodeRecords.h"
#include "engine/FFmpeg.h"
#include "platform/Threads.h"

namespace encoder {

class TCustomEncoder;

struct TTerminateInfo {
  int32_t TaskIndex = 0;  // -1: the end of the whole run
  bool Finished = false;
  bool Exception = false;
  std::string ExceptionMsg;
};

struct TProgressInfo {
  int32_t TaskIndex = 0;
  int32_t FileIndex = 0;
  int32_t FrameNumber = 0;
  int32_t FPS = 0;
  float Quality = 0;
  float BitRate = 0;
  int64_t CurrentSize = 0;
  int64_t CurrentDuration = 0;
  int64_t TotalDuration = 0;
};

// A picture of a task: the engine's bitmap, valid during the call.
struct TPreviewInfo {
  int32_t TaskIndex = 0;
  QImage* Bitmap = nullptr;
  int32_t FrameNumber = 0;
  int64_t PTS = 0;
};

// A picture a video hook may draw on: Update puts it back into the video,
// StopHook ends the hook for the rest of the task.
struct THookInfo {
  int32_t TaskIndex = 0;
  QImage* Bitmap = nullptr;
  int32_t FrameNumber = 0;
  int64_t PTS = 0;
  bool Update = true;
  bool StopHook = false;
};

// Priority of the conversion threads; mapped to nice values.
enum TThreadPriority { tpIdle, tpLowest, tpLower, tpNormal, tpHigher, tpHighest, tpTimeCritical };

using TTerminateEvent = std::function<void(void* Sender, const TTerminateInfo& AInfo)>;
using TProgressEvent = std::function<void(void* Sender, TProgressInfo* AInfo)>;
using TBeforeFindStreamInfoEvent = std::function<void(void* Sender, AVFormatContext* AContext)>;
using TPreviewBitmapEvent = std::function<void(void* Sender, const TPreviewInfo& AInfo)>;
using TVideoHookEvent = std::function<void(void* Sender, THookInfo* AInfo)>;
// Decoded sound of a task before its volume step, interleaved; the handler
// may change the samples in place.
using TAudioHookEvent = std::function<void(void* Sender, int32_t ATaskIndex, int64_t APTS, uint8_t* ASample,
                                           int32_t ASize, int32_t ASampleRate, int32_t AChannels,
                                           AVSampleFormat ASampleFormat)>;

// Misuse of the component while a run is in progress.
class ECannotWhileWorking : public std::logic_error {
 public:
  using std::logic_error::logic_error;
};

// One task: a conversion engine with its own copies of the option records.
class TFFmpeg : public engine::TCustomFFmpeg {
 public:
  TFFmpeg(int32_t AMaxFiles, TCustomEncoder* AParent);
  // Detaches the events first, so nothing reaches the encoder meanwhile.
  ~TFFmpeg() override;

  std::vector<std::optional<TInputOptions>> FInputOptions;
  std::vector<std::optional<TOutputOptions>> FOutputOptions;
  TCustomEncoder* FParent;
};

// The ordered list of tasks; a task's index is its position.
class TFFmpegList {
 public:
  int32_t Add(std::unique_ptr<TFFmpeg> ATask);
  void Delete(int32_t AIndex);
  void Clear();
  void Exchange(int32_t AIndex1, int32_t AIndex2);
  // Throws std::out_of_range for an index outside the list.
  TFFmpeg* Items(int32_t AIndex) const;
  int32_t IndexOf(const TFFmpeg* ATask) const;
  int32_t Count() const { return static_cast<int32_t>(FItems.size()); }

 private:
  std::vector<std::unique_ptr<TFFmpeg>> FItems;
};

class TCustomEncoder {
 public:
  TCustomEncoder();
  // Waits for the notification threads, then frees every task.
  virtual ~TCustomEncoder();
  TCustomEncoder(const TCustomEncoder&) = delete;
  TCustomEncoder& operator=(const TCustomEncoder&) = delete;

  // ---- media libraries ----
  bool AVLibLoaded() const;
  bool LoadAVLib(const std::string& APath);
  void UnloadAVLib();

  // ---- task list (FFEncodeTasks.cpp) ----
  int32_t AddTask(const std::string& AFileName, TInputOptions* AOptions);
  int32_t AddTask(const std::string& AFileName, const std::string& AExtOptions);
  // A stream object as input: opened under the name "stream:<address>:<data>"
  // (no protocol serves such names yet, so the open reports the library's
  // message).
  int32_t AddTask(const void* AStream, const std::string& APrivateData, TInputOptions* AOptions);
  bool AddInputFile(int32_t ATaskIndex, const std::string& AFileName, TInputOptions* AOptions);
  bool AddInputFile(int32_t ATaskIndex, const std::string& AFileName, const std::string& AExtOptions);
  bool SetOutputFile(int32_t ATaskIndex, const std::string& AFileName, TOutputOptions* AOptions);
  bool SetOutputFile(int32_t ATaskIndex, const std::string& AFileName, const std::string& AExtOptions);
  bool SetOutputStream(int32_t ATaskIndex, const void* AStream, const std::string& APrivateData,
                       TOutputOptions* AOptions);
  void ClearTasks();
  void Exchange(int32_t ATaskIndex1, int32_t ATaskIndex2);
  void RemoveTask(int32_t ATaskIndex);
  int32_t GetTaskIndex(const TFFmpeg* AFFmpeg) const { return FFFmpegList.IndexOf(AFFmpeg); }
  int32_t TasksCount() const { return FFFmpegList.Count(); }
  TFFmpeg* Task(int32_t AIndex) const { return FFFmpegList.Items(AIndex); }

  // ---- run control (FFEncodeRun.cpp) ----
  void Start(int32_t AThreadCount);
  void Pause();
  void Resume();
  void Stop(bool AWaitForStop = false);

  // ---- properties ----
  const std::string& Version() const { return FVersion; }
  const std::string& LastErrMsg() const { return FLastErrMsg; }
  bool Terminated() const { return FTerminated; }
  bool Working() const { return FWorking; }
  bool Paused() const { return FPaused; }
  int32_t CustomMaxFiles() const { return FCustomMaxFiles; }
  void SetCustomMaxFiles(int32_t AValue) { FCustomMaxFiles = AValue; }
  bool HaltOnInvalidOption() const { return FHaltOnInvalidOption; }
  void SetHaltOnInvalidOption(bool AValue) { FHaltOnInvalidOption = AValue; }
  bool Preview() const { return FPreview; }
  void SetPreview(bool AValue);
  bool PreviewBitmap() const { return FPreviewBitmap; }
  void SetPreviewBitmap(bool AValue);
  int32_t ProgressInterval() const { return FProgressInterval; }
  void SetProgressInterval(int32_t AValue) { FProgressInterval = AValue <= 100 ? 100 : AValue; }
  int32_t ReadTimeout() const { return FReadTimeout; }
  void SetReadTimeout(int32_t AValue) { FReadTimeout = AValue; }
  TThreadPriority ThreadPriority() const { return FThreadPriority; }
  void SetThreadPriority(TThreadPriority AValue) { FThreadPriority = AValue; }
  bool TriggerEventInMainThread() const { return FTriggerEventInMainThread; }
  void SetTriggerEventInMainThread(bool AValue) { FTriggerEventInMainThread = AValue; }
  void* UserData() const { return FData; }
  void SetUserData(void* AValue) { FData = AValue; }
  int32_t Verbose() const { return FVerbose; }
  void SetVerbose(int32_t AValue) { FVerbose = AValue; }

  // ---- events ----
  TTerminateEvent OnTerminate;
  TProgressEvent OnProgress;
  TBeforeFindStreamInfoEvent OnBeforeFindStreamInfo;
  // On the UI thread when TriggerEventInMainThread (like OnProgress).
  TPreviewBitmapEvent OnPreviewBitmap;
  // Always on the conversion thread; bound for outputs whose record asks
  // for them (VideoInputHook, VideoOutputHook).
  TVideoHookEvent OnVideoInputHook, OnVideoOutputHook;
  // Always on the conversion thread; bound for outputs whose record asks
  // for it (AudioHook).
  TAudioHookEvent OnAudioHook;

 protected:
  virtual void DoProgress(TFFmpeg* ATask, int32_t AFileIndex, int32_t AFrameNumber, int32_t AFPS,
                          float AQuality, float ABitRate, int64_t ACurrentSize,
                          int64_t ACurrentDuration, int64_t ATotalDuration);
  virtual void DoTerminate(TFFmpeg* ATask);
  virtual void DoPreviewBitmap(TFFmpeg* ATask, QImage& ABitmap, int32_t AFrameNumber, int64_t APTS);
  virtual void DoVideoHook(const TVideoHookEvent& AHandler, TFFmpeg* ATask, QImage& ABitmap,
                           int32_t AFrameNumber, int64_t APTS, bool& AUpdate, bool& AStopHook);

 private:
  friend class TFFmpeg;
  void CheckNotWorking(const char* AOperation) const;
  void DoAudioHook(TFFmpeg* ATask, int64_t APTS, uint8_t* ASample, int32_t ASize, int32_t ASampleRate,
                   int32_t AChannels, AVSampleFormat ASampleFormat);
  std::unique_ptr<TFFmpeg> NewTask();
  void ApplyPostHooks(TFFmpeg& ATask) const;
  void BindRunEvents(TFFmpeg& ATask);
  TFFmpeg* TakeNextTask();
  void StartNextTask();
  void DoAllTerminated();
  // Delivers a termination notification on a short-lived thread of its own;
  // notifications reach the handler one at a time, in the order made.
  void Notify(const TTerminateInfo& AInfo);
  void JoinNotifyThreads(bool AAll);

  std::string FVersion = "3.9";
  std::string FLastErrMsg;
  void* FData = nullptr;
  int32_t FCustomMaxFiles = 20;
  bool FHaltOnInvalidOption = true;
  bool FPreview = false;
  bool FPreviewBitmap = false;
  int32_t FProgressInterval = 500;
  int32_t FReadTimeout = 10000;
  TThreadPriority FThreadPriority = tpNormal;
  bool FTriggerEventInMainThread = true;
  int32_t FVerbose = 1;
  TProgressInfo FProgressInfo;
  TTerminateInfo FTerminateInfo;

  TPreviewInfo FPreviewInfo;
  THookInfo FVideoHookInfo;
  platform::TCriticalSection FProgressLock, FTerminateLock, FPreviewLock, FVideoHookLock, FAudioHookLock;

  TFFmpegList FFFmpegList;
  int32_t FCompleteTasks = 0;
  int32_t FCurrentTask = -1;
  int32_t FPendingTasks = 0;
  std::atomic<bool> FTerminated{false};
  bool FThreadMode = false;
  std::atomic<bool> FWorking{false};
  std::atomic<bool> FPaused{false};
  // A synchronous run in progress and the task it runs (FTerminateLock).
  bool FSyncLoop = false;
  TFFmpeg* FSyncTask = nullptr;

  // Notification threads and the order of their deliveries.
  struct TNotifyThread {
    std::thread thread;
    std::atomic<bool> done{false};
  };
  std::mutex FNotifyLock;
  std::condition_variable FNotifyTurn;
  std::vector<std::unique_ptr<TNotifyThread>> FNotifyThreads;
  uint64_t FNotifyTickets = 0;
  uint64_t FNotifyServed = 0;
};

// The encoder the application creates.
class TFFEncoder : public TCustomEncoder {};

}  // namespace encoder
