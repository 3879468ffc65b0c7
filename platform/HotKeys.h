#pragma once
// System-wide hot keys: a backend that grabs key combinations for the whole
// desktop and reports their presses, and the process's atom table that
// gives every hot-key name a stable 16-bit identifier.
//
// Keys are described as the recorder stores them: a Windows virtual-key code
// and the modifier bits MOD_ALT 1, MOD_CONTROL 2, MOD_SHIFT 4, MOD_WIN 8.

#include <cstdint>
#include <functional>
#include <memory>
#include <string>

namespace platform {

inline constexpr uint32_t kModAlt = 1;
inline constexpr uint32_t kModControl = 2;
inline constexpr uint32_t kModShift = 4;
inline constexpr uint32_t kModWin = 8;

class THotKeyBackend {
 public:
  virtual ~THotKeyBackend() = default;
  // Grabs the combination for AId. False when the system refuses it (another
  // program holds it, or the key has no equivalent on this keyboard).
  virtual bool Register(uint16_t AId, uint32_t AModifiers, uint32_t AVirtualKey) = 0;
  // Releases the grab of AId; false when AId holds no grab.
  virtual bool Unregister(uint16_t AId) = 0;
  // Called on the UI thread for every press of a registered combination
  // (not for the repeats of a held key), with what was registered.
  using TOnPressed = std::function<void(uint16_t AId, uint32_t AModifiers, uint32_t AVirtualKey)>;
  void SetOnPressed(TOnPressed AHandler) { FOnPressed = std::move(AHandler); }

 protected:
  void Pressed(uint16_t AId, uint32_t AModifiers, uint32_t AVirtualKey) const {
    if (FOnPressed) FOnPressed(AId, AModifiers, AVirtualKey);
  }

 private:
  TOnPressed FOnPressed;
};

// The backend of the X server the Qt application runs on (grabs on the root
// window of Qt's own connection); a backend that refuses every key when the
// application has no X connection (offscreen tests).
std::unique_ptr<THotKeyBackend> OpenHotKeyBackend();

// The process's atom table: names with reference counts and identifiers
// from 0xC000 up. AddAtom answers 0 when the table is full.
uint16_t AddAtom(const std::string& AName);
// Drops one reference; the identifier becomes free with the last one.
void DeleteAtom(uint16_t AAtom);
// The identifier of a name in the table, 0 when it is not there.
uint16_t FindAtom(const std::string& AName);

}  // namespace platform

namespace platform {

// The one key table: Windows virtual-key code, Qt key, X keysym. Each answers
// 0 for a key the table does not know.
uint32_t VirtualKeyFromQtKey(int AQtKey);
int QtKeyFromVirtualKey(uint32_t AVirtualKey);
unsigned long XKeysymFromVirtualKey(uint32_t AVirtualKey);

}  // namespace platform
