#pragma once
// What the main window's recording controller needs of the encoder: load the
// media libraries, register the capture devices, build one task (inputs and
// an output), run it, pause, resume, stop, and hear of its end. The window
// holds an adapter over the encoder component; tests put a fake in its place.

#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "encoder/FFEncodeRecords.h"

namespace app {

// One termination notification: of a task (TaskIndex >= 0) or of the whole
// run (TaskIndex -1).
struct TRecordEnd {
  int32_t TaskIndex = 0;
  bool Finished = false;
  bool Exception = false;
  std::string ExceptionMsg;
};

// Called on whatever thread the encoder ends on; one notification at a time,
// in the order they were made.
using TRecordEndHandler = std::function<void(const TRecordEnd& AInfo)>;

class TRecordingEncoder {
 public:
  virtual ~TRecordingEncoder() = default;

  virtual bool AVLibLoaded() const = 0;
  virtual bool LoadAVLib(const std::string& APath) = 0;
  // Registers "screencapture" and "wavecapture"; throws when it cannot.
  virtual void RegisterDevices() = 0;

  virtual void ClearTasks() = 0;
  // The new task's index, or a negative number (see LastErrMsg).
  virtual int32_t AddTask(const std::string& AFileName, encoder::TInputOptions* AOptions) = 0;
  virtual bool AddInputFile(int32_t ATaskIndex, const std::string& AFileName, encoder::TInputOptions* AOptions) = 0;
  virtual bool SetOutputFile(int32_t ATaskIndex, const std::string& AFileName,
                             encoder::TOutputOptions* AOptions) = 0;
  virtual void RemoveTask(int32_t ATaskIndex) = 0;

  virtual void Start(int32_t AThreadCount) = 0;
  virtual void Pause() = 0;
  virtual void Resume() = 0;
  // Asks the run to end; with AWaitForStop true returns once it has ended.
  virtual void Stop(bool AWaitForStop) = 0;

  virtual std::string LastErrMsg() const = 0;

  // Sets (or with nullptr clears) the termination handler. Once cleared, no
  // call of the old handler is running or will start.
  virtual void SetOnTerminate(TRecordEndHandler AHandler) = 0;
  virtual void ClearOnProgress() = 0;
};

// The adapter over the application's encoder component.
std::unique_ptr<TRecordingEncoder> MakeRecordingEncoder();

}  // namespace app
