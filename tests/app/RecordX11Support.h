#pragma once
// The real recorder under the X server, for the recording tests: it runs in
// a private home with a double of the desktop's opener first in PATH (it
// logs what it is asked to open); helpers find its main window, click, press
// Ctrl+Alt hot keys and read the screen back.
#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QImage>
#include <QLayout>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>
#include <memory>

#include "../engine/ConversionMedia.h"
#include "app/MainForm.h"
#include "app/skin/SkinForm.h"
#include "media/FFLoad.h"

#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <X11/extensions/XTest.h>
#include <X11/keysym.h>

namespace recordx11 {


struct TDisplayCloser {
  void operator()(Display* d) const { XCloseDisplay(d); }
};
using TDisplay = std::unique_ptr<Display, TDisplayCloser>;

// The recorder's main window: viewable, top-level, owned by APid.
inline Window FindMainWindow(Display* ADisplay, qint64 APid) {
  const Atom pidAtom = XInternAtom(ADisplay, "_NET_WM_PID", False);
  Window root = DefaultRootWindow(ADisplay), parent = 0, *children = nullptr;
  unsigned int count = 0;
  Window found = 0;
  if (!XQueryTree(ADisplay, root, &root, &parent, &children, &count)) return 0;
  for (unsigned int i = 0; i < count && found == 0; ++i) {
    XWindowAttributes attributes;
    if (!XGetWindowAttributes(ADisplay, children[i], &attributes) || attributes.map_state != IsViewable) continue;
    Atom type = 0;
    int format = 0;
    unsigned long items = 0, after = 0;
    unsigned char* data = nullptr;
    if (XGetWindowProperty(ADisplay, children[i], pidAtom, 0, 1, False, XA_CARDINAL, &type, &format, &items, &after,
                           &data) == Success &&
        data != nullptr) {
      if (items == 1 && *reinterpret_cast<unsigned long*>(data) == static_cast<unsigned long>(APid) &&
          attributes.width == app::TMainForm::kClientWidth + 2 * app::skin::TSkinForm::kBorder) {
        found = children[i];
      }
      XFree(data);
    }
  }
  if (children != nullptr) XFree(children);
  return found;
}

inline QRect WindowRect(Display* ADisplay, Window AWindow) {
  XWindowAttributes attributes;
  if (!XGetWindowAttributes(ADisplay, AWindow, &attributes)) return {};
  int x = 0, y = 0;
  Window child = 0;
  XTranslateCoordinates(ADisplay, AWindow, DefaultRootWindow(ADisplay), 0, 0, &x, &y, &child);
  return QRect(x, y, attributes.width, attributes.height);
}

inline void Click(Display* ADisplay, QPoint AAt) {
  XTestFakeMotionEvent(ADisplay, DefaultScreen(ADisplay), AAt.x(), AAt.y(), CurrentTime);
  XSync(ADisplay, False);
  QTest::qWait(150);
  XTestFakeButtonEvent(ADisplay, 1, True, CurrentTime);
  XTestFakeButtonEvent(ADisplay, 1, False, CurrentTime);
  XSync(ADisplay, False);
}

inline void PressCtrlAlt(Display* ADisplay, KeySym AKey) {
  const KeyCode keys[] = {XKeysymToKeycode(ADisplay, XK_Control_L), XKeysymToKeycode(ADisplay, XK_Alt_L),
                          XKeysymToKeycode(ADisplay, AKey)};
  for (KeyCode k : keys) XTestFakeKeyEvent(ADisplay, k, True, CurrentTime);
  for (int i = 2; i >= 0; --i) XTestFakeKeyEvent(ADisplay, keys[i], False, CurrentTime);
  XSync(ADisplay, False);
}

inline QImage Grab(Display* ADisplay, QRect ARect) {
  XImage* image = XGetImage(ADisplay, DefaultRootWindow(ADisplay), ARect.x(), ARect.y(), ARect.width(),
                            ARect.height(), AllPlanes, ZPixmap);
  if (image == nullptr) return {};
  QImage result(ARect.size(), QImage::Format_RGB32);
  for (int y = 0; y < ARect.height(); ++y)
    for (int x = 0; x < ARect.width(); ++x) result.setPixel(x, y, static_cast<QRgb>(XGetPixel(image, x, y)));
  XDestroyImage(image);
  return result;
}

// Where the caption bar's Stop button sits in a rolled-up window.
inline QPoint StopCaptionButtonCentre() {
  app::skin::TSkinForm form(app::TMainForm::kClientWidth);
  form.SetRollUpState(true);
  QWidget* bar = form.CaptionButton(2)->parentWidget();
  bar->layout()->activate();
  return form.CaptionButton(2)->mapTo(&form, form.CaptionButton(2)->rect().center());
}

class TRecorderOnX : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(media::FFLoader().Load(media::kEncoderLibraries)) << media::FFLoader().LastErrMsg();
    Display_.reset(XOpenDisplay(nullptr));
    ASSERT_NE(Display_, nullptr) << "no X display";
    // A plain grey desktop that the recording must show.
    Display* d = Display_.get();
    XSetWindowBackground(d, DefaultRootWindow(d), 0x808080);
    XClearWindow(d, DefaultRootWindow(d));
    XSync(d, False);

    ASSERT_TRUE(Home.isValid());
    QDir(Home.path()).mkpath("bin");
    OpenLog = Home.filePath("opened.log");
    QFile opener(Home.filePath("bin/xdg-open"));
    ASSERT_TRUE(opener.open(QIODevice::WriteOnly));
    opener.write(("#!/bin/sh\nprintf '%s\\n' \"$*\" >> '" + OpenLog + "'\n").toUtf8());
    opener.close();
    opener.setPermissions(QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);

    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("PATH", Home.filePath("bin") + ":" + env.value("PATH"));
    env.insert("XDG_DATA_HOME", Home.filePath("data"));
    env.insert("QT_QPA_PLATFORM", "xcb");
    env.remove("XDG_CURRENT_DESKTOP");
    Recorder.setProcessEnvironment(env);
    Recorder.setProgram(QSR_RECORDER);
    Recorder.setProcessChannelMode(QProcess::ForwardedChannels);
    Recorder.start();
    ASSERT_TRUE(Recorder.waitForStarted(5000));
    ASSERT_TRUE(QTest::qWaitFor([&] { return (Window_ = FindMainWindow(d, Recorder.processId())) != 0; }, 10000));
    QTest::qWait(500);
  }
  void TearDown() override {
    if (Recorder.state() != QProcess::NotRunning) {
      Recorder.terminate();
      if (!Recorder.waitForFinished(5000)) Recorder.kill();
      Recorder.waitForFinished(2000);
    }
  }
  QString Output() const { return Home.filePath("data/Quorvane/ScreenRecorder/ScreenCapture.mkv"); }
  QStringList Opened() const {
    QFile log(OpenLog);
    if (!log.open(QIODevice::ReadOnly)) return {};
    return QString::fromUtf8(log.readAll()).split('\n', Qt::SkipEmptyParts);
  }
  // Waits for the file to be handed to the opener AExpected times in all,
  // then checks the file: the desktop at 5 frames a second, AMinFrames to
  // AMaxFrames of them.
  void ExpectRecording(int AExpected, int AMinFrames = 12, int AMaxFrames = 20) {
    ASSERT_TRUE(QTest::qWaitFor([&] { return Opened().size() >= AExpected; }, 20000)) << "nothing opened";
    QTest::qWait(1000);  // a second hand-over would come now
    EXPECT_EQ(Opened().size(), AExpected);
    EXPECT_TRUE(Opened().value(AExpected - 1).endsWith(Output())) << Opened().join("|").toStdString();
    const convtest::TDecoded decoded = convtest::DecodeAll(Output().toStdString());
    ASSERT_TRUE(decoded.ok) << decoded.error;
    EXPECT_EQ(decoded.width, 1280);
    EXPECT_EQ(decoded.height, 1024);
    EXPECT_GE(decoded.frames, AMinFrames);
    EXPECT_LE(decoded.frames, AMaxFrames);
    // 5 frames a second: the frames' times span frames / 5 seconds.
    EXPECT_NEAR(decoded.video_end - decoded.video_start, decoded.frames / 5.0, 0.25);
    // The grey desktop in the middle of the picture (luma of 0x80 grey).
    ASSERT_FALSE(decoded.first_luma.empty());
    const uint8_t centre = decoded.first_luma[decoded.first_luma.size() / 2 + 640];
    EXPECT_NEAR(centre, 126, 12);
  }

  TDisplay Display_;
  QTemporaryDir Home;
  QString OpenLog;
  QProcess Recorder;
  Window Window_ = 0;
};

}  // namespace recordx11
