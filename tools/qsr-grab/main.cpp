// qsr-grab: opens the "screencapture" device with an option string, writes
// each frame as DIR/frame_NNNN.png and prints one line per frame.
//
//   qsr-grab --options "offset=0,0;framesize=640,480;framerate=10/1" --frames 5 --out DIR

#include <QDir>
#include <QImage>
#include <QString>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>

#include "capture/CaptureInput.h"
#include "capture/ScreenCapture.h"
#include "media/FFBindings.h"
#include "media/FFHandles.h"
#include "media/FFLoad.h"
#include "media/FFLog.h"

namespace {

int Usage() {
  std::fprintf(stderr, "usage: qsr-grab --options \"<device option string>\" --frames N --out DIR [--verbose]\n");
  return 2;
}

// A frame as an image; Qt's formats share the packets' memory layout.
QImage FrameImage(const AVCodecParameters* par, const AVPacket* pkt) {
  QImage::Format format;
  int bytesPerPixel;
  switch (par->format) {
    case AV_PIX_FMT_BGR0: format = QImage::Format_RGB32, bytesPerPixel = 4; break;
    case AV_PIX_FMT_BGR24: format = QImage::Format_BGR888, bytesPerPixel = 3; break;
    case AV_PIX_FMT_RGB565LE: format = QImage::Format_RGB16, bytesPerPixel = 2; break;
    case AV_PIX_FMT_RGB555LE: format = QImage::Format_RGB555, bytesPerPixel = 2; break;
    case AV_PIX_FMT_PAL8: format = QImage::Format_Indexed8, bytesPerPixel = 1; break;
    default: return {};
  }
  QImage view(pkt->data, par->width, par->height, par->width * bytesPerPixel, format);
  QImage image = view.copy();  // detach from the packet
  if (format == QImage::Format_Indexed8) {
    size_t size = 0;
    const uint8_t* pal = ff::av_packet_get_side_data(pkt, AV_PKT_DATA_PALETTE, &size);
    QList<QRgb> table(256, qRgb(0, 0, 0));
    if (pal && size >= AVPALETTE_SIZE)
      for (int i = 0; i < 256; ++i) {
        uint32_t c;
        std::memcpy(&c, pal + 4 * i, 4);
        table[i] = 0xFF000000u | c;
      }
    image.setColorTable(table);
  }
  return image;
}

}  // namespace

int main(int argc, char** argv) {
  std::string options, out;
  long frames = -1;
  bool verbose = false;
  for (int i = 1; i < argc; ++i) {
    const std::string a = argv[i];
    if (a == "--options" && i + 1 < argc) options = argv[++i];
    else if (a == "--frames" && i + 1 < argc) frames = std::strtol(argv[++i], nullptr, 10);
    else if (a == "--out" && i + 1 < argc) out = argv[++i];
    else if (a == "--verbose") verbose = true;
    else return Usage();
  }
  if (frames < 0 || out.empty()) return Usage();
  if (!QDir().mkpath(QString::fromStdString(out))) {
    std::fprintf(stderr, "qsr-grab: cannot create %s\n", out.c_str());
    return 1;
  }

  media::TFFLogger logger;
  logger.SetTriggerEventInMainThread(false);
  logger.SetLogLevel(verbose ? media::llDebug : media::llInfo);
  logger.SetOnLog([](void*, platform::ThreadId, media::TLogLevel, const std::string& msg) {
    std::fprintf(stderr, "%s\n", msg.c_str());
  });
  if (!media::FFLoader().Load(media::kEncoderLibraries)) {
    std::fprintf(stderr, "qsr-grab: %s\n", media::FFLoader().LastErrMsg().c_str());
    return 1;
  }
  capture::RegisterScreenCapture();

  capture::TDeviceInput input;
  if (input.Open("screencapture", options) < 0) {
    std::fprintf(stderr, "qsr-grab: %s\n", input.LastErrMsg().c_str());
    return 1;
  }
  media::PacketPtr pkt(ff::av_packet_alloc());
  if (!pkt) return 1;
  for (long n = 0; n < frames; ++n) {
    const int r = input.ReadPacket(pkt.get());
    if (r < 0) {
      std::fprintf(stderr, "qsr-grab: %s\n", input.LastErrMsg().empty() ? ff::err2str(r).c_str()
                                                                        : input.LastErrMsg().c_str());
      return 1;
    }
    const QImage image = FrameImage(input.CodecParameters(), pkt.get());
    char name[32];
    std::snprintf(name, sizeof name, "/frame_%04ld.png", n);
    if (image.isNull() || !image.save(QString::fromStdString(out + name), "PNG")) {
      std::fprintf(stderr, "qsr-grab: cannot write %s%s\n", out.c_str(), name);
      return 1;
    }
    std::printf("frame %ld pts=%lld bytes=%d\n", n, static_cast<long long>(pkt->pts), pkt->size);
    std::fflush(stdout);
  }
  input.Close();
  return 0;
}
