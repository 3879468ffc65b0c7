#pragma once
// The clock the capture devices read and sleep on: monotonic microseconds
// and whole-millisecond sleeps. The picture and the sound keep time by the
// same clock; tests substitute a fake.
#include <atomic>
#include <cstdint>

namespace capture {

class TPaceClock {
 public:
  virtual ~TPaceClock() = default;
  virtual int64_t Now() = 0;
  virtual void SleepMs(int64_t AMilliseconds) = 0;
};

// av_gettime_relative and platform::SleepMs.
TPaceClock& MonotonicClock();

// Where the recording's time zero lies on the monotonic clock, shared by the
// capture devices of one run, so that picture and sound count from the same
// instant however late the engine first reads each of them. The first device
// to start claims it; the later ones take its value.
class TRecordingStart {
 public:
  int64_t Claim(int64_t AAt) {
    int64_t expected = -1;
    FAt.compare_exchange_strong(expected, AAt, std::memory_order_acq_rel);
    return FAt.load(std::memory_order_acquire);
  }

 private:
  std::atomic<int64_t> FAt{-1};
};

}  // namespace capture
