#include "RecordArgs.h"

#include <cerrno>
#include <cmath>
#include <cstdlib>

namespace qsrrecord {
namespace {

bool ParsePositive(const std::string& AText, long long& AValue) {
  if (AText.empty()) return false;
  char* end = nullptr;
  errno = 0;
  const long long v = std::strtoll(AText.c_str(), &end, 10);
  if (errno != 0 || *end != '\0' || v <= 0) return false;
  AValue = v;
  return true;
}

}  // namespace

const char* RecordUsage() {
  return "usage: qsr-record --screen \"<screencapture options>\" [--audio \"<wavecapture options>\"] "
         "[--input FILE]... --output FILE [--duration SECONDS] [--vcodec NAME] [--vbitrate BPS] "
         "[--acodec NAME] [--abitrate BPS] [--filters CHAIN] [--option NAME=VALUE]...";
}

bool ParseRecordArgs(const std::vector<std::string>& AArgs, TRecordArgs& AOut, std::string& AError) {
  for (size_t i = 0; i < AArgs.size(); ++i) {
    const std::string& a = AArgs[i];
    const bool known = a == "--screen" || a == "--audio" || a == "--input" || a == "--output" ||
                       a == "--duration" || a == "--vcodec" || a == "--vbitrate" || a == "--acodec" ||
                       a == "--abitrate" || a == "--filters" || a == "--option";
    if (!known) {
      AError = "unknown argument \"" + a + "\"";
      return false;
    }
    if (i + 1 >= AArgs.size()) {
      AError = a + " needs a value";
      return false;
    }
    const std::string& v = AArgs[++i];
    if (a == "--screen") {
      AOut.screen = v;
    } else if (a == "--audio") {
      AOut.audio = v;
    } else if (a == "--input") {
      AOut.inputs.push_back(v);
    } else if (a == "--output") {
      AOut.output = v;
    } else if (a == "--duration") {
      char* end = nullptr;
      const double d = std::strtod(v.c_str(), &end);
      if (v.empty() || *end != '\0' || !std::isfinite(d) || d <= 0) {
        AError = "--duration needs a positive number of seconds, not \"" + v + "\"";
        return false;
      }
      AOut.duration = d;
    } else if (a == "--vcodec") {
      AOut.vcodec = v;
    } else if (a == "--acodec") {
      AOut.acodec = v;
    } else if (a == "--filters") {
      AOut.filters = v;
    } else if (a == "--vbitrate" || a == "--abitrate") {
      long long n = 0;
      if (!ParsePositive(v, n)) {
        AError = a + " needs a positive number of bits per second, not \"" + v + "\"";
        return false;
      }
      (a == "--vbitrate" ? AOut.vbitrate : AOut.abitrate) = n;
    } else {  // --option
      const size_t eq = v.find('=');
      if (eq == std::string::npos || eq == 0) {
        AError = "--option needs NAME=VALUE, not \"" + v + "\"";
        return false;
      }
      AOut.options.emplace_back(v.substr(0, eq), v.substr(eq + 1));
    }
  }
  if (AOut.output.empty()) {
    AError = "--output is required";
    return false;
  }
  if (AOut.screen.empty() && AOut.audio.empty() && AOut.inputs.empty()) {
    AError = "nothing to record: give --screen, --audio or --input";
    return false;
  }
  return true;
}

}  // namespace qsrrecord
