// The run of a conversion: reads the inputs packet by packet until they end
// or the task is stopped, holding at the pause gate between packets. Stream
// set-up, decoding and the output paths build on this loop.
#include "engine/FFmpeg.h"
#include "media/FFLoad.h"
#include "platform/UiHandOver.h"

namespace engine {
namespace {

// Registers the engine's stop check for the conversion thread, so blocking
// reads give up when Stop is asked.
class TBrokenWatch {
 public:
  TBrokenWatch(void* AEngine, media::TInterruptProc AProc, bool AActive)
      : FEngine(AEngine), FProc(AProc), FActive(AActive) {
    if (FActive) media::InterruptCB().Add(platform::CurrentThreadId(), FEngine, FProc);
  }
  ~TBrokenWatch() {
    if (FActive) media::InterruptCB().Remove(platform::CurrentThreadId(), FEngine, FProc);
  }
  TBrokenWatch(const TBrokenWatch&) = delete;
  TBrokenWatch& operator=(const TBrokenWatch&) = delete;

 private:
  void* FEngine;
  media::TInterruptProc FProc;
  bool FActive;
};

}  // namespace

void TCustomFFmpeg::RunConversion() {
  TBrokenWatch watch(this, &TCustomFFmpeg::BrokenProc, !platform::ui::IsUiThread());
  Transcode();
}

}  // namespace engine
