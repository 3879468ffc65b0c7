// Where captured sound goes on the recording: buffers arrive late and in
// bursts, the sound card's clock runs fast or slow against the monotonic
// clock, and pauses come and go; the sound must stay at the time it was
// captured, and the frames repeated or left out to keep it there must be few.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <random>
#include <vector>

#include "capture/WaveTimeline.h"

using capture::TWavePiece;
using capture::TWaveTimeline;

namespace {

constexpr int32_t kRate = 44100;
constexpr int64_t kFrames = 1024;  // one buffer

// Plays a sound card whose clock runs (1 + ADrift) times as fast as the
// monotonic clock, feeding a timeline, and checks where each run lands.
struct TCard {
  explicit TCard(double ADrift) : Drift(ADrift) {}

  // When frame AIndex was really captured (monotonic microseconds).
  double Captured(int64_t AIndex) const { return T0 + AIndex * 1e6 / kRate / (1 + Drift); }

  // The next buffer arrives ALate microseconds after its last frame was
  // captured; every run is checked against the paused time so far.
  void Next(int64_t ALate) {
    const int64_t index0 = Index;
    Index += kFrames;
    const std::vector<TWavePiece> pieces =
        Timeline.Arrived(static_cast<int64_t>(Captured(Index)) + ALate, kFrames);
    for (const TWavePiece& p : pieces) {
      if (p.Stamp >= 0) Position = p.Stamp;
      const double placed = Position * 1e6 / kRate;
      const double due = Captured(index0 + p.First) - Start - Held;
      Largest = std::max(Largest, std::fabs(placed - due));
      EXPECT_LE(std::abs(p.Slip), std::max<int64_t>(1, p.Count / TWaveTimeline::kSlipDivisor));
      Slipped += std::abs(p.Slip);
      Position += p.Count + p.Slip;
    }
  }

  double Drift;
  double T0 = 7e9;
  double Start = 0, Held = 0;
  int64_t Index = 0, Position = 0, Slipped = 0;
  double Largest = 0;  // microseconds between where sound was placed and where it belongs
  TWaveTimeline Timeline{kRate};
};

// A card 0.1 % fast or slow (60 ms too much or too little sound a minute,
// if samples were only counted) with deliveries late by up to 40 ms, and now
// and then a stall of 300 ms whose buffers then arrive in a burst: the sound
// stays within 8 ms of its time, slipping not many more frames than the
// drift needs.
TEST(WaveTimeline, KeepsADriftingLateCardOnTheMonotonicClock) {
  for (const double drift : {0.001, -0.001, 0.0}) {
    TCard card(drift);
    std::mt19937 random(7);
    std::uniform_int_distribution<int64_t> late(0, 40000);
    for (int i = 0; i < 20; ++i) card.Next(late(random));  // before the start
    card.Start = card.Captured(card.Index) + 5000;
    card.Timeline.Start(static_cast<int64_t>(card.Start));
    const int buffers = 60 * kRate / kFrames;  // a minute
    for (int i = 0; i < buffers; ++i) {
      if (i % 500 == 250) {
        // A stall: 13 buffers' worth of sound, then all of it at once.
        const double resume = card.Captured(card.Index + 13 * kFrames) + 1000;
        for (int k = 0; k < 13; ++k) card.Next(static_cast<int64_t>(resume - card.Captured(card.Index + kFrames)));
        i += 12;
      } else {
        card.Next(late(random));
      }
    }
    EXPECT_LE(card.Largest, 8000) << "drift " << drift;
    const double needed = std::fabs(drift) * buffers * kFrames;
    EXPECT_LE(card.Slipped, needed + 500) << "drift " << drift;
  }
}

// Sound captured before the start and during pauses is cut out at the
// sample; after each pause the sound is placed at its time on the
// recording, so the paused time leaves no gap and nothing overlaps.
TEST(WaveTimeline, CutsTheStartAndPausesAtTheSample) {
  TCard card(0.0);
  card.T0 = 0;
  card.Next(0);
  card.Next(0);
  // Start half-way through the third buffer: 512 of its frames are kept.
  card.Start = card.Captured(2 * kFrames + 512);
  card.Timeline.Start(static_cast<int64_t>(std::llround(card.Start)));
  card.Next(0);
  EXPECT_EQ(card.Position, 512);

  // A pause from frame 3500 to frame 9000 of the card.
  const int64_t from = std::llround(card.Captured(3500)), to = std::llround(card.Captured(9000));
  card.Timeline.Pause(from);
  card.Timeline.Pause(from + 999);  // repeated: ignored
  EXPECT_TRUE(card.Timeline.Paused());
  std::vector<TWavePiece> pieces = card.Timeline.Arrived(static_cast<int64_t>(card.Captured(4 * kFrames)), kFrames);
  ASSERT_EQ(pieces.size(), 1u);
  EXPECT_EQ(pieces[0].First, 0);
  EXPECT_EQ(pieces[0].Count, 3500 - 3 * kFrames);
  EXPECT_TRUE(card.Timeline.Arrived(static_cast<int64_t>(card.Captured(5 * kFrames)), kFrames).empty());
  card.Timeline.Resume(to);
  EXPECT_FALSE(card.Timeline.Paused());
  for (int64_t end = 6 * kFrames; end <= 9 * kFrames; end += kFrames) {
    pieces = card.Timeline.Arrived(static_cast<int64_t>(card.Captured(end)), kFrames);
    if (end <= 8 * kFrames) {
      EXPECT_TRUE(pieces.empty());
    }
  }
  ASSERT_EQ(pieces.size(), 1u);
  EXPECT_EQ(pieces[0].First, 9000 - 8 * kFrames);
  // Right after the 512 frames from the start and the 428 before the pause.
  EXPECT_EQ(pieces[0].Stamp, 512 + 428);
  EXPECT_EQ(pieces[0].Slip, 0);

  // A pause that begins and ends inside one buffer splits it in two runs.
  const int64_t i0 = 9 * kFrames;
  card.Timeline.Pause(std::llround(card.Captured(i0 + 100)));
  card.Timeline.Resume(std::llround(card.Captured(i0 + 300)));
  pieces = card.Timeline.Arrived(static_cast<int64_t>(card.Captured(i0 + kFrames)), kFrames);
  ASSERT_EQ(pieces.size(), 2u);
  EXPECT_EQ(pieces[0].First, 0);
  EXPECT_EQ(pieces[0].Count, 100);
  EXPECT_EQ(pieces[0].Stamp, -1);
  EXPECT_EQ(pieces[1].First, 300);
  EXPECT_EQ(pieces[1].Count, kFrames - 300);
  EXPECT_EQ(pieces[1].Stamp, 512 + 428 + (9 * kFrames - 9000) + 100);
}

// A buffer dropped by the caller's own flag: the sound after it is placed
// at its time, leaving the dropped time as a gap (the picture went on).
TEST(WaveTimeline, SoundAfterADroppedBufferKeepsItsTime) {
  TCard card(0.0);
  card.Timeline.Start(static_cast<int64_t>(card.T0));
  card.Next(0);
  EXPECT_TRUE(card.Timeline.Arrived(static_cast<int64_t>(card.Captured(2 * kFrames)), kFrames, true).empty());
  const std::vector<TWavePiece> pieces =
      card.Timeline.Arrived(static_cast<int64_t>(card.Captured(3 * kFrames)), kFrames);
  ASSERT_EQ(pieces.size(), 1u);
  EXPECT_EQ(pieces[0].Stamp, 2 * kFrames);
}

TEST(WaveTimeline, CopyWithSlipRepeatsOrLeavesOutFramesSpreadEvenly) {
  std::vector<uint16_t> source(10);
  for (uint16_t i = 0; i < 10; ++i) source[i] = i;
  std::vector<uint16_t> out(12, 99);
  capture::CopyWithSlip(reinterpret_cast<const uint8_t*>(source.data()), 10, 2, 2, reinterpret_cast<uint8_t*>(out.data()));
  EXPECT_EQ(out, (std::vector<uint16_t>{0, 1, 2, 2, 3, 4, 5, 6, 7, 7, 8, 9}));
  out.assign(8, 99);
  capture::CopyWithSlip(reinterpret_cast<const uint8_t*>(source.data()), 10, 2, -2, reinterpret_cast<uint8_t*>(out.data()));
  EXPECT_EQ(out, (std::vector<uint16_t>{0, 1, 3, 4, 5, 6, 8, 9}));
  out.assign(10, 99);
  capture::CopyWithSlip(reinterpret_cast<const uint8_t*>(source.data()), 10, 2, 0, reinterpret_cast<uint8_t*>(out.data()));
  EXPECT_EQ(out, source);
}

}  // namespace
