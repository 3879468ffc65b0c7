// Costs the encoder component adds around the engine: applying a recorder's
// output record with the libx264-default preset, and the gap between one
// task's end and the next task's start in a threaded run (measured as the
// wall time of ten tiny tasks against the same tasks run one by one).
#include <chrono>
#include <cstdio>

#include "BenchSupport.h"
#include "TestMedia.h"
#include "encoder/FFEncode.h"

using bench::Clock;
using bench::Ms;

namespace {

encoder::TOutputOptions RecorderRecord() {
  encoder::TOutputOptions o;
  o.VideoCodec = "libx264";
  o.VideoPreset = "default";
  o.VideoBitrate = 1000000;
  o.AudioCodec = "aac";
  o.AudioBitrate = 128000;
  o.AudioChannels = 2;
  o.AudioSampleRate = 22050;
  o.VideoFilters = "crop=1280:720:0:0,scale=1280:720";
  o.Info.TimeStamp = 0;
  o.Info.Title = "Screen recording";
  return o;
}

}  // namespace

int main() {
  if (!bench::LoadLibrariesQuietly("bench_encoder")) return 1;
  testmedia::TTempDir dir;
  testmedia::TMediaSpec spec;
  spec.path = dir.Path("in.avi");
  spec.width = 64;
  spec.height = 48;
  spec.frames = 5;
  spec.audio = false;
  std::string err;
  if (!testmedia::WriteTestMedia(spec, err)) {
    std::fprintf(stderr, "%s\n", err.c_str());
    return 1;
  }

  // 1. Applying a recorder's output record (with the codec preset).
  {
    const int n = 2000;
    const encoder::TOutputOptions record = RecorderRecord();
    const auto t0 = Clock::now();
    for (int i = 0; i < n; ++i) {
      engine::TCustomFFmpeg e(1);
      encoder::TStreamOptionQueues q(record);
      encoder::ApplyOutputOptions(e, record, q);
    }
    std::printf("ApplyOutputOptions (with engine creation): %.1f us per record\n",
                Ms(Clock::now() - t0) * 1000.0 / n);
  }

  // 2. Ten tiny tasks: threaded chain (Start(1)) against synchronous (Start(0)).
  for (const int threads : {0, 1}) {
    platform::TEvent done;  // outlives the encoder, whose threads set it
    encoder::TFFEncoder enc;
    enc.OnTerminate = [&](void*, const encoder::TTerminateInfo& AInfo) {
      if (AInfo.TaskIndex == -1) done.Set();
    };
    for (int i = 0; i < 10; ++i) {
      const int t = enc.AddTask(spec.path, "");
      if (t < 0 || !enc.SetOutputFile(t, dir.Path("out" + std::to_string(i) + ".avi"), "vcodec=mpeg4")) {
        std::fprintf(stderr, "task failed: %s\n", enc.LastErrMsg().c_str());
        return 1;
      }
    }
    const auto t0 = Clock::now();
    enc.Start(threads);
    done.Wait();
    std::printf("Start(%d), 10 tasks of 5 frames: %.2f ms per task\n", threads,
                Ms(Clock::now() - t0) / 10.0);
  }
  return 0;
}
