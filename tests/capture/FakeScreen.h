#pragma once
// A screen for the grabber's tests: pixels are a function of the
// screen position, grabbing can take time on the fake clock.

#include <cstring>
#include <functional>
#include <map>
#include <string>

#include "FakeClock.h"
#include "capture/ScreenCapturePacer.h"
#include "platform/ScreenSource.h"

namespace capture::test {

// A 32-bit screen whose pixel at (x, y) is 0x00XXXYYY-like: (x << 12 | y).
class TFakeScreen : public platform::TScreenSource {
 public:
  static uint32_t PixelAt(int x, int y) { return uint32_t(x) << 12 | uint32_t(y); }

  int Width = 1280, Height = 1024;
  platform::TScreenFormat Fmt{32, 24, platform::TPixelLayout::BGR0};
  std::map<platform::TWindowId, platform::TRect> Windows;  // client rectangles
  std::map<std::string, platform::TWindowId> Titles;
  TFakeClock* Clock = nullptr;
  int64_t GrabCostUs = 0;  // fake time each grab takes
  bool CursorFails = false;
  platform::TCursorImage CursorImage;
  int Grabs = 0;

  int ScreenWidth() const override { return Width; }
  int ScreenHeight() const override { return Height; }
  platform::TScreenFormat Format() const override { return Fmt; }
  bool SelectWindow(platform::TWindowId w, long& e) override {
    if (w == 0 || Windows.count(w)) return true;
    e = 3;  // BadWindow
    return false;
  }
  bool WindowRect(platform::TWindowId w, bool client, platform::TRect& r, long& e) override {
    auto it = Windows.find(w);
    if (it == Windows.end()) {
      e = 3;
      return false;
    }
    r = it->second;
    if (!client) r = {r.X - 5, r.Y - 20, r.Width + 10, r.Height + 25};  // a frame around it
    return true;
  }
  platform::TWindowId FindWindowByTitle(const std::string& t) override {
    auto it = Titles.find(t);
    return it == Titles.end() ? 0 : it->second;
  }
  bool PrepareGrab(int, int, long&) override { return true; }
  bool Grab(const platform::TRect& R, uint8_t* dst, int stride, long& e) override {
    if (R.X < 0 || R.Y < 0 || R.X + R.Width > Width || R.Y + R.Height > Height || R.Width <= 0) {
      e = 8;  // BadMatch: the rectangle must lie on the screen
      return false;
    }
    ++Grabs;
    if (Clock) Clock->Advance(GrabCostUs);
    for (int y = 0; y < R.Height; ++y)
      for (int x = 0; x < R.Width; ++x) {
        const uint32_t p = PixelAt(R.X + x, R.Y + y);
        std::memcpy(dst + y * stride + x * 4, &p, 4);
      }
    return true;
  }
  bool Palette(uint32_t pal[256], long&) override {
    for (int i = 0; i < 256; ++i) pal[i] = 0xFF000000u | uint32_t(i * 0x010101);
    return true;
  }
  uint32_t BlackValue() const override { return 0; }
  bool Cursor(platform::TCursorImage& c, long& e) override {
    if (CursorFails) {
      e = 17;
      return false;
    }
    c = CursorImage;
    return true;
  }
};

}  // namespace capture::test
