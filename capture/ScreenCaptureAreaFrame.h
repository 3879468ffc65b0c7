#pragma once
// The recording-area frame (TFrameForm): a ring two pixels wide just outside
// the rectangle the screen grabber records. A thread of its own keeps it on
// the captured window's position and on top every 10 ms; once the grabber's
// first frame has been asked for, the ring alternates between red and blue
// a little over every half second.
//
// The frame keeps its own copy of what it needs from the grabber, so it
// never reads the grabber's record; the grabber tells it when recording has
// begun (SetStarted) and stops its rounds (Stop) before releasing it.

#include <atomic>
#include <memory>
#include <string>

#include "platform/AreaRing.h"
#include "platform/Threads.h"

namespace capture {

// What the frame follows, copied from the grabber when it is created.
struct TAreaFrameSource {
  platform::TWindowId Window = 0;  // 0: the whole screen
  bool Client = false;             // follow the window's client area
  int XOff = 0, YOff = 0;          // the rectangle inside the screen or window
  int Width = 0, Height = 0;
};

class TFrameForm {
 public:
  static constexpr uint32_t kColours[2] = {0xFF0000, 0x0000FF};  // red, blue
  static constexpr int kRoundMs = 10;
  static constexpr int kRoundsPerFlash = 50;

  // Shows the ring (red) and starts its rounds; nullptr with the reason in
  // AError when it cannot be shown (no display).
  static std::unique_ptr<TFrameForm> Create(const TAreaFrameSource& ASource, std::string& AError);
  // Stops the rounds and waits for them, then removes the ring.
  ~TFrameForm();
  TFrameForm(const TFrameForm&) = delete;
  TFrameForm& operator=(const TFrameForm&) = delete;

  // The grabber's first frame was requested: flashing begins.
  void SetStarted() { FStarted.store(true, std::memory_order_release); }
  // Ends the rounds and waits for the thread (idempotent).
  void Stop();

  // One position round and one flash round (the thread calls them).
  void AdjustPosition();
  void Flash();

  // The colour index shown now (0 red, 1 blue).
  int ColourIndex() const { return FColourIndex.load(); }

 private:
  TFrameForm(const TAreaFrameSource& ASource, std::unique_ptr<platform::TAreaRing> ARing);
  bool RingPosition(int& AX, int& AY);

  const TAreaFrameSource FSource;
  const int FBorder = 2;
  std::unique_ptr<platform::TAreaRing> FRing;
  std::atomic<bool> FStarted{false};
  std::atomic<bool> FStopping{false};
  std::atomic<int> FColourIndex{0};
  int FFlashIndex = 1;  // the next colour: the first change shows blue
  int FLock = 0;        // AdjustPosition is not re-entered
  platform::TThread FThread;  // last: joined before the members above go
};

// Hands the frame to the UI thread to be destroyed there after what is
// already queued for it; its rounds are stopped first, here.
void ReleaseFrameForm(std::unique_ptr<TFrameForm> AFrame);

}  // namespace capture
