// qsr-record with showframe=1 on an X display: while it records a region,
// the two-pixel ring just outside the region is on the screen, red and blue
// in turn; once it has ended the ring is gone and the file is complete.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <set>
#include <string>
#include <thread>

#include "ConversionMedia.h"
#include "media/FFLoad.h"

#include <X11/Xlib.h>  // last: its macros clash with other headers
#include <X11/Xutil.h>

namespace {
using namespace std::chrono_literals;

constexpr unsigned long kRed = 0xFF0000, kBlue = 0x0000FF, kGrey = 0x808080;

unsigned long PixelAt(Display* ADisplay, int AX, int AY) {
  XImage* image = XGetImage(ADisplay, DefaultRootWindow(ADisplay), AX, AY, 1, 1, AllPlanes, ZPixmap);
  if (image == nullptr) return ~0ul;
  const unsigned long pixel = XGetPixel(image, 0, 0) & 0xFFFFFF;
  XDestroyImage(image);
  return pixel;
}

TEST(RecordToolFrame, RingAroundTheRegionWhileRecordingGoneAfter) {
  ASSERT_TRUE(media::FFLoader().Load(media::kEncoderLibraries)) << media::FFLoader().LastErrMsg();
  Display* d = XOpenDisplay(nullptr);
  if (d == nullptr) GTEST_SKIP() << "no X display";
  if (DefaultDepth(d, DefaultScreen(d)) != 24) {
    XCloseDisplay(d);
    GTEST_SKIP() << "needs a 24-bit default screen";
  }
  XSetWindowBackground(d, DefaultRootWindow(d), kGrey);
  XClearWindow(d, DefaultRootWindow(d));
  XSync(d, False);
  EXPECT_EQ(PixelAt(d, 98, 48), kGrey);

  const std::string out =
      (std::filesystem::temp_directory_path() / (std::to_string(getpid()) + "-showframe.mp4")).string();
  std::string bin = QSR_RECORD_BIN;
  std::string args[] = {"--screen", "offset=100,50;framesize=320,240;framerate=10/1;showframe=1",
                        "--output", out, "--vcodec", "mpeg4"};
  char* argv[] = {bin.data(), args[0].data(), args[1].data(), args[2].data(),
                  args[3].data(), args[4].data(), args[5].data(), nullptr};
  const pid_t pid = fork();
  ASSERT_GE(pid, 0);
  if (pid == 0) {
    execv(bin.c_str(), argv);
    _exit(127);
  }

  // The ring shows within a second of starting, and flashes while frames
  // are taken: two pixels thick, around the region, not over it.
  std::set<unsigned long> seen;
  for (int i = 0; i < 60 && seen.size() < 2; ++i) {
    std::this_thread::sleep_for(50ms);
    const unsigned long p = PixelAt(d, 98, 48);
    if (p == kRed || p == kBlue) seen.insert(p);
  }
  EXPECT_EQ(seen, (std::set<unsigned long>{kRed, kBlue}));
  for (auto [x, y] : {std::pair{99, 49}, std::pair{421, 291}, std::pair{260, 48}, std::pair{98, 170}}) {
    const unsigned long p = PixelAt(d, x, y);
    EXPECT_TRUE(p == kRed || p == kBlue) << x << "," << y << ": " << std::hex << p;
  }
  for (auto [x, y] : {std::pair{97, 47}, std::pair{100, 50}, std::pair{419, 289}, std::pair{422, 292}})
    EXPECT_EQ(PixelAt(d, x, y), kGrey) << x << "," << y;

  std::this_thread::sleep_for(1000ms);
  kill(pid, SIGINT);
  int status = 0;
  ASSERT_EQ(waitpid(pid, &status, 0), pid);
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;

  // Ended: the ring has left the screen.
  XSync(d, False);
  EXPECT_EQ(PixelAt(d, 98, 48), kGrey);
  EXPECT_EQ(PixelAt(d, 421, 291), kGrey);
  XCloseDisplay(d);

  // The region was recorded, without the ring: grey to its edges.
  const convtest::TDecoded decoded = convtest::DecodeAll(out);
  std::filesystem::remove(out);
  ASSERT_TRUE(decoded.ok) << decoded.error;
  EXPECT_EQ(decoded.width, 320);
  EXPECT_EQ(decoded.height, 240);
  EXPECT_GE(decoded.frames, 10);
  ASSERT_EQ(decoded.first_luma.size(), 320u * 240u);
  EXPECT_NEAR(decoded.first_luma[0], 126, 12);
  EXPECT_NEAR(decoded.first_luma[120 * 320 + 160], 126, 12);
}

}  // namespace
