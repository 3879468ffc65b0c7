// Costs of building and stopping a conversion task: the option dispatcher,
// opening a generated two-second input with an output, and how long Stop
// takes to end a running conversion (also while it is paused).
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <thread>

#include "BenchSupport.h"
#include "TestMedia.h"
#include "engine/FFmpeg.h"

using bench::Clock;
using bench::Ms;

int main() {
  if (!bench::LoadLibrariesQuietly("bench_engine")) return 1;
  testmedia::TTempDir dir;
  testmedia::TMediaSpec spec;
  spec.path = dir.Path("in.avi");
  spec.width = 640;
  spec.height = 480;
  spec.rate = AVRational{25, 1};
  spec.frames = 50;
  std::string err;
  if (!testmedia::WriteTestMedia(spec, err)) {
    std::fprintf(stderr, "%s\n", err.c_str());
    return 1;
  }

  // 1. The option dispatcher: a switch, an integer and a parsed size.
  {
    engine::TCustomFFmpeg e(1);
    const int n = 200000;
    const auto t0 = Clock::now();
    for (int i = 0; i < n; ++i) {
      e.SetExtOption("vn", "0");
      e.SetExtOption("v", "1");
      e.SetExtOption("s", "640x480");
    }
    std::printf("SetExtOption: %.0f ns per option\n", Ms(Clock::now() - t0) * 1e6 / (3.0 * n));
  }

  // 2. Building a task: engine, input open with probing, output with streams.
  {
    const int n = 50;
    const auto t0 = Clock::now();
    for (int i = 0; i < n; ++i) {
      engine::TCustomFFmpeg e(2);
      if (!e.OpenInput(spec.path) || e.OpenOutput(dir.Path("out.avi"), false) != 1) {
        std::fprintf(stderr, "open failed: %s\n", e.LastErrMsg().c_str());
        return 1;
      }
    }
    std::printf("task build (open input + output, release): %.2f ms\n", Ms(Clock::now() - t0) / n);
  }

  // 3. Stop latency of a running and of a paused conversion read in real time.
  for (bool paused : {false, true}) {
    engine::TCustomFFmpeg e(1);
    e.SetExtOption("re", "");
    e.OpenInput(spec.path);
    e.OpenOutput(dir.Path("stop.avi"), false);
    e.StartConvert(true)->Resume();
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    if (paused) {
      e.Pause();
      std::this_thread::sleep_for(std::chrono::milliseconds(100));
    }
    const auto t0 = Clock::now();
    e.Stop(true);
    std::printf("Stop(true) of a %s conversion: %.2f ms\n", paused ? "paused" : "running",
                Ms(Clock::now() - t0));
  }
  return 0;
}
