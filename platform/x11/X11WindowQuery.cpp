// The window under the pointer on X11: walks down from the root window with
// XQueryPointer; where the pointer's child is the window to look through,
// the topmost other viewable child at that point is taken instead.
#include <X11/Xlib.h>

#include "platform/WindowQuery.h"
#include "platform/x11/X11Errors.h"

namespace platform::x11 {

namespace {

struct TDisplayCloser {
  void operator()(Display* ADisplay) const { XCloseDisplay(ADisplay); }
};
struct TXFree {
  void operator()(void* AData) const {
    if (AData != nullptr) XFree(AData);
  }
};

class TX11WindowQuery final : public TWindowQuery {
 public:
  explicit TX11WindowQuery(Display* ADisplay) : FDisplay(ADisplay), FTrap(ADisplay) {}
  ~TX11WindowQuery() override = default;

  bool WindowUnderPointer(TWindowId ASkip, TPointedWindow& AResult) override {
    if (FTrap.ConnectionLost()) return false;
    Display* d = FDisplay.get();
    Window window = DefaultRootWindow(d);
    int rootX = 0, rootY = 0;
    for (int depth = 0; depth < 64; ++depth) {
      Window rootRet = 0, child = 0;
      int wx = 0, wy = 0;
      unsigned int mask = 0;
      if (!XQueryPointer(d, window, &rootRet, &child, &rootX, &rootY, &wx, &wy, &mask)) break;
      if (child != 0 && child == ASkip) child = ChildAt(window, wx, wy, Window(ASkip));
      if (child == 0) break;
      window = child;
    }
    XWindowAttributes attributes;
    Window unused = 0;
    int x = 0, y = 0;
    const bool ok = XGetWindowAttributes(d, window, &attributes) != 0 &&
                    XTranslateCoordinates(d, window, DefaultRootWindow(d), 0, 0, &x, &y, &unused) != 0;
    if (FTrap.Sync() != 0 || !ok) return false;
    AResult.Window = window;
    AResult.Rect = TRect{x, y, attributes.width, attributes.height};
    AResult.PointerX = rootX;
    AResult.PointerY = rootY;
    return true;
  }

 private:
  // The topmost viewable child of AParent containing the point (parent
  // coordinates), other than ASkip; 0 when none.
  Window ChildAt(Window AParent, int AX, int AY, Window ASkip) {
    Display* d = FDisplay.get();
    Window rootRet = 0, parentRet = 0;
    Window* children = nullptr;
    unsigned int count = 0;
    if (!XQueryTree(d, AParent, &rootRet, &parentRet, &children, &count)) return 0;
    std::unique_ptr<Window, TXFree> owned(children);
    for (unsigned int i = count; i-- > 0;) {  // top of the stack first
      if (children[i] == ASkip) continue;
      XWindowAttributes a;
      if (!XGetWindowAttributes(d, children[i], &a) || a.map_state != IsViewable) continue;
      if (AX >= a.x && AY >= a.y && AX < a.x + a.width + 2 * a.border_width &&
          AY < a.y + a.height + 2 * a.border_width)
        return children[i];
    }
    return 0;
  }

  std::unique_ptr<Display, TDisplayCloser> FDisplay;
  TXErrorTrap FTrap;
};

}  // namespace

}  // namespace platform::x11

namespace platform {

std::unique_ptr<TWindowQuery> OpenWindowQuery() {
  Display* display = XOpenDisplay(nullptr);
  if (display == nullptr) return nullptr;
  return std::make_unique<x11::TX11WindowQuery>(display);
}

}  // namespace platform
