// The real recorder on the X server: Record clicked, three seconds, Stop
// clicked on the rolled-up window's caption bar; then the same with the
// Ctrl+Alt+R and Ctrl+Alt+S hot keys. Each time the file in the default
// folder decodes to about 15 frames at 5 per second showing the screen, and
// the desktop's opener (a double first in PATH) is asked once to open it.
#include "RecordX11Support.h"

namespace {

using namespace recordx11;

TEST_F(TRecorderOnX, RecordAndStopByClickThenByHotKeys) {
  Display* d = Display_.get();
  const QRect idle = WindowRect(d, Window_);
  // The Record button of the button panel, below the caption bar.
  const int recordX = app::TMainForm::kClientWidth - 8 - 4 * 48 - 3 * 4 + 24;
  Click(d, idle.topLeft() + QPoint(app::skin::TSkinForm::kBorder + recordX,
                                   app::skin::TSkinForm::kBorder + app::skin::TSkinForm::kCaptionHeight + 8 + 19));
  // Rolled up to its caption bar in the bottom-right corner.
  ASSERT_TRUE(QTest::qWaitFor(
      [&] {
        const QRect r = WindowRect(d, Window_);
        return r.height() == app::skin::TSkinForm::kCaptionHeight + 2 && r.bottomRight() == QPoint(1279, 1023);
      },
      5000))
      << "window at " << WindowRect(d, Window_).x() << "," << WindowRect(d, Window_).y();
  QTest::qWait(1000);
  const QRect rolled = WindowRect(d, Window_);
  const QImage shot = Grab(d, QRect(1280 - 640, 1024 - 120, 640, 120));
  QDir().mkpath(QSR_SCREENSHOT_DIR);
  EXPECT_TRUE(shot.save(QString(QSR_SCREENSHOT_DIR) + "/recording-rolledup.png"));
  QTest::qWait(2000);
  Click(d, rolled.topLeft() + StopCaptionButtonCentre());
  ExpectRecording(1);
  if (HasFailure()) return;
  // Back where it was, rolled down.
  ASSERT_TRUE(QTest::qWaitFor([&] { return WindowRect(d, Window_) == idle; }, 5000));

  PressCtrlAlt(d, XK_r);
  ASSERT_TRUE(QTest::qWaitFor([&] { return WindowRect(d, Window_).height() == rolled.height(); }, 5000));
  QTest::qWait(3000);
  PressCtrlAlt(d, XK_s);
  ExpectRecording(2);
}

}  // namespace
