// Two-pass statistics logs.
#include "engine/FFmpegPassLog.h"

#include <fstream>
#include <sstream>

#include "engine/FFmpegException.h"

namespace engine {

TPassLog::~TPassLog() {
  // The encoder context outlives the run: it must not keep our buffer.
  if (FEnc && FEnc->stats_in == FStats.data()) FEnc->stats_in = nullptr;
}

std::string TPassLog::FileName(const std::string& APrefix, int AIndex) {
  std::string name = (APrefix.empty() ? std::string("ffmpeg2pass") : APrefix) + "-" +
                     std::to_string(AIndex) + ".log";
  if (name.size() > 1023) name.resize(1023);
  return name;
}

void TPassLog::Open(const std::string& APrefix, AVCodecContext* AEnc, int AIndex) {
  const std::string name = FileName(APrefix, AIndex);
  if (AEnc->flags & AV_CODEC_FLAG_PASS1) {
    FFile.reset(std::fopen(name.c_str(), "wb"));
    if (!FFile) throw FFmpegException(Format("Cannot write log file %s for pass-1 encoding", name.c_str()));
    return;
  }
  if (!(AEnc->flags & AV_CODEC_FLAG_PASS2)) return;
  std::ifstream in(name, std::ios::binary);
  std::ostringstream text;
  if (!in || !(text << in.rdbuf()))
    throw FFmpegException(Format(
        "Cannot read file: Error reading log file \"%s\" for pass-2 encoding", name.c_str()));
  FText = text.str();
  FStats = FText;
  FEnc = AEnc;
  AEnc->stats_in = FStats.data();
}

void TPassLog::Rebind(AVCodecContext* AEnc) {
  if (!FEnc) return;
  FEnc = AEnc;
  FStats = FText;  // the encoder cuts the text up while reading it
  AEnc->stats_in = FStats.data();
}

void TPassLog::Append(const AVCodecContext* AEnc) {
  if (FFile && AEnc->stats_out && std::fputs(AEnc->stats_out, FFile.get()) < 0)
    throw FFmpegException("Cannot write the pass-1 log file");
}

}  // namespace engine
