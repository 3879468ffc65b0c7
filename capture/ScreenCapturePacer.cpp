#include "capture/ScreenCapturePacer.h"

namespace capture {

namespace {

// a * b / c rounded to nearest, without overflow for any 64-bit a and 32-bit b, c.
int64_t Rescale(int64_t a, int64_t b, int64_t c) {
  const __int128 p = static_cast<__int128>(a) * b;
  const __int128 half = c / 2;
  return static_cast<int64_t>(p >= 0 ? (p + half) / c : (p - half) / c);
}

}  // namespace

void TFramePacer::Setup(AVRational ATimeBase, TPaceClock& AClock) {
  FTimeBase = ATimeBase;
  FClock = &AClock;
  // The schedule's position at the open, in frame units of the clock; the
  // first request re-anchors it.
  time_frame = Rescale(Now(), FTimeBase.den, FTimeBase.num);
}

int64_t TFramePacer::Now() {
  return FClock->Now() - FPausedTotal.load(std::memory_order_acquire);
}

int64_t TFramePacer::Deadline(int64_t ATimeFrame) const {
  return Rescale(ATimeFrame, FTimeBase.num, FTimeBase.den);
}

int64_t TFramePacer::WaitNextFrame() {
  if (FStarted.load(std::memory_order_relaxed) == 0) {
    const int64_t now = Now();
    time_frame = Rescale(now, FTimeBase.den, FTimeBase.num);
    time_start = now;
    FFirstFrame = time_frame + kFrameUnits;
    FStarted.store(1, std::memory_order_release);
  }
  time_frame += kFrameUnits;

  int64_t delay = Deadline(time_frame) - Now();
  while (delay > 0) {
    // Whole milliseconds, rounded up: the last partial millisecond is slept
    // rather than spun.
    FClock->SleepMs((delay + 999) / 1000);
    delay = Deadline(time_frame) - Now();
  }
  // More than one period late (a slow frame or a stalled reader): move to
  // the latest slot that has begun. The slots missed stay empty, so the
  // timestamps keep following the clock.
  const int64_t period = Rescale(kFrameUnits, FTimeBase.num, FTimeBase.den);
  if (period > 0 && -delay > period) {
    const int64_t missed = Rescale(-delay, FTimeBase.den, FTimeBase.num) / kFrameUnits;
    time_frame += missed * kFrameUnits;
  }
  return Rescale(time_frame - FFirstFrame, FTimeBase.num, FTimeBase.den);
}

void TFramePacer::Pause() {
  if (!FClock) return;
  int64_t expected = -1;
  FPauseStart.compare_exchange_strong(expected, FClock->Now(), std::memory_order_acq_rel);
}

void TFramePacer::Resume() {
  if (!FClock) return;
  const int64_t start = FPauseStart.exchange(-1, std::memory_order_acq_rel);
  if (start >= 0) FPausedTotal.fetch_add(FClock->Now() - start, std::memory_order_acq_rel);
}

}  // namespace capture
