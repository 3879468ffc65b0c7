// The library option store.
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "media/FFBindings.h"
#include "media/FFLoad.h"
#include "media/FFLog.h"
#include "media/FFOptions.h"

using namespace media;

namespace {

struct CodecFree {
  void operator()(AVCodecContext* c) const { ff::avcodec_free_context(&c); }
};
struct FormatFree {
  void operator()(AVFormatContext* c) const { ff::avformat_free_context(c); }
};
using CodecPtr = std::unique_ptr<AVCodecContext, CodecFree>;

class FFOptionsTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(FFLoader().Load(kEncoderLibraries)) << FFLoader().LastErrMsg();
    ASSERT_TRUE(Store.InitOptions(SWS_BICUBIC)) << Store.LastRejection();
    // Collect what the store logs.
    GetFFLogger().SetTriggerEventInMainThread(false);
    GetFFLogger().SetOnLog([this](void*, platform::ThreadId, TLogLevel ALevel, const std::string& AMsg) {
      if (ALevel == llError) Errors.push_back(AMsg);
    });
  }
  void TearDown() override {
    GetFFLogger().SetOnLog(nullptr);
    GetFFLogger().SetLogLevel(llInfo);
  }
  CodecPtr Encoder(const char* AName) {
    const AVCodec* codec = ff::avcodec_find_encoder_by_name(AName);
    EXPECT_NE(codec, nullptr) << AName;
    return CodecPtr(codec ? ff::avcodec_alloc_context3(codec) : nullptr);
  }
  int64_t Int(void* AObject, const char* AName) {
    int64_t v = -1;
    EXPECT_GE(ff::av_opt_get_int(AObject, AName, 0, &v), 0) << AName;
    return v;
  }

  TFFOptions Store;
  std::vector<std::string> Errors;
};

}  // namespace

TEST_F(FFOptionsTest, CodecOptionGoesOnlyToContextsOfItsKind) {
  ASSERT_TRUE(Store.SetLibraryOption("g", "50"));
  ASSERT_EQ(Store.Count(), 1);
  EXPECT_EQ(Store.Name(0), "g");
  EXPECT_FALSE(Store.Value(0).has_value());
  EXPECT_EQ(Store.CodecDefaults(AVMEDIA_TYPE_VIDEO)->gop_size, 50);

  CodecPtr video = Encoder("mpeg4");
  const int audioGop = 12345;
  CodecPtr audio = Encoder("mp2");
  audio->gop_size = audioGop;
  Store.ApplyLibraryOptions(video.get(), Store.CodecDefaults(AVMEDIA_TYPE_VIDEO),
                            AV_OPT_FLAG_ENCODING_PARAM | AV_OPT_FLAG_VIDEO_PARAM, video->codec);
  Store.ApplyLibraryOptions(audio.get(), Store.CodecDefaults(AVMEDIA_TYPE_AUDIO),
                            AV_OPT_FLAG_ENCODING_PARAM | AV_OPT_FLAG_AUDIO_PARAM, audio->codec);
  EXPECT_EQ(video->gop_size, 50);
  EXPECT_EQ(audio->gop_size, audioGop);
}

TEST_F(FFOptionsTest, TypePrefixedNamesAndCodecPrivateOptions) {
  // "ab" is the audio codec contexts' own bit rate option.
  const int64_t videoRate = Store.CodecDefaults(AVMEDIA_TYPE_VIDEO)->bit_rate;
  ASSERT_TRUE(Store.SetLibraryOption("ab", "96000"));
  EXPECT_EQ(Store.Name(0), "ab");
  EXPECT_EQ(Store.CodecDefaults(AVMEDIA_TYPE_AUDIO)->bit_rate, 96000);
  EXPECT_EQ(Store.CodecDefaults(AVMEDIA_TYPE_VIDEO)->bit_rate, videoRate);
  CodecPtr audio = Encoder("mp2");
  CodecPtr video = Encoder("mpeg4");
  Store.ApplyLibraryOptions(audio.get(), Store.CodecDefaults(AVMEDIA_TYPE_AUDIO),
                            AV_OPT_FLAG_ENCODING_PARAM | AV_OPT_FLAG_AUDIO_PARAM, audio->codec);
  Store.ApplyLibraryOptions(video.get(), Store.CodecDefaults(AVMEDIA_TYPE_VIDEO),
                            AV_OPT_FLAG_ENCODING_PARAM | AV_OPT_FLAG_VIDEO_PARAM, video->codec);
  EXPECT_EQ(audio->bit_rate, 96000);
  EXPECT_NE(video->bit_rate, 96000);

  // A name no context declares whose rest after "v" is a codec option.
  ASSERT_TRUE(Store.SetLibraryOption("vg", "25"));
  EXPECT_EQ(Store.Name(1), "g");
  EXPECT_EQ(Store.CodecDefaults(AVMEDIA_TYPE_VIDEO)->gop_size, 25);

  // mpeg4's private "mpeg_quant": recorded with its value, applied only to
  // a context whose codec declares it.
  ASSERT_TRUE(Store.SetLibraryOption("mpeg_quant", "1"));
  ASSERT_EQ(Store.Count(), 3);
  EXPECT_EQ(Store.Value(2), "1");
  CodecPtr mpeg4 = Encoder("mpeg4");
  ASSERT_EQ(Int(mpeg4->priv_data, "mpeg_quant"), 0);
  Store.ApplyLibraryOptions(mpeg4.get(), Store.CodecDefaults(AVMEDIA_TYPE_VIDEO),
                            AV_OPT_FLAG_ENCODING_PARAM | AV_OPT_FLAG_VIDEO_PARAM, mpeg4->codec);
  EXPECT_EQ(Int(mpeg4->priv_data, "mpeg_quant"), 1);
  CodecPtr mjpeg = Encoder("mjpeg");  // no such private option: untouched, no failure
  Store.ApplyLibraryOptions(mjpeg.get(), Store.CodecDefaults(AVMEDIA_TYPE_VIDEO),
                            AV_OPT_FLAG_ENCODING_PARAM | AV_OPT_FLAG_VIDEO_PARAM, mjpeg->codec);
}

TEST_F(FFOptionsTest, PrivateMuxerOptionReachesTheMp4Muxer) {
  ASSERT_TRUE(Store.SetLibraryOption("movflags", "+faststart"));
  ASSERT_EQ(Store.Count(), 1);
  EXPECT_EQ(Store.Value(0), "+faststart");
  // Format-level options go through the same store.
  ASSERT_TRUE(Store.SetLibraryOption("packetsize", "2048"));
  EXPECT_EQ(Store.FormatDefaults()->packet_size, 2048u);

  AVFormatContext* raw = nullptr;
  ASSERT_GE(ff::avformat_alloc_output_context2(&raw, nullptr, "mp4", nullptr), 0);
  std::unique_ptr<AVFormatContext, FormatFree> mp4(raw);
  Store.ApplyLibraryOptions(mp4.get(), Store.FormatDefaults(), AV_OPT_FLAG_ENCODING_PARAM, nullptr);
  int64_t flags = 0;
  ASSERT_GE(ff::av_opt_get_int(mp4->priv_data, "movflags", 0, &flags), 0);
  const AVOption* faststart = ff::av_opt_find(mp4->priv_data, "faststart", "movflags", 0, 0);
  ASSERT_NE(faststart, nullptr);
  EXPECT_EQ(flags & faststart->default_val.i64, faststart->default_val.i64);
  EXPECT_EQ(mp4->packet_size, 2048u);

  // A private option's value is checked against the tables that declare it.
  EXPECT_FALSE(Store.SetLibraryOption("movflags", "+no_such_flag"));
  EXPECT_EQ(Store.LastRejection(), "Invalid value \"+no_such_flag\" for option \"movflags\"");
  EXPECT_EQ(Store.Count(), 2);
}

TEST_F(FFOptionsTest, RefusalsAreLoggedAndKept) {
  EXPECT_FALSE(Store.SetLibraryOption("no_such_option_anywhere", "1"));
  EXPECT_EQ(Store.LastRejection(), "Unrecognized option \"no_such_option_anywhere\"");
  EXPECT_EQ(LastOptionRejection(), Store.LastRejection());
  ASSERT_EQ(Errors.size(), 1u);
  EXPECT_EQ(Errors[0], "Unrecognized option \"no_such_option_anywhere\"\n");

  EXPECT_FALSE(Store.SetLibraryOption("g", "fifty"));
  EXPECT_EQ(Store.LastRejection(), "Invalid value \"fifty\" for option \"g\"");

  const std::string before = Store.LastRejection();
  EXPECT_FALSE(Store.SetLibraryOption("  ", "1"));  // no text of its own
  EXPECT_EQ(Store.LastRejection(), before);
  EXPECT_EQ(Store.Count(), 0);

  // Refused after release, without touching freed contexts.
  Store.UninitOptions();
  EXPECT_FALSE(Store.SetLibraryOption("g", "5"));
}

TEST_F(FFOptionsTest, DebugSettingRaisesTheLogger) {
  GetFFLogger().SetLogLevel(llInfo);
  ASSERT_TRUE(Store.SetLibraryOption("debug", "pict"));
  EXPECT_EQ(GetFFLogger().LogLevel(), llDebug);
}
