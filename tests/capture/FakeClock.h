#pragma once
// A clock for the capture devices' tests: it stands still until a test (or
// a fake backend) advances it, and sleeping advances it at once.
#include <atomic>
#include <cstdint>

#include "capture/CaptureClock.h"

namespace capture::test {

class TFakeClock : public TPaceClock {
 public:
  int64_t Now() override { return FNow; }
  void SleepMs(int64_t ms) override {
    ++Sleeps;
    FNow += ms * 1000;
  }
  void Advance(int64_t us) { FNow += us; }
  std::atomic<int> Sleeps{0};

 private:
  std::atomic<int64_t> FNow{5'000'000'000};  // an arbitrary uptime
};

}  // namespace capture::test
