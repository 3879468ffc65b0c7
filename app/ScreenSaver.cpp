// Screen-saver suspension through the MIT-SCREEN-SAVER extension.
#include "app/ScreenSaver.h"

// Qt first: Xlib's macros (Bool, Status) break Qt's headers.
#include <QGuiApplication>

#include <X11/Xlib.h>
#include <X11/extensions/scrnsaver.h>

namespace app::screensaver {

namespace {
std::function<bool(bool)>& Handler() {
  static std::function<bool(bool)> handler;
  return handler;
}
}  // namespace

void SetHandler(std::function<bool(bool ASuspend)> AHandler) { Handler() = std::move(AHandler); }

bool Suspend(bool ASuspend) {
  if (Handler()) return Handler()(ASuspend);
  auto* x11 = qGuiApp != nullptr ? qGuiApp->nativeInterface<QNativeInterface::QX11Application>() : nullptr;
  Display* display = x11 != nullptr ? x11->display() : nullptr;
  if (display == nullptr) return false;
  int event = 0, error = 0, major = 0, minor = 0;
  if (!XScreenSaverQueryExtension(display, &event, &error)) return false;
  // Suspension arrived with version 1.1 of the extension.
  if (!XScreenSaverQueryVersion(display, &major, &minor) || (major < 1 || (major == 1 && minor < 1))) return false;
  XScreenSaverSuspend(display, ASuspend ? True : False);
  XFlush(display);
  return true;
}

}  // namespace app::screensaver
