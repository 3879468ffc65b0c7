// The recording-area frame and its rounds.
#include "capture/ScreenCaptureAreaFrame.h"

#include "platform/UiHandOver.h"

namespace capture {

std::unique_ptr<TFrameForm> TFrameForm::Create(const TAreaFrameSource& ASource, std::string& AError) {
  constexpr int border = 2;
  int x = 0, y = 0;
  auto ring = platform::OpenAreaRing(ASource.Window, ASource.XOff - border, ASource.YOff - border,
                                     ASource.Width + 2 * border, ASource.Height + 2 * border, border, kColours[0],
                                     AError);
  if (ring == nullptr) return nullptr;
  // Around a window: where the window is now.
  if (ASource.Window != 0 && ring->WindowOrigin(ASource.Window, ASource.Client, x, y))
    ring->MoveTo(x + ASource.XOff - border, y + ASource.YOff - border);
  return std::unique_ptr<TFrameForm>(new TFrameForm(ASource, std::move(ring)));
}

TFrameForm::TFrameForm(const TAreaFrameSource& ASource, std::unique_ptr<platform::TAreaRing> ARing)
    : FSource(ASource), FRing(std::move(ARing)) {
  FThread.Start([this] {
    int counter = 0;
    while (!FStopping.load(std::memory_order_acquire)) {
      if (++counter >= kRoundsPerFlash) {
        Flash();
        counter = 0;
      }
      AdjustPosition();
      platform::SleepMs(kRoundMs);
    }
  });
}

TFrameForm::~TFrameForm() { Stop(); }

void TFrameForm::Stop() {
  FStopping.store(true, std::memory_order_release);
  FThread.Join();
}

bool TFrameForm::RingPosition(int& AX, int& AY) {
  int originX = 0, originY = 0;
  // A window that is gone leaves the ring where it is.
  if (FSource.Window != 0 && !FRing->WindowOrigin(FSource.Window, FSource.Client, originX, originY)) return false;
  AX = originX + FSource.XOff - FBorder;
  AY = originY + FSource.YOff - FBorder;
  return true;
}

void TFrameForm::AdjustPosition() {
  if (FLock != 0) return;
  FLock = 1;
  int x = 0, y = 0;
  if (RingPosition(x, y) && (x != FRing->Left() || y != FRing->Top())) {
    FRing->MoveTo(x, y);
  } else {
    FRing->KeepOnTop();
  }
  FLock = 0;
}

void TFrameForm::Flash() {
  if (FStarted.load(std::memory_order_acquire)) {
    FRing->SetColour(kColours[FFlashIndex]);
    FColourIndex.store(FFlashIndex);
    FFlashIndex = 1 - FFlashIndex;
  }
  FRing->KeepOnTop();
}

void ReleaseFrameForm(std::unique_ptr<TFrameForm> AFrame) {
  if (AFrame == nullptr) return;
  AFrame->Stop();
  // std::function needs a copyable call: the frame travels in a shared owner.
  std::shared_ptr<TFrameForm> frame(std::move(AFrame));
  platform::ui::PostToUiThread([frame]() mutable { frame.reset(); });
}

}  // namespace capture
