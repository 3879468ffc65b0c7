// Option records: text forms, option lines, the per-stream option queues and
// the order in which input and output records become engine settings.
#include "encoder/FFEncodeRecords.h"

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cmath>
#include <cstdlib>
#include <ctime>

#include "engine/FFmpeg.h"

namespace encoder {
namespace {

std::string Lower(std::string s) {
  std::transform(s.begin(), s.end(), s.begin(),
                 [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
  return s;
}

std::string Trim(const std::string& s) {
  const auto first = s.find_first_not_of(" \t\r\n");
  if (first == std::string::npos) return {};
  const auto last = s.find_last_not_of(" \t\r\n");
  return s.substr(first, last - first + 1);
}

// Lines of a text: every CR LF, CR, LF and "<CRLF>" ends a line.
std::vector<std::string> Lines(const std::string& AText) {
  std::string text = Trim(AText);
  std::string norm;
  norm.reserve(text.size());
  for (size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '\r') {
      norm += '\n';
      if (i + 1 < text.size() && text[i + 1] == '\n') ++i;
    } else if (text.compare(i, 6, "<CRLF>") == 0) {
      norm += '\n';
      i += 5;
    } else {
      norm += text[i];
    }
  }
  std::vector<std::string> lines;
  size_t start = 0;
  for (;;) {
    const size_t nl = norm.find('\n', start);
    lines.push_back(norm.substr(start, nl == std::string::npos ? std::string::npos : nl - start));
    if (nl == std::string::npos) break;
    start = nl + 1;
  }
  return lines;
}

// A 64-bit number, or "not set" for text that is not one.
int64_t TimeOrNotSet(const std::string& AValue) {
  char* end = nullptr;
  errno = 0;
  const long long v = std::strtoll(AValue.c_str(), &end, 10);
  if (AValue.empty() || *end || errno == ERANGE) return kTimeNotSet;
  return v;
}

bool IsExcludedForInput(const std::string& AName) {
  static const char* const kNames[] = {"newvideo", "newaudio", "newsubtitle", "apre",
                                       "vpre",     "spre",     "vfilters",    "vf"};
  return std::any_of(std::begin(kNames), std::end(kNames),
                     [&](const char* n) { return AName == n; });
}

bool IsExcludedForOutput(const std::string& AName) {
  return IsExcludedForInput(AName) || AName == "acodec" || AName == "vcodec" ||
         AName == "scodec" || AName == "s";
}

// Library options set from record fields: a refusal is not an error here.
void SetLibraryOptionQuietly(engine::TCustomFFmpeg& AEngine, const char* AName, int64_t AValue) {
  AEngine.FOptions.SetLibraryOption(AName, std::to_string(AValue));
}

void SetIfGiven(engine::TCustomFFmpeg& AEngine, const char* AName, const std::string& AValue) {
  if (!AValue.empty()) AEngine.SetExtOption(AName, AValue);
}

void ApplyOptionLines(engine::TCustomFFmpeg& AEngine, const std::string& AText,
                      bool (*AExcluded)(const std::string&)) {
  for (const auto& [name, value] : SplitOptionLines(AText)) {
    // Blank lines carry no option (the store would refuse them without a
    // reason, failing the call with an empty message).
    if (name.empty() && value.empty()) continue;
    if (AExcluded(name)) continue;
    AEngine.SetExtOption(name, value);
  }
}

void ApplyStreamInfo(engine::TCustomFFmpeg& AEngine, const TStreamInfo& AInfo) {
  if (AInfo.TimeStamp == 0)
    AEngine.Frecording_timestamp = static_cast<int64_t>(std::time(nullptr));
  else if (AInfo.TimeStamp > 0)
    AEngine.Frecording_timestamp = RecordingTimestamp(AInfo.TimeStamp);
  auto meta = [&](const char* AKey, const std::string& AValue) {
    if (!AValue.empty()) AEngine.SetExtOption("metadata", std::string(AKey) + "=" + AValue);
  };
  if (AInfo.Year > 0) meta("year", std::to_string(AInfo.Year));
  if (AInfo.Track > 0) meta("track", std::to_string(AInfo.Track));
  meta("title", AInfo.Title);
  meta("author", AInfo.Author);
  meta("copyright", AInfo.Copyright);
  meta("comment", AInfo.Comment);
  meta("album", AInfo.Album);
  meta("genre", AInfo.Genre);
}

}  // namespace

std::vector<TOptionLine> SplitOptionLines(const std::string& AText) {
  std::vector<TOptionLine> result;
  if (Trim(AText).empty()) return result;
  for (const std::string& line : Lines(AText)) {
    const size_t eq = line.find('=');
    if (eq == std::string::npos)
      result.emplace_back(Lower(line), std::string());
    else
      result.emplace_back(Lower(line.substr(0, eq)), line.substr(eq + 1));
  }
  return result;
}

TInputOptions InputOptionsFromText(const std::string& AText) {
  TInputOptions r;
  if (Trim(AText).empty()) return r;
  for (const std::string& line : Lines(AText)) {
    const size_t eq = line.find('=');
    const std::string name = line.substr(0, eq);
    const std::string value = eq == std::string::npos ? std::string() : line.substr(eq + 1);
    if (Lower(name) == "timestart")
      r.TimeStart = TimeOrNotSet(value);
    else
      r.ExtOptions += name + "=" + value + "\n";
  }
  return r;
}

TOutputOptions OutputOptionsFromText(const std::string& AText) {
  TOutputOptions r;
  if (Trim(AText).empty()) return r;
  for (const std::string& line : Lines(AText)) {
    const size_t eq = line.find('=');
    const std::string name = line.substr(0, eq);
    const std::string key = Lower(name);
    const std::string value = eq == std::string::npos ? std::string() : line.substr(eq + 1);
    const bool on = value != "0";
    if (key == "audiohook") {
      r.AudioHook = on;
    } else if (key == "videoinputhook") {
      r.VideoInputHook = on;
    } else if (key == "videooutputhook") {
      r.VideoOutputHook = on;
    } else if (key == "join") {
      r.Join = on;
    } else if (key == "videohookbitspixel") {
      const int64_t v = TimeOrNotSet(value);
      r.VideoHookBitsPixel = v == kTimeNotSet || v < INT32_MIN || v > INT32_MAX ? 24 : static_cast<int32_t>(v);
    } else if (key == "timestart") {
      r.TimeStart = TimeOrNotSet(value);
    } else if (key == "timelength") {
      r.TimeLength = TimeOrNotSet(value);
    } else {
      r.ExtOptions += name + "=" + value + "\n";
    }
  }
  return r;
}

int64_t RecordingTimestamp(double ADateTime) {
  tzset();
  // timezone: seconds west of UTC, standard time.
  const double biasMinutes = static_cast<double>(timezone) / 60.0;
  const double offset = -biasMinutes / 1440.0;
  return static_cast<int64_t>(std::llround((ADateTime - 25569.0 - offset) * 86400.0));
}

double NowDateTime() {
  tzset();
  return (static_cast<double>(std::time(nullptr)) - static_cast<double>(timezone)) / 86400.0 +
         25569.0;
}

// ---- per-stream option queues ----

TStreamOptionQueues::TStreamOptionQueues(const TOutputOptions& AOptions) {
  FEntries = {{"acodec", AOptions.AudioCodec, {}},    {"vcodec", AOptions.VideoCodec, {}},
              {"scodec", AOptions.SubtitleCodec, {}}, {"apre", AOptions.AudioPreset, {}},
              {"vpre", AOptions.VideoPreset, {}},     {"spre", AOptions.SubtitlePreset, {}},
              {"s", AOptions.FrameSize, {}},          {"vf", AOptions.VideoFilters, {}}};
  for (const auto& [name, value] : SplitOptionLines(AOptions.ExtOptions)) {
    if (value.empty()) continue;
    TEntry* e = Find(name == "vfilters" ? "vf" : name);
    if (!e) continue;
    e->queue.push_back(value);
    if (e->def.empty()) e->def = value;
  }
}

TStreamOptionQueues::TEntry* TStreamOptionQueues::Find(const std::string& AName) {
  for (TEntry& e : FEntries)
    if (e.name == AName) return &e;
  return nullptr;
}

const std::string& TStreamOptionQueues::Default(const std::string& AName) const {
  static const std::string kEmpty;
  for (const TEntry& e : FEntries)
    if (e.name == AName) return e.def;
  return kEmpty;
}

std::string TStreamOptionQueues::Take(const std::string& AName) {
  TEntry* e = Find(AName);
  if (!e) return {};
  if (e->queue.empty()) return e->def;
  std::string v = std::move(e->queue.front());
  e->queue.pop_front();
  return v;
}

// ---- applying records ----

void ApplyInputOptions(engine::TCustomFFmpeg& AEngine, const TInputOptions& AOptions) {
  ApplyOptionLines(AEngine, AOptions.ExtOptions, &IsExcludedForInput);
  SetIfGiven(AEngine, "f", AOptions.ForceFormat);
  if (AOptions.TimeStart != kTimeNotSet) AEngine.Fstart_time = AOptions.TimeStart;
  if (AOptions.ProgramID >= 0) AEngine.Fopt_programid = AOptions.ProgramID;
}

void ApplyOutputOptions(engine::TCustomFFmpeg& AEngine, const TOutputOptions& O,
                        TStreamOptionQueues& AQueues) {
  // Target preset.
  if (O.TargetType != ttIgnore) {
    const char* type = O.TargetType == ttVCD ? "vcd" : O.TargetType == ttSVCD ? "svcd" : "dvd";
    const char* norm = O.NormType == ntPAL ? "pal-" : O.NormType == ntNTSC ? "ntsc-" : "";
    AEngine.ApplyTarget(std::string(norm) + type, O.NormDefault == ntPAL ? "pal" : "ntsc");
  }
  // The first streams' codecs and presets.
  for (const char* name : {"acodec", "vcodec", "scodec", "apre", "vpre", "spre"})
    SetIfGiven(AEngine, name, AQueues.Default(name));
  // Option lines.
  ApplyOptionLines(AEngine, O.ExtOptions, &IsExcludedForOutput);
  // Record fields, in declaration order.
  SetIfGiven(AEngine, "f", O.ForceFormat);
  if (O.PacketSize > 0) SetLibraryOptionQuietly(AEngine, "packetsize", O.PacketSize);
  if (O.MuxRate > 0) SetLibraryOptionQuietly(AEngine, "muxrate", O.MuxRate);
  AEngine.SetMuxMaxDelay(O.MuxDelay);
  AEngine.SetMuxPreload(O.MuxPreload);
  if (O.DisableAudio) AEngine.Faudio_disable = true;
  AEngine.SetAudioVolume(O.AudioVolume);
  if (O.AudioChannels > 0) AEngine.Faudio_channels = O.AudioChannels;
  if (O.AudioSampleRate > 0) AEngine.Faudio_sample_rate = O.AudioSampleRate;
  if (O.AudioBitrate > 0 && O.TargetType == ttIgnore)
    SetLibraryOptionQuietly(AEngine, "ab", O.AudioBitrate);
  if (O.AudioBitRateTolerance > 0) SetLibraryOptionQuietly(AEngine, "abt", O.AudioBitRateTolerance);
  AEngine.Faudio_language = O.AudioLanguage;
  AEngine.SetAudioSyncMethod(O.AudioSyncMethod);
  SetIfGiven(AEngine, "atag", O.AudioTag);
  if (O.DisableVideo) AEngine.Fvideo_disable = true;
  SetIfGiven(AEngine, "r", O.FrameRate);
  SetIfGiven(AEngine, "aspect", O.FrameAspectRatio);
  if (O.GroupPictureSize > 0) SetLibraryOptionQuietly(AEngine, "g", O.GroupPictureSize);
  if (O.VideoBitrate > 0 && O.TargetType == ttIgnore)
    SetLibraryOptionQuietly(AEngine, "vb", O.VideoBitrate);
  if (O.VideoMaxRate > 0) SetLibraryOptionQuietly(AEngine, "maxrate", O.VideoMaxRate);
  if (O.VideoMinRate > 0) SetLibraryOptionQuietly(AEngine, "minrate", O.VideoMinRate);
  if (O.VideoBitRateTolerance > 0) SetLibraryOptionQuietly(AEngine, "bt", O.VideoBitRateTolerance);
  if (O.VideoBufSize > 0) SetLibraryOptionQuietly(AEngine, "bufsize", O.VideoBufSize);
  AEngine.SetVideoSyncMethod(O.VideoSyncMethod);
  SetIfGiven(AEngine, "vtag", O.VideoTag);
  AEngine.Fvideo_language = O.VideoLanguage;
  if (O.DisableSubtitle) AEngine.Fsubtitle_disable = true;
  AEngine.Fsubtitle_language = O.SubtitleLanguage;
  AEngine.Finput_sync = O.InputSync;
  if (O.CopyTimestamp) AEngine.Fcopy_ts = true;
  if (O.TimeStart != kTimeNotSet) AEngine.Fstart_time = O.TimeStart;
  if (O.TimeLength != kTimeNotSet) {
    AEngine.Frecording_time = O.TimeLength;
    AEngine.FTotalOutputDuration = O.TimeLength;
  }
  ApplyStreamInfo(AEngine, O.Info);
  AEngine.SetHookBitsPixel(O.VideoHookBitsPixel);
  // Frame size and filter chain of the first video stream.
  SetIfGiven(AEngine, "s", AQueues.Default("s"));
  SetIfGiven(AEngine, "vf", AQueues.Default("vf"));
}

void CreateExtraStreams(engine::TCustomFFmpeg& AEngine, const TOutputOptions& AOptions,
                        TStreamOptionQueues& AQueues) {
  auto apply = [&](const char* AName) { SetIfGiven(AEngine, AName, AQueues.Take(AName)); };
  for (const auto& line : SplitOptionLines(AOptions.ExtOptions)) {
    const std::string& name = line.first;
    if (name == "newaudio") {
      apply("acodec");
      apply("apre");
    } else if (name == "newvideo") {
      apply("vcodec");
      apply("vpre");
      apply("s");
      apply("vf");
    } else if (name == "newsubtitle") {
      apply("scodec");
      apply("spre");
    } else {
      continue;
    }
    AEngine.SetExtOption(name, std::string());
  }
}

}  // namespace encoder
