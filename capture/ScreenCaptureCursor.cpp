// Painting the cursor image into a frame of any of the grabber's layouts.
#include <climits>
#include <cstring>

#include "capture/ScreenCapture.h"

namespace capture {

namespace {

struct TRgb {
  int R, G, B;
};

int BytesPerPixel(platform::TPixelLayout L) {
  switch (L) {
    case platform::TPixelLayout::BGR0: return 4;
    case platform::TPixelLayout::BGR24: return 3;
    case platform::TPixelLayout::RGB565:
    case platform::TPixelLayout::RGB555: return 2;
    case platform::TPixelLayout::PAL8: return 1;
    case platform::TPixelLayout::Unsupported: break;
  }
  return 0;
}

TRgb FromPalette(uint32_t c) { return {int(c >> 16 & 0xff), int(c >> 8 & 0xff), int(c & 0xff)}; }

TRgb Read(platform::TPixelLayout L, const uint8_t* p, const uint32_t* palette) {
  switch (L) {
    case platform::TPixelLayout::BGR0:
    case platform::TPixelLayout::BGR24: return {p[2], p[1], p[0]};
    case platform::TPixelLayout::RGB565: {
      const int v = p[0] | p[1] << 8;
      return {(v >> 11 & 31) * 255 / 31, (v >> 5 & 63) * 255 / 63, (v & 31) * 255 / 31};
    }
    case platform::TPixelLayout::RGB555: {
      const int v = p[0] | p[1] << 8;
      return {(v >> 10 & 31) * 255 / 31, (v >> 5 & 31) * 255 / 31, (v & 31) * 255 / 31};
    }
    case platform::TPixelLayout::PAL8: return FromPalette(palette[p[0]]);
    case platform::TPixelLayout::Unsupported: break;
  }
  return {0, 0, 0};
}

uint8_t NearestIndex(TRgb c, const uint32_t* palette) {
  int best = 0, bestDistance = INT_MAX;
  for (int i = 0; i < 256; ++i) {
    const TRgb p = FromPalette(palette[i]);
    const int d = (p.R - c.R) * (p.R - c.R) + (p.G - c.G) * (p.G - c.G) + (p.B - c.B) * (p.B - c.B);
    if (d < bestDistance) {
      bestDistance = d;
      best = i;
      if (d == 0) break;
    }
  }
  return static_cast<uint8_t>(best);
}

void Write(platform::TPixelLayout L, uint8_t* p, TRgb c, const uint32_t* palette) {
  switch (L) {
    case platform::TPixelLayout::BGR0:
    case platform::TPixelLayout::BGR24:
      p[0] = uint8_t(c.B);
      p[1] = uint8_t(c.G);
      p[2] = uint8_t(c.R);
      return;
    case platform::TPixelLayout::RGB565: {
      const int v = (c.R * 31 + 127) / 255 << 11 | (c.G * 63 + 127) / 255 << 5 | (c.B * 31 + 127) / 255;
      p[0] = uint8_t(v);
      p[1] = uint8_t(v >> 8);
      return;
    }
    case platform::TPixelLayout::RGB555: {
      const int v = (c.R * 31 + 127) / 255 << 10 | (c.G * 31 + 127) / 255 << 5 | (c.B * 31 + 127) / 255;
      p[0] = uint8_t(v);
      p[1] = uint8_t(v >> 8);
      return;
    }
    case platform::TPixelLayout::PAL8: p[0] = NearestIndex(c, palette); return;
    case platform::TPixelLayout::Unsupported: return;
  }
}

}  // namespace

void BlendCursor(const platform::TCursorImage& C, platform::TPixelLayout L, uint8_t* AFrame, int AWidth,
                 int AHeight, int AOriginX, int AOriginY, const uint32_t* APalette) {
  const int bpp = BytesPerPixel(L);
  if (bpp == 0 || C.Pixels.size() < size_t(C.Width) * size_t(C.Height)) return;
  const int64_t left = int64_t(C.X) - C.HotX - AOriginX;
  const int64_t top = int64_t(C.Y) - C.HotY - AOriginY;
  for (int cy = 0; cy < C.Height; ++cy) {
    const int64_t fy = top + cy;
    if (fy < 0 || fy >= AHeight) continue;
    for (int cx = 0; cx < C.Width; ++cx) {
      const int64_t fx = left + cx;
      if (fx < 0 || fx >= AWidth) continue;
      const uint32_t s = C.Pixels[size_t(cy) * C.Width + cx];
      const int a = int(s >> 24);
      if (a == 0) continue;
      uint8_t* p = AFrame + (fy * AWidth + fx) * bpp;
      const TRgb d = Read(L, p, APalette);
      // The cursor's colours are premultiplied by its alpha.
      const TRgb out{std::min(255, int(s >> 16 & 0xff) + d.R * (255 - a) / 255),
                     std::min(255, int(s >> 8 & 0xff) + d.G * (255 - a) / 255),
                     std::min(255, int(s & 0xff) + d.B * (255 - a) / 255)};
      Write(L, p, out, APalette);
    }
  }
}

}  // namespace capture
