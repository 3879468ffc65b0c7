#pragma once
// The engine's store of library options: names the engine does not know
// itself are checked against default codec, format and scaler contexts (and
// the private tables of codecs and muxers), collected, and later copied into
// every codec or format context the engine creates.
//
// Local to the engine until the media runtime offers its own store; the
// interface keeps the store's operation names.

#include <cstdint>
#include <string>
#include <vector>

#include "media/FFBindings.h"

namespace engine {

// Option masks of the copied options (the library's option flags).
enum : int {
  kOptEncoding = AV_OPT_FLAG_ENCODING_PARAM,
  kOptDecoding = AV_OPT_FLAG_DECODING_PARAM,
  kOptAudio = AV_OPT_FLAG_AUDIO_PARAM,
  kOptVideo = AV_OPT_FLAG_VIDEO_PARAM,
  kOptSubtitle = AV_OPT_FLAG_SUBTITLE_PARAM,
};

class TFFOptions {
 public:
  TFFOptions() = default;
  TFFOptions(const TFFOptions&) = delete;
  TFFOptions& operator=(const TFFOptions&) = delete;
  ~TFFOptions() { UninitOptions(); }

  // Releases what the store held and creates the default contexts.
  void InitOptions(uint32_t ASwsFlags);
  void UninitOptions();
  bool Initialized() const { return FCodec[0] != nullptr; }

  // Accepts or rejects one option; the reason of a rejection is LastRejection.
  bool SetLibraryOption(const std::string& AName, const std::string& AValue);
  // Copies the accepted options that carry every bit of AFlags into a codec
  // context (ACodec: its codec, or null) or a format context.
  void ApplyLibraryOptions(AVCodecContext* AContext, AVMediaType AType, int AFlags,
                           const AVCodec* ACodec) const;
  void ApplyLibraryOptions(AVFormatContext* AContext, int AFlags) const;

  // The default codec context of a media type (video, audio, data, subtitle,
  // attachment), the default format and scaler contexts.
  AVCodecContext* CodecDefaults(AVMediaType AType) const;
  AVFormatContext* FormatDefaults() const { return FFormat; }
  SwsContext* ScalerDefaults() const { return FSws; }

  int32_t Count() const { return static_cast<int32_t>(FNames.size()); }
  const std::vector<std::string>& Names() const { return FNames; }

  // The message of the last rejected option (process-wide).
  static std::string LastRejection();

 private:
  AVCodecContext* FCodec[5] = {nullptr, nullptr, nullptr, nullptr, nullptr};
  AVFormatContext* FFormat = nullptr;
  SwsContext* FSws = nullptr;
  std::vector<std::string> FNames;
  std::vector<std::string> FValues;  // set when found only in a private table
  std::vector<bool> FPrivateOnly;
};

}  // namespace engine
