// The real recorder with "Record audio (Stereo Mix)" ticked records the
// sound the computer plays beside the picture: a tone played into the test
// run's null sink must be in the file.
#include <cstdlib>

#include "../capture/PulseTone.h"
#include "RecordX11Support.h"

namespace {

using namespace recordx11;

TEST_F(TRecorderOnX, RecordsTheSoundTheComputerPlays) {
  if (!std::getenv("PULSE_SERVER")) GTEST_SKIP() << "no private PulseAudio";
  Display* d = Display_.get();
  pulsetest::TTone tone;

  // The keyboard focus starts on the audio check box: space ticks it (and,
  // the first time, the help page about recording sound is opened).
  const QPoint centre = WindowRect(d, Window_).center();
  XTestFakeMotionEvent(d, DefaultScreen(d), centre.x(), centre.y(), CurrentTime);
  XSync(d, False);
  QTest::qWait(200);
  const KeyCode space = XKeysymToKeycode(d, XK_space);
  XTestFakeKeyEvent(d, space, True, CurrentTime);
  XTestFakeKeyEvent(d, space, False, CurrentTime);
  XSync(d, False);
  ASSERT_TRUE(QTest::qWaitFor([&] { return Opened().size() == 1; }, 5000)) << "the audio box was not ticked";
  // The pointer (which the recording shows) out of the middle of the screen.
  XTestFakeMotionEvent(d, DefaultScreen(d), 5, 5, CurrentTime);
  XSync(d, False);
  QTest::qWait(300);

  const QRect idle = WindowRect(d, Window_);
  PressCtrlAlt(d, XK_r);
  ASSERT_TRUE(QTest::qWaitFor([&] { return WindowRect(d, Window_) != idle; }, 5000))
      << "Ctrl+Alt+R did not start a recording with sound";
  QTest::qWait(3500);
  PressCtrlAlt(d, XK_s);
  ExpectRecording(2, 12, 24);

  const convtest::TDecoded decoded = convtest::DecodeAll(Output().toStdString());
  ASSERT_TRUE(decoded.ok) << decoded.error;
  ASSERT_GT(decoded.sample_rate, 0) << "no sound stream";
  const size_t n = decoded.left.size();
  // The sound server may start delivering a moment late; what is there
  // carries the tone to the end.
  EXPECT_GE(static_cast<double>(n) / decoded.sample_rate, 1.5);
  EXPECT_GE(decoded.audio_end, decoded.video_end - 0.5);
  EXPECT_GT(convtest::Peak(decoded.left, n / 2, n), 0.1f);
  EXPECT_NEAR(convtest::ToneFrequency(decoded.left, decoded.sample_rate, n / 2, n), 1000, 30);
}

}  // namespace
