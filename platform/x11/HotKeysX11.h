#pragma once
// Pieces of the X11 hot-key backend that tests reach directly.

#include <array>
#include <cstdint>

namespace platform::x11 {

// Tells the first press of a held key from the presses of its auto-repeat.
// With detectable auto-repeat the server sends presses only; without it,
// every repeat is a release and a press with the same time stamp.
class TKeyRepeatFilter {
 public:
  // True when this press starts a new hold of the key.
  bool Press(uint8_t AKeyCode, uint32_t ATime);
  void Release(uint8_t AKeyCode, uint32_t ATime);

 private:
  std::array<bool, 256> FHeld{};
  std::array<bool, 256> FReleased{};
  std::array<uint32_t, 256> FReleaseTime{};
};

}  // namespace platform::x11
