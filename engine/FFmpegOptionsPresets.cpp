// Codec presets (apre, vpre, spre, fpre): option sets by name from the
// built-in libx264 table or from a preset file, applied line by line.
//
// The built-in texts use the option names the libx264 encoder of the bound
// library generation accepts (its private options direct-pred, weightb,
// 8x8dct, mixed-refs, fast-pskip, rc-lookahead, weightp, motion-est,
// partitions=i8x8,i4x4,p8x8,b8x8 ...), so that halting on an invalid option
// does not fail every H.264 recording.
#include <algorithm>
#include <cctype>
#include <fstream>
#include <sstream>
#include <utility>
#include <vector>

#include "engine/FFmpeg.h"

namespace engine {
namespace {

using TLines = std::vector<std::pair<std::string, std::string>>;

// The classic default: every speed preset is this list with some values
// changed (and some lines added at the end).
const TLines& DefaultLines() {
  static const TLines kLines = {
      {"coder", "1"},          {"flags", "+loop"},        {"cmp", "+chroma"},
      {"partitions", "i8x8,i4x4,p8x8,b8x8"},              {"motion-est", "hex"},
      {"subq", "7"},           {"me_range", "16"},        {"g", "250"},
      {"keyint_min", "25"},    {"sc_threshold", "40"},    {"i_qfactor", "0.71"},
      {"b_strategy", "1"},     {"qcomp", "0.6"},          {"qmin", "10"},
      {"qmax", "51"},          {"qdiff", "4"},            {"bf", "3"},
      {"refs", "3"},           {"direct-pred", "spatial"}, {"trellis", "1"},
      {"weightb", "1"},        {"mixed-refs", "1"},       {"8x8dct", "1"},
      {"fast-pskip", "1"},     {"weightp", "smart"},
  };
  return kLines;
}

std::string Text(const TLines& ALines) {
  std::string text;
  for (const auto& [k, v] : ALines) text += k + "=" + v + "\n";
  return text;
}

// The default list with AChanges applied in place; new keys go last.
TLines Derive(const TLines& ABase, const TLines& AChanges) {
  TLines lines = ABase;
  for (const auto& change : AChanges) {
    auto it = std::find_if(lines.begin(), lines.end(),
                           [&](const auto& l) { return l.first == change.first; });
    if (it != lines.end())
      it->second = change.second;
    else
      lines.push_back(change);
  }
  return lines;
}

// A first pass: fast analysis, the rest of the preset kept.
TLines FirstPass(const TLines& ABase, const char* ASubq) {
  return Derive(ABase, {{"partitions", "none"}, {"motion-est", "dia"}, {"subq", ASubq},
                        {"refs", "1"}, {"trellis", "0"}, {"mixed-refs", "0"}, {"8x8dct", "0"},
                        {"fast-pskip", "1"}});
}

using TTable = std::vector<std::pair<std::string, std::string>>;

const TTable& BuiltInPresets() {
  static const TTable kTable = [] {
    const TLines& d = DefaultLines();
    const TLines ultrafast = Derive(d, {{"coder", "0"}, {"flags", "-loop"}, {"partitions", "none"},
        {"motion-est", "dia"}, {"subq", "0"}, {"sc_threshold", "0"}, {"b_strategy", "0"},
        {"bf", "0"}, {"refs", "1"}, {"trellis", "0"}, {"weightb", "0"}, {"mixed-refs", "0"},
        {"8x8dct", "0"}, {"weightp", "none"}, {"mbtree", "0"}, {"rc-lookahead", "0"},
        {"aq-mode", "0"}});
    const TLines superfast = Derive(d, {{"partitions", "i8x8,i4x4"}, {"motion-est", "dia"},
        {"subq", "1"}, {"refs", "1"}, {"trellis", "0"}, {"mixed-refs", "0"},
        {"weightp", "simple"}, {"mbtree", "0"}, {"rc-lookahead", "0"}});
    const TLines veryfast = Derive(d, {{"subq", "2"}, {"refs", "1"}, {"trellis", "0"},
        {"mixed-refs", "0"}, {"weightp", "simple"}, {"mbtree", "1"}, {"rc-lookahead", "10"}});
    const TLines faster = Derive(d, {{"subq", "4"}, {"refs", "2"}, {"mixed-refs", "0"},
        {"weightp", "simple"}, {"mbtree", "1"}, {"rc-lookahead", "20"}});
    const TLines fast = Derive(d, {{"subq", "6"}, {"refs", "2"}, {"mbtree", "1"},
        {"rc-lookahead", "30"}});
    const TLines medium = Derive(d, {{"mbtree", "1"}, {"rc-lookahead", "40"}});
    const TLines slow = Derive(d, {{"motion-est", "umh"}, {"subq", "8"}, {"b_strategy", "2"},
        {"refs", "5"}, {"direct-pred", "auto"}, {"mbtree", "1"}, {"rc-lookahead", "50"}});
    const TLines slower = Derive(d, {{"partitions", "all"}, {"motion-est", "umh"}, {"subq", "9"},
        {"b_strategy", "2"}, {"refs", "8"}, {"direct-pred", "auto"}, {"trellis", "2"},
        {"mbtree", "1"}, {"rc-lookahead", "60"}});
    const TLines veryslow = Derive(d, {{"partitions", "all"}, {"motion-est", "umh"},
        {"subq", "10"}, {"me_range", "24"}, {"b_strategy", "2"}, {"bf", "8"}, {"refs", "16"},
        {"direct-pred", "auto"}, {"trellis", "2"}, {"mbtree", "1"}, {"rc-lookahead", "60"}});
    const TLines placebo = Derive(d, {{"partitions", "all"}, {"motion-est", "tesa"},
        {"subq", "11"}, {"me_range", "24"}, {"b_strategy", "2"}, {"bf", "16"}, {"refs", "16"},
        {"direct-pred", "auto"}, {"trellis", "2"}, {"fast-pskip", "0"}, {"mbtree", "1"},
        {"rc-lookahead", "60"}});
    const TLines normal = Derive(d, {{"partitions", "i8x8,p8x8,b8x8"}, {"subq", "6"},
        {"refs", "2"}, {"direct-pred", "auto"}, {"trellis", "0"}});
    const TLines hq = Derive(d, {{"partitions", "all"}, {"motion-est", "umh"}, {"subq", "8"},
        {"b_strategy", "2"}, {"refs", "4"}, {"direct-pred", "auto"}});
    const TLines max = Derive(d, {{"partitions", "all"}, {"motion-est", "tesa"}, {"subq", "10"},
        {"me_range", "24"}, {"b_strategy", "2"}, {"bf", "16"}, {"refs", "16"},
        {"direct-pred", "auto"}, {"trellis", "2"}, {"fast-pskip", "0"}});
    const TLines lossless = {{"qp", "0"}};
    auto withLossless = [&](const TLines& ABase) { return Derive(ABase, lossless); };
    // Profile restrictions, applied after a speed preset.
    const TLines baseline = {{"coder", "0"}, {"bf", "0"}, {"weightb", "0"}, {"8x8dct", "0"},
                             {"weightp", "none"}};
    const TLines mainProfile = {{"8x8dct", "0"}};
    const TLines ipod320 = {{"coder", "0"}, {"bf", "0"}, {"refs", "1"}, {"weightb", "0"},
        {"8x8dct", "0"}, {"level", "13"}, {"maxrate", "768000"}, {"bufsize", "3000000"},
        {"weightp", "none"}};
    const TLines ipod640 = {{"coder", "0"}, {"bf", "0"}, {"refs", "1"}, {"weightb", "0"},
        {"8x8dct", "0"}, {"level", "30"}, {"maxrate", "10000000"}, {"bufsize", "10000000"},
        {"weightp", "none"}};
    return TTable{
        {"libx264-baseline", Text(baseline)},
        {"libx264-default", Text(d)},
        {"libx264-fast", Text(fast)},
        {"libx264-fast_firstpass", Text(FirstPass(fast, "2"))},
        {"libx264-faster", Text(faster)},
        {"libx264-faster_firstpass", Text(FirstPass(faster, "2"))},
        {"libx264-fastfirstpass", Text(FirstPass(d, "2"))},
        {"libx264-hq", Text(hq)},
        {"libx264-ipod320", Text(ipod320)},
        {"libx264-ipod640", Text(ipod640)},
        {"libx264-lossless_fast", Text(withLossless(fast))},
        {"libx264-lossless_max", Text(withLossless(max))},
        {"libx264-lossless_medium", Text(withLossless(medium))},
        {"libx264-lossless_slow", Text(withLossless(slow))},
        {"libx264-lossless_slower", Text(withLossless(slower))},
        {"libx264-lossless_ultrafast", Text(withLossless(ultrafast))},
        {"libx264-main", Text(mainProfile)},
        {"libx264-max", Text(max)},
        {"libx264-medium", Text(medium)},
        {"libx264-medium_firstpass", Text(FirstPass(medium, "2"))},
        {"libx264-normal", Text(normal)},
        {"libx264-placebo", Text(placebo)},
        {"libx264-placebo_firstpass", Text(FirstPass(placebo, "2"))},
        {"libx264-slow", Text(slow)},
        {"libx264-slow_firstpass", Text(FirstPass(slow, "2"))},
        {"libx264-slower", Text(slower)},
        {"libx264-slower_firstpass", Text(FirstPass(slower, "2"))},
        {"libx264-slowfirstpass", Text(d)},
        {"libx264-superfast", Text(superfast)},
        {"libx264-superfast_firstpass", Text(FirstPass(superfast, "1"))},
        {"libx264-ultrafast", Text(ultrafast)},
        {"libx264-ultrafast_firstpass", Text(FirstPass(ultrafast, "0"))},
        {"libx264-veryfast", Text(veryfast)},
        {"libx264-veryfast_firstpass", Text(FirstPass(veryfast, "2"))},
        {"libx264-veryslow", Text(veryslow)},
        {"libx264-veryslow_firstpass", Text(FirstPass(veryslow, "2"))},
    };
  }();
  return kTable;
}

std::string Lower(std::string s) {
  std::transform(s.begin(), s.end(), s.begin(),
                 [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
  return s;
}

std::string Trim(const std::string& s) {
  const auto first = s.find_first_not_of(" \t\r\n");
  if (first == std::string::npos) return {};
  return s.substr(first, s.find_last_not_of(" \t\r\n") - first + 1);
}

const std::string* FindBuiltIn(const std::string& AName) {
  const std::string key = Lower(AName);
  for (const auto& [name, text] : BuiltInPresets())
    if (name == key) return &text;
  return nullptr;
}

}  // namespace

std::vector<std::string> TCustomFFmpeg::BuiltInPresetNames() {
  std::vector<std::string> names;
  for (const auto& entry : BuiltInPresets()) names.push_back(entry.first);
  return names;
}

void TCustomFFmpeg::OptPreset(const std::string& AName, const std::string& AValue) {
  if (AValue.empty()) return;
  std::string presetName, text;
  const std::string* builtIn = nullptr;
  if (AName != "fpre") {
    builtIn = FindBuiltIn(AValue);
    presetName = Lower(AValue);
    const std::string& codec = AName == "vpre"   ? Fvideo_codec_name
                               : AName == "apre" ? Faudio_codec_name
                                                 : Fsubtitle_codec_name;
    if (!builtIn && !codec.empty()) {
      builtIn = FindBuiltIn(codec + "-" + AValue);
      presetName = Lower(codec + "-" + AValue);
    }
  }
  if (builtIn) {
    text = *builtIn;
  } else {
    std::ifstream file(AValue, std::ios::binary);
    if (!file) throw FFmpegException(Format("Preset \"%s\" not found", AValue.c_str()));
    std::ostringstream content;
    content << file.rdbuf();
    text = content.str();
    presetName = AValue;
  }
  std::replace(text.begin(), text.end(), '\r', '\n');
  std::istringstream lines(Trim(text));
  std::string line;
  while (std::getline(lines, line)) {
    line = Trim(line);
    if (line.empty() || line[0] == '#') continue;
    const size_t eq = line.find('=');
    const std::string key = eq == std::string::npos ? line : line.substr(0, eq);
    const std::string value = eq == std::string::npos ? std::string() : line.substr(eq + 1);
    if (key.empty() || value.empty())
      throw FFmpegException(
          Format("%s: Invalid syntax: \"%s\"", presetName.c_str(), line.c_str()));
    const std::string lowerKey = Lower(key);
    if (lowerKey == "acodec" || lowerKey == "vcodec" || lowerKey == "scodec") {
      OptCodec(lowerKey, value);
    } else if (!FOptions.SetLibraryOption(key, value) && HaltOnInvalidOption) {
      throw FFmpegException(Format(
          "%s\r\n%s: Invalid option or argument: \"%s\", parsed as \"%s\" = \"%s\"",
          FOptions.LastRejection().c_str(), presetName.c_str(), line.c_str(), key.c_str(),
          value.c_str()));
    }
  }
}

}  // namespace engine
