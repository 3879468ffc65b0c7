// qsr-syncsource: a picture-and-sound source for measuring how well a
// recording keeps sound with its picture. An X window over a chosen area
// turns from black to white once a period (and back to black a moment
// later) while a short click plays through PulseAudio's default sink at
// the very instant the window turns white. The click is placed in the
// played stream by the stream's latency, so it leaves the sink when the
// window changes, not when the program wrote it.
//
//   qsr-syncsource --area X,Y,W,H [--delay S] [--flashes N] [--period S] [--on S]
//
// Before the first flash the window is black and the stream plays silence,
// so the sink is running when the first click comes. Each flash is printed
// on standard output as "flash K T" (seconds since start). Exit status 0,
// 1 when X or PulseAudio cannot be opened, 2 for bad arguments.
#include <pulse/error.h>
#include <pulse/simple.h>

#include <atomic>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include <X11/Xlib.h>  // last: its macros clash with other headers

namespace {

using TClock = std::chrono::steady_clock;
using namespace std::chrono_literals;

constexpr int kRate = 44100;
constexpr int kChannels = 2;
constexpr int kChunk = kRate / 200;  // 5 ms of sample frames per write
constexpr int kClickFrames = kRate / 200;  // a 5 ms click

struct TArgs {
  int x = 0, y = 0, w = 320, h = 240;
  double delay = 1.0, period = 1.0, on = 0.3;
  int flashes = 5;
};

bool ParseArgs(int argc, char** argv, TArgs& AArgs) {
  for (int i = 1; i < argc; ++i) {
    const std::string a = argv[i];
    if (i + 1 >= argc) return false;
    const char* v = argv[++i];
    char* end = nullptr;
    if (a == "--area") {
      if (std::sscanf(v, "%d,%d,%d,%d", &AArgs.x, &AArgs.y, &AArgs.w, &AArgs.h) != 4 || AArgs.w <= 0 ||
          AArgs.h <= 0)
        return false;
      continue;
    }
    const double d = std::strtod(v, &end);
    if (*end != '\0' || !std::isfinite(d) || d < 0) return false;
    if (a == "--delay")
      AArgs.delay = d;
    else if (a == "--period" && d > 0)
      AArgs.period = d;
    else if (a == "--on" && d > 0)
      AArgs.on = d;
    else if (a == "--flashes" && d >= 1 && d == std::floor(d))
      AArgs.flashes = static_cast<int>(d);
    else
      return false;
  }
  return true;
}

struct TSimpleFree {
  void operator()(pa_simple* AStream) const { pa_simple_free(AStream); }
};
struct TDisplayClose {
  void operator()(Display* ADisplay) const { XCloseDisplay(ADisplay); }
};

// Writes silence with clicks at the click instants until AStop is set.
// A chunk written now starts to play after the stream's current latency.
void PlayClicks(pa_simple* AStream, const std::vector<TClock::time_point>& AClicks, const std::atomic<bool>& AStop) {
  std::vector<int16_t> chunk(static_cast<size_t>(kChunk) * kChannels);
  size_t next = 0;      // the next click to place
  int clickLeft = 0;    // frames of a click that continue into this chunk
  int clickPos = 0;     // frames of that click already written
  while (!AStop.load()) {
    std::fill(chunk.begin(), chunk.end(), 0);
    int error = 0;
    const pa_usec_t latency = pa_simple_get_latency(AStream, &error);
    const TClock::time_point plays = TClock::now() + std::chrono::microseconds(latency);
    int from = 0;
    auto writeClick = [&](int AAt) {
      for (int f = AAt; f < kChunk && clickLeft > 0; ++f, --clickLeft, ++clickPos) {
        // A 2 kHz tone burst at nearly full scale, sharp at its start.
        const double s = 0.9 * std::sin(2.0 * M_PI * 2000.0 * clickPos / kRate);
        for (int c = 0; c < kChannels; ++c) chunk[static_cast<size_t>(f) * kChannels + c] = static_cast<int16_t>(s * 32767);
      }
    };
    if (clickLeft > 0) writeClick(0);
    while (next < AClicks.size()) {
      const double at = std::chrono::duration<double>(AClicks[next] - plays).count() * kRate;
      if (at >= kChunk) break;
      from = at < 0 ? 0 : static_cast<int>(at);  // a click already due plays at once
      clickLeft = kClickFrames;
      clickPos = 0;
      writeClick(from);
      ++next;
    }
    if (pa_simple_write(AStream, chunk.data(), chunk.size() * sizeof(int16_t), &error) < 0) {
      std::fprintf(stderr, "qsr-syncsource: %s\n", pa_strerror(error));
      return;
    }
  }
}

}  // namespace

int main(int argc, char** argv) {
  TArgs args;
  if (!ParseArgs(argc, argv, args)) {
    std::fprintf(stderr,
                 "usage: qsr-syncsource --area X,Y,W,H [--delay S] [--flashes N] [--period S] [--on S]\n");
    return 2;
  }
  std::unique_ptr<Display, TDisplayClose> display(XOpenDisplay(nullptr));
  if (!display) {
    std::fprintf(stderr, "qsr-syncsource: cannot open the X display\n");
    return 1;
  }
  Display* dpy = display.get();
  const int screen = DefaultScreen(dpy);
  const unsigned long black = BlackPixel(dpy, screen), white = WhitePixel(dpy, screen);
  XSetWindowAttributes attrs{};
  attrs.override_redirect = True;
  attrs.background_pixel = black;
  const Window window = XCreateWindow(dpy, RootWindow(dpy, screen), args.x, args.y, static_cast<unsigned>(args.w),
                                      static_cast<unsigned>(args.h), 0, CopyFromParent, InputOutput,
                                      CopyFromParent, CWOverrideRedirect | CWBackPixel, &attrs);
  XMapRaised(dpy, window);
  XSync(dpy, False);

  // Small buffers: the latency estimate then has little room to be wrong.
  pa_sample_spec spec{PA_SAMPLE_S16LE, kRate, kChannels};
  pa_buffer_attr attr{};
  attr.maxlength = static_cast<uint32_t>(-1);
  attr.tlength = static_cast<uint32_t>(pa_usec_to_bytes(20000, &spec));
  attr.prebuf = static_cast<uint32_t>(-1);
  attr.minreq = static_cast<uint32_t>(pa_usec_to_bytes(5000, &spec));
  attr.fragsize = static_cast<uint32_t>(-1);
  int error = 0;
  std::unique_ptr<pa_simple, TSimpleFree> stream(pa_simple_new(nullptr, "qsr-syncsource", PA_STREAM_PLAYBACK, nullptr,
                                                                "clicks", &spec, nullptr, &attr, &error));
  if (!stream) {
    std::fprintf(stderr, "qsr-syncsource: %s\n", pa_strerror(error));
    XDestroyWindow(dpy, window);
    return 1;
  }

  const TClock::time_point start = TClock::now();
  std::vector<TClock::time_point> flashes;
  for (int k = 0; k < args.flashes; ++k)
    flashes.push_back(start + std::chrono::duration_cast<TClock::duration>(
                                  std::chrono::duration<double>(args.delay + k * args.period)));
  std::atomic<bool> stop{false};
  std::thread player(PlayClicks, stream.get(), std::cref(flashes), std::cref(stop));

  auto paint = [&](unsigned long APixel) {
    XSetWindowBackground(dpy, window, APixel);
    XClearWindow(dpy, window);
    XSync(dpy, False);
  };
  for (int k = 0; k < args.flashes; ++k) {
    std::this_thread::sleep_until(flashes[k]);
    paint(white);
    std::printf("flash %d %.4f\n", k, std::chrono::duration<double>(TClock::now() - start).count());
    std::fflush(stdout);
    std::this_thread::sleep_until(flashes[k] + std::chrono::duration_cast<TClock::duration>(
                                                   std::chrono::duration<double>(args.on)));
    paint(black);
  }
  // Stays black a while, so a recording of it ends on the window.
  std::this_thread::sleep_for(1500ms);
  stop = true;
  player.join();
  XDestroyWindow(dpy, window);
  XSync(dpy, False);
  return 0;
}
