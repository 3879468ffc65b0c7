#pragma once
// The command line of qsr-record.

#include <string>
#include <utility>
#include <vector>

namespace qsrrecord {

struct TRecordArgs {
  std::string screen;               // screencapture option string
  std::string audio;                // wavecapture option string
  std::vector<std::string> inputs;  // files
  std::string output;
  double duration = 0;  // seconds; 0: until a signal
  std::string vcodec, acodec, filters;
  long long vbitrate = 0, abitrate = 0;
  std::vector<std::pair<std::string, std::string>> options;  // --option NAME=VALUE
};

// Parses argv[1..]; false with a one-line reason in AError.
bool ParseRecordArgs(const std::vector<std::string>& AArgs, TRecordArgs& AOut, std::string& AError);

// The usage text.
const char* RecordUsage();

}  // namespace qsrrecord
