// One frame of the screen grabber: the captured rectangle as it shows on the
// screen, black where it lies off the screen, with the cursor painted in.
#include <algorithm>
#include <cstring>

#include "capture/ScreenCapture.h"

namespace capture {

namespace {

void FillBlack(uint8_t* ADest, size_t ASize, int ABytesPerPixel, uint32_t ABlack) {
  if (ABlack == 0) {
    std::memset(ADest, 0, ASize);
    return;
  }
  for (size_t i = 0; i + ABytesPerPixel <= ASize; i += ABytesPerPixel)
    std::memcpy(ADest + i, &ABlack, static_cast<size_t>(ABytesPerPixel));  // little-endian pixel value
}

void PaintCursor(AVFormatContext* s, Twin32_grab& g, uint8_t* ADest, int AOriginX, int AOriginY) {
  platform::TCursorImage cursor;
  long error = 0;
  if (!g.source->Cursor(cursor, error)) {
    // Cursor errors switch painting off; the frame still goes out.
    DeviceLog(s, AV_LOG_ERROR, "Couldn't get cursor info: error %li\n", error);
    g.cursor = 0;
    return;
  }
  if (cursor.Width <= 0 || cursor.Height <= 0) return;  // no cursor showing
  BlendCursor(cursor, g.layout, ADest, g.width, g.height, AOriginX, AOriginY, g.palette.data());
}

}  // namespace

int CaptureFrame(AVFormatContext* s, Twin32_grab& g, uint8_t* ADest) {
  platform::TScreenSource& src = *g.source;
  long error = 0;
  // The window may have moved since the last frame.
  int originX = g.x_off, originY = g.y_off;
  if (g.window_handle != 0) {
    platform::TRect w;
    if (!src.WindowRect(g.window_handle, g.client != 0, w, error)) {
      DeviceLog(s, AV_LOG_ERROR, "Failed to capture image (error %li)\n", error);
      return -1;
    }
    originX += w.X;
    originY += w.Y;
  }
  if (g.layout == platform::TPixelLayout::PAL8 && !src.Palette(g.palette.data(), error)) {
    DeviceLog(s, AV_LOG_ERROR, "Failed to capture image (error %li)\n", error);
    return -1;
  }

  // The part of the rectangle that lies on the screen.
  const int64_t left = std::max<int64_t>(originX, 0);
  const int64_t top = std::max<int64_t>(originY, 0);
  const int64_t right = std::min<int64_t>(int64_t(originX) + g.width, src.ScreenWidth());
  const int64_t bottom = std::min<int64_t>(int64_t(originY) + g.height, src.ScreenHeight());
  const int bytesPerPixel = g.bpp / 8;
  const int stride = g.width * bytesPerPixel;
  const bool whole = left == originX && top == originY && right - left == g.width && bottom - top == g.height;
  if (!whole) FillBlack(ADest, static_cast<size_t>(g.size), bytesPerPixel, g.black);
  if (right > left && bottom > top) {
    const platform::TRect visible{int(left), int(top), int(right - left), int(bottom - top)};
    uint8_t* at = ADest + (top - originY) * stride + (left - originX) * bytesPerPixel;
    if (!src.Grab(visible, at, stride, error)) {
      DeviceLog(s, AV_LOG_ERROR, "Failed to capture image (error %li)\n", error);
      return -1;
    }
  }
  if (g.cursor) PaintCursor(s, g, ADest, originX, originY);
  return 0;
}

}  // namespace capture
