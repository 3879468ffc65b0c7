// The "screencapture" device on a real X server (the test's Xvfb, screens 0:
// 1280x1024x24, 1: 640x480x16, 2: 640x480x8, no window manager).
#include <gtest/gtest.h>

#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>

#include "CaptureTestSupport.h"
#include "capture/CaptureInput.h"
#include "capture/ScreenCapture.h"
#include "media/FFBindings.h"
#include "media/FFHandles.h"

// After the other headers: Xlib's macros (None, Bool, Status) clash with them.
#include <X11/Xlib.h>
#include <X11/Xutil.h>

using namespace capture;

namespace {

// DISPLAY for one screen of the test's server (":N.S").
std::string ScreenDisplay(int screen) {
  const char* d = std::getenv("DISPLAY");
  std::string base = d ? d : ":0";
  const size_t colon = base.rfind(':');
  const size_t dot = base.find('.', colon == std::string::npos ? 0 : colon);
  if (dot != std::string::npos) base.erase(dot);
  return base + "." + std::to_string(screen);
}

// The pattern drawn into the test windows, a 24-bit value per position.
uint32_t Pattern(int x, int y) { return uint32_t(x * 3 & 0xFF) << 16 | uint32_t(y * 5 & 0xFF) << 8 | uint32_t((x + y) & 0xFF); }

// An Xvfb of the test's own on a free display number (for depths the shared
// server does not offer); killed and reaped when the object goes.
class TPrivateXvfb {
 public:
  explicit TPrivateXvfb(const char* AScreen, const char* AExtraOption = nullptr, const char* AExtraValue = nullptr) {
    int fds[2];
    if (pipe(fds) != 0) return;
    FPid = fork();
    if (FPid == 0) {
      close(fds[0]);
      const std::string fd = std::to_string(fds[1]);
      execlp("Xvfb", "Xvfb", "-displayfd", fd.c_str(), "-nolisten", "tcp", "-screen", "0", AScreen, AExtraOption,
             AExtraValue, static_cast<char*>(nullptr));
      _exit(127);
    }
    close(fds[1]);
    // The server writes the number and then a line break, maybe in two
    // writes; closing early would make the second one fail.
    std::string number;
    char c = 0;
    while (FPid > 0 && read(fds[0], &c, 1) == 1 && c != '\n') number += c;
    close(fds[0]);
    if (!number.empty() && c == '\n') FDisplay = ":" + number;
  }
  ~TPrivateXvfb() {
    if (FPid > 0) {
      kill(FPid, SIGTERM);
      waitpid(FPid, nullptr, 0);
    }
  }
  const std::string& Display() const { return FDisplay; }

 private:
  pid_t FPid = -1;
  std::string FDisplay;  // empty when the server did not start
};

class X11Screen : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    test::LoadMediaLibraries();
    RegisterScreenCapture();
  }
  void SetUp() override {
    const char* d = std::getenv("DISPLAY");
    FSavedDisplay = d ? d : "";
    ASSERT_NO_FATAL_FAILURE(Connect(0));
  }
  void TearDown() override {
    in.Close();
    if (dpy) XCloseDisplay(dpy);
    dpy = nullptr;
    setenv("DISPLAY", FSavedDisplay.c_str(), 1);
  }
  // Points DISPLAY (and the test's own connection) at one screen.
  void Connect(int screen) {
    if (dpy) XCloseDisplay(dpy);
    dpy = nullptr;
    setenv("DISPLAY", ScreenDisplay(screen).c_str(), 1);
    // A busy server may refuse a connection for a moment.
    for (int attempt = 0; attempt < 20 && !(dpy = XOpenDisplay(nullptr)); ++attempt) usleep(100000);
    ASSERT_NE(dpy, nullptr) << "no X server at " << ScreenDisplay(screen);
    scr = DefaultScreen(dpy);
  }
  // An unmanaged window at a fixed place, filled with APixel or the pattern.
  Window MakeWindow(int x, int y, int w, int h, bool pattern, unsigned long pixel = 0, int border = 0) {
    XSetWindowAttributes a{};
    a.override_redirect = True;
    a.background_pixel = pixel;
    a.border_pixel = BlackPixel(dpy, scr);
    Window win = XCreateWindow(dpy, RootWindow(dpy, scr), x, y, unsigned(w), unsigned(h), unsigned(border),
                               CopyFromParent, InputOutput, CopyFromParent,
                               CWOverrideRedirect | CWBackPixel | CWBorderPixel, &a);
    XMapRaised(dpy, win);
    XSync(dpy, False);
    if (pattern) {
      XImage* img = XCreateImage(dpy, DefaultVisual(dpy, scr), unsigned(DefaultDepth(dpy, scr)), ZPixmap, 0,
                                 nullptr, unsigned(w), unsigned(h), 32, 0);
      img->data = static_cast<char*>(std::malloc(size_t(img->bytes_per_line) * h));
      for (int yy = 0; yy < h; ++yy)
        for (int xx = 0; xx < w; ++xx) XPutPixel(img, xx, yy, Pattern(xx, yy));
      GC gc = XCreateGC(dpy, win, 0, nullptr);
      XPutImage(dpy, win, gc, img, 0, 0, 0, 0, unsigned(w), unsigned(h));
      XFreeGC(dpy, gc);
      XDestroyImage(img);
    } else {
      XClearWindow(dpy, win);
    }
    XSync(dpy, False);
    return win;
  }
  int Read() { return in.ReadPacket(pkt.get()); }
  Twin32_grab& Record() { return *static_cast<Twin32_grab*>(in.Context()->priv_data); }
  uint32_t Pixel32(int x, int y) const {
    uint32_t v;
    std::memcpy(&v, pkt->data + (y * in.CodecParameters()->width + x) * 4, 4);
    return v & 0xFFFFFF;  // the fourth byte is undefined
  }

  Display* dpy = nullptr;
  int scr = 0;
  test::TLogLines log;
  TDeviceInput in;
  media::PacketPtr pkt{ff::av_packet_alloc()};

 private:
  std::string FSavedDisplay;
};

}  // namespace

TEST_F(X11Screen, ExactPixelsOfAPatternAtAnOffset) {
  MakeWindow(300, 200, 64, 48, true);
  ASSERT_EQ(in.Open("screencapture", "offset=310,205;framesize=41,30;framerate=25/1"), 0) << in.LastErrMsg();
  EXPECT_EQ(in.CodecParameters()->format, AV_PIX_FMT_BGR0);
  ASSERT_EQ(Read(), 41 * 30 * 4);  // odd width, tightly packed
  for (int y = 0; y < 30; ++y)
    for (int x = 0; x < 41; ++x) ASSERT_EQ(Pixel32(x, y), Pattern(x + 10, y + 5)) << x << "," << y;
}

TEST_F(X11Screen, ClampsToTheScreenAndFillsOffScreenBlack) {
  ASSERT_EQ(in.Open("screencapture", "offset=100,0;framesize=4000,10"), 0);
  EXPECT_EQ(in.CodecParameters()->width, 1180);
  ASSERT_EQ(Read(), 1180 * 10 * 4);
  in.Close();

  MakeWindow(0, 0, 32, 32, false, 0xFFFFFF);
  ASSERT_EQ(in.Open("screencapture", "offset=-10,-5;framesize=30,20"), 0);
  ASSERT_EQ(Read(), 30 * 20 * 4);
  EXPECT_EQ(Pixel32(9, 10), 0u);   // left of the screen
  EXPECT_EQ(Pixel32(20, 4), 0u);   // above it
  EXPECT_EQ(Pixel32(10, 5), 0xFFFFFFu);
  EXPECT_EQ(Pixel32(29, 19), 0xFFFFFFu);
}

TEST_F(X11Screen, CapturesByWindowIdAndFollowsTheWindow) {
  const Window win = MakeWindow(500, 400, 64, 48, true, 0, 3);
  ASSERT_EQ(in.Open("screencapture", "client=1;hwnd=" + std::to_string(win)), 0) << in.LastErrMsg();
  EXPECT_EQ(in.CodecParameters()->width, 64);
  EXPECT_EQ(in.CodecParameters()->height, 48);
  ASSERT_GT(Read(), 0);
  EXPECT_EQ(Pixel32(0, 0), Pattern(0, 0));
  EXPECT_EQ(Pixel32(63, 47), Pattern(63, 47));

  XMoveWindow(dpy, win, 700, 100);
  GC gc = XCreateGC(dpy, win, 0, nullptr);
  XSetForeground(dpy, gc, 0x123456);
  XFillRectangle(dpy, win, gc, 0, 0, 64, 48);
  XFreeGC(dpy, gc);
  XSync(dpy, False);
  ASSERT_GT(Read(), 0);
  EXPECT_EQ(Pixel32(10, 10), 0x123456u);
  in.Close();

  // With its frame (here the 3-pixel border).
  ASSERT_EQ(in.Open("screencapture", "hwnd=" + std::to_string(win)), 0);
  EXPECT_EQ(in.CodecParameters()->width, 70);
  ASSERT_GT(Read(), 0);
  EXPECT_EQ(Pixel32(0, 0), 0u);  // black border
  EXPECT_EQ(Pixel32(3, 3), 0x123456u);

  XDestroyWindow(dpy, win);
  XSync(dpy, False);
  EXPECT_EQ(Read(), -1);
  EXPECT_EQ(in.LastErrMsg(), "Failed to capture image (error 3)");
}

TEST_F(X11Screen, CapturesByTitleAndFallsBackToTheWholeScreen) {
  const Window win = MakeWindow(200, 600, 40, 30, false, 0x00FF00);
  XStoreName(dpy, win, "qsr target;x=1");
  XSync(dpy, False);
  ASSERT_EQ(in.Open("screencapture", "client=1;title=qsr target;x=1"), 0) << in.LastErrMsg();
  EXPECT_EQ(in.CodecParameters()->width, 40);
  ASSERT_GT(Read(), 0);
  EXPECT_EQ(Pixel32(20, 15), 0x00FF00u);
  in.Close();

  // _NET_WM_NAME (UTF-8) comes before WM_NAME.
  const Window other = MakeWindow(300, 600, 24, 16, false, 0x0000FF);
  XStoreName(dpy, other, "legacy name");
  const std::string utf8 = "Gr\xC3\xBC\xC3\x9F" "e \xE2\x80\x93 Entwurf";
  XChangeProperty(dpy, other, XInternAtom(dpy, "_NET_WM_NAME", False), XInternAtom(dpy, "UTF8_STRING", False), 8,
                  PropModeReplace, reinterpret_cast<const unsigned char*>(utf8.data()), int(utf8.size()));
  XSync(dpy, False);
  ASSERT_EQ(in.Open("screencapture", "client=1;title=" + utf8), 0);
  EXPECT_EQ(Record().window_handle, other);
  EXPECT_EQ(in.CodecParameters()->width, 24);
  in.Close();
  ASSERT_EQ(in.Open("screencapture", "title=legacy name"), 0);
  EXPECT_EQ(Record().window_handle, 0u);  // hidden behind its _NET_WM_NAME
  in.Close();

  ASSERT_EQ(in.Open("screencapture", "title=qsr target"), 0);  // not exact: no match
  EXPECT_EQ(in.CodecParameters()->width, 1280);
  EXPECT_EQ(in.CodecParameters()->height, 1024);
  EXPECT_TRUE(log.Has("Found window qsr target, ready for capturing 1280x1024x32 at (0,0)"));
}

TEST_F(X11Screen, DrawsTheCursorWherePointerWasWarped) {
  MakeWindow(380, 280, 40, 40, false, 0xFFFFFF);
  MakeWindow(780, 280, 40, 40, false, 0xFFFFFF);
  XWarpPointer(dpy, None, RootWindow(dpy, scr), 0, 0, 0, 0, 400, 300);
  XSync(dpy, False);
  auto changed = [this](const std::string& options) {
    EXPECT_EQ(in.Open("screencapture", options), 0);
    EXPECT_GT(Read(), 0);
    int n = 0;
    for (int y = 0; y < 40; ++y)
      for (int x = 0; x < 40; ++x) n += Pixel32(x, y) != 0xFFFFFFu;
    in.Close();
    return n;
  };
  EXPECT_EQ(changed("offset=380,280;framesize=40,40"), 0);
  EXPECT_GT(changed("offset=380,280;framesize=40,40;cursor=1"), 10);
  XWarpPointer(dpy, None, RootWindow(dpy, scr), 0, 0, 0, 0, 800, 300);
  XSync(dpy, False);
  EXPECT_EQ(changed("offset=380,280;framesize=40,40;cursor=1"), 0);
  EXPECT_GT(changed("offset=780,280;framesize=40,40;cursor=1"), 10);
}

TEST_F(X11Screen, SixteenBitScreenGivesRGB565) {
  ASSERT_NO_FATAL_FAILURE(Connect(1));
  MakeWindow(10, 10, 20, 20, false, 0xF800);  // pure red in 5-6-5
  ASSERT_EQ(in.Open("screencapture", "offset=10,10;framesize=21,20"), 0) << in.LastErrMsg();
  EXPECT_EQ(in.CodecParameters()->format, AV_PIX_FMT_RGB565LE);
  EXPECT_EQ(in.CodecParameters()->width, 21);
  ASSERT_EQ(Read(), 21 * 20 * 2);
  EXPECT_EQ(pkt->data[0] | pkt->data[1] << 8, 0xF800);
  const int last = (19 * 21 + 19) * 2;
  EXPECT_EQ(pkt->data[last] | pkt->data[last + 1] << 8, 0xF800);
}

TEST_F(X11Screen, EightBitScreenGivesPAL8WithThePaletteOnEveryPacket) {
  ASSERT_NO_FATAL_FAILURE(Connect(2));
  XColor red{};
  red.red = 0xFFFF;
  ASSERT_TRUE(XAllocColor(dpy, DefaultColormap(dpy, scr), &red));
  MakeWindow(10, 10, 20, 20, false, red.pixel);
  ASSERT_EQ(in.Open("screencapture", "offset=10,10;framesize=19,20"), 0) << in.LastErrMsg();
  EXPECT_EQ(in.CodecParameters()->format, AV_PIX_FMT_PAL8);
  for (int n = 0; n < 2; ++n) {
    ASSERT_EQ(Read(), 19 * 20);
    EXPECT_EQ(pkt->data[0], red.pixel);
    EXPECT_EQ(pkt->data[19 * 20 - 1], red.pixel);
    size_t size = 0;
    const uint8_t* pal = ff::av_packet_get_side_data(pkt.get(), AV_PKT_DATA_PALETTE, &size);
    ASSERT_NE(pal, nullptr);
    ASSERT_EQ(size, size_t(AVPALETTE_SIZE));
    uint32_t entry;
    std::memcpy(&entry, pal + 4 * red.pixel, 4);
    EXPECT_EQ(entry, 0xFFFF0000u);
  }
}

TEST_F(X11Screen, PacesFramesOnTheClock) {
  ASSERT_EQ(in.Open("screencapture", "framesize=64,64;framerate=20/1"), 0);
  ASSERT_GT(Read(), 0);
  const int64_t start = ff::av_gettime_relative();
  for (int n = 1; n <= 5; ++n) {
    ASSERT_GT(Read(), 0);
    EXPECT_EQ(pkt->pts % 50000, 0);
    EXPECT_GE(pkt->pts, n * 50000);
  }
  // Five periods of 50 ms; generous upper bound for a busy machine.
  const int64_t elapsed = ff::av_gettime_relative() - start;
  EXPECT_GE(elapsed, 240000);
}

TEST_F(X11Screen, FifteenBitScreenGivesRGB555) {
  TPrivateXvfb server("64x48x15");
  if (server.Display().empty()) GTEST_SKIP() << "no Xvfb to start";
  XCloseDisplay(dpy);
  setenv("DISPLAY", server.Display().c_str(), 1);
  dpy = XOpenDisplay(nullptr);
  ASSERT_NE(dpy, nullptr);
  scr = DefaultScreen(dpy);
  MakeWindow(0, 0, 64, 48, false, 0x7C00);  // pure red in 5-5-5
  ASSERT_EQ(in.Open("screencapture", "offset=1,1;framesize=9,4"), 0) << in.LastErrMsg();
  EXPECT_EQ(in.CodecParameters()->format, AV_PIX_FMT_RGB555LE);
  ASSERT_EQ(Read(), 9 * 4 * 2);
  EXPECT_EQ(pkt->data[0] | pkt->data[1] << 8, 0x7C00);
  EXPECT_EQ(pkt->data[70] | pkt->data[71] << 8, 0x7C00);
  in.Close();
  XCloseDisplay(dpy);
  dpy = nullptr;
}

TEST_F(X11Screen, WithoutSharedMemoryImagesComeThroughXGetImage) {
  TPrivateXvfb server("320x240x24", "-extension", "MIT-SHM");
  if (server.Display().empty()) GTEST_SKIP() << "no Xvfb to start";
  XCloseDisplay(dpy);
  setenv("DISPLAY", server.Display().c_str(), 1);
  dpy = XOpenDisplay(nullptr);
  ASSERT_NE(dpy, nullptr);
  scr = DefaultScreen(dpy);
  int major = 0, minor = 0;
  Bool pixmaps = False;
  EXPECT_FALSE(XQueryExtension(dpy, "MIT-SHM", &major, &minor, &pixmaps));
  MakeWindow(100, 50, 64, 48, true);
  ASSERT_EQ(in.Open("screencapture", "offset=90,45;framesize=31,20"), 0) << in.LastErrMsg();
  ASSERT_EQ(Read(), 31 * 20 * 4);
  for (int y = 5; y < 20; ++y)
    for (int x = 10; x < 31; ++x) ASSERT_EQ(Pixel32(x, y), Pattern(x - 10, y - 5)) << x << "," << y;
  in.Close();
  XCloseDisplay(dpy);
  dpy = nullptr;
}
