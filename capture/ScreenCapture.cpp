// read_header, read_packet and read_close of "screencapture", and its
// registration.
#include "capture/ScreenCapture.h"

#include <climits>
#include <cstring>

#include "capture/CaptureOptions.h"
#include "capture/ScreenCaptureAreaFrame.h"
#include "media/FFBindings.h"

namespace capture {

namespace {

AVPixelFormat PixelFormatOf(platform::TPixelLayout ALayout) {
  switch (ALayout) {
    case platform::TPixelLayout::BGR0: return AV_PIX_FMT_BGR0;
    case platform::TPixelLayout::BGR24: return AV_PIX_FMT_BGR24;
    case platform::TPixelLayout::RGB565: return AV_PIX_FMT_RGB565LE;
    case platform::TPixelLayout::RGB555: return AV_PIX_FMT_RGB555LE;
    case platform::TPixelLayout::PAL8: return AV_PIX_FMT_PAL8;
    case platform::TPixelLayout::Unsupported: break;
  }
  return AV_PIX_FMT_NONE;
}

int ReadHeader(AVFormatContext* s, const TFormatParameters* ap) {
  // A malformed option fails the open before the display is touched.
  TScreenCaptureOptions check;
  ParseScreenCaptureOptions(s->url ? s->url : "", check);
  long error = 0;
  std::string message;
  auto source = platform::OpenX11ScreenSource(error, message);
  if (!source) {
    DeviceLog(s, AV_LOG_ERROR, "%s\n", message.c_str());  // which display, for the user
    DeviceLog(s, AV_LOG_ERROR, "Couldn't get window DC (error %li)\n", error);
    return AVERROR(EIO);
  }
  return ScreenCaptureReadHeader(s, ap, std::move(source), MonotonicClock());
}

}  // namespace

int ScreenCaptureReadHeader(AVFormatContext* s, const TFormatParameters* ap,
                            std::unique_ptr<platform::TScreenSource> ASource, TPaceClock& AClock) {
  Twin32_grab& g = *static_cast<Twin32_grab*>(s->priv_data);

  TScreenCaptureOptions o;
  if (ap) {
    o.width = ap->width;
    o.height = ap->height;
    o.time_base_num = ap->time_base.num;
    o.time_base_den = ap->time_base.den;
  }
  ParseScreenCaptureOptions(s->url ? s->url : "", o);  // throws on a malformed strict value
  g.source = std::move(ASource);
  platform::TScreenSource& src = *g.source;
  g.window_handle = o.has_title ? src.FindWindowByTitle(o.title) : o.window_handle;
  g.x_off = o.x_off;
  g.y_off = o.y_off;
  g.client = o.client;
  g.cursor = o.cursor;
  g.show_frame = o.show_frame;

  long error = 0;
  if (!src.SelectWindow(g.window_handle, error)) {
    DeviceLog(s, AV_LOG_ERROR, "Couldn't get window DC (error %li)\n", error);
    return AVERROR(EIO);
  }
  const int screenWidth = src.ScreenWidth();
  const int screenHeight = src.ScreenHeight();
  if (g.window_handle != 0) {
    platform::TRect r;
    if (!src.WindowRect(g.window_handle, g.client != 0, r, error)) {
      DeviceLog(s, AV_LOG_ERROR, "Couldn't get window DC (error %li)\n", error);
      return AVERROR(EIO);
    }
    g.width = r.Width;
    g.height = r.Height;
  } else {
    g.width = screenWidth;
    g.height = screenHeight;
  }
  if (o.width > 0 && o.width != g.width) g.width = o.width;
  if (o.height > 0 && o.height != g.height) g.height = o.height;
  // Clamp to the display (offsets in the surface's coordinates). 64 bits:
  // an offset near the integer limit must not wrap.
  if (int64_t(g.x_off) + g.width > screenWidth) g.width = static_cast<int32_t>(int64_t(screenWidth) - g.x_off);
  if (int64_t(g.y_off) + g.height > screenHeight) g.height = static_cast<int32_t>(int64_t(screenHeight) - g.y_off);

  const platform::TScreenFormat format = src.Format();
  g.bpp = format.BitsPerPixel;
  // An empty rectangle would make an empty frame: refused like a negative one.
  if (g.width <= 0 || g.height <= 0 || g.bpp % 8 != 0 || g.bpp == 0) {
    DeviceLog(s, AV_LOG_ERROR, "Invalid properties, aborting\n");
    return AVERROR(EIO);
  }
  if (!src.PrepareGrab(g.width, g.height, error)) {
    DeviceLog(s, AV_LOG_ERROR, "Screen DC CreateCompatibleBitmap (error %li)\n", error);
    return AVERROR(EIO);
  }
  const int64_t rowBytes = int64_t(g.width) * (g.bpp / 8);
  DeviceLog(s, AV_LOG_DEBUG, "Using Bitmap type %li, size %lix%lix%i, %i planes of width %li bytes\n", 0L,
            long(g.width), long(g.height), g.bpp, 1, long(rowBytes));

  g.layout = format.Layout;
  const AVPixelFormat pixelFormat = PixelFormatOf(g.layout);
  if (pixelFormat == AV_PIX_FMT_NONE) {
    DeviceLog(s, AV_LOG_ERROR, "image depth %i not supported ... aborting\n", g.bpp);
    return -1;
  }
  // Rows are tightly packed.
  if (rowBytes * g.height > INT_MAX - AV_INPUT_BUFFER_PADDING_SIZE) {
    DeviceLog(s, AV_LOG_ERROR, "Invalid properties, aborting\n");
    return AVERROR(EIO);
  }
  g.size = static_cast<int32_t>(rowBytes * g.height);
  g.black = src.BlackValue();

  AVStream* st = ff::avformat_new_stream(s, nullptr);
  if (!st) return AVERROR(ENOMEM);
  st->id = 0;
  st->pts_wrap_bits = 64;
  st->time_base = AVRational{1, 1000000};

  AVRational tb{o.time_base_num, o.time_base_den};
  if (tb.num <= 0 || tb.den <= 0) {
    // No frame rate (or a negative one, which no schedule can follow).
    tb = AVRational{1, 15};
    DeviceLog(s, AV_LOG_INFO, "frame rate assume as %d/%d.\n", 15, 1);
  }

  // show_frame: the recording-area frame around the captured rectangle. It
  // copies what it follows; nothing below can fail, so read_close always
  // releases it. Without a display to show it on, the recording goes on.
  if (g.show_frame != 0) {
    std::string why;
    auto frame = TFrameForm::Create(
        TAreaFrameSource{g.window_handle, g.client != 0, g.x_off, g.y_off, g.width, g.height}, why);
    if (frame == nullptr) DeviceLog(s, AV_LOG_WARNING, "Cannot show the frame around the area: %s\n", why.c_str());
    g.frame = frame.release();
  }

  AVCodecParameters* par = st->codecpar;
  par->codec_type = AVMEDIA_TYPE_VIDEO;
  par->codec_id = AV_CODEC_ID_RAWVIDEO;
  par->width = g.width;
  par->height = g.height;
  par->format = pixelFormat;
  // Bits per second = frame bits * frames per second, in 64 bits.
  par->bit_rate = ff::av_rescale(int64_t(g.size) * 8, tb.den, tb.num);
  st->r_frame_rate = AVRational{tb.den, tb.num};
  st->avg_frame_rate = AVRational{tb.den, tb.num};
  st->start_time = 0;
  s->flags |= AVFMT_FLAG_NOPARSE;
  s->probesize = 0;

  g.pacer.Setup(tb, AClock);
  if (ap) g.recording_start = ap->recording_start;
  if (o.has_title) DeviceLog(s, AV_LOG_INFO, "Found window %s, ", o.title.c_str());
  DeviceLog(s, AV_LOG_INFO, "ready for capturing %ix%ix%i at (%i,%i)\n", g.width, g.height, g.bpp, g.x_off,
            g.y_off);
  return 0;
}

int ScreenCaptureReadPacket(AVFormatContext* s, AVPacket* pkt) {
  Twin32_grab& g = *static_cast<Twin32_grab*>(s->priv_data);
  const int64_t pts = g.pacer.WaitNextFrame();
  // The picture's time zero is the recording's, unless another device started first.
  if (g.recording_start) g.recording_start->Claim(g.pacer.ZeroTime());
  if (g.frame != nullptr) g.frame->SetStarted();  // the frame starts flashing
  if (ff::av_new_packet(pkt, g.size) < 0) return AVERROR(EIO);
  if (CaptureFrame(s, g, pkt->data) < 0) return -1;
  if (g.layout == platform::TPixelLayout::PAL8) {
    uint8_t* side = ff::av_packet_new_side_data(pkt, AV_PKT_DATA_PALETTE, AVPALETTE_SIZE);
    if (!side) return AVERROR(ENOMEM);
    std::memcpy(side, g.palette.data(), AVPALETTE_SIZE);
  }
  // The frame's place on the capture timeline (see TFramePacer).
  pkt->pts = pkt->dts = pts;
  pkt->duration = ff::av_rescale(1000000, g.pacer.TimeBase().num, g.pacer.TimeBase().den);
  pkt->flags |= AV_PKT_FLAG_KEY;
  return g.size;
}

int ScreenCaptureReadClose(AVFormatContext* s) {
  Twin32_grab& g = *static_cast<Twin32_grab*>(s->priv_data);
  // The area frame's rounds stop here; it is destroyed on the UI thread.
  ReleaseFrameForm(std::unique_ptr<TFrameForm>(g.frame));
  g.frame = nullptr;
  g.source.reset();
  return 0;
}

namespace {

int ReadPause(AVFormatContext* s) {
  static_cast<Twin32_grab*>(s->priv_data)->pacer.Pause();
  return 0;
}

int ReadPlay(AVFormatContext* s) {
  static_cast<Twin32_grab*>(s->priv_data)->pacer.Resume();
  return 0;
}

const TCaptureDevice kScreenCapture{
    "screencapture",       "Screen capture using GDI",
    &MakePrivData<Twin32_grab>, &ReadHeader,
    &ScreenCaptureReadPacket,   &ScreenCaptureReadClose,
    &ReadPause,                 &ReadPlay,
};

}  // namespace

const TCaptureDevice& ScreenCaptureDevice() { return kScreenCapture; }

void RegisterScreenCapture() { RegisterInputFormat(kScreenCapture); }

}  // namespace capture
