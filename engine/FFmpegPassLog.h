#pragma once
// The statistics log of two-pass encoding for one output stream: the first
// pass writes what the encoder reports after each packet, the second hands
// the whole text to the encoder before it opens.

#include <cstdio>
#include <memory>
#include <string>

#include "media/FFBindings.h"

namespace engine {

class TPassLog {
 public:
  TPassLog() = default;
  TPassLog(const TPassLog&) = delete;
  TPassLog& operator=(const TPassLog&) = delete;
  // Closes the log and takes the statistics text back from the encoder.
  ~TPassLog();

  // The log's name: prefix (or "ffmpeg2pass") + "-" + index + ".log".
  static std::string FileName(const std::string& APrefix, int AIndex);
  // For an encoder whose flags ask for pass 1 or 2 (before it opens): pass 1
  // creates the log, pass 2 reads it into the encoder's statistics input.
  // Throws FFmpegException when the log cannot be written or read.
  void Open(const std::string& APrefix, AVCodecContext* AEnc, int AIndex);
  // The encoder context was replaced (join mode): pass 2 hands the log's
  // text afresh to the new one, and the old one is forgotten.
  void Rebind(AVCodecContext* AEnc);
  // Pass 1: appends the encoder's statistics of its last packet.
  void Append(const AVCodecContext* AEnc);

 private:
  struct TFileClose {
    void operator()(FILE* f) const { std::fclose(f); }
  };
  std::unique_ptr<FILE, TFileClose> FFile;
  std::string FText;   // the log as read
  std::string FStats;  // the copy the encoder reads
  AVCodecContext* FEnc = nullptr;
};

}  // namespace engine
