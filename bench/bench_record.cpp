// bench_record: a full-HD screen recording at 30 frames per second through
// the whole engine (capture device, decoder, filter graph, frame-rate
// conversion, encoder, muxer), with mpeg4 and with libx264 ultrafast. For
// each it reports the frames written, duplicated (gaps in the capture
// timeline filled) and dropped, and the CPU time of the recording as a ratio
// to the CPU time of grabbing, converting and encoding the same number of
// captured frames directly, measured in the same run.
//
//   bench_record [seconds]
// Needs a 24-bit 1920x1080 screen on $DISPLAY; bench/run_bench_record.sh
// starts a suitable Xvfb.

#include <sys/resource.h>

#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>
#include <thread>

#include "BenchSupport.h"
#include "capture/CaptureDevices.h"
#include "capture/CaptureInput.h"
#include "engine/FFmpeg.h"
#include "media/FFHandles.h"
#include "media/FFLog.h"

namespace {

const char* kScreen = "offset=0,0;framesize=1920,1080;framerate=30/1";

double CpuSeconds() {
  rusage r{};
  getrusage(RUSAGE_SELF, &r);
  return static_cast<double>(r.ru_utime.tv_sec + r.ru_stime.tv_sec) +
         static_cast<double>(r.ru_utime.tv_usec + r.ru_stime.tv_usec) / 1e6;
}

struct TResult {
  int frames = 0, dup = 0, drop = 0;
  double cpu = 0;
  bool ok = false;
};

TResult RecordThroughEngine(const std::string& ACodec, double ASeconds) {
  TResult r;
  const std::string out = "/tmp/bench_record_" + ACodec + ".mp4";
  const double cpu0 = CpuSeconds();
  {
    engine::TCustomFFmpeg e(2);
    e.SetExtOption("f", "screencapture");
    if (!e.OpenInput(kScreen)) {
      std::printf("%s: cannot open the screen: %s\n", ACodec.c_str(), e.LastErrMsg().c_str());
      return r;
    }
    e.SetExtOption("vcodec", ACodec);
    e.SetExtOption("b", "4000000");
    if (ACodec == "libx264") e.SetExtOption("preset", "ultrafast");
    e.SetExtOption("t", std::to_string(ASeconds));
    if (e.OpenOutput(out, false) < 0) {
      std::printf("%s: %s\n", ACodec.c_str(), e.LastErrMsg().c_str());
      return r;
    }
    e.SetOnProgress([&](void*, int32_t, int32_t AFrames, int32_t, float, float, int64_t, int64_t, int64_t) {
      if (AFrames > 0) r.frames = AFrames;
    });
    e.StartConvert(false);
    r.dup = e.Fnb_frames_dup;
    r.drop = e.Fnb_frames_drop;
    r.ok = !e.FatalException();
    if (!r.ok) std::printf("%s: %s\n", ACodec.c_str(), e.FatalMessage().c_str());
  }
  r.cpu = CpuSeconds() - cpu0;
  std::remove(out.c_str());
  return r;
}

// The floor: the same frames grabbed, converted and encoded directly.
double GrabConvertEncode(const std::string& ACodec, int AFrames) {
  const double cpu0 = CpuSeconds();
  capture::TDeviceInput in;
  if (in.Open("screencapture", kScreen) < 0) return -1;
  const AVCodecParameters* par = in.CodecParameters();
  const AVCodec* codec = ff::avcodec_find_encoder_by_name(ACodec.c_str());
  if (!codec) return -1;
  media::CodecCtxPtr enc(ff::avcodec_alloc_context3(codec));
  enc->width = par->width;
  enc->height = par->height;
  enc->pix_fmt = AV_PIX_FMT_YUV420P;
  enc->time_base = AVRational{1, 30};
  enc->framerate = AVRational{30, 1};
  enc->bit_rate = 4000000;
  if (ACodec == "libx264") ff::av_opt_set(enc->priv_data, "preset", "ultrafast", 0);
  if (ff::avcodec_open2(enc.get(), codec, nullptr) < 0) return -1;
  media::SwsPtr sws(ff::sws_getContext(par->width, par->height, static_cast<AVPixelFormat>(par->format),
                                       enc->width, enc->height, enc->pix_fmt, SWS_BICUBIC, nullptr, nullptr,
                                       nullptr));
  media::FramePtr frame(ff::av_frame_alloc());
  frame->width = enc->width;
  frame->height = enc->height;
  frame->format = enc->pix_fmt;
  if (!sws || ff::av_frame_get_buffer(frame.get(), 0) < 0) return -1;
  media::PacketPtr pkt(ff::av_packet_alloc()), out(ff::av_packet_alloc());
  for (int i = 0; i < AFrames;) {
    const int ret = in.ReadPacket(pkt.get());
    if (ret == AVERROR(EAGAIN)) {
      std::this_thread::sleep_for(std::chrono::milliseconds(1));
      continue;
    }
    if (ret < 0) return -1;
    uint8_t* src[4];
    int srcStride[4];
    ff::av_image_fill_arrays(src, srcStride, pkt->data, static_cast<AVPixelFormat>(par->format), par->width,
                             par->height, 1);
    ff::av_frame_make_writable(frame.get());
    ff::sws_scale(sws.get(), src, srcStride, 0, par->height, frame->data, frame->linesize);
    frame->pts = i++;
    ff::avcodec_send_frame(enc.get(), frame.get());
    while (ff::avcodec_receive_packet(enc.get(), out.get()) >= 0) ff::av_packet_unref(out.get());
    ff::av_packet_unref(pkt.get());
  }
  ff::avcodec_send_frame(enc.get(), nullptr);
  while (ff::avcodec_receive_packet(enc.get(), out.get()) >= 0) ff::av_packet_unref(out.get());
  return CpuSeconds() - cpu0;
}

}  // namespace

int main(int argc, char** argv) {
  const double seconds = argc > 1 ? std::atof(argv[1]) : 10.0;
  if (!bench::LoadLibrariesQuietly("bench_record")) return 1;
  media::GetFFLogger().SetOnLog(nullptr);
  media::GetFFLogger().SetLogLevel(media::llError);
  capture::RegisterScreenCapture();
  std::printf("1920x1080 at 30 frames/s for %.0f s (%d frames expected)\n", seconds,
              static_cast<int>(seconds * 30));
  std::printf("%-8s %7s %8s %5s %5s %12s %12s %7s\n", "codec", "frames", "captured", "dup", "drop", "engine cpu",
              "floor cpu", "ratio");
  for (const std::string codec : {"mpeg4", "libx264"}) {
    const TResult r = RecordThroughEngine(codec, seconds);
    if (!r.ok || r.frames == 0) continue;
    // The frames the grabber delivered: written ones less the duplicates,
    // plus the dropped ones.
    const int captured = r.frames - r.dup + r.drop;
    const double floor = GrabConvertEncode(codec, captured);
    std::printf("%-8s %7d %8d %5d %5d %11.2fs %11.2fs %7.2f\n", codec.c_str(), r.frames, captured, r.dup, r.drop,
                r.cpu, floor, floor > 0 ? r.cpu / floor : 0.0);
  }
  return 0;
}
