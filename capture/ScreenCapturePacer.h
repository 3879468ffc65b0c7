#pragma once
// Frame pacing of the screen grabber.
//
// Frames are due one frame period apart on the monotonic clock, from the
// moment the first frame is requested. The timeline of the captured video
// follows that clock minus the time the engine held reading (Pause/Resume):
// a frame that comes too late to make its slot skips to the latest slot that
// has begun, leaving a gap in the timestamps, and a pause shifts the whole
// schedule instead of leaving frames to catch up.

#include <atomic>
#include <cstdint>

#include "capture/CaptureClock.h"

extern "C" {
#include <libavutil/rational.h>
}

namespace capture {

class TFramePacer {
 public:
  // The schedule unit: one frame period is this many units of time_frame.
  static constexpr int64_t kFrameUnits = 1000000;

  // Sets the frame period (seconds per frame, both parts > 0) and the clock.
  void Setup(AVRational ATimeBase, TPaceClock& AClock);
  // Waits until the next frame is due and returns its timestamp in
  // microseconds (0 for the first frame).
  int64_t WaitNextFrame();
  // The engine holds reading / reads again; may be called from any thread.
  void Pause();
  void Resume();

  // When the first frame (timestamp 0) was due on the clock; valid once started.
  int64_t ZeroTime() const { return Deadline(FFirstFrame); }
  // 0 until the first frame was requested, then 1.
  int32_t Started() const { return FStarted.load(std::memory_order_acquire); }
  AVRational TimeBase() const { return FTimeBase; }

 private:
  int64_t Now();  // monotonic time minus the time spent paused
  int64_t Deadline(int64_t ATimeFrame) const;

  TPaceClock* FClock = nullptr;
  AVRational FTimeBase{1, 15};
  int64_t time_frame = 0;  // deadline of the current frame in units of 1/kFrameUnits period
  int64_t time_start = 0;  // when the first frame was requested
  int64_t FFirstFrame = 0; // time_frame of the first frame
  std::atomic<int32_t> FStarted{0};
  std::atomic<int64_t> FPausedTotal{0};
  std::atomic<int64_t> FPauseStart{-1};  // -1: not paused
};

}  // namespace capture
