#include "engine/FFmpegDevices.h"

#include "capture/CaptureInput.h"

namespace engine {
namespace {

// The capture unit's input adapter behind the engine's device interface.
class TCaptureDeviceInput final : public TEngineDeviceInput {
 public:
  AVFormatContext* Context() const override { return FInput.Context(); }
  int ReadPacket(AVPacket* APacket) override { return FInput.ReadPacket(APacket); }
  void Pause() override { FInput.Pause(); }
  void Resume() override { FInput.Resume(); }
  capture::TDeviceInput& Input() { return FInput; }

 private:
  capture::TDeviceInput FInput;
};

}  // namespace

bool IsCaptureDevice(const std::string& AFormatName) {
  return capture::TDeviceInput::IsDevice(AFormatName);
}

std::shared_ptr<capture::TRecordingStart> NewRecordingStart() {
  return std::make_shared<capture::TRecordingStart>();
}

std::unique_ptr<TEngineDeviceInput> OpenCaptureDevice(const std::string& AFormatName,
                                                      const std::string& AOptions, int AWidth,
                                                      int AHeight, AVRational ATimeBase,
                                                      std::shared_ptr<capture::TRecordingStart> AStart,
                                                      std::string& AError, int& ACode) {
  auto input = std::make_unique<TCaptureDeviceInput>();
  capture::TFormatParameters params;
  params.width = AWidth;
  params.height = AHeight;
  params.time_base = ATimeBase;
  params.recording_start = std::move(AStart);
  ACode = input->Input().Open(AFormatName, AOptions, &params);
  if (ACode < 0) {
    AError = input->Input().LastErrMsg();
    return nullptr;
  }
  return input;
}

}  // namespace engine
