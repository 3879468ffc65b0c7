#include "capture/CaptureClock.h"

#include "media/FFBindings.h"
#include "platform/Threads.h"

namespace capture {

namespace {

class TMonotonicClock final : public TPaceClock {
 public:
  int64_t Now() override { return ff::av_gettime_relative(); }
  void SleepMs(int64_t AMilliseconds) override { platform::SleepMs(AMilliseconds); }
};

}  // namespace

TPaceClock& MonotonicClock() {
  static TMonotonicClock clock;
  return clock;
}

}  // namespace capture
