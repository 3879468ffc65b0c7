// The recording-area frame on a real X server: where its ring lies, its
// colours before and after recording begins, following a moved window, and
// letting the pointer through.
#include <gtest/gtest.h>

#include <QDir>
#include <QGuiApplication>
#include <QImage>
#include <QPixmap>
#include <QProcess>
#include <QScreen>
#include <QTest>
#include <thread>

#include "capture/CaptureInput.h"
#include "capture/ScreenCaptureAreaFrame.h"
#include "media/FFBindings.h"
#include "media/FFLoad.h"

#include <X11/Xlib.h>

using capture::TAreaFrameSource;
using capture::TFrameForm;

namespace {

QRgb PixelAt(int AX, int AY) {
  const QImage shot = QGuiApplication::primaryScreen()->grabWindow(0, AX, AY, 1, 1).toImage();
  return shot.pixel(0, 0) & 0xFFFFFF;
}

constexpr QRgb kRed = 0xFF0000, kBlue = 0x0000FF;

TEST(AreaFrameX11, RingAroundTheAreaRedUntilRecordingBegins) {
  std::string error;
  auto frame = TFrameForm::Create(TAreaFrameSource{0, false, 100, 50, 640, 480}, error);
  ASSERT_NE(frame, nullptr) << error;
  QTest::qWait(200);
  // The ring covers (98,48)-(742,532); inside (100,50)-(740,530) it is open.
  for (QPoint p : {QPoint(98, 48), QPoint(99, 49), QPoint(741, 531), QPoint(400, 48), QPoint(740, 300)})
    EXPECT_EQ(PixelAt(p.x(), p.y()), kRed) << p.x() << "," << p.y();
  for (QPoint p : {QPoint(97, 47), QPoint(100, 50), QPoint(739, 529), QPoint(742, 532)})
    EXPECT_NE(PixelAt(p.x(), p.y()), kRed) << p.x() << "," << p.y();
  QTest::qWait(1200);  // two flash rounds without a frame: still red
  EXPECT_EQ(PixelAt(98, 48), kRed);
  EXPECT_EQ(frame->ColourIndex(), 0);

  QDir().mkpath(QSR_SCREENSHOT_DIR);
  EXPECT_TRUE(QGuiApplication::primaryScreen()->grabWindow(0, 60, 20, 720, 540).save(
      QString(QSR_SCREENSHOT_DIR) + "/ring.png"));

  // Recording has begun: blue first, then red and blue in turn.
  frame->SetStarted();
  std::vector<QRgb> seen;
  for (int i = 0; i < 40 && seen.size() < 3; ++i) {
    QTest::qWait(50);
    const QRgb now = PixelAt(98, 48);
    if (seen.empty() ? now == kBlue : now != seen.back()) seen.push_back(now);
  }
  EXPECT_EQ(seen, (std::vector<QRgb>{kBlue, kRed, kBlue}));

  capture::ReleaseFrameForm(std::move(frame));
  QTest::qWait(100);
  QCoreApplication::processEvents();
  EXPECT_NE(PixelAt(98, 48), kRed);
  EXPECT_NE(PixelAt(98, 48), kBlue);
}

TEST(AreaFrameX11, FollowsAMovedWindowAndLetsClicksThrough) {
  Display* d = XOpenDisplay(nullptr);
  ASSERT_NE(d, nullptr);
  XSetWindowAttributes a{};
  a.override_redirect = True;
  a.background_pixel = 0x808080;
  const Window w = XCreateWindow(d, DefaultRootWindow(d), 300, 200, 200, 150, 0, CopyFromParent, InputOutput,
                                 CopyFromParent, CWOverrideRedirect | CWBackPixel, &a);
  XSelectInput(d, w, ButtonPressMask);
  XMapRaised(d, w);
  XSync(d, False);

  std::string error;
  // A rectangle inside the window: the ring lies on the window.
  auto frame = TFrameForm::Create(TAreaFrameSource{w, true, 10, 10, 150, 100}, error);
  ASSERT_NE(frame, nullptr) << error;
  QTest::qWait(150);
  EXPECT_EQ(PixelAt(308, 208), kRed);
  ASSERT_EQ(QProcess::execute("xdotool", {"windowmove", QString::number(w), "500", "400"}), 0);
  QTest::qWait(150);
  EXPECT_EQ(PixelAt(508, 408), kRed);
  EXPECT_NE(PixelAt(308, 208), kRed);
  // A click on the ring reaches the window below it.
  ASSERT_EQ(QProcess::execute("xdotool", {"mousemove", "530", "408", "click", "1"}), 0);
  XSync(d, False);
  XEvent e;
  bool clicked = false;
  for (int i = 0; i < 50 && !clicked; ++i) {
    clicked = XCheckTypedWindowEvent(d, w, ButtonPress, &e) == True;
    if (!clicked) QTest::qWait(20);
  }
  EXPECT_TRUE(clicked);

  // The window closes while the ring follows it: the ring stays, nothing breaks.
  XDestroyWindow(d, w);
  XSync(d, False);
  QTest::qWait(100);
  frame.reset();
  XCloseDisplay(d);
}

// The screen device shows the frame when its option string asks for it.
TEST(AreaFrameX11, ScreenDeviceShowsTheFrameWhileOpen) {
  ASSERT_TRUE(media::FFLoader().Load(media::kEncoderLibraries)) << media::FFLoader().LastErrMsg();
  capture::RegisterScreenCapture();
  {
    capture::TDeviceInput plain;
    ASSERT_EQ(plain.Open("screencapture", "offset=100,50;framesize=320,240;framerate=10/1;showframe=0"), 0)
        << plain.LastErrMsg();
    QTest::qWait(150);
    EXPECT_NE(PixelAt(98, 48), kRed);
  }
  capture::TDeviceInput input;
  ASSERT_EQ(input.Open("screencapture", "offset=100,50;framesize=320,240;framerate=10/1;showframe=1"), 0)
      << input.LastErrMsg();
  QTest::qWait(800);
  EXPECT_EQ(PixelAt(98, 48), kRed);
  EXPECT_EQ(PixelAt(421, 291), kRed);
  EXPECT_NE(PixelAt(100, 50), kRed);

  // Reading frames: the ring alternates, blue first.
  AVPacket* packet = ff::av_packet_alloc();
  ASSERT_NE(packet, nullptr);
  std::vector<QRgb> seen;
  for (int i = 0; i < 25 && seen.size() < 3; ++i) {
    ASSERT_GT(input.ReadPacket(packet), 0);
    ff::av_packet_unref(packet);
    const QRgb now = PixelAt(98, 48);
    if (seen.empty() ? now == kBlue : now != seen.back()) seen.push_back(now);
  }
  ff::av_packet_free(&packet);
  EXPECT_EQ(seen, (std::vector<QRgb>{kBlue, kRed, kBlue}));

  // Closing the device takes the ring away (on the UI thread).
  input.Close();
  QTest::qWait(100);
  const QRgb after = PixelAt(98, 48);
  EXPECT_NE(after, kRed);
  EXPECT_NE(after, kBlue);
}

}  // namespace
