#include "capture/WavePauseFlags.h"

#include <algorithm>
#include <mutex>
#include <vector>

namespace capture {

namespace {

struct TFlagRegistry {
  std::mutex Lock;
  std::vector<TWavePauseFlag*> Flags;  // one entry per registration
};

TFlagRegistry& Registry() {
  static TFlagRegistry registry;
  return registry;
}

}  // namespace

void RegisterWavePauseFlag(TWavePauseFlag* AFlag) {
  if (!AFlag) return;
  TFlagRegistry& r = Registry();
  std::lock_guard lock(r.Lock);
  r.Flags.push_back(AFlag);
}

void UnregisterWavePauseFlag(TWavePauseFlag* AFlag) {
  TFlagRegistry& r = Registry();
  std::lock_guard lock(r.Lock);
  auto it = std::find(r.Flags.begin(), r.Flags.end(), AFlag);
  if (it != r.Flags.end()) r.Flags.erase(it);
}

TWavePauseFlag* FindWavePauseFlag(int64_t AAddress) {
  if (AAddress == 0) return nullptr;
  TFlagRegistry& r = Registry();
  std::lock_guard lock(r.Lock);
  for (TWavePauseFlag* f : r.Flags)
    if (WavePauseFlagAddress(f) == AAddress) return f;
  return nullptr;
}

}  // namespace capture
