#include "engine/FFmpegOptionStore.h"

#include <mutex>

#include "media/FFLog.h"

namespace engine {
namespace {

std::mutex gRejectionLock;
std::string gRejection;

void Reject(std::string AText) {
  media::GetFFLogger().Log(nullptr, media::llError, AText);
  std::lock_guard lock(gRejectionLock);
  gRejection = std::move(AText);
}

// Masks by media type: video, audio, data, subtitle, attachment.
constexpr int kTypeMask[5] = {kOptVideo, kOptAudio, 0, kOptSubtitle, 0};
constexpr AVMediaType kTypes[5] = {AVMEDIA_TYPE_VIDEO, AVMEDIA_TYPE_AUDIO, AVMEDIA_TYPE_DATA,
                                   AVMEDIA_TYPE_SUBTITLE, AVMEDIA_TYPE_ATTACHMENT};

std::string Trim(const std::string& s) {
  const size_t b = s.find_first_not_of(" \t");
  if (b == std::string::npos) return {};
  const size_t e = s.find_last_not_of(" \t");
  return s.substr(b, e - b + 1);
}

bool InPrivateTables(const std::string& AName) {
  void* it = nullptr;
  while (const AVCodec* c = ff::av_codec_iterate(&it)) {
    if (c->priv_class &&
        ff::av_opt_find(const_cast<AVClass**>(&c->priv_class), AName.c_str(), nullptr, 0,
                        AV_OPT_SEARCH_FAKE_OBJ))
      return true;
  }
  it = nullptr;
  while (const AVOutputFormat* f = ff::av_muxer_iterate(&it)) {
    if (f->priv_class &&
        ff::av_opt_find(const_cast<AVClass**>(&f->priv_class), AName.c_str(), nullptr, 0,
                        AV_OPT_SEARCH_FAKE_OBJ))
      return true;
  }
  return false;
}

}  // namespace

std::string TFFOptions::LastRejection() {
  std::lock_guard lock(gRejectionLock);
  return gRejection;
}

void TFFOptions::InitOptions(uint32_t ASwsFlags) {
  UninitOptions();
  for (int i = 0; i < 5; ++i) {
    FCodec[i] = ff::avcodec_alloc_context3(nullptr);
    if (FCodec[i]) FCodec[i]->codec_type = kTypes[i];
  }
  FFormat = ff::avformat_alloc_context();
  FSws = ff::sws_alloc_context();
  if (FSws) {
    ff::av_opt_set_int(FSws, "srcw", 16, 0);
    ff::av_opt_set_int(FSws, "srch", 16, 0);
    ff::av_opt_set_int(FSws, "dstw", 16, 0);
    ff::av_opt_set_int(FSws, "dsth", 16, 0);
    ff::av_opt_set_int(FSws, "sws_flags", ASwsFlags, 0);
  }
}

void TFFOptions::UninitOptions() {
  for (auto& c : FCodec)
    if (c) ff::avcodec_free_context(&c);
  if (FFormat) {
    ff::avformat_free_context(FFormat);
    FFormat = nullptr;
  }
  if (FSws) {
    ff::sws_freeContext(FSws);
    FSws = nullptr;
  }
  FNames.clear();
  FValues.clear();
  FPrivateOnly.clear();
}

AVCodecContext* TFFOptions::CodecDefaults(AVMediaType AType) const {
  for (int i = 0; i < 5; ++i)
    if (kTypes[i] == AType) return FCodec[i];
  return FCodec[0];
}

bool TFFOptions::SetLibraryOption(const std::string& AName, const std::string& AValue) {
  const std::string name = Trim(AName);
  if (name.empty() || !Initialized()) return false;
  const AVOption* found = nullptr;
  int ret = 0;
  std::string ownName = name;
  for (int i = 0; i < 5 && ret >= 0; ++i) {
    const AVOption* o = ff::av_opt_find(FCodec[0], name.c_str(), nullptr, kTypeMask[i], 0);
    if (o) {
      found = o;
      ret = ff::av_opt_set(FCodec[i], name.c_str(), AValue.c_str(), 0);
    }
  }
  if (!found && FFormat) {
    found = ff::av_opt_find(FFormat, name.c_str(), nullptr, 0, 0);
    if (found) ret = ff::av_opt_set(FFormat, name.c_str(), AValue.c_str(), 0);
  }
  if (!found && FSws) {
    found = ff::av_opt_find(FSws, name.c_str(), nullptr, 0, 0);
    if (found) ret = ff::av_opt_set(FSws, name.c_str(), AValue.c_str(), 0);
  }
  if (!found && name.size() > 1 && (name[0] == 'a' || name[0] == 'v' || name[0] == 's')) {
    const int i = name[0] == 'a' ? 1 : name[0] == 'v' ? 0 : 3;
    const std::string rest = name.substr(1);
    found = ff::av_opt_find(FCodec[i], rest.c_str(), nullptr, 0, 0);
    if (found) {
      ret = ff::av_opt_set(FCodec[i], rest.c_str(), AValue.c_str(), 0);
      ownName = rest;
    }
  }
  if (found && ret < 0) {
    Reject("Invalid value \"" + AValue + "\" for option \"" + name + "\"");
    return false;
  }
  bool privateOnly = false;
  if (!found) {
    if (!InPrivateTables(name)) {
      Reject("Unrecognized option \"" + name + "\"");
      return false;
    }
    privateOnly = true;
  }
  FNames.push_back(ownName);
  FValues.push_back(privateOnly ? AValue : std::string());
  FPrivateOnly.push_back(privateOnly);
  int64_t debug = 0;
  if ((ff::av_opt_get_int(FCodec[0], "debug", 0, &debug) >= 0 && debug != 0) ||
      (ff::av_opt_get_int(FFormat, "fdebug", 0, &debug) >= 0 && debug != 0))
    media::GetFFLogger().SetLogLevel(media::llDebug);
  return true;
}

void TFFOptions::ApplyLibraryOptions(AVCodecContext* AContext, AVMediaType AType, int AFlags,
                                     const AVCodec* ACodec) const {
  if (!AContext || !Initialized()) return;
  AVCodecContext* defaults = CodecDefaults(AType);
  void* priv = (ACodec && ACodec->priv_class) ? AContext->priv_data : nullptr;
  for (size_t i = 0; i < FNames.size(); ++i) {
    const char* name = FNames[i].c_str();
    const AVOption* o = FPrivateOnly[i] ? nullptr : ff::av_opt_find(defaults, name, nullptr, 0, 0);
    if (o) {
      if ((o->flags & AFlags) != AFlags) continue;
      uint8_t* text = nullptr;
      if (ff::av_opt_get(defaults, name, 0, &text) >= 0 && text) {
        ff::av_opt_set(AContext, name, reinterpret_cast<char*>(text), 0);
        ff::av_free(text);
      }
    } else if (priv && ff::av_opt_find(priv, name, nullptr, 0, 0)) {
      ff::av_opt_set(priv, name, FValues[i].c_str(), 0);
    }
  }
}

void TFFOptions::ApplyLibraryOptions(AVFormatContext* AContext, int AFlags) const {
  if (!AContext || !Initialized()) return;
  void* priv = (AContext->oformat && AContext->oformat->priv_class) ? AContext->priv_data : nullptr;
  for (size_t i = 0; i < FNames.size(); ++i) {
    const char* name = FNames[i].c_str();
    const AVOption* o = FPrivateOnly[i] ? nullptr : ff::av_opt_find(FFormat, name, nullptr, 0, 0);
    if (o) {
      if ((o->flags & AFlags) != AFlags) continue;
      uint8_t* text = nullptr;
      if (ff::av_opt_get(FFormat, name, 0, &text) >= 0 && text) {
        ff::av_opt_set(AContext, name, reinterpret_cast<char*>(text), 0);
        ff::av_free(text);
      }
    } else if (priv && ff::av_opt_find(priv, name, nullptr, 0, 0)) {
      ff::av_opt_set(priv, name, FValues[i].c_str(), 0);
    }
  }
}

}  // namespace engine
