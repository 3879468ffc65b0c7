#pragma once
// The clock the capture devices read and sleep on: monotonic microseconds
// and whole-millisecond sleeps. The picture and the sound keep time by the
// same clock; tests substitute a fake.
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

}  // namespace capture
