// drawbox: a frame hook that draws a rectangle into every picture, for
// example to mask part of the recorded screen or to mark a region.
//
// Arguments (all optional): -x LEFT -y TOP -w WIDTH -h HEIGHT
// -c RRGGBB (colour, default ff0000) -t THICKNESS (0 fills the box, the
// default). The box is clipped to the picture. Pictures in formats the
// module does not know pass unchanged.

#include <algorithm>
#include <cstdint>
#include <cstddef>
#include <cstdlib>
#include <cstring>
#include <new>

#include "media/FrameHookApi.h"

extern "C" {
#include <libavutil/pixfmt.h>
}

#define QSR_HOOK_EXPORT extern "C" __attribute__((visibility("default")))

namespace {

struct TBox {
  int X = 10, Y = 10, W = 64, H = 48;
  int Thickness = 0;
  uint8_t R = 255, G = 0, B = 0;
};

bool ParseInt(const char* AText, int AMin, int& AValue) {
  char* end = nullptr;
  const long v = std::strtol(AText, &end, 10);
  if (!*AText || *end || v < AMin || v > 1 << 20) return false;
  AValue = static_cast<int>(v);
  return true;
}

bool ParseColour(const char* AText, TBox& ABox) {
  if (std::strlen(AText) != 6) return false;
  char* end = nullptr;
  const unsigned long v = std::strtoul(AText, &end, 16);
  if (*end) return false;
  ABox.R = static_cast<uint8_t>(v >> 16);
  ABox.G = static_cast<uint8_t>(v >> 8);
  ABox.B = static_cast<uint8_t>(v);
  return true;
}

// Whether (x, y) of the box's bounding rectangle belongs to the drawn box.
bool Inside(const TBox& ABox, int x, int y) {
  if (x < ABox.X || y < ABox.Y || x >= ABox.X + ABox.W || y >= ABox.Y + ABox.H) return false;
  if (ABox.Thickness == 0) return true;
  const int t = ABox.Thickness;
  return x < ABox.X + t || y < ABox.Y + t || x >= ABox.X + ABox.W - t || y >= ABox.Y + ABox.H - t;
}

// Packed RGB layouts: bytes per pixel and the offsets of R, G, B.
bool PackedLayout(int APixFmt, int& ABpp, int& AR, int& AG, int& AB) {
  switch (APixFmt) {
    case AV_PIX_FMT_RGB24: ABpp = 3; AR = 0; AG = 1; AB = 2; return true;
    case AV_PIX_FMT_BGR24: ABpp = 3; AR = 2; AG = 1; AB = 0; return true;
    case AV_PIX_FMT_RGBA: case AV_PIX_FMT_RGB0: ABpp = 4; AR = 0; AG = 1; AB = 2; return true;
    case AV_PIX_FMT_BGRA: case AV_PIX_FMT_BGR0: ABpp = 4; AR = 2; AG = 1; AB = 0; return true;
    case AV_PIX_FMT_ARGB: case AV_PIX_FMT_0RGB: ABpp = 4; AR = 1; AG = 2; AB = 3; return true;
    case AV_PIX_FMT_ABGR: case AV_PIX_FMT_0BGR: ABpp = 4; AR = 3; AG = 2; AB = 1; return true;
    default: return false;
  }
}

// Planar YUV layouts: chroma subsampling shifts and full (JPEG) range.
bool PlanarLayout(int APixFmt, int& AShiftX, int& AShiftY, bool& AFull) {
  AFull = false;
  switch (APixFmt) {
    case AV_PIX_FMT_YUVJ420P: AFull = true; [[fallthrough]];
    case AV_PIX_FMT_YUV420P: AShiftX = 1; AShiftY = 1; return true;
    case AV_PIX_FMT_YUVJ422P: AFull = true; [[fallthrough]];
    case AV_PIX_FMT_YUV422P: AShiftX = 1; AShiftY = 0; return true;
    case AV_PIX_FMT_YUVJ444P: AFull = true; [[fallthrough]];
    case AV_PIX_FMT_YUV444P: AShiftX = 0; AShiftY = 0; return true;
    default: return false;
  }
}

uint8_t Clip(int v) { return static_cast<uint8_t>(std::clamp(v, 0, 255)); }

// BT.601 colour of the box, limited or full range.
void ToYuv(const TBox& ABox, bool AFull, uint8_t& Y, uint8_t& U, uint8_t& V) {
  const int r = ABox.R, g = ABox.G, b = ABox.B;
  if (AFull) {
    Y = Clip((77 * r + 150 * g + 29 * b + 128) >> 8);
    U = Clip(((-43 * r - 85 * g + 128 * b + 128) >> 8) + 128);
    V = Clip(((128 * r - 107 * g - 21 * b + 128) >> 8) + 128);
  } else {
    Y = Clip(((66 * r + 129 * g + 25 * b + 128) >> 8) + 16);
    U = Clip(((-38 * r - 74 * g + 112 * b + 128) >> 8) + 128);
    V = Clip(((112 * r - 94 * g - 18 * b + 128) >> 8) + 128);
  }
}

}  // namespace

QSR_HOOK_EXPORT int Configure(void** ctx, int argc, char* argv[]) {
  TBox box;
  for (int i = 1; i < argc; i += 2) {
    if (i + 1 >= argc) return -1;
    const char* key = argv[i];
    const char* value = argv[i + 1];
    bool ok = false;
    if (!std::strcmp(key, "-x")) ok = ParseInt(value, 0, box.X);
    else if (!std::strcmp(key, "-y")) ok = ParseInt(value, 0, box.Y);
    else if (!std::strcmp(key, "-w")) ok = ParseInt(value, 1, box.W);
    else if (!std::strcmp(key, "-h")) ok = ParseInt(value, 1, box.H);
    else if (!std::strcmp(key, "-t")) ok = ParseInt(value, 0, box.Thickness);
    else if (!std::strcmp(key, "-c")) ok = ParseColour(value, box);
    if (!ok) return -1;
  }
  *ctx = new (std::nothrow) TBox(box);
  return *ctx ? 0 : -1;
}

QSR_HOOK_EXPORT void Process(void* ctx, TAVPicture* picture, int pix_fmt, int width, int height,
                             int64_t /*pts*/) {
  const TBox box = ctx ? *static_cast<const TBox*>(ctx) : TBox{};
  if (!picture || width <= 0 || height <= 0) return;
  const int x0 = std::min(box.X, width), x1 = std::min(box.X + box.W, width);
  const int y0 = std::min(box.Y, height), y1 = std::min(box.Y + box.H, height);

  int bpp = 0, r = 0, g = 0, b = 0;
  int sx = 0, sy = 0;
  bool full = false;
  if (PackedLayout(pix_fmt, bpp, r, g, b)) {
    for (int y = y0; y < y1; ++y) {
      uint8_t* row = picture->data[0] + static_cast<ptrdiff_t>(y) * picture->linesize[0];
      for (int x = x0; x < x1; ++x) {
        if (!Inside(box, x, y)) continue;
        uint8_t* p = row + x * bpp;
        p[r] = box.R;
        p[g] = box.G;
        p[b] = box.B;
      }
    }
  } else if (PlanarLayout(pix_fmt, sx, sy, full)) {
    uint8_t Y, U, V;
    ToYuv(box, full, Y, U, V);
    for (int y = y0; y < y1; ++y)
      for (int x = x0; x < x1; ++x)
        if (Inside(box, x, y)) picture->data[0][static_cast<ptrdiff_t>(y) * picture->linesize[0] + x] = Y;
    // A chroma sample takes the box colour when its top-left luma sample does.
    for (int y = y0 >> sy; y < ((y1 - 1) >> sy) + 1 && y0 < y1; ++y)
      for (int x = x0 >> sx; x < ((x1 - 1) >> sx) + 1 && x0 < x1; ++x) {
        if (!Inside(box, std::max(x << sx, x0), std::max(y << sy, y0))) continue;
        picture->data[1][static_cast<ptrdiff_t>(y) * picture->linesize[1] + x] = U;
        picture->data[2][static_cast<ptrdiff_t>(y) * picture->linesize[2] + x] = V;
      }
  } else if (pix_fmt == AV_PIX_FMT_GRAY8) {
    uint8_t Y, U, V;
    ToYuv(box, true, Y, U, V);
    for (int y = y0; y < y1; ++y)
      for (int x = x0; x < x1; ++x)
        if (Inside(box, x, y)) picture->data[0][static_cast<ptrdiff_t>(y) * picture->linesize[0] + x] = Y;
  }
}

QSR_HOOK_EXPORT void Release(void* ctx) { delete static_cast<TBox*>(ctx); }
