// Option handlers for codecs: choice by name or stream copy, codec tags, bit
// rates, the codec lookup, and the hand-over of unknown names to the
// library option store.
#include <cstdlib>

#include "engine/FFmpeg.h"

namespace engine {

bool TCustomFFmpeg::FindCodecOrFail(const std::string& AName, AVMediaType AType, bool AEncoder,
                                    const AVCodec*& ACodec) {
  ACodec = nullptr;
  if (AName.empty()) return true;
  const char* kind = AEncoder ? "encoder" : "decoder";
  const AVCodec* codec = AEncoder ? ff::avcodec_find_encoder_by_name(AName.c_str())
                                  : ff::avcodec_find_decoder_by_name(AName.c_str());
  if (!codec) {
    FLastErrMsg = Format("Unknown %s '%s'", kind, AName.c_str());
    return false;
  }
  if (codec->type != AType) {
    FLastErrMsg = Format("Invalid %s type '%s'", kind, AName.c_str());
    return false;
  }
  const AVCodecContext* defaults = FOptions.CodecDefaults(AType);
  const int strict = defaults ? defaults->strict_std_compliance : FF_COMPLIANCE_NORMAL;
  if ((codec->capabilities & AV_CODEC_CAP_EXPERIMENTAL) && strict > FF_COMPLIANCE_EXPERIMENTAL) {
    std::string msg = Format(
        "%s '%s' is experimental and might produce bad results.\r\nAdd '-strict experimental' "
        "if you want to use it.",
        kind, codec->name);
    const AVCodec* other = AEncoder ? ff::avcodec_find_encoder(codec->id)
                                    : ff::avcodec_find_decoder(codec->id);
    if (other && !(other->capabilities & AV_CODEC_CAP_EXPERIMENTAL))
      msg += Format("\r\nOr use the non experimental %s '%s'.", kind, other->name);
    FLastErrMsg = msg;
    return false;
  }
  ACodec = codec;
  return true;
}

void TCustomFFmpeg::OptCodec(const std::string& AName, const std::string& AValue) {
  if (AValue.empty()) return;
  std::string* name = &Fvideo_codec_name;
  int32_t* copy = &Fvideo_stream_copy;
  if (AName == "acodec") {
    name = &Faudio_codec_name;
    copy = &Faudio_stream_copy;
  } else if (AName == "scodec") {
    name = &Fsubtitle_codec_name;
    copy = &Fsubtitle_stream_copy;
  }
  name->clear();
  if (AValue == "copy")
    *copy = 1;
  else
    *name = AValue;
}

void TCustomFFmpeg::OptCodecTag(const std::string& AName, const std::string& AValue) {
  if (AValue.empty()) return;
  uint32_t* target = nullptr;
  if (AName == "vtag")
    target = &Fvideo_codec_tag;
  else if (AName == "atag")
    target = &Faudio_codec_tag;
  else if (AName == "stag")
    target = &Fsubtitle_codec_tag;
  else
    throw FFmpegException("Invalid tag parmeter " + AName);
  char* end = nullptr;
  const long long v = std::strtoll(AValue.c_str(), &end, 10);
  if (end && *end == '\0') {
    *target = static_cast<uint32_t>(v);
    return;
  }
  if (AValue.size() != 4) throw EFFmpegAssertion("tag parameter must be 4 chars or int value", __LINE__);
  *target = static_cast<uint32_t>(static_cast<uint8_t>(AValue[0])) |
            static_cast<uint32_t>(static_cast<uint8_t>(AValue[1])) << 8 |
            static_cast<uint32_t>(static_cast<uint8_t>(AValue[2])) << 16 |
            static_cast<uint32_t>(static_cast<uint8_t>(AValue[3])) << 24;
}

void TCustomFFmpeg::OptLibrary(const std::string& AName, const std::string& AValue) {
  if (!FOptions.SetLibraryOption(AName, AValue) && HaltOnInvalidOption)
    throw FFmpegException(FOptions.LastRejection());
}

void TCustomFFmpeg::OptBitRate(const std::string& AName, const std::string& AValue) {
  if (!FOptions.SetLibraryOption(AName, AValue)) {
    if (HaltOnInvalidOption) throw FFmpegException(FOptions.LastRejection());
    return;
  }
  AVCodecContext* c =
      FOptions.CodecDefaults(AName[0] == 'a' ? AVMEDIA_TYPE_AUDIO : AVMEDIA_TYPE_VIDEO);
  int64_t b = 0;
  if (c && ff::av_opt_get_int(c, "b", 0, &b) >= 0 && b < 1000)
    Log(media::llWarning,
        "WARNING: The bitrate parameter is set too low. It takes bits/s as argument, not kbits/s");
}

void TCustomFFmpeg::OptBitstreamFilter(const std::string& AName, const std::string& AValue) {
  if (AValue.empty() || AValue[0] == '=') return;
  const size_t eq = AValue.find('=');
  const std::string name = eq != std::string::npos ? AValue.substr(0, eq) : AValue;
  const AVBitStreamFilter* filter = ff::av_bsf_get_by_name(name.c_str());
  AVBSFContext* ctx = nullptr;
  if (!filter || ff::av_bsf_alloc(filter, &ctx) < 0)
    throw FFmpegException("Unknown bitstream filter " + name);
  TBsfChain& chain = AName[0] == 'v'   ? Fvideo_bitstream_filters
                     : AName[0] == 'a' ? Faudio_bitstream_filters
                                       : Fsubtitle_bitstream_filters;
  chain.emplace_back(ctx);
}

}  // namespace engine
