#include "capture/WaveTimeline.h"

#include <algorithm>
#include <cstring>
#include <limits>

namespace capture {

namespace {

constexpr int64_t kOpen = std::numeric_limits<int64_t>::max();

// a * b / c rounded to nearest (c > 0), exact for any 64-bit a and 32-bit b.
int64_t MulDiv(int64_t a, int64_t b, int64_t c) {
  const __int128 p = static_cast<__int128>(a) * b;
  return static_cast<int64_t>(p >= 0 ? (p + c / 2) / c : (p - c / 2) / c);
}

}  // namespace

TWaveTimeline::TWaveTimeline(int32_t ASampleRate) : FRate(ASampleRate > 0 ? ASampleRate : 1) {}

void TWaveTimeline::Start(int64_t AAt) {
  std::lock_guard l(FLock);
  if (FStart < 0) FStart = AAt;
}

void TWaveTimeline::Pause(int64_t AAt) {
  std::lock_guard l(FLock);
  if (FPauses.empty() || FPauses.back().second != kOpen) FPauses.emplace_back(AAt, kOpen);
}

void TWaveTimeline::Resume(int64_t AAt) {
  std::lock_guard l(FLock);
  if (!FPauses.empty() && FPauses.back().second == kOpen) FPauses.back().second = std::max(AAt, FPauses.back().first);
}

bool TWaveTimeline::Paused() const {
  std::lock_guard l(FLock);
  return !FPauses.empty() && FPauses.back().second == kOpen;
}

int64_t TWaveTimeline::FramesToUs(int64_t AFrames) const { return MulDiv(AFrames, 1000000, FRate); }

int64_t TWaveTimeline::UsToFrames(int64_t AMicroseconds) const { return MulDiv(AMicroseconds, FRate, 1000000); }

int64_t TWaveTimeline::CaptureTime(int64_t AIndex) const {
  std::lock_guard l(FLock);
  return (FLows.empty() ? 0 : FLows.front().second) + FramesToUs(AIndex);
}

int64_t TWaveTimeline::FrameAt(int64_t ATime, int64_t AIndex0) const {
  // Frame i (of the buffer) was captured at base + (AIndex0 + i) / rate; the
  // frame nearest to ATime is the first one at or after it.
  return UsToFrames(ATime - FLows.front().second) - AIndex0;
}

int64_t TWaveTimeline::RecordPosition(int64_t ATime) const {
  int64_t held = 0;
  for (const auto& [from, to] : FPauses) {
    const int64_t a = std::max(from, FStart), b = std::min(to, ATime);
    if (b > a) held += b - a;
  }
  return UsToFrames(ATime - FStart - held);
}

std::vector<std::pair<int64_t, int64_t>> TWaveTimeline::KeptRuns(int64_t AIndex0, int64_t AFrames) const {
  // Frames captured before the start or inside a pause are cut out.
  std::vector<std::pair<int64_t, int64_t>> cut;
  cut.emplace_back(std::numeric_limits<int64_t>::min(), FrameAt(FStart, AIndex0));
  for (const auto& [from, to] : FPauses) {
    const int64_t a = FrameAt(from, AIndex0);
    const int64_t b = to == kOpen ? kOpen : FrameAt(to, AIndex0);
    if (b > a) cut.emplace_back(a, b);
  }
  std::sort(cut.begin(), cut.end());
  std::vector<std::pair<int64_t, int64_t>> kept;
  int64_t at = 0;
  for (const auto& [a, b] : cut) {
    if (a > at) kept.emplace_back(at, std::min(a, AFrames));
    at = std::max(at, b);
    if (at >= AFrames) break;
  }
  if (at < AFrames) kept.emplace_back(at, AFrames);
  kept.erase(std::remove_if(kept.begin(), kept.end(), [](const auto& r) { return r.second <= r.first; }),
             kept.end());
  return kept;
}

TWavePiece TWaveTimeline::PlaceRun(int64_t AIndex0, int64_t AFirst, int64_t ACount) {
  TWavePiece piece{AFirst, ACount, -1, 0};
  const int64_t target = RecordPosition(FLows.front().second + FramesToUs(AIndex0 + AFirst));
  if (FNextIndex != AIndex0 + AFirst) {
    // Sound starts (again): at its own time, or, when the sound before it
    // already reaches past that time, with its head cut so that nothing is
    // placed late.
    if (target >= FPosition) {
      piece.Stamp = target;
      FPosition = target;
    } else {
      const int64_t late = std::min(FPosition - target, ACount);
      piece.First += late;
      piece.Count -= late;
    }
  } else {
    const int64_t offset = FPosition - target;  // > 0: the sound runs late
    const int64_t deadband = UsToFrames(kDeadband);
    if (offset > deadband || offset < -deadband) {
      const int64_t most = std::max<int64_t>(1, ACount / kSlipDivisor);
      const int64_t slip = std::min(std::abs(offset) - deadband, most);
      piece.Slip = offset > 0 ? -slip : slip;
    }
  }
  FPosition += piece.Count + piece.Slip;
  FNextIndex = AIndex0 + AFirst + ACount;
  return piece;
}

int64_t TWaveTimeline::Captured(int64_t AArrival, int64_t AFrames) {
  std::lock_guard l(FLock);
  const int64_t index0 = FCaptured;
  if (AFrames <= 0) return index0;
  FCaptured += AFrames;
  // The lower edge of arrival time less captured duration: late arrivals lie
  // above it and never lower the estimate of the capture time.
  const int64_t offset = AArrival - FramesToUs(FCaptured);
  while (!FLows.empty() && FLows.back().second >= offset) FLows.pop_back();
  FLows.emplace_back(AArrival, offset);
  while (FLows.front().first < AArrival - kWindow) FLows.pop_front();
  return index0;
}

std::vector<TWavePiece> TWaveTimeline::Place(int64_t AIndex0, int64_t AFrames, bool ADrop) {
  if (AFrames <= 0) return {};
  std::lock_guard l(FLock);
  std::vector<TWavePiece> pieces;
  if (FStart < 0 || ADrop || FLows.empty()) {
    FNextIndex = -1;
    return pieces;
  }
  for (const auto& [a, b] : KeptRuns(AIndex0, AFrames)) {
    TWavePiece p = PlaceRun(AIndex0, a, b - a);
    if (p.Count + p.Slip > 0) pieces.push_back(p);
  }
  return pieces;
}

std::vector<TWavePiece> TWaveTimeline::Arrived(int64_t AArrival, int64_t AFrames, bool ADrop) {
  return Place(Captured(AArrival, AFrames), AFrames, ADrop);
}

void CopyWithSlip(const uint8_t* ASource, int64_t AFrames, int ABlockAlign, int64_t ASlip, uint8_t* ADest) {
  const size_t align = static_cast<size_t>(ABlockAlign);
  const int64_t slips = std::min(std::abs(ASlip), AFrames);
  int64_t from = 0;
  uint8_t* out = ADest;
  for (int64_t j = 0; j < slips; ++j) {
    // The j-th slipped frame sits in the middle of the j-th of `slips` equal stretches.
    const int64_t at = (2 * j + 1) * AFrames / (2 * slips);
    const size_t run = static_cast<size_t>(at - from) * align;
    std::memcpy(out, ASource + static_cast<size_t>(from) * align, run);
    out += run;
    if (ASlip > 0) {  // the frame twice
      std::memcpy(out, ASource + static_cast<size_t>(at) * align, align);
      out += align;
    }
    from = ASlip > 0 ? at : at + 1;
  }
  std::memcpy(out, ASource + static_cast<size_t>(from) * align, static_cast<size_t>(AFrames - from) * align);
}

}  // namespace capture
