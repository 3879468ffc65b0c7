#pragma once
// The pause flags that audio capture devices may read.
//
// An audio option string carries the pause flag as a raw address
// (pause_pointer). The device accepts it only when the application
// registered that very flag first, so a stale or mistyped number can never
// make the device read memory it does not own.

#include <atomic>
#include <cstdint>

namespace capture {

using TWavePauseFlag = std::atomic<int32_t>;

// Registers AFlag (counted: each registration needs its own unregistration).
void RegisterWavePauseFlag(TWavePauseFlag* AFlag);
void UnregisterWavePauseFlag(TWavePauseFlag* AFlag);
// The registered flag at AAddress, or nullptr.
TWavePauseFlag* FindWavePauseFlag(int64_t AAddress);
// The address as an option string expects it (decimal text of this number).
inline int64_t WavePauseFlagAddress(const TWavePauseFlag* AFlag) {
  return static_cast<int64_t>(reinterpret_cast<intptr_t>(AFlag));
}

// Keeps a flag registered for its own lifetime.
class TWavePauseFlagRegistration {
 public:
  explicit TWavePauseFlagRegistration(TWavePauseFlag* AFlag) : FFlag(AFlag) { RegisterWavePauseFlag(FFlag); }
  ~TWavePauseFlagRegistration() { UnregisterWavePauseFlag(FFlag); }
  TWavePauseFlagRegistration(const TWavePauseFlagRegistration&) = delete;
  TWavePauseFlagRegistration& operator=(const TWavePauseFlagRegistration&) = delete;

 private:
  TWavePauseFlag* FFlag;
};

}  // namespace capture
