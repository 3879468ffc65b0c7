#include "media/FFOptions.h"

#include <mutex>

#include "media/FFBindings.h"
#include "media/FFLog.h"

namespace media {

namespace {

// The option flags that mark an option as belonging to a media type, in the
// order video, audio, data, subtitle, attachment.
constexpr AVMediaType kTypes[] = {AVMEDIA_TYPE_VIDEO, AVMEDIA_TYPE_AUDIO, AVMEDIA_TYPE_DATA,
                                  AVMEDIA_TYPE_SUBTITLE, AVMEDIA_TYPE_ATTACHMENT};
constexpr int kTypeMasks[] = {AV_OPT_FLAG_VIDEO_PARAM, AV_OPT_FLAG_AUDIO_PARAM, 0,
                              AV_OPT_FLAG_SUBTITLE_PARAM, 0};

std::mutex& RejectionLock() {
  static std::mutex lock;
  return lock;
}
std::string& RejectionText() {
  static std::string text;
  return text;
}

std::string Trimmed(const std::string& S) {
  const auto first = S.find_first_not_of(" \t\r\n");
  if (first == std::string::npos) return {};
  return S.substr(first, S.find_last_not_of(" \t\r\n") - first + 1);
}

// The class name of a library object (its first member is the AVClass pointer).
std::string_view ClassName(void* AObject) {
  const AVClass* cls = *static_cast<const AVClass**>(AObject);
  return cls && cls->class_name ? cls->class_name : "";
}

}  // namespace

std::string LastOptionRejection() {
  std::lock_guard guard(RejectionLock());
  return RejectionText();
}

void TFFOptions::CodecContextFree::operator()(AVCodecContext* p) const { ff::avcodec_free_context(&p); }
void TFFOptions::FormatContextFree::operator()(AVFormatContext* p) const { ff::avformat_free_context(p); }
void TFFOptions::ScalerContextFree::operator()(SwsContext* p) const { ff::sws_freeContext(p); }

TFFOptions::TFFOptions() = default;
TFFOptions::~TFFOptions() { UninitOptions(); }

bool TFFOptions::InitOptions(int AScalerFlags) {
  UninitOptions();
  for (int i = 0; i < kTypeCount; ++i) {
    FCodecDefaults[i].reset(ff::avcodec_alloc_context3(nullptr));
    if (!FCodecDefaults[i]) break;
    FCodecDefaults[i]->codec_type = kTypes[i];
  }
  FFormatDefaults.reset(ff::avformat_alloc_context());
  FScalerDefaults.reset(ff::sws_getContext(16, 16, AV_PIX_FMT_YUV420P, 16, 16, AV_PIX_FMT_YUV420P,
                                           AScalerFlags, nullptr, nullptr, nullptr));
  std::string error;
  for (const auto& ctx : FCodecDefaults)
    if (!ctx) error = "Cannot allocate the default codec contexts";
  if (!FFormatDefaults) error = "Cannot allocate the default format context";
  if (!FScalerDefaults) error = "Cannot create the default scaler context";
  if (error.empty()) return true;
  UninitOptions();
  FLastRejection = error;
  return false;
}

void TFFOptions::UninitOptions() {
  for (auto& ctx : FCodecDefaults) ctx.reset();
  FFormatDefaults.reset();
  FScalerDefaults.reset();
  FNames.clear();
  FValues.clear();
}

AVCodecContext* TFFOptions::CodecDefaults(AVMediaType AType) const {
  for (int i = 0; i < kTypeCount; ++i)
    if (kTypes[i] == AType) return FCodecDefaults[i].get();
  return nullptr;
}

void TFFOptions::Reject(std::string AText) {
  GetFFLogger().Log(nullptr, llError, AText + "\n");
  FLastRejection = AText;
  std::lock_guard guard(RejectionLock());
  RejectionText() = std::move(AText);
}

// Looks the name up in the private tables of every codec, then of every
// muxer. The value is tried on a fresh private context of each table that
// declares the name: one that takes it is enough.
TFFOptions::TPrivateCheck TFFOptions::CheckPrivateTables(const std::string& AName,
                                                         const std::string& AValue) const {
  bool found = false;
  auto declares = [&](const AVClass* const* AClass) {
    return ff::av_opt_find(const_cast<AVClass**>(AClass), AName.c_str(), nullptr, 0,
                           AV_OPT_SEARCH_FAKE_OBJ) != nullptr;
  };
  void* it = nullptr;
  while (const AVCodec* codec = ff::av_codec_iterate(&it)) {
    if (!codec->priv_class || !declares(&codec->priv_class)) continue;
    found = true;
    std::unique_ptr<AVCodecContext, CodecContextFree> ctx(ff::avcodec_alloc_context3(codec));
    if (ctx && ctx->priv_data && ff::av_opt_set(ctx->priv_data, AName.c_str(), AValue.c_str(), 0) >= 0)
      return TPrivateCheck::Accepted;
  }
  it = nullptr;
  while (const AVOutputFormat* muxer = ff::av_muxer_iterate(&it)) {
    if (!muxer->priv_class || !declares(&muxer->priv_class)) continue;
    found = true;
    AVFormatContext* raw = nullptr;
    ff::avformat_alloc_output_context2(&raw, muxer, nullptr, nullptr);
    std::unique_ptr<AVFormatContext, FormatContextFree> ctx(raw);
    if (ctx && ctx->priv_data && ff::av_opt_set(ctx->priv_data, AName.c_str(), AValue.c_str(), 0) >= 0)
      return TPrivateCheck::Accepted;
  }
  return found ? TPrivateCheck::Refused : TPrivateCheck::NotFound;
}

bool TFFOptions::SetLibraryOption(const std::string& AName, const std::string& AValue) {
  const std::string name = Trimmed(AName);
  if (name.empty() || !FFormatDefaults) return false;
  const char* value = AValue.c_str();

  const AVOption* found = nullptr;
  int ret = 0;
  // Every codec default whose media type the option belongs to takes it.
  for (int i = 0; i < kTypeCount && ret >= 0; ++i) {
    const AVOption* o =
        ff::av_opt_find(FCodecDefaults[0].get(), name.c_str(), nullptr, kTypeMasks[i], 0);
    if (!o) continue;
    found = o;
    ret = ff::av_opt_set(FCodecDefaults[i].get(), name.c_str(), value, 0);
  }
  if (!found) {
    found = ff::av_opt_find(FFormatDefaults.get(), name.c_str(), nullptr, 0, 0);
    if (found) ret = ff::av_opt_set(FFormatDefaults.get(), name.c_str(), value, 0);
  }
  if (!found) {
    found = ff::av_opt_find(FScalerDefaults.get(), name.c_str(), nullptr, 0, 0);
    if (found) ret = ff::av_opt_set(FScalerDefaults.get(), name.c_str(), value, 0);
  }
  // "ab", "vb", "sfoo": the rest of the name on that type's codec default.
  if (!found && name.size() > 1 && (name[0] == 'a' || name[0] == 'v' || name[0] == 's')) {
    AVCodecContext* ctx = name[0] == 'a'   ? CodecDefaults(AVMEDIA_TYPE_AUDIO)
                          : name[0] == 'v' ? CodecDefaults(AVMEDIA_TYPE_VIDEO)
                                           : CodecDefaults(AVMEDIA_TYPE_SUBTITLE);
    found = ff::av_opt_find(ctx, name.c_str() + 1, nullptr, 0, 0);
    if (found) ret = ff::av_opt_set(ctx, name.c_str() + 1, value, 0);
  }

  const TPrivateCheck priv = found ? TPrivateCheck::NotFound : CheckPrivateTables(name, AValue);
  if ((found && ret < 0) || priv == TPrivateCheck::Refused) {
    Reject("Invalid value \"" + AValue + "\" for option \"" + name + "\"");
    return false;
  }
  if (found) {
    FNames.emplace_back(found->name);
    FValues.emplace_back(std::nullopt);
  } else if (priv == TPrivateCheck::Accepted) {
    FNames.push_back(name);
    FValues.emplace_back(AValue);
  } else {
    Reject("Unrecognized option \"" + name + "\"");
    return false;
  }

  int64_t debug = 0, fdebug = 0;
  ff::av_opt_get_int(CodecDefaults(AVMEDIA_TYPE_VIDEO), "debug", 0, &debug);
  ff::av_opt_get_int(FFormatDefaults.get(), "fdebug", 0, &fdebug);
  if (debug || fdebug) GetFFLogger().SetLogLevel(llDebug);
  return true;
}

void TFFOptions::ApplyLibraryOptions(void* AContext, void* ADefaults, int AFlags,
                                     const AVCodec* ACodec) const {
  if (!AContext || !ADefaults) return;
  void* priv = nullptr;
  const std::string_view cls = ClassName(AContext);
  if (cls == "AVCodecContext") {
    if (ACodec && ACodec->priv_class) priv = static_cast<AVCodecContext*>(AContext)->priv_data;
  } else if (cls == "AVFormatContext") {
    const auto* fmt = static_cast<AVFormatContext*>(AContext);
    if (fmt->oformat && fmt->oformat->priv_class) priv = fmt->priv_data;
  }

  for (size_t i = 0; i < FNames.size(); ++i) {
    const char* name = FNames[i].c_str();
    if (ff::av_opt_find(ADefaults, name, nullptr, 0, 0)) {
      if (!ff::av_opt_find(ADefaults, name, nullptr, AFlags, 0)) continue;
      uint8_t* text = nullptr;
      if (ff::av_opt_get(ADefaults, name, 0, &text) >= 0 && text)
        ff::av_opt_set(AContext, name, reinterpret_cast<const char*>(text), 0);
      ff::av_free(text);
    } else if (priv && FValues[i] && ff::av_opt_find(priv, name, nullptr, 0, 0)) {
      ff::av_opt_set(priv, name, FValues[i]->c_str(), 0);
    }
  }
}

}  // namespace media
