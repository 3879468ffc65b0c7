#pragma once
// The "screencapture" device: a rectangle of the screen, of one window or of
// one window's client area as a stream of raw video frames, paced at the
// requested frame rate.

#include <array>
#include <cstdint>
#include <memory>

#include "capture/CaptureDevices.h"
#include "capture/ScreenCapturePacer.h"
#include "platform/ScreenSource.h"

namespace capture {

class TFrameForm;  // the recording-area frame shown around the captured area

// The device's private record (created value-initialised by the adapter).
struct Twin32_grab {
  platform::TWindowId window_handle = 0;  // window to capture; 0 = the whole screen
  std::unique_ptr<platform::TScreenSource> source;  // the display, on a connection of its own
  TFramePacer pacer;   // time base, frame schedule and the Started flag
  std::shared_ptr<TRecordingStart> recording_start;  // shared with the run's other devices, or null
  int32_t x_off = 0;   // captured rectangle in the coordinates of the surface
  int32_t y_off = 0;
  int32_t cursor = 0;  // paint the cursor; cleared after a cursor error
  int32_t size = 0;    // bytes per frame
  int32_t width = 0;
  int32_t height = 0;
  int32_t bpp = 0;
  int32_t client = 0;
  int32_t show_frame = 0;
  TFrameForm* frame = nullptr;  // the area frame while shown; owned, released by read_close
  // Pixel layout of the packets and the value that shows black.
  platform::TPixelLayout layout = platform::TPixelLayout::Unsupported;
  uint32_t black = 0;
  std::array<uint32_t, 256> palette{};  // PAL8: the colour map of the last frame
};

// The device record of "screencapture".
const TCaptureDevice& ScreenCaptureDevice();

// read_header with the given display and clock (the device's own uses the X11
// backend and the monotonic clock; tests hand in fakes). The format context's
// priv_data is a Twin32_grab.
int ScreenCaptureReadHeader(AVFormatContext* s, const TFormatParameters* ap,
                            std::unique_ptr<platform::TScreenSource> ASource, TPaceClock& AClock);
int ScreenCaptureReadPacket(AVFormatContext* s, AVPacket* pkt);
int ScreenCaptureReadClose(AVFormatContext* s);

// Frame work of read_packet (ScreenCaptureFrame.cpp): copies the captured
// rectangle into ADest (tightly packed rows), filling what lies off the
// screen black, and paints the cursor. 0 or -1 after logging.
int CaptureFrame(AVFormatContext* s, Twin32_grab& g, uint8_t* ADest);

// Blends the cursor into a frame whose top-left pixel is at screen position
// (AOriginX, AOriginY) (ScreenCaptureCursor.cpp). APalette: the colour map
// in PAL8, else unused.
void BlendCursor(const platform::TCursorImage& ACursor, platform::TPixelLayout ALayout, uint8_t* AFrame,
                 int AWidth, int AHeight, int AOriginX, int AOriginY, const uint32_t* APalette);

}  // namespace capture
