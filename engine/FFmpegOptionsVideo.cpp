// Option handlers for picture and sound properties: frame rate and size,
// aspect ratio, pixel and sample formats, quantiser scale, matrices,
// threads and passes.
#include <cstdlib>

#include "engine/FFmpeg.h"

namespace engine {

void TCustomFFmpeg::OptFrameRate(const std::string& AValue) {
  if (AValue.empty()) return;
  AVRational rate{0, 0};
  if (ff::av_parse_video_rate(&rate, AValue.c_str()) < 0)
    throw FFmpegException("Incorrect frame rate");
  Fframe_rate = rate;
}

void TCustomFFmpeg::OptFrameSize(const std::string& AValue) {
  if (AValue.empty()) return;
  int w = 0, h = 0;
  if (ff::av_parse_video_size(&w, &h, AValue.c_str()) < 0)
    throw FFmpegException("Incorrect frame size");
  Fframe_width = w;
  Fframe_height = h;
}

void TCustomFFmpeg::OptFrameAspectRatio(const std::string& AValue) {
  if (AValue.empty()) return;
  double ratio = 0;
  const size_t colon = AValue.find(':');
  if (colon != std::string::npos) {
    const double x = std::strtol(AValue.substr(0, colon).c_str(), nullptr, 10);
    const double y = std::strtol(AValue.substr(colon + 1).c_str(), nullptr, 10);
    ratio = y > 0 ? x / y : 0;
  } else {
    char* end = nullptr;
    ratio = std::strtod(AValue.c_str(), &end);
    if (!end || *end != '\0') ratio = 0;
  }
  if (ratio == 0) throw FFmpegException("Incorrect aspect ratio specification.");
  Fframe_aspect_ratio = static_cast<float>(ratio);
}

namespace {
std::string TrimRight(std::string s) {
  while (!s.empty() && (s.back() == ' ' || s.back() == '\n' || s.back() == '\r')) s.pop_back();
  return s;
}
}  // namespace

void TCustomFFmpeg::OptPixelFormat(const std::string& AValue) {
  if (AValue == "list") {
    char buf[128];
    Log(media::llInfo, TrimRight(ff::av_get_pix_fmt_string(buf, sizeof buf, AV_PIX_FMT_NONE)));
    for (const AVPixFmtDescriptor* d = ff::av_pix_fmt_desc_next(nullptr); d;
         d = ff::av_pix_fmt_desc_next(d))
      Log(media::llInfo,
          TrimRight(ff::av_get_pix_fmt_string(buf, sizeof buf, ff::av_pix_fmt_desc_get_id(d))));
    return;
  }
  const AVPixelFormat f = ff::av_get_pix_fmt(AValue.c_str());
  if (f == AV_PIX_FMT_NONE) throw FFmpegException("Unknown pixel format requested: " + AValue);
  Fframe_pix_fmt = f;
}

void TCustomFFmpeg::OptSampleFormat(const std::string& AValue) {
  if (AValue == "list") {
    char buf[128];
    for (int i = -1; i < AV_SAMPLE_FMT_NB; ++i)
      Log(media::llInfo, TrimRight(ff::av_get_sample_fmt_string(buf, sizeof buf,
                                                                static_cast<AVSampleFormat>(i))));
    return;
  }
  const AVSampleFormat f = ff::av_get_sample_fmt(AValue.c_str());
  if (f == AV_SAMPLE_FMT_NONE) throw FFmpegException("Invalid sample format \"" + AValue + "\"");
  Faudio_sample_fmt = f;
}

void TCustomFFmpeg::OptQScale(const std::string& AValue) {
  char* end = nullptr;
  const double q = std::strtod(AValue.c_str(), &end);
  if (!end || *end != '\0' || !(q > 0 && q <= 255))
    throw FFmpegException("qscale must be > 0.0 and <= 255");
  Fvideo_qscale = static_cast<float>(q);
}

void TCustomFFmpeg::OptMatrix(const std::string& AName, const std::string& AValue) {
  std::vector<uint16_t>& m = AName == "intra_matrix" ? Fintra_matrix : Finter_matrix;
  m.assign(64, 0);
  const char* p = AValue.c_str();
  for (int i = 0; i < 64; ++i) {
    m[i] = static_cast<uint16_t>(std::strtol(p, nullptr, 10));
    if (i == 63) break;
    p = std::strchr(p, ',');
    if (!p)
      throw FFmpegException(Format("Syntax error in matrix \"%s\" at coeff %d", AValue.c_str(), i));
    ++p;
  }
}

}  // namespace engine
