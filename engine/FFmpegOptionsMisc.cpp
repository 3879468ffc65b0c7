// The vhook option: a frame hook module and its arguments, appended to the
// engine's hook chain.
#include <sstream>

#include "engine/FFmpeg.h"

namespace engine {
namespace {

// The word list holds at most this many words; the rest are dropped.
constexpr size_t kMaxHookWords = 64;

}  // namespace

void TCustomFFmpeg::OptVideoHook(const std::string& AValue) {
  const char separator = AValue.find('|') != std::string::npos ? '|' : ' ';
  std::vector<std::string> words;
  std::istringstream in(AValue);
  std::string word;
  while (words.size() < kMaxHookWords && std::getline(in, word, separator))
    if (!word.empty()) words.push_back(word);
  if (words.empty() || media::AddFrameHook(FFirstHook, words) != 0)
    throw FFmpegException("Failed to add video hook function: " + AValue);
  Fusing_vhook = true;
}

}  // namespace engine
