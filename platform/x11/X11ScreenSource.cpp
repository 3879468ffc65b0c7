// The X11 screen backend: a private connection per device, images of the
// root window through MIT-SHM (XGetImage when shared memory is not
// available), the colour map and the XFixes cursor image.
#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <X11/extensions/XShm.h>
#include <X11/extensions/Xfixes.h>
#include <sys/ipc.h>
#include <sys/shm.h>

#include <cerrno>
#include <cstring>
#include <memory>

#include "platform/ScreenSource.h"
#include "platform/x11/X11Errors.h"
#include "platform/x11/X11Windows.h"

namespace platform {

namespace {

using x11::TXErrorTrap;

struct TDisplayCloser {
  void operator()(Display* d) const { XCloseDisplay(d); }
};

TPixelLayout LayoutOf(int bpp, int depth, const Visual* v, bool lsbFirst) {
  if (!lsbFirst) return TPixelLayout::Unsupported;
  if (bpp == 8 && v->c_class == PseudoColor) return TPixelLayout::PAL8;
  if (v->c_class != TrueColor && v->c_class != DirectColor) return TPixelLayout::Unsupported;
  const unsigned long r = v->red_mask, g = v->green_mask, b = v->blue_mask;
  if (bpp == 32 && r == 0xff0000 && g == 0xff00 && b == 0xff) return TPixelLayout::BGR0;
  if (bpp == 24 && r == 0xff0000 && g == 0xff00 && b == 0xff) return TPixelLayout::BGR24;
  if (bpp == 16 && depth == 16 && r == 0xf800 && g == 0x7e0 && b == 0x1f) return TPixelLayout::RGB565;
  if (bpp == 16 && depth == 15 && r == 0x7c00 && g == 0x3e0 && b == 0x1f) return TPixelLayout::RGB555;
  return TPixelLayout::Unsupported;
}

class TX11ScreenSource final : public TScreenSource {
 public:
  explicit TX11ScreenSource(Display* d) : FTrap(d), FDisplay(d) {
    SelectScreen(DefaultScreen(d));
    int eventBase = 0, errorBase = 0;
    FHasXFixes = XFixesQueryExtension(d, &eventBase, &errorBase);
  }
  ~TX11ScreenSource() override { ReleaseShm(); }

  int ScreenWidth() const override { return DisplayWidth(FDisplay.get(), FScreen); }
  int ScreenHeight() const override { return DisplayHeight(FDisplay.get(), FScreen); }
  TScreenFormat Format() const override { return FFormat; }
  uint32_t BlackValue() const override {
    return static_cast<uint32_t>(XBlackPixel(FDisplay.get(), FScreen));
  }

  bool SelectWindow(TWindowId AWindow, long& AError) override {
    if (AWindow == 0) {
      SelectScreen(DefaultScreen(FDisplay.get()));
      return true;
    }
    XWindowAttributes attr{};
    FTrap.Take();
    if (!XGetWindowAttributes(FDisplay.get(), static_cast<Window>(AWindow), &attr)) {
      const int e = FTrap.Sync();
      AError = e ? e : BadWindow;
      return false;
    }
    SelectScreen(XScreenNumberOfScreen(attr.screen));
    return true;
  }

  bool WindowRect(TWindowId AWindow, bool AClient, TRect& ARect, long& AError) override {
    const int e = x11::WindowScreenRect(FDisplay.get(), FTrap, static_cast<Window>(AWindow), AClient, ARect);
    AError = e;
    return e == 0;
  }

  TWindowId FindWindowByTitle(const std::string& ATitle) override {
    return x11::FindTopLevelByTitle(FDisplay.get(), FTrap, ATitle);
  }

  bool PrepareGrab(int AMaxWidth, int AMaxHeight, long& AError) override {
    ReleaseShm();
    if (AMaxWidth <= 0 || AMaxHeight <= 0) {
      AError = BadValue;
      return false;
    }
    Display* d = FDisplay.get();
    if (!XShmQueryExtension(d)) return true;  // XGetImage serves
    XImage* img = XShmCreateImage(d, FVisual, static_cast<unsigned>(FFormat.Depth), ZPixmap, nullptr, &FShmInfo,
                                  static_cast<unsigned>(AMaxWidth), static_cast<unsigned>(AMaxHeight));
    if (!img) return true;
    FShmImage = img;
    FShmInfo.shmid = shmget(IPC_PRIVATE, static_cast<size_t>(img->bytes_per_line) * img->height, IPC_CREAT | 0600);
    if (FShmInfo.shmid < 0) return ReleaseShm(), true;
    FShmInfo.shmaddr = static_cast<char*>(shmat(FShmInfo.shmid, nullptr, 0));
    // Removed now: the segment goes away when both sides have detached.
    shmctl(FShmInfo.shmid, IPC_RMID, nullptr);
    if (FShmInfo.shmaddr == reinterpret_cast<char*>(-1)) {
      FShmInfo.shmaddr = nullptr;
      return ReleaseShm(), true;
    }
    img->data = FShmInfo.shmaddr;
    FShmInfo.readOnly = False;
    FTrap.Take();
    // A server on another machine cannot attach: XGetImage then.
    if (!XShmAttach(d, &FShmInfo) || FTrap.Sync() != 0) return ReleaseShm(), true;
    FShmAttached = true;
    return true;
  }

  bool Grab(const TRect& R, uint8_t* ADest, int ADestStride, long& AError) override {
    Display* d = FDisplay.get();
    const size_t rowBytes = static_cast<size_t>(R.Width) * (FFormat.BitsPerPixel / 8);
    FTrap.Take();
    if (FShmAttached && R.Width <= FShmImage->width && R.Height <= FShmImage->height) {
      // The server writes rows padded for the requested width.
      XImage& img = *FShmImage;
      const int fullW = img.width, fullH = img.height, fullStride = img.bytes_per_line;
      img.width = R.Width;
      img.height = R.Height;
      img.bytes_per_line = ((R.Width * img.bits_per_pixel + img.bitmap_pad - 1) / img.bitmap_pad) * img.bitmap_pad / 8;
      const int stride = img.bytes_per_line;
      const Bool ok = XShmGetImage(d, FRoot, &img, R.X, R.Y, AllPlanes);
      img.width = fullW;
      img.height = fullH;
      img.bytes_per_line = fullStride;
      if (!ok) {
        const int e = FTrap.Sync();
        AError = e ? e : BadMatch;
        return false;
      }
      for (int y = 0; y < R.Height; ++y)
        std::memcpy(ADest + static_cast<size_t>(y) * ADestStride, img.data + static_cast<size_t>(y) * stride, rowBytes);
      return true;
    }
    XImage* img = XGetImage(d, FRoot, R.X, R.Y, static_cast<unsigned>(R.Width), static_cast<unsigned>(R.Height),
                            AllPlanes, ZPixmap);
    if (!img) {
      const int e = FTrap.Sync();
      AError = e ? e : BadMatch;
      return false;
    }
    std::unique_ptr<XImage, int (*)(XImage*)> keep(img, [](XImage* i) { return XDestroyImage(i); });
    if (img->bits_per_pixel != FFormat.BitsPerPixel) {
      AError = BadMatch;
      return false;
    }
    for (int y = 0; y < R.Height; ++y)
      std::memcpy(ADest + static_cast<size_t>(y) * ADestStride,
                  img->data + static_cast<size_t>(y) * img->bytes_per_line, rowBytes);
    return true;
  }

  bool Palette(uint32_t APalette[256], long& AError) override {
    XColor colors[256];
    const int n = std::min(FVisual->map_entries, 256);
    for (int i = 0; i < n; ++i) colors[i].pixel = static_cast<unsigned long>(i);
    FTrap.Take();
    XQueryColors(FDisplay.get(), FColormap, colors, n);
    if (const int e = FTrap.Sync()) {
      AError = e;
      return false;
    }
    for (int i = 0; i < 256; ++i)
      APalette[i] = i < n ? 0xFF000000u | (uint32_t(colors[i].red >> 8) << 16) | (uint32_t(colors[i].green >> 8) << 8) |
                                uint32_t(colors[i].blue >> 8)
                          : 0xFF000000u;
    return true;
  }

  bool Cursor(TCursorImage& C, long& AError) override {
    if (!FHasXFixes) {
      AError = BadImplementation;
      return false;
    }
    FTrap.Take();
    XFixesCursorImage* img = XFixesGetCursorImage(FDisplay.get());
    if (!img) {
      const int e = FTrap.Sync();
      AError = e ? e : BadImplementation;
      return false;
    }
    std::unique_ptr<XFixesCursorImage, int (*)(void*)> keep(img, XFree);
    C.X = img->x;
    C.Y = img->y;
    C.HotX = img->xhot;
    C.HotY = img->yhot;
    C.Width = img->width;
    C.Height = img->height;
    C.Pixels.resize(static_cast<size_t>(img->width) * img->height);
    // Xlib hands the 32-bit pixels over in longs.
    for (size_t i = 0; i < C.Pixels.size(); ++i) C.Pixels[i] = static_cast<uint32_t>(img->pixels[i]);
    return true;
  }

 private:
  void SelectScreen(int s) {
    Display* d = FDisplay.get();
    if (s == FScreen && FVisual) return;
    ReleaseShm();
    FScreen = s;
    FRoot = RootWindow(d, s);
    FVisual = DefaultVisual(d, s);
    FColormap = DefaultColormap(d, s);
    FFormat.Depth = DefaultDepth(d, s);
    FFormat.BitsPerPixel = 0;
    int count = 0;
    if (XPixmapFormatValues* formats = XListPixmapFormats(d, &count)) {
      for (int i = 0; i < count; ++i)
        if (formats[i].depth == FFormat.Depth) FFormat.BitsPerPixel = formats[i].bits_per_pixel;
      XFree(formats);
    }
    FFormat.Layout = LayoutOf(FFormat.BitsPerPixel, FFormat.Depth, FVisual, ImageByteOrder(d) == LSBFirst);
  }

  void ReleaseShm() {
    if (FShmAttached) {
      XShmDetach(FDisplay.get(), &FShmInfo);
      XSync(FDisplay.get(), False);
      FShmAttached = false;
    }
    if (FShmInfo.shmaddr) shmdt(FShmInfo.shmaddr);
    if (FShmImage) {
      FShmImage->data = nullptr;
      XDestroyImage(FShmImage);
    }
    FShmImage = nullptr;
    FShmInfo = XShmSegmentInfo{};
  }

  TXErrorTrap FTrap;  // outlives the connection: closing may still report errors
  std::unique_ptr<Display, TDisplayCloser> FDisplay;
  int FScreen = -1;
  Window FRoot = None;
  Visual* FVisual = nullptr;
  Colormap FColormap = None;
  TScreenFormat FFormat;
  bool FHasXFixes = false;
  XImage* FShmImage = nullptr;  // header only; the data is the shared segment
  XShmSegmentInfo FShmInfo{};
  bool FShmAttached = false;
};

}  // namespace

std::unique_ptr<TScreenSource> OpenX11ScreenSource(long& AError, std::string& AMessage) {
  Display* d = XOpenDisplay(nullptr);
  if (!d) {
    AError = errno ? errno : ENOENT;
    const char* name = XDisplayName(nullptr);
    AMessage = std::string("cannot open display \"") + (name ? name : "") + "\"";
    return nullptr;
  }
  return std::make_unique<TX11ScreenSource>(d);
}

}  // namespace platform
