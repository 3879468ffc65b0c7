// bench_grab: the cost of one screen grab (one packet of the "screencapture"
// device, cursor off and on) at 1280x1024 and 1920x1080, as a ratio to one
// memcpy of a frame of the same size, measured in the same run.
//
// Needs an X server with 24-bit screens of those sizes on $DISPLAY (any
// screen number); bench/run_bench_grab.sh starts a suitable Xvfb.

#include <X11/Xlib.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "capture/CaptureInput.h"
#include "capture/ScreenCapture.h"
#include "media/FFBindings.h"
#include "media/FFHandles.h"
#include "media/FFLoad.h"
#include "media/FFLog.h"

namespace {

using Clock = std::chrono::steady_clock;

double Millis(Clock::duration d) { return std::chrono::duration<double, std::milli>(d).count(); }

// Mean time of one memcpy of ABytes (buffers already touched).
double MemcpyMs(size_t ABytes, int ARounds) {
  std::vector<uint8_t> src(ABytes, 1), dst(ABytes, 0);
  std::memcpy(dst.data(), src.data(), ABytes);
  const auto start = Clock::now();
  for (int i = 0; i < ARounds; ++i) {
    src[size_t(i) % ABytes] = uint8_t(i);  // keeps the copies from being folded
    std::memcpy(dst.data(), src.data(), ABytes);
  }
  const double ms = Millis(Clock::now() - start) / ARounds;
  if (dst[0] == 0xFE) std::puts("");
  return ms;
}

// Mean time of one packet of the device; -1 when it cannot open.
double GrabMs(const std::string& AOptions, int ARounds, size_t& ABytes) {
  capture::TDeviceInput in;
  if (in.Open("screencapture", AOptions) < 0) {
    std::fprintf(stderr, "bench_grab: %s\n", in.LastErrMsg().c_str());
    return -1;
  }
  media::PacketPtr pkt(ff::av_packet_alloc());
  // Warm-up; the schedule runs at 100000 frames per second, so no read sleeps.
  for (int i = 0; i < 3; ++i)
    if (in.ReadPacket(pkt.get()) < 0) return -1;
  const auto start = Clock::now();
  for (int i = 0; i < ARounds; ++i)
    if (in.ReadPacket(pkt.get()) < 0) return -1;
  ABytes = size_t(pkt->size);
  return Millis(Clock::now() - start) / ARounds;
}

// The screen number of a 24-bit screen at least W x H, or -1.
int FindScreen(Display* d, int w, int h) {
  for (int s = 0; s < ScreenCount(d); ++s)
    if (DisplayWidth(d, s) >= w && DisplayHeight(d, s) >= h && DefaultDepth(d, s) == 24) return s;
  return -1;
}

}  // namespace

int main(int argc, char** argv) {
  const int rounds = argc > 1 ? std::atoi(argv[1]) : 100;
  media::TFFLogger logger;  // device lines stay quiet unless they are errors
  logger.SetTriggerEventInMainThread(false);
  logger.SetLogLevel(media::llError);
  if (!media::FFLoader().Load(media::kEncoderLibraries)) {
    std::fprintf(stderr, "bench_grab: %s\n", media::FFLoader().LastErrMsg().c_str());
    return 1;
  }
  capture::RegisterScreenCapture();
  const char* display = std::getenv("DISPLAY");
  Display* d = XOpenDisplay(nullptr);
  if (!d || !display) {
    std::fprintf(stderr, "bench_grab: no X display\n");
    return 1;
  }
  std::string base = display;
  if (size_t dot = base.find('.', base.rfind(':')); dot != std::string::npos) base.erase(dot);

  std::printf("%-10s %12s %12s %12s %10s %10s\n", "size", "grab ms", "grab+cur ms", "memcpy ms", "ratio", "ratio+cur");
  const int sizes[][2] = {{1280, 1024}, {1920, 1080}};
  int failures = 0;
  for (const auto& s : sizes) {
    const int screen = FindScreen(d, s[0], s[1]);
    if (screen < 0) {
      std::printf("%dx%d: no 24-bit screen that large on %s\n", s[0], s[1], base.c_str());
      ++failures;
      continue;
    }
    setenv("DISPLAY", (base + "." + std::to_string(screen)).c_str(), 1);
    const std::string options =
        "offset=0,0;framesize=" + std::to_string(s[0]) + "," + std::to_string(s[1]) + ";framerate=100000/1";
    size_t bytes = 0;
    const double grab = GrabMs(options, rounds, bytes);
    const double grabCursor = GrabMs(options + ";cursor=1", rounds, bytes);
    if (grab < 0 || grabCursor < 0) {
      ++failures;
      continue;
    }
    const double copy = MemcpyMs(bytes, rounds * 4);
    std::printf("%4dx%-5d %12.3f %12.3f %12.3f %10.1f %10.1f\n", s[0], s[1], grab, grabCursor, copy, grab / copy,
                grabCursor / copy);
  }
  XCloseDisplay(d);
  return failures ? 1 : 0;
}
