// The recording controller's encoder: an adapter over TFFEncoder that also
// registers the capture devices and guards the termination handler, which
// the encoder calls on short-lived threads of its own.
#include "app/RecordingEncoder.h"

#include <mutex>

#include "capture/CaptureDevices.h"
#include "encoder/FFEncode.h"

namespace app {

namespace {

class TFFRecordingEncoder final : public TRecordingEncoder {
 public:
  TFFRecordingEncoder() {
    // Installed once; the window's handler is swapped under a lock, so
    // clearing it cannot race with a notification in flight.
    FEncoder.OnTerminate = [this](void*, const encoder::TTerminateInfo& AInfo) {
      std::lock_guard lock(FHandlerLock);
      if (FHandler) FHandler(TRecordEnd{AInfo.TaskIndex, AInfo.Finished, AInfo.Exception, AInfo.ExceptionMsg});
    };
  }
  ~TFFRecordingEncoder() override {
    SetOnTerminate(nullptr);
    FEncoder.Stop(true);
  }

  bool AVLibLoaded() const override { return FEncoder.AVLibLoaded(); }
  bool LoadAVLib(const std::string& APath) override { return FEncoder.LoadAVLib(APath); }
  void RegisterDevices() override {
    capture::RegisterScreenCapture();
    capture::RegisterWaveCapture();
  }
  void ClearTasks() override { FEncoder.ClearTasks(); }
  int32_t AddTask(const std::string& AFileName, encoder::TInputOptions* AOptions) override {
    return FEncoder.AddTask(AFileName, AOptions);
  }
  bool AddInputFile(int32_t ATaskIndex, const std::string& AFileName, encoder::TInputOptions* AOptions) override {
    return FEncoder.AddInputFile(ATaskIndex, AFileName, AOptions);
  }
  bool SetOutputFile(int32_t ATaskIndex, const std::string& AFileName, encoder::TOutputOptions* AOptions) override {
    return FEncoder.SetOutputFile(ATaskIndex, AFileName, AOptions);
  }
  void RemoveTask(int32_t ATaskIndex) override { FEncoder.RemoveTask(ATaskIndex); }
  void Start(int32_t AThreadCount) override { FEncoder.Start(AThreadCount); }
  void Pause() override { FEncoder.Pause(); }
  void Resume() override { FEncoder.Resume(); }
  void Stop(bool AWaitForStop) override { FEncoder.Stop(AWaitForStop); }
  std::string LastErrMsg() const override { return FEncoder.LastErrMsg(); }
  void SetOnTerminate(TRecordEndHandler AHandler) override {
    std::lock_guard lock(FHandlerLock);
    FHandler = std::move(AHandler);
  }
  void ClearOnProgress() override { FEncoder.OnProgress = nullptr; }

 private:
  std::mutex FHandlerLock;
  TRecordEndHandler FHandler;
  encoder::TFFEncoder FEncoder;  // last: destroyed (and its threads joined) first
};

}  // namespace

std::unique_ptr<TRecordingEncoder> MakeRecordingEncoder() { return std::make_unique<TFFRecordingEncoder>(); }

}  // namespace app
