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
  PacketPtr pkt(ff::av_packet_alloc());
  if (!pkt) throw FFmpegException("av_packet_alloc failed");
  std::vector<bool> ended(static_cast<size_t>(Fnb_input_files), false);
  int32_t active = Fnb_input_files;
  Ftimer_start = ff::av_gettime_relative();
  while (active > 0 && !FBroken) {
    for (int32_t i = 0; i < Fnb_input_files && !FBroken; ++i) {
      if (ended[i]) continue;
      if (!WaitAtPauseGate()) break;
      TOpenedInput& in = *Finput_files[i];
      const int ret = in.ReadPacket(pkt.get());
      if (ret == AVERROR(EAGAIN)) {
        platform::SleepMs(10);
        continue;
      }
      if (ret < 0) {
        ended[i] = true;
        --active;
        continue;
      }
      ++FPacketsRead;
      if (Frate_emu && pkt->dts != AV_NOPTS_VALUE && pkt->stream_index < static_cast<int>(in.ctx->nb_streams)) {
        // No faster than real time: wait until the packet's time has come.
        const AVStream* st = in.ctx->streams[pkt->stream_index];
        const int64_t due = ff::av_rescale_q(pkt->dts, st->time_base, AVRational{1, 1000000});
        while (!FBroken && ff::av_gettime_relative() - Ftimer_start < due) {
          if (!WaitAtPauseGate()) break;
          platform::SleepMs(5);
        }
      }
      ff::av_packet_unref(pkt.get());
    }
  }
  if (!FBroken) FFinished = true;
}

}  // namespace engine
