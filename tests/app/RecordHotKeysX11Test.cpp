// The real recorder driven only by its global hot keys while its window is
// minimized: Ctrl+Alt+R records, Ctrl+Alt+P pauses and resumes, Ctrl+Alt+S
// stops. The file leaves the paused time out, the window comes back idle,
// and the file is handed to the desktop's opener once. The window stays
// minimized throughout: restoring it would put it into the recording.
#include "RecordX11Support.h"

namespace {

using namespace recordx11;

// Minimizes AWindow as a window manager does on the client's iconify
// request (there is none on this server): the request, then the unmap and
// the iconic WM_STATE that the window manager would set.
void Iconify(Display* ADisplay, Window AWindow) {
  XIconifyWindow(ADisplay, AWindow, DefaultScreen(ADisplay));
  XUnmapWindow(ADisplay, AWindow);
  const Atom wmState = XInternAtom(ADisplay, "WM_STATE", False);
  const unsigned long state[2] = {IconicState, None};
  XChangeProperty(ADisplay, AWindow, wmState, wmState, 32, PropModeReplace,
                  reinterpret_cast<const unsigned char*>(state), 2);
  XSync(ADisplay, False);
}

bool Viewable(Display* ADisplay, Window AWindow) {
  XWindowAttributes attributes;
  return XGetWindowAttributes(ADisplay, AWindow, &attributes) && attributes.map_state == IsViewable;
}

// The window's title (_NET_WM_NAME), which says "Recording..." meanwhile.
QString Title(Display* ADisplay, Window AWindow) {
  Atom type = 0;
  int format = 0;
  unsigned long items = 0, after = 0;
  unsigned char* data = nullptr;
  QString title;
  if (XGetWindowProperty(ADisplay, AWindow, XInternAtom(ADisplay, "_NET_WM_NAME", False), 0, 256, False,
                         AnyPropertyType, &type, &format, &items, &after, &data) == Success &&
      data != nullptr) {
    if (format == 8) title = QString::fromUtf8(reinterpret_cast<const char*>(data), int(items));
    XFree(data);
  }
  return title;
}

TEST_F(TRecorderOnX, HotKeysRecordPauseResumeAndStopWhileMinimized) {
  Display* d = Display_.get();
  const QRect idle = WindowRect(d, Window_);
  Iconify(d, Window_);
  // The pointer (which the recording shows) out of the middle of the screen.
  XTestFakeMotionEvent(d, DefaultScreen(d), 5, 5, CurrentTime);
  ASSERT_TRUE(QTest::qWaitFor([&] { return !Viewable(d, Window_); }, 2000));
  QTest::qWait(300);

  // Recording, with the window left where the user put it.
  PressCtrlAlt(d, XK_r);
  ASSERT_TRUE(QTest::qWaitFor([&] { return Title(d, Window_) == "Recording..."; }, 5000))
      << "Ctrl+Alt+R did not start a recording: " << Title(d, Window_).toStdString();
  QTest::qWait(2000);
  EXPECT_FALSE(Viewable(d, Window_));
  PressCtrlAlt(d, XK_p);  // paused for three seconds
  QTest::qWait(3000);
  PressCtrlAlt(d, XK_p);  // resumed
  QTest::qWait(2000);
  PressCtrlAlt(d, XK_s);

  // About four seconds recorded of seven: 20 frames at 5 a second, far
  // fewer than the 35 the whole time would give.
  ExpectRecording(1, 14, 27);
  if (HasFailure()) return;

  // Idle again, still minimized, where it was.
  ASSERT_TRUE(QTest::qWaitFor([&] { return Title(d, Window_) == "Quorvane Screen Recorder"; }, 5000))
      << Title(d, Window_).toStdString();
  EXPECT_FALSE(Viewable(d, Window_));
  EXPECT_EQ(WindowRect(d, Window_), idle);
  // Idle, Ctrl+Alt+P has nothing to pause and Ctrl+Alt+S nothing to stop:
  // no new file is handed over.
  PressCtrlAlt(d, XK_p);
  PressCtrlAlt(d, XK_s);
  QTest::qWait(1500);
  EXPECT_EQ(Opened().size(), 1);
  EXPECT_EQ(Title(d, Window_), "Quorvane Screen Recorder");
}

}  // namespace
