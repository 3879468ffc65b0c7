// Video hooks: the vhook option appends a frame hook module with its
// arguments to the engine's chain; the video path runs the chain on every
// decoded picture.
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

namespace engine {

void TCustomFFmpeg::RunVideoHooks(AVFrame* AFrame, int64_t APts) {
  // Decoded pictures may share their buffers with the decoder.
  const int ret = ff::av_frame_make_writable(AFrame);
  if (ret < 0) throw FFmpegException("Cannot run video hooks: " + ff::err2str(ret));
  TAVPicture picture{};
  for (int i = 0; i < 4; ++i) {
    picture.data[i] = AFrame->data[i];
    picture.linesize[i] = AFrame->linesize[i];
  }
  media::ProcessFrameHooks(FFirstHook, &picture, AFrame->format, AFrame->width, AFrame->height, APts);
}

}  // namespace engine
