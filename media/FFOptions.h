#pragma once
// The library option store.
//
// Options the engine does not know by name are handed to the libraries' own
// option tables: any option a codec, format or scaler context declares, or
// that a codec's or muxer's private table declares. The store checks each
// option against default contexts of every kind as it is set, and later
// copies the accepted options into each real codec or format context,
// filtered by the kind of context. Requires libavutil, libavcodec,
// libavformat and libswscale to be bound while it holds contexts.

#include <memory>
#include <optional>
#include <string>
#include <vector>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libswscale/swscale.h>
}

namespace media {

class TFFOptions {
 public:
  TFFOptions();
  ~TFFOptions();
  TFFOptions(const TFFOptions&) = delete;
  TFFOptions& operator=(const TFFOptions&) = delete;

  // Forgets everything, then creates the default contexts: one codec context
  // per media type, a format context and a 16x16 scaler context with the
  // given scaler flags. False (with LastRejection) when one cannot be made.
  bool InitOptions(int AScalerFlags);
  // Releases the default contexts and forgets the accepted options.
  void UninitOptions();

  // Accepts or refuses one option. Refusals are logged at error level and
  // kept as LastRejection ("Unrecognized option \"x\"", "Invalid value \"v\"
  // for option \"x\""); an empty name is refused without a text.
  bool SetLibraryOption(const std::string& AName, const std::string& AValue);

  // Copies the accepted options into AContext (an AVCodecContext or
  // AVFormatContext): an option ADefaults declares is copied from there when
  // it carries every bit of AFlags (AV_OPT_FLAG_ENCODING_PARAM |
  // AV_OPT_FLAG_VIDEO_PARAM for a video encoder ...); an option known only
  // to a private table goes, with its recorded value, to AContext's private
  // options when they declare it. Failures to set are ignored.
  void ApplyLibraryOptions(void* AContext, void* ADefaults, int AFlags, const AVCodec* ACodec) const;

  // The default context of a media type (video ... attachment), or null.
  AVCodecContext* CodecDefaults(AVMediaType AType) const;
  AVFormatContext* FormatDefaults() const { return FFormatDefaults.get(); }
  SwsContext* ScalerDefaults() const { return FScalerDefaults.get(); }

  int Count() const { return static_cast<int>(FNames.size()); }
  const std::string& Name(int AIndex) const { return FNames.at(AIndex); }
  // The recorded value of an option found only in a private table.
  const std::optional<std::string>& Value(int AIndex) const { return FValues.at(AIndex); }
  const std::string& LastRejection() const { return FLastRejection; }

 private:
  struct CodecContextFree {
    void operator()(AVCodecContext* p) const;
  };
  struct FormatContextFree {
    void operator()(AVFormatContext* p) const;
  };
  struct ScalerContextFree {
    void operator()(SwsContext* p) const;
  };
  static constexpr int kTypeCount = 5;  // video, audio, data, subtitle, attachment

  void Reject(std::string AText);
  enum class TPrivateCheck { NotFound, Accepted, Refused };
  TPrivateCheck CheckPrivateTables(const std::string& AName, const std::string& AValue) const;

  std::vector<std::string> FNames;
  std::vector<std::optional<std::string>> FValues;
  std::unique_ptr<AVCodecContext, CodecContextFree> FCodecDefaults[kTypeCount];
  std::unique_ptr<AVFormatContext, FormatContextFree> FFormatDefaults;
  std::unique_ptr<SwsContext, ScalerContextFree> FScalerDefaults;
  std::string FLastRejection;
};

// The text of the last option any store refused (process-wide).
std::string LastOptionRejection();

}  // namespace media
