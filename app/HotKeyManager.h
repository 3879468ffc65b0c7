#pragma once
// THotKeyManager: registers system-wide hot keys and reports their presses.
// A hot-key value keeps the virtual-key code of the main key in bits 0-7 and
// the modifiers Shift $2000, Ctrl $4000, Alt $8000, Windows key $10000; its
// identifier is the atom of "HotKeyManagerHotKey" + the value in decimal,
// so the same key always gets the same identifier.

#include <QKeyCombination>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "platform/HotKeys.h"

namespace app {

inline constexpr uint32_t kHotKeyShift = 0x2000;
inline constexpr uint32_t kHotKeyCtrl = 0x4000;
inline constexpr uint32_t kHotKeyAlt = 0x8000;
inline constexpr uint32_t kHotKeyWin = 0x10000;

// The value of a key combination of a hot-key field, 0 for a key that
// cannot be a hot key.
uint32_t HotKeyFromShortCut(QKeyCombination AKey);

class THotKeyManager {
 public:
  struct TEntry {
    uint32_t HotKey;
    uint16_t Index;
  };
  using TOnHotKeyPressed = std::function<void(uint32_t AHotKey, uint16_t AIndex)>;

  explicit THotKeyManager(std::unique_ptr<platform::THotKeyBackend> ABackend);
  ~THotKeyManager();
  THotKeyManager(const THotKeyManager&) = delete;
  THotKeyManager& operator=(const THotKeyManager&) = delete;

  // The identifier of the registered key; 0 when the system refused it.
  uint16_t AddHotKey(uint32_t AHotKey);
  // Replaces the key of identifier AIndex; 0 when no entry has it.
  uint16_t ChangeHotKey(uint16_t AIndex, uint32_t ANewHotKey);
  bool RemoveHotKey(uint32_t AHotKey);
  bool RemoveHotKeyByIndex(uint16_t AIndex);
  void ClearHotKeys();
  // Whether the key could be registered now (true for a key held here).
  bool HotKeyValid(uint32_t AHotKey);

  const std::vector<TEntry>& HotKeyList() const { return FHotKeyList; }
  void SetOnHotKeyPressed(TOnHotKeyPressed AHandler) { FOnHotKeyPressed = std::move(AHandler); }

  static std::string AtomName(uint32_t AHotKey);

 private:
  bool Register(uint16_t AIndex, uint32_t AHotKey);
  bool Unregister(size_t AEntry);
  void HotKeyMessage(uint16_t AIndex, uint32_t AModifiers, uint32_t AVirtualKey);

  std::unique_ptr<platform::THotKeyBackend> FBackend;
  std::vector<TEntry> FHotKeyList;
  TOnHotKeyPressed FOnHotKeyPressed;
};

}  // namespace app
