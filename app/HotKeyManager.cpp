// The hot-key manager over the platform's key grabs.
#include "app/HotKeyManager.h"

namespace app {

namespace {

uint32_t PlatformModifiers(uint32_t AHotKey) {
  uint32_t mods = 0;
  if (AHotKey & kHotKeyAlt) mods |= platform::kModAlt;
  if (AHotKey & kHotKeyCtrl) mods |= platform::kModControl;
  if (AHotKey & kHotKeyShift) mods |= platform::kModShift;
  if (AHotKey & kHotKeyWin) mods |= platform::kModWin;
  return mods;
}

uint32_t HotKeyModifiers(uint32_t AModifiers) {
  uint32_t bits = 0;
  if (AModifiers & platform::kModShift) bits |= kHotKeyShift;
  if (AModifiers & platform::kModControl) bits |= kHotKeyCtrl;
  if (AModifiers & platform::kModAlt) bits |= kHotKeyAlt;
  if (AModifiers & platform::kModWin) bits |= kHotKeyWin;
  return bits;
}

}  // namespace

uint32_t HotKeyFromShortCut(QKeyCombination AKey) {
  const uint32_t vk = platform::VirtualKeyFromQtKey(AKey.key());
  if (vk == 0) return 0;
  const Qt::KeyboardModifiers mods = AKey.keyboardModifiers();
  uint32_t value = vk;
  if (mods & Qt::ShiftModifier) value |= kHotKeyShift;
  if (mods & Qt::ControlModifier) value |= kHotKeyCtrl;
  if (mods & Qt::AltModifier) value |= kHotKeyAlt;
  if (mods & Qt::MetaModifier) value |= kHotKeyWin;
  return value;
}

THotKeyManager::THotKeyManager(std::unique_ptr<platform::THotKeyBackend> ABackend) : FBackend(std::move(ABackend)) {
  FBackend->SetOnPressed([this](uint16_t AIndex, uint32_t AModifiers, uint32_t AVirtualKey) {
    HotKeyMessage(AIndex, AModifiers, AVirtualKey);
  });
}

THotKeyManager::~THotKeyManager() {
  ClearHotKeys();
  FBackend->SetOnPressed(nullptr);
}

std::string THotKeyManager::AtomName(uint32_t AHotKey) { return "HotKeyManagerHotKey" + std::to_string(AHotKey); }

bool THotKeyManager::Register(uint16_t AIndex, uint32_t AHotKey) {
  return FBackend->Register(AIndex, PlatformModifiers(AHotKey), AHotKey & 0xFF);
}

uint16_t THotKeyManager::AddHotKey(uint32_t AHotKey) {
  const uint16_t atom = platform::AddAtom(AtomName(AHotKey));
  if (atom == 0) return 0;
  if (!Register(atom, AHotKey)) {
    platform::DeleteAtom(atom);
    return 0;
  }
  FHotKeyList.push_back({AHotKey, atom});
  return atom;
}

uint16_t THotKeyManager::ChangeHotKey(uint16_t AIndex, uint32_t ANewHotKey) {
  for (const TEntry& e : FHotKeyList) {
    if (e.Index == AIndex) {
      RemoveHotKeyByIndex(AIndex);
      return AddHotKey(ANewHotKey);
    }
  }
  return 0;
}

bool THotKeyManager::Unregister(size_t AEntry) {
  const TEntry entry = FHotKeyList[AEntry];
  FHotKeyList.erase(FHotKeyList.begin() + static_cast<std::ptrdiff_t>(AEntry));
  const bool ok = FBackend->Unregister(entry.Index);
  platform::DeleteAtom(entry.Index);
  return ok;
}

bool THotKeyManager::RemoveHotKey(uint32_t AHotKey) {
  for (size_t i = 0; i < FHotKeyList.size(); ++i) {
    if (FHotKeyList[i].HotKey == AHotKey) return Unregister(i);
  }
  return false;
}

bool THotKeyManager::RemoveHotKeyByIndex(uint16_t AIndex) {
  for (size_t i = 0; i < FHotKeyList.size(); ++i) {
    if (FHotKeyList[i].Index == AIndex) return Unregister(i);
  }
  return false;
}

void THotKeyManager::ClearHotKeys() {
  while (!FHotKeyList.empty()) Unregister(FHotKeyList.size() - 1);
}

bool THotKeyManager::HotKeyValid(uint32_t AHotKey) {
  const uint16_t atom = platform::AddAtom(AtomName(AHotKey));
  if (atom == 0) return false;
  bool valid;
  if (FBackend->Unregister(atom)) {
    // Held here: take it back at once.
    valid = Register(atom, AHotKey);
  } else {
    valid = Register(atom, AHotKey);
    if (valid) FBackend->Unregister(atom);
  }
  platform::DeleteAtom(atom);
  return valid;
}

void THotKeyManager::HotKeyMessage(uint16_t AIndex, uint32_t AModifiers, uint32_t AVirtualKey) {
  if (!FOnHotKeyPressed) return;
  const uint32_t value = HotKeyModifiers(AModifiers) | AVirtualKey;
  for (const TEntry& e : FHotKeyList) {
    if (e.HotKey == value) {
      // The handler may change the list: nothing of it is used afterwards.
      FOnHotKeyPressed(value, AIndex);
      return;
    }
  }
}

}  // namespace app
