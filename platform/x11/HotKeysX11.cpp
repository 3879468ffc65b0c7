// Global hot keys on X11: passive key grabs on the root window of the Qt
// application's own connection, one for each state of Caps Lock and Num
// Lock; presses arrive through Qt's event loop on the UI thread.
// Qt first: Xlib's macros (Bool, Status, KeyPress...) clash with Qt's headers.
#include <QAbstractNativeEventFilter>
#include <QCoreApplication>
#include <QGuiApplication>
#include <cstdlib>
#include <vector>

#include <X11/Xlib.h>
#include <xcb/xcb.h>
#include <xcb/xproto.h>

#include "platform/x11/HotKeysX11.h"

#include "platform/HotKeys.h"

namespace platform::x11 {

bool TKeyRepeatFilter::Press(uint8_t AKeyCode, uint32_t ATime) {
  if (FHeld[AKeyCode]) return false;
  FHeld[AKeyCode] = true;
  return !(FReleased[AKeyCode] && FReleaseTime[AKeyCode] == ATime);
}

void TKeyRepeatFilter::Release(uint8_t AKeyCode, uint32_t ATime) {
  FHeld[AKeyCode] = false;
  FReleased[AKeyCode] = true;
  FReleaseTime[AKeyCode] = ATime;
}

namespace {

constexpr uint16_t kKeyModifiers = XCB_MOD_MASK_SHIFT | XCB_MOD_MASK_CONTROL | XCB_MOD_MASK_1 | XCB_MOD_MASK_4;

class TX11HotKeys final : public THotKeyBackend, public QAbstractNativeEventFilter {
 public:
  TX11HotKeys(Display* ADisplay, xcb_connection_t* AConnection)
      : FDisplay(ADisplay), FConnection(AConnection), FRoot(DefaultRootWindow(ADisplay)) {
    FNumLock = NumLockMask();
    QCoreApplication::instance()->installNativeEventFilter(this);
  }
  ~TX11HotKeys() override {
    if (QCoreApplication::instance() != nullptr) QCoreApplication::instance()->removeNativeEventFilter(this);
    while (!FGrabs.empty()) Unregister(FGrabs.back().Id);
  }

  bool Register(uint16_t AId, uint32_t AModifiers, uint32_t AVirtualKey) override {
    const KeySym sym = XKeysymFromVirtualKey(AVirtualKey);
    if (sym == 0) return false;
    const KeyCode code = XKeysymToKeycode(FDisplay, sym);
    if (code == 0) return false;  // no such key on this keyboard
    TGrab grab{AId, AModifiers, AVirtualKey, code, XModifiers(AModifiers)};
    const uint16_t variants[] = {0, XCB_MOD_MASK_LOCK, FNumLock, uint16_t(FNumLock | XCB_MOD_MASK_LOCK)};
    int done = 0;
    for (uint16_t variant : variants) {
      if (done > 1 && FNumLock == 0) break;  // no Num Lock modifier: two variants only
      const xcb_void_cookie_t cookie = xcb_grab_key_checked(FConnection, 0, FRoot, grab.XMods | variant, code,
                                                            XCB_GRAB_MODE_ASYNC, XCB_GRAB_MODE_ASYNC);
      if (xcb_generic_error_t* error = xcb_request_check(FConnection, cookie)) {
        // BadAccess: another client holds the combination. Either way the
        // key is refused and the variants grabbed so far are let go.
        std::free(error);
        Ungrab(grab, done);
        return false;
      }
      ++done;
    }
    FGrabs.push_back(grab);
    return true;
  }

  bool Unregister(uint16_t AId) override {
    for (auto it = FGrabs.begin(); it != FGrabs.end(); ++it) {
      if (it->Id != AId) continue;
      Ungrab(*it, 4);
      FGrabs.erase(it);
      return true;
    }
    return false;
  }

  bool nativeEventFilter(const QByteArray& AType, void* AMessage, qintptr*) override {
    if (AType != "xcb_generic_event_t") return false;
    const auto* event = static_cast<const xcb_generic_event_t*>(AMessage);
    const uint8_t type = event->response_type & 0x7f;
    if (type != XCB_KEY_PRESS && type != XCB_KEY_RELEASE) return false;
    const auto* key = reinterpret_cast<const xcb_key_press_event_t*>(event);
    if (key->event != FRoot) return false;
    const TGrab* grab = Find(key->detail, key->state & kKeyModifiers);
    if (type == XCB_KEY_RELEASE) {
      FRepeat.Release(key->detail, key->time);
      return grab != nullptr;
    }
    if (!FRepeat.Press(key->detail, key->time)) return true;
    if (grab == nullptr) return false;
    // A copy: the handler may change the grabs.
    const TGrab pressed = *grab;
    Pressed(pressed.Id, pressed.Mods, pressed.Vk);
    return true;
  }

 private:
  struct TGrab {
    uint16_t Id;
    uint32_t Mods;
    uint32_t Vk;
    KeyCode Code;
    uint16_t XMods;
  };

  static uint16_t XModifiers(uint32_t AModifiers) {
    uint16_t mods = 0;
    if (AModifiers & kModAlt) mods |= XCB_MOD_MASK_1;
    if (AModifiers & kModControl) mods |= XCB_MOD_MASK_CONTROL;
    if (AModifiers & kModShift) mods |= XCB_MOD_MASK_SHIFT;
    if (AModifiers & kModWin) mods |= XCB_MOD_MASK_4;
    return mods;
  }

  uint16_t NumLockMask() const {
    const KeyCode numLock = XKeysymToKeycode(FDisplay, XStringToKeysym("Num_Lock"));
    XModifierKeymap* map = XGetModifierMapping(FDisplay);
    if (map == nullptr) return 0;
    uint16_t mask = 0;
    for (int mod = 0; mod < 8 && numLock != 0; ++mod) {
      for (int k = 0; k < map->max_keypermod; ++k) {
        if (map->modifiermap[mod * map->max_keypermod + k] == numLock) mask = uint16_t(1u << mod);
      }
    }
    XFreeModifiermap(map);
    return mask;
  }

  void Ungrab(const TGrab& AGrab, int AVariants) {
    const uint16_t variants[] = {0, XCB_MOD_MASK_LOCK, FNumLock, uint16_t(FNumLock | XCB_MOD_MASK_LOCK)};
    for (int i = 0; i < AVariants && i < 4; ++i) {
      if (i > 1 && FNumLock == 0) break;
      xcb_ungrab_key(FConnection, AGrab.Code, FRoot, AGrab.XMods | variants[i]);
    }
    xcb_flush(FConnection);
  }

  const TGrab* Find(uint8_t ACode, uint16_t AMods) const {
    for (const TGrab& g : FGrabs) {
      if (g.Code == ACode && g.XMods == AMods) return &g;
    }
    return nullptr;
  }

  Display* FDisplay;
  xcb_connection_t* FConnection;
  Window FRoot;
  uint16_t FNumLock = 0;
  std::vector<TGrab> FGrabs;
  TKeyRepeatFilter FRepeat;
};

// Without an X connection no key can be grabbed: every key is refused.
class TRefusingHotKeys final : public THotKeyBackend {
 public:
  bool Register(uint16_t, uint32_t, uint32_t) override { return false; }
  bool Unregister(uint16_t) override { return false; }
};

}  // namespace

}  // namespace platform::x11

namespace platform {

std::unique_ptr<THotKeyBackend> OpenHotKeyBackend() {
  auto* x11 = qGuiApp != nullptr ? qGuiApp->nativeInterface<QNativeInterface::QX11Application>() : nullptr;
  if (x11 != nullptr && x11->display() != nullptr && x11->connection() != nullptr)
    return std::make_unique<x11::TX11HotKeys>(x11->display(), x11->connection());
  return std::make_unique<x11::TRefusingHotKeys>();
}

}  // namespace platform
