#pragma once
// Where captured sound belongs on the recording's time line.
//
// The wave-in device hands over full buffers. When a buffer arrives says
// little about when its sound was captured: delivery is late by whatever
// the sound server and the scheduler add, and a busy machine adds a lot. And
// the sound card's clock runs a little faster or slower than the monotonic
// clock that the picture follows, so counting samples alone lets the sound
// wander away from the picture over a long recording.
//
// The timeline estimates when each buffer was captured from the earliest
// arrivals of the last seconds (a late arrival never moves the estimate),
// leaves out sound captured before the recording began and while the engine
// held reading (cut at the sample, not at the buffer), and keeps the sample
// count in step with the monotonic clock: where sound starts again (at the
// start, after a pause) it is placed at its time, and otherwise one frame
// now and then is repeated or left out, never more than one in 200.
//
// All times are monotonic microseconds; positions on the recording are in
// sample frames from its start. Every method may be called from any thread.
#include <cstdint>
#include <deque>
#include <mutex>
#include <utility>
#include <vector>

namespace capture {

// One run of a buffer's frames that goes into the recording.
struct TWavePiece {
  int64_t First = 0;  // first frame of the run in the buffer
  int64_t Count = 0;  // frames of the run
  int64_t Stamp = -1;  // its position on the recording; -1: right after the previous piece
  int64_t Slip = 0;   // frames to repeat (> 0) or leave out (< 0), spread over the run
};

class TWaveTimeline {
 public:
  // How far back the earliest arrivals are looked for: long enough to span
  // a stall of the machine, short enough that a card slower than the clock
  // (whose arrivals drift later) is followed within a few milliseconds.
  static constexpr int64_t kWindow = 3000000;
  // Offsets below this are left alone, so the estimate's noise does not
  // make frames slip to and fro.
  static constexpr int64_t kDeadband = 2000;
  // At most one frame in this many is repeated or left out.
  static constexpr int64_t kSlipDivisor = 200;

  explicit TWaveTimeline(int32_t ASampleRate);

  // The recording's time zero (the engine's first read); later calls are ignored.
  void Start(int64_t AAt);
  // The engine holds reading / reads again. Repeats are ignored.
  void Pause(int64_t AAt);
  void Resume(int64_t AAt);
  bool Paused() const;

  // A buffer of AFrames frames arrived complete at AArrival: the estimate of
  // capture times learns from it. Returns the index of its first frame.
  int64_t Captured(int64_t AArrival, int64_t AFrames);
  // The runs of buffer AIndex0 (as Captured returned) that go into the
  // recording, in order; none before Start. Buffers must be placed in the
  // order they were captured. With ADrop the whole buffer is left out (the
  // caller's own pause); sound after it starts afresh.
  std::vector<TWavePiece> Place(int64_t AIndex0, int64_t AFrames, bool ADrop = false);
  // Captured and Place in one step.
  std::vector<TWavePiece> Arrived(int64_t AArrival, int64_t AFrames, bool ADrop = false);

  // The estimated capture time of frame AIndex counted over every buffer
  // that arrived (for tests and logs).
  int64_t CaptureTime(int64_t AIndex) const;

 private:
  int64_t FramesToUs(int64_t AFrames) const;
  int64_t UsToFrames(int64_t AMicroseconds) const;    // rounded to nearest
  int64_t FrameAt(int64_t ATime, int64_t AIndex0) const;  // buffer-relative
  int64_t RecordPosition(int64_t ATime) const;        // frames
  std::vector<std::pair<int64_t, int64_t>> KeptRuns(int64_t AIndex0, int64_t AFrames) const;
  TWavePiece PlaceRun(int64_t AIndex0, int64_t AFirst, int64_t ACount);

  const int32_t FRate;
  mutable std::mutex FLock;
  int64_t FCaptured = 0;  // frames of every buffer so far
  // Arrival time less the captured duration, kept increasing: the front is
  // the window's minimum, the estimate of when frame 0 was captured.
  std::deque<std::pair<int64_t, int64_t>> FLows;  // (arrival, offset)
  int64_t FStart = -1;
  std::vector<std::pair<int64_t, int64_t>> FPauses;  // [from, to); to = INT64_MAX while open
  int64_t FPosition = 0;     // frames placed on the recording so far
  int64_t FNextIndex = -1;   // the frame that would continue the last run; -1: none
};

// Copies AFrames frames of ABlockAlign bytes from ASource to ADest, repeating
// (ASlip > 0) or leaving out (ASlip < 0) |ASlip| of them spread evenly;
// ADest holds AFrames + ASlip frames. |ASlip| must not exceed AFrames.
void CopyWithSlip(const uint8_t* ASource, int64_t AFrames, int ABlockAlign, int64_t ASlip, uint8_t* ADest);

}  // namespace capture
