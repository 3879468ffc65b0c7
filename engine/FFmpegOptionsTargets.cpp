// Target presets: the settings of VCD, SVCD, DVD and DV files for a
// television norm (PAL, NTSC or FILM), which is named or guessed from the
// frame rate and the opened inputs.
#include <cmath>

#include "engine/FFmpeg.h"

namespace engine {
namespace {

enum class TNorm { PAL, NTSC, FILM, Unknown };

TNorm NormFromRate(double ARate) {
  switch (std::lround(ARate * 1000)) {
    case 23976:
    case 29970:
      return TNorm::NTSC;
    case 25000:
      return TNorm::PAL;
    default:
      return TNorm::Unknown;
  }
}

std::string Trim(const std::string& s) {
  const auto first = s.find_first_not_of(" \t\r\n");
  if (first == std::string::npos) return {};
  return s.substr(first, s.find_last_not_of(" \t\r\n") - first + 1);
}

}  // namespace

void TCustomFFmpeg::OptTarget(const std::string& AValue) { ApplyTarget(AValue, "ntsc"); }

void TCustomFFmpeg::ApplyTarget(const std::string& AValue, const std::string& ADefaultNorm) {
  std::string type = Trim(AValue);
  std::string norm = "auto";
  for (const char* prefix : {"pal-", "ntsc-", "film-"}) {
    const std::string p(prefix);
    if (type.compare(0, p.size(), p) == 0) {
      norm = p.substr(0, p.size() - 1);
      type = type.substr(p.size());
      break;
    }
  }
  TNorm n = norm == "pal" ? TNorm::PAL : norm == "ntsc" ? TNorm::NTSC : norm == "film" ? TNorm::FILM
                                                                                          : TNorm::Unknown;
  if (n == TNorm::Unknown) {
    if (Fframe_rate.den == 0) throw FFmpegException("frame_rate is invalid.");
    n = NormFromRate(static_cast<double>(Fframe_rate.num) / Fframe_rate.den);
    for (int32_t i = 0; n == TNorm::Unknown && i < Fnb_input_files; ++i) {
      const AVFormatContext* ic = InputFile(i);
      if (!ic) continue;
      for (unsigned s = 0; n == TNorm::Unknown && s < ic->nb_streams; ++s) {
        const AVStream* st = ic->streams[s];
        if (st->codecpar->codec_type != AVMEDIA_TYPE_VIDEO) continue;
        AVRational r = st->avg_frame_rate.num > 0 && st->avg_frame_rate.den > 0 ? st->avg_frame_rate
                                                                                 : st->r_frame_rate;
        if (r.num > 0 && r.den > 0) n = NormFromRate(static_cast<double>(r.num) / r.den);
      }
    }
    if (n == TNorm::Unknown)
      n = ADefaultNorm == "ntsc" ? TNorm::NTSC : ADefaultNorm == "film" ? TNorm::FILM : TNorm::PAL;
    if (Fverbose > 0)
      Log(media::llVerbose, Format("Assuming %s for target.", n == TNorm::PAL ? "PAL" : "NTSC"));
  }
  const bool pal = n == TNorm::PAL;
  const char* rate = pal ? "25" : n == TNorm::NTSC ? "30000/1001" : "24000/1001";
  // Rejections of the library options are not errors here: a muxer or
  // encoder that lacks one simply does without it.
  auto lib = [this](const char* AName, const char* AValue) { FOptions.SetLibraryOption(AName, AValue); };
  auto aspectDefault = [this](const char* AAspect) {
    if (Fframe_aspect_ratio == 0) {
      Log(media::llInfo, Format("Assuming %s for aspect ratio", AAspect));
      OptFrameAspectRatio(AAspect);
    }
  };

  if (type == "vcd") {
    OptCodec("vcodec", "mpeg1video");
    OptCodec("acodec", "mp2");
    Flast_asked_format = "vcd";
    OptFrameSize(pal ? "352x288" : "352x240");
    OptFrameRate(rate);
    lib("g", pal ? "15" : "18");
    lib("b", "1150000");
    lib("maxrate", "1150000");
    lib("minrate", "1150000");
    lib("bufsize", "327680");
    lib("ab", "224000");
    Faudio_sample_rate = 44100;
    Faudio_channels = 2;
    lib("packetsize", "2324");
    lib("muxrate", "1411200");
    Fmux_preload = 0.44f;
    aspectDefault("4:3");
  } else if (type == "svcd") {
    OptCodec("vcodec", "mpeg2video");
    OptCodec("acodec", "mp2");
    Flast_asked_format = "svcd";
    OptFrameSize(pal ? "480x576" : "480x480");
    OptFrameRate(rate);
    lib("g", pal ? "15" : "18");
    lib("b", "2040000");
    lib("maxrate", "2516000");
    lib("minrate", "0");
    lib("bufsize", "1835008");
    lib("scan_offset", "1");
    lib("ab", "224000");
    Faudio_sample_rate = 44100;
    lib("packetsize", "2324");
    if (Faudio_channels == 1) Faudio_channels = 2;
    aspectDefault("4:3");
  } else if (type == "dvd") {
    OptCodec("vcodec", "mpeg2video");
    OptCodec("acodec", "ac3");
    Flast_asked_format = "dvd";
    OptFrameSize(pal ? "720x576" : "720x480");
    OptFrameRate(rate);
    lib("g", pal ? "15" : "18");
    lib("b", "6000000");
    lib("maxrate", "9000000");
    lib("minrate", "0");
    lib("bufsize", "1835008");
    lib("packetsize", "2048");
    lib("muxrate", "10080000");
    lib("ab", "448000");
    Faudio_sample_rate = 48000;
    if (Faudio_channels == 1) Faudio_channels = 2;
    aspectDefault("16:9");
  } else if (type == "dv" || type == "dv50") {
    Flast_asked_format = "dv";
    OptFrameSize(pal ? "720x576" : "720x480");
    OptPixelFormat(type == "dv50" ? "yuv422p" : pal ? "yuv420p" : "yuv411p");
    OptFrameRate(rate);
    Faudio_sample_rate = 48000;
    Faudio_channels = 2;
  } else {
    throw FFmpegException("Unknown target type");
  }
}

}  // namespace engine
