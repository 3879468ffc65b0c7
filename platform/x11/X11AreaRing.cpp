// The area ring on X11: an override-redirect window on a private connection,
// its bounding shape cut to the ring and its input shape empty, so the
// pointer goes through it. Calls may come from any one thread at a time;
// a lock keeps them apart.
#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <X11/extensions/shape.h>

#include <mutex>

#include "platform/AreaRing.h"
#include "platform/x11/X11Errors.h"
#include "platform/x11/X11Windows.h"

namespace platform::x11 {

namespace {

struct TDisplayCloser {
  void operator()(Display* ADisplay) const { XCloseDisplay(ADisplay); }
};

class TX11AreaRing final : public TAreaRing {
 public:
  TX11AreaRing(Display* ADisplay) : FDisplay(ADisplay), FTrap(ADisplay) {}
  ~TX11AreaRing() override {
    std::lock_guard guard(FLock);
    if (FWindow != 0) XDestroyWindow(FDisplay.get(), FWindow);
    XSync(FDisplay.get(), False);
  }

  bool Create(TWindowId AWindow, int AX, int AY, int AWidth, int AHeight, int ABorder, uint32_t ARgb) {
    Display* d = FDisplay.get();
    int screen = DefaultScreen(d);
    if (AWindow != 0) {
      XWindowAttributes a;
      if (XGetWindowAttributes(d, Window(AWindow), &a) && FTrap.Sync() == 0) screen = XScreenNumberOfScreen(a.screen);
      FTrap.Take();
    }
    FScreen = screen;
    XSetWindowAttributes attributes{};
    attributes.override_redirect = True;
    attributes.background_pixel = Pixel(ARgb);
    attributes.border_pixel = 0;
    FWindow = XCreateWindow(d, RootWindow(d, screen), AX, AY, unsigned(AWidth), unsigned(AHeight), 0, CopyFromParent,
                            InputOutput, CopyFromParent, CWOverrideRedirect | CWBackPixel | CWBorderPixel, &attributes);
    // The ring: the four sides of the window, ABorder thick.
    XRectangle sides[4] = {
        {0, 0, static_cast<unsigned short>(AWidth), static_cast<unsigned short>(ABorder)},
        {0, static_cast<short>(AHeight - ABorder), static_cast<unsigned short>(AWidth), static_cast<unsigned short>(ABorder)},
        {0, 0, static_cast<unsigned short>(ABorder), static_cast<unsigned short>(AHeight)},
        {static_cast<short>(AWidth - ABorder), 0, static_cast<unsigned short>(ABorder), static_cast<unsigned short>(AHeight)},
    };
    XShapeCombineRectangles(d, FWindow, ShapeBounding, 0, 0, sides, 4, ShapeSet, Unsorted);
    XShapeCombineRectangles(d, FWindow, ShapeInput, 0, 0, nullptr, 0, ShapeSet, Unsorted);
    XStoreName(d, FWindow, "Recording area");
    XMapRaised(d, FWindow);
    FLeft = AX;
    FTop = AY;
    return FTrap.Sync() == 0;
  }

  int Left() const override { return FLeft; }
  int Top() const override { return FTop; }

  bool MoveTo(int AX, int AY) override {
    std::lock_guard guard(FLock);
    XWindowChanges changes{};
    changes.x = AX;
    changes.y = AY;
    changes.stack_mode = Above;
    XConfigureWindow(FDisplay.get(), FWindow, CWX | CWY | CWStackMode, &changes);
    FLeft = AX;
    FTop = AY;
    return Flush();
  }

  bool KeepOnTop() override {
    std::lock_guard guard(FLock);
    XRaiseWindow(FDisplay.get(), FWindow);
    return Flush();
  }

  bool SetColour(uint32_t ARgb) override {
    std::lock_guard guard(FLock);
    XSetWindowBackground(FDisplay.get(), FWindow, Pixel(ARgb));
    XClearWindow(FDisplay.get(), FWindow);
    return Flush();
  }

  bool WindowOrigin(TWindowId AWindow, bool AClient, int& AX, int& AY) override {
    std::lock_guard guard(FLock);
    TRect r;
    if (WindowScreenRect(FDisplay.get(), FTrap, Window(AWindow), AClient, r) != 0) return false;
    AX = r.X;
    AY = r.Y;
    return true;
  }

 private:
  // The screen's pixel value of a colour (allocated once per colour).
  unsigned long Pixel(uint32_t ARgb) {
    XColor c{};
    c.red = static_cast<unsigned short>(((ARgb >> 16) & 0xFF) * 0x101);
    c.green = static_cast<unsigned short>(((ARgb >> 8) & 0xFF) * 0x101);
    c.blue = static_cast<unsigned short>((ARgb & 0xFF) * 0x101);
    c.flags = DoRed | DoGreen | DoBlue;
    if (!XAllocColor(FDisplay.get(), DefaultColormap(FDisplay.get(), FScreen), &c)) return 0;
    return c.pixel;
  }

  bool Flush() {
    XFlush(FDisplay.get());
    return !FTrap.ConnectionLost() && FTrap.Take() == 0;
  }

  std::unique_ptr<Display, TDisplayCloser> FDisplay;
  TXErrorTrap FTrap;
  std::mutex FLock;
  Window FWindow = 0;
  int FScreen = 0;
  int FLeft = 0, FTop = 0;
};

}  // namespace

}  // namespace platform::x11

namespace platform {

std::unique_ptr<TAreaRing> OpenAreaRing(TWindowId AWindow, int AX, int AY, int AWidth, int AHeight, int ABorder,
                                        uint32_t ARgb, std::string& AError) {
  if (AWidth <= 2 * ABorder || AHeight <= 2 * ABorder || AWidth > 0x7FFF || AHeight > 0x7FFF) {
    AError = "the area is too small or too large for a frame";
    return nullptr;
  }
  Display* display = XOpenDisplay(nullptr);
  if (display == nullptr) {
    AError = "cannot open the X display";
    return nullptr;
  }
  auto ring = std::make_unique<x11::TX11AreaRing>(display);
  if (!ring->Create(AWindow, AX, AY, AWidth, AHeight, ABorder, ARgb)) {
    AError = "the X server refused the frame window";
    return nullptr;
  }
  return ring;
}

}  // namespace platform
