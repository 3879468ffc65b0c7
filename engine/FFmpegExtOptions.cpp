// SetExtOption: the one named-option entry of the engine. Maps the short
// option names onto settings or option handlers; every other name goes to
// the library option store.
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <ctime>
#include <functional>
#include <unordered_map>

#include "engine/FFmpeg.h"

namespace engine {
namespace {

int32_t StrToInt(const std::string& S) {
  char* end = nullptr;
  errno = 0;
  const long long v = std::strtoll(S.c_str(), &end, 10);
  if (S.empty() || *end || errno == ERANGE || v < INT32_MIN || v > INT32_MAX)
    throw EConvertError("'" + S + "' is not a valid integer value");
  return static_cast<int32_t>(v);
}

int64_t StrToInt64(const std::string& S) {
  char* end = nullptr;
  errno = 0;
  const long long v = std::strtoll(S.c_str(), &end, 10);
  if (S.empty() || *end || errno == ERANGE)
    throw EConvertError("'" + S + "' is not a valid integer value");
  return v;
}

float StrToFloat(const std::string& S) {
  char* end = nullptr;
  const double v = std::strtod(S.c_str(), &end);
  if (S.empty() || *end) throw EConvertError("'" + S + "' is not a valid floating point value");
  return static_cast<float>(v);
}

bool Switch(const std::string& S) { return S != "0"; }

std::string ExecutableDir() {
  char buf[4096];
  const ssize_t n = ::readlink("/proc/self/exe", buf, sizeof buf - 1);
  if (n <= 0) return "./";
  std::string path(buf, static_cast<size_t>(n));
  return path.substr(0, path.rfind('/') + 1);
}

using THandler = std::function<void(TCustomFFmpeg&, const std::string&, const std::string&)>;

}  // namespace

// The names with a fixed meaning. Returns false for a name it does not know.
bool TCustomFFmpeg::SetExtOptionTable(const std::string& AName, const std::string& AValue) {
  using E = TCustomFFmpeg;
  auto sw = [](bool E::*AField) {
    return THandler([AField](E& e, const std::string&, const std::string& v) { e.*AField = Switch(v); });
  };
  auto i32 = [](int32_t E::*AField) {
    return THandler([AField](E& e, const std::string&, const std::string& v) { e.*AField = StrToInt(v); });
  };
  auto flt = [](float E::*AField) {
    return THandler([AField](E& e, const std::string&, const std::string& v) { e.*AField = StrToFloat(v); });
  };
  auto txt = [](std::string E::*AField) {
    return THandler([AField](E& e, const std::string&, const std::string& v) { e.*AField = v; });
  };
  auto frame = [](int AType) {
    return THandler([AType](E& e, const std::string&, const std::string& v) { e.Fmax_frames[AType] = StrToInt(v); });
  };
  auto call = [](void (E::*AOpt)(const std::string&, const std::string&)) {
    return THandler([AOpt](E& e, const std::string& n, const std::string& v) { (e.*AOpt)(n, v); });
  };
  auto call1 = [](void (E::*AOpt)(const std::string&)) {
    return THandler([AOpt](E& e, const std::string&, const std::string& v) { (e.*AOpt)(v); });
  };
  auto nothing = THandler([](E& e, const std::string& n, const std::string&) {
    e.Log(media::llInfo, "Do nothing: option - " + n);
  });
  auto removed = [](const char* AText) {
    return THandler([AText](E&, const std::string&, const std::string&) { throw FFmpegException(AText); });
  };
  auto unsupported = THandler([](E&, const std::string& n, const std::string&) {
    throw FFmpegException("Option \"" + n + "\" is not supported by this engine");
  });

  static const std::unordered_map<std::string, THandler> kTable = {
      {"L", nothing}, {"h", nothing}, {"version", nothing}, {"formats", nothing},
      {"codecs", nothing}, {"bsfs", nothing}, {"protocols", nothing}, {"filters", nothing},
      {"i", nothing}, {"y", nothing}, {"benchmark", nothing},
      {"loglevel", [](E&, const std::string&, const std::string& v) { media::GetFFLogger().OptLogLevel(v); }},
      {"f", [](E& e, const std::string&, const std::string& v) { if (!v.empty()) e.Flast_asked_format = v; }},
      {"map", call1(&E::OptMap)}, {"map_meta_data", call1(&E::OptMapMetaData)},
      {"map_chapters", call1(&E::OptMapChapters)},
      {"t", call(&E::OptTime)}, {"ss", call(&E::OptTime)}, {"itsoffset", call(&E::OptTime)},
      {"timestamp", call(&E::OptTime)},
      {"fs", [](E& e, const std::string&, const std::string& v) { e.Flimit_filesize = StrToInt64(v); }},
      {"itsscale", call1(&E::OptInputTsScale)}, {"metadata", call1(&E::OptMetadata)},
      {"dframes", frame(AVMEDIA_TYPE_DATA)}, {"vframes", frame(AVMEDIA_TYPE_VIDEO)},
      {"timelimit", [](E& e, const std::string&, const std::string&) {
         e.Log(media::llWarning, "Warning: -timelimit not implemented on Windows");
       }},
      {"dump", sw(&E::Fdo_pkt_dump)}, {"hex", sw(&E::Fdo_hex_dump)}, {"re", sw(&E::Frate_emu)},
      {"loop_input", sw(&E::Floop_input)}, {"loop_output", i32(&E::Floop_output)},
      {"v", i32(&E::Fverbose)}, {"target", call1(&E::OptTarget)},
      {"threads", call1(&E::OptThreads)},
      {"vsync", i32(&E::Fvideo_sync_method)}, {"async", i32(&E::Faudio_sync_method)},
      {"adrift_threshold", flt(&E::Faudio_drift_threshold)}, {"vglobal", i32(&E::Fvideo_global_header)},
      {"copyts", sw(&E::Fcopy_ts)}, {"copytb", sw(&E::Fcopy_tb)}, {"shortest", sw(&E::Fopt_shortest)},
      {"dts_delta_threshold", flt(&E::Fdts_delta_threshold)}, {"programid", i32(&E::Fopt_programid)},
      {"xerror", sw(&E::Fexit_on_error)}, {"copyinkf", i32(&E::Fcopy_initial_nonkeyframes)},
      {"b", call(&E::OptBitRate)}, {"vb", call(&E::OptBitRate)}, {"ab", call(&E::OptBitRate)},
      {"r", call1(&E::OptFrameRate)}, {"s", call1(&E::OptFrameSize)},
      {"aspect", call1(&E::OptFrameAspectRatio)}, {"pix_fmt", call1(&E::OptPixelFormat)},
      {"croptop", removed("Removed, use the crop filter instead")},
      {"cropbottom", removed("Removed, use the crop filter instead")},
      {"cropleft", removed("Removed, use the crop filter instead")},
      {"cropright", removed("Removed, use the crop filter instead")},
      {"padtop", removed("Removed, use the pad filter instead")},
      {"padbottom", removed("Removed, use the pad filter instead")},
      {"padleft", removed("Removed, use the pad filter instead")},
      {"padright", removed("Removed, use the pad filter instead")},
      {"padcolor", removed("Removed, use the pad filter instead")},
      {"intra", sw(&E::Fintra_only)}, {"vn", sw(&E::Fvideo_disable)}, {"vdt", i32(&E::Fvideo_discard)},
      {"qscale", call1(&E::OptQScale)},
      {"rc_override", txt(&E::Fvideo_rc_override_string)},
      {"vcodec", call(&E::OptCodec)}, {"me_threshold", i32(&E::Fme_threshold)},
      {"sameq", sw(&E::Fsame_quality)}, {"pass", call1(&E::OptPass)},
      {"passlogfile", txt(&E::Fpass_logfilename_prefix)}, {"deinterlace", sw(&E::Fdo_deinterlace)},
      {"psnr", sw(&E::Fdo_psnr)},
      {"vstats", [](E& e, const std::string&, const std::string& v) { e.OptVstats(Switch(v)); }},
      {"vstats_file", txt(&E::Fvstats_filename)}, {"vhook", call1(&E::OptVideoHook)},
      {"vfilters", [](E& e, const std::string&, const std::string& v) { if (!v.empty()) e.Fvfilters = v; }},
      {"vf", [](E& e, const std::string&, const std::string& v) { if (!v.empty()) e.Fvfilters = v; }},
      {"intra_matrix", call(&E::OptMatrix)}, {"inter_matrix", call(&E::OptMatrix)},
      {"top", i32(&E::Ftop_field_first)}, {"dc", i32(&E::Fintra_dc_precision)},
      {"vtag", call(&E::OptCodecTag)},
      {"newvideo", [](E& e, const std::string& n, const std::string&) { e.OptNewStream(n); }},
      {"vlang", txt(&E::Fvideo_language)}, {"qphist", sw(&E::Fqp_hist)},
      {"force_fps", sw(&E::Fforce_fps)}, {"streamid", call(&E::OptStreamId)},
      {"force_key_frames", txt(&E::Fforced_key_frames)},
      {"aframes", frame(AVMEDIA_TYPE_AUDIO)}, {"aq", flt(&E::Faudio_qscale)},
      {"ar", [](E& e, const std::string&, const std::string& v) {
         const int32_t n = StrToInt(v);
         if (n > 0) e.Faudio_sample_rate = n;
       }},
      {"ac", [](E& e, const std::string&, const std::string& v) {
         const int32_t n = StrToInt(v);
         if (n > 0) e.Faudio_channels = n;
       }},
      {"an", sw(&E::Faudio_disable)}, {"acodec", call(&E::OptCodec)}, {"atag", call(&E::OptCodecTag)},
      {"vol", i32(&E::Faudio_volume)},
      {"newaudio", [](E& e, const std::string& n, const std::string&) { e.OptNewStream(n); }},
      {"alang", txt(&E::Faudio_language)}, {"sample_fmt", call1(&E::OptSampleFormat)},
      {"sn", sw(&E::Fsubtitle_disable)}, {"scodec", call(&E::OptCodec)},
      {"newsubtitle", [](E& e, const std::string& n, const std::string&) { e.OptNewStream(n); }},
      {"slang", txt(&E::Fsubtitle_language)}, {"stag", call(&E::OptCodecTag)},
      {"vc", i32(&E::Fvideo_channel)}, {"tvstd", txt(&E::Fvideo_standard)},
      {"isync", sw(&E::Finput_sync)}, {"muxdelay", flt(&E::Fmux_max_delay)},
      {"muxpreload", flt(&E::Fmux_preload)},
      {"absf", call(&E::OptBitstreamFilter)}, {"vbsf", call(&E::OptBitstreamFilter)},
      {"sbsf", call(&E::OptBitstreamFilter)},
      {"apre", call(&E::OptPreset)}, {"vpre", call(&E::OptPreset)}, {"spre", call(&E::OptPreset)},
      {"fpre", call(&E::OptPreset)},
  };
  const auto it = kTable.find(AName);
  if (it == kTable.end()) return false;
  it->second(*this, AName, AValue);
  return true;
}

void TCustomFFmpeg::SetExtOption(const std::string& AName, const std::string& AValue) {
  if (!SetExtOptionTable(AName, AValue)) OptLibrary(AName, AValue);
}

void TCustomFFmpeg::OptThreads(const std::string& AValue) {
  Fthread_count = StrToInt(AValue);
  if (Fverbose >= 0)
    Log(media::llVerbose,
        "Warning: if the ffmpeg libraries were not compiled with thread support, it would be "
        "using thread emulation.");
}

void TCustomFFmpeg::OptPass(const std::string& AValue) {
  const int32_t pass = StrToInt(AValue);
  if (pass != 1 && pass != 2) throw FFmpegException("pass number can be only 1 or 2");
  Fdo_pass = pass;
}

void TCustomFFmpeg::OptVstats(bool AOn) {
  if (!AOn) {
    Fvstats_filename.clear();
    return;
  }
  const std::time_t now = std::time(nullptr);
  std::tm tmv{};
  localtime_r(&now, &tmv);
  char stamp[16];
  std::strftime(stamp, sizeof stamp, "%H%M%S", &tmv);
  Fvstats_filename = Format("%svstats_%s.log", ExecutableDir().c_str(), stamp);
}

void TCustomFFmpeg::SetAudioVolume(int32_t AValue) {
  if (AValue >= 0) Faudio_volume = AValue;
}
void TCustomFFmpeg::SetAudioSyncMethod(int32_t AValue) { Faudio_sync_method = AValue; }
void TCustomFFmpeg::SetVideoSyncMethod(int32_t AValue) { Fvideo_sync_method = AValue; }
void TCustomFFmpeg::SetMuxMaxDelay(float AValue) {
  if (AValue > 0) Fmux_max_delay = AValue;
}
void TCustomFFmpeg::SetMuxPreload(float AValue) {
  if (AValue > 0) Fmux_preload = AValue;
}

}  // namespace engine
