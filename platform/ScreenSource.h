#pragma once
// What the screen grabber needs from the display system: the screen's size
// and pixel layout, window geometry, window lookup by title, copies of
// screen rectangles, the palette and the cursor image. The X11 backend lives
// in platform/x11; tests use a fake.
//
// Failures return false with a system error code (X error code, or errno for
// the connection) so the grabber can log its own messages.

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace platform {

using TWindowId = uint64_t;

// Pixel layout of the screen's images as the grabber delivers them.
enum class TPixelLayout {
  Unsupported,
  BGR0,     // 32 bits, blue in the lowest byte, fourth byte undefined
  BGR24,    // 24 bits packed, blue first
  RGB565,   // 16 bits little-endian, 5-6-5
  RGB555,   // 16 bits little-endian, 5-5-5 (depth 15)
  PAL8,     // 8 bits through a palette
};

struct TScreenFormat {
  int BitsPerPixel = 0;  // storage bits per pixel
  int Depth = 0;         // significant bits
  TPixelLayout Layout = TPixelLayout::Unsupported;
};

struct TRect {
  int X = 0, Y = 0, Width = 0, Height = 0;
};

// The cursor as an image with straight ARGB pixels (alpha premultiplied),
// its hot spot, and the pointer's position on the screen.
struct TCursorImage {
  int X = 0, Y = 0;        // pointer position in screen coordinates
  int HotX = 0, HotY = 0;  // hot spot inside the image
  int Width = 0, Height = 0;
  std::vector<uint32_t> Pixels;  // Width*Height, 0xAARRGGBB premultiplied
};

class TScreenSource {
 public:
  virtual ~TScreenSource() = default;

  // Size and layout of the screen the source captures (the screen of the
  // window when one is captured).
  virtual int ScreenWidth() const = 0;
  virtual int ScreenHeight() const = 0;
  virtual TScreenFormat Format() const = 0;

  // Makes AWindow the captured window (0: the whole screen); its screen
  // becomes the source's screen. False when the window does not exist.
  virtual bool SelectWindow(TWindowId AWindow, long& AError) = 0;
  // Screen rectangle of a window: the client area, or the window with its
  // window-manager frame.
  virtual bool WindowRect(TWindowId AWindow, bool AClient, TRect& ARect, long& AError) = 0;
  // The top-level window whose title is exactly ATitle, or 0.
  virtual TWindowId FindWindowByTitle(const std::string& ATitle) = 0;

  // Prepares copies of rectangles up to the given size (shared buffers).
  virtual bool PrepareGrab(int AMaxWidth, int AMaxHeight, long& AError) = 0;
  // Copies the rectangle (which lies on the screen) into ADest, rows
  // ADestStride bytes apart, top-down.
  virtual bool Grab(const TRect& ARect, uint8_t* ADest, int ADestStride, long& AError) = 0;
  // The 256 entries of the screen's colour map as 0xFFRRGGBB (PAL8 only).
  virtual bool Palette(uint32_t APalette[256], long& AError) = 0;
  // The pixel value that shows black (the fill of areas off the screen).
  virtual uint32_t BlackValue() const = 0;
  // The current cursor image; false when cursor images are unavailable.
  virtual bool Cursor(TCursorImage& ACursor, long& AError) = 0;
};

// The X11 backend on a private connection to $DISPLAY, or nullptr with the
// reason in AError (errno-like code) and AMessage.
std::unique_ptr<TScreenSource> OpenX11ScreenSource(long& AError, std::string& AMessage);

}  // namespace platform
