// The engine's target presets, codec presets (built-in and from files), video
// hooks and bitstream filters: their settings and their messages.
#include <filesystem>
#include <fstream>

#include "engine/EngineTestSupport.h"

namespace enginetest {
using engine::CodecCtxPtr;
using engine::TCustomFFmpeg;

class OptionLayer : public EngineTest {
 protected:
  void SetUp() override { e = std::make_unique<TCustomFFmpeg>(2); }
  std::string Failure(const std::string& AName, const std::string& AValue) {
    return OptionFailure(*e, AName, AValue);
  }
  int64_t CodecInt(AVMediaType AType, const char* AName) {
    int64_t v = -1;
    EXPECT_GE(ff::av_opt_get_int(e->FOptions.CodecDefaults(AType), AName, 0, &v), 0) << AName;
    return v;
  }
  std::string WriteFile(const std::string& AName, const std::string& AText) {
    const std::string path = Out(AName);
    std::ofstream(path, std::ios::binary) << AText;
    return path;
  }
  std::unique_ptr<TCustomFFmpeg> e;
};

TEST_F(OptionLayer, TargetsByNorm) {
  e->SetExtOption("target", "pal-dvd");
  EXPECT_EQ(e->Fframe_width, 720);
  EXPECT_EQ(e->Fframe_height, 576);
  EXPECT_EQ(e->Fframe_rate.num, 25);
  EXPECT_EQ(e->Fframe_rate.den, 1);
  EXPECT_EQ(e->Fvideo_codec_name, "mpeg2video");
  EXPECT_EQ(e->Faudio_codec_name, "ac3");
  EXPECT_EQ(e->Flast_asked_format, "dvd");
  EXPECT_EQ(e->Faudio_sample_rate, 48000);
  EXPECT_FLOAT_EQ(e->Fframe_aspect_ratio, 16.0f / 9.0f);
  EXPECT_EQ(CodecInt(AVMEDIA_TYPE_VIDEO, "g"), 15);
  EXPECT_EQ(CodecInt(AVMEDIA_TYPE_AUDIO, "b"), 448000);

  e = std::make_unique<TCustomFFmpeg>(2);
  e->SetExtOption("target", "ntsc-vcd");
  EXPECT_EQ(e->Fframe_width, 352);
  EXPECT_EQ(e->Fframe_height, 240);
  EXPECT_EQ(e->Fframe_rate.num, 30000);
  EXPECT_EQ(e->Fframe_rate.den, 1001);
  EXPECT_EQ(e->Fvideo_codec_name, "mpeg1video");
  EXPECT_EQ(e->Faudio_codec_name, "mp2");
  EXPECT_FLOAT_EQ(e->Fmux_preload, 0.44f);
  EXPECT_FLOAT_EQ(e->Fframe_aspect_ratio, 4.0f / 3.0f);
  EXPECT_EQ(CodecInt(AVMEDIA_TYPE_VIDEO, "g"), 18);
  EXPECT_EQ(CodecInt(AVMEDIA_TYPE_VIDEO, "maxrate"), 1150000);

  e = std::make_unique<TCustomFFmpeg>(2);
  e->SetExtOption("target", "film-dv50");
  EXPECT_EQ(e->Fframe_width, 720);
  EXPECT_EQ(e->Fframe_height, 480);
  EXPECT_EQ(e->Fframe_pix_fmt, AV_PIX_FMT_YUV422P);
  EXPECT_EQ(e->Fframe_rate.num, 24000);
  EXPECT_EQ(e->Fframe_rate.den, 1001);
  EXPECT_EQ(e->Flast_asked_format, "dv");
}

TEST_F(OptionLayer, TargetNormIsGuessedOrFails) {
  EXPECT_EQ(Failure("target", "vcd"), "frame_rate is invalid.");
  EXPECT_EQ(e->Fframe_width, 0) << "nothing applied";
  // A 25 fps input decides PAL.
  ASSERT_TRUE(e->OpenInput(VideoFile())) << e->LastErrMsg();
  e->Fverbose = 1;
  TLogCollector log;
  e->SetExtOption("target", "svcd");
  EXPECT_TRUE(log.Contains("Assuming PAL for target."));
  EXPECT_EQ(e->Fframe_height, 576);
  EXPECT_EQ(e->Fvideo_codec_name, "mpeg2video");
  // An unknown type applies nothing.
  auto fresh = std::make_unique<TCustomFFmpeg>(2);
  EXPECT_THROW(fresh->SetExtOption("target", "pal-laserdisc"), engine::FFmpegException);
  EXPECT_EQ(fresh->Fframe_width, 0);
  EXPECT_TRUE(fresh->Fvideo_codec_name.empty());
  // A record's default norm decides when nothing else does.
  e = std::make_unique<TCustomFFmpeg>(2);
  e->SetExtOption("r", "10");
  e->ApplyTarget("dvd", "ntsc");
  EXPECT_EQ(e->Fframe_height, 480);
}

TEST_F(OptionLayer, PresetLookup) {
  // With libx264 chosen, "default" is the built-in libx264-default.
  e->SetExtOption("vcodec", "libx264");
  e->SetExtOption("vpre", "default");
  EXPECT_EQ(CodecInt(AVMEDIA_TYPE_VIDEO, "g"), 250);
  EXPECT_EQ(CodecInt(AVMEDIA_TYPE_VIDEO, "refs"), 3);
  // A full name is found whatever the codec, in any case.
  e = std::make_unique<TCustomFFmpeg>(2);
  e->SetExtOption("vpre", "LIBX264-HQ");
  EXPECT_EQ(CodecInt(AVMEDIA_TYPE_VIDEO, "refs"), 4);
  // Neither a built-in name nor a file.
  EXPECT_EQ(Failure("vpre", "nosuchpreset"), "Preset \"nosuchpreset\" not found");
  EXPECT_EQ(Failure("fpre", "libx264-hq"), "Preset \"libx264-hq\" not found")
      << "fpre only reads files";
  EXPECT_NO_THROW(e->SetExtOption("vpre", "")) << "an empty preset does nothing";
}

TEST_F(OptionLayer, PresetFileSyntax) {
  const std::string good = WriteFile("good.ffpreset", "  # comment\r\n\r\ng=33\r\nVCODEC=mpeg4\n bf=2 \n");
  e->SetExtOption("fpre", good);
  EXPECT_EQ(CodecInt(AVMEDIA_TYPE_VIDEO, "g"), 33);
  EXPECT_EQ(CodecInt(AVMEDIA_TYPE_VIDEO, "bf"), 2);
  EXPECT_EQ(e->Fvideo_codec_name, "mpeg4");

  const std::string empty = WriteFile("empty.ffpreset", "g=40\nbf=\n");
  EXPECT_EQ(Failure("fpre", empty), empty + ": Invalid syntax: \"bf=\"");
  EXPECT_EQ(CodecInt(AVMEDIA_TYPE_VIDEO, "g"), 40) << "lines before the failure stay applied";
  const std::string nokey = WriteFile("nokey.ffpreset", "=5\n");
  EXPECT_EQ(Failure("fpre", nokey), nokey + ": Invalid syntax: \"=5\"");

  const std::string bad = WriteFile("bad.ffpreset", "g=12\nnosuchoption=1\n");
  EXPECT_EQ(Failure("fpre", bad),
            "Unrecognized option \"nosuchoption\"\r\n" + bad +
                ": Invalid option or argument: \"nosuchoption=1\", parsed as \"nosuchoption\" = \"1\"");
  e->HaltOnInvalidOption = false;
  EXPECT_NO_THROW(e->SetExtOption("fpre", bad)) << "without halting the line is skipped";
}

// Every built-in preset is accepted with halting on, and libx264 opens with
// the options it leaves (so no H.264 recording fails on its preset).
TEST_F(OptionLayer, EveryBuiltInPresetOpensLibx264) {
  const AVCodec* x264 = ff::avcodec_find_encoder_by_name("libx264");
  if (!x264) GTEST_SKIP() << "libx264 is not available";
  const auto names = TCustomFFmpeg::BuiltInPresetNames();
  ASSERT_EQ(names.size(), 36u);
  for (const std::string& name : names) {
    SCOPED_TRACE(name);
    TCustomFFmpeg engine(1);
    engine.HaltOnInvalidOption = true;
    engine.SetExtOption("vcodec", "libx264");
    ASSERT_NO_THROW(engine.SetExtOption("vpre", name));
    CodecCtxPtr c(ff::avcodec_alloc_context3(x264));
    ASSERT_TRUE(c);
    c->width = 64;
    c->height = 48;
    c->pix_fmt = AV_PIX_FMT_YUV420P;
    c->time_base = AVRational{1, 25};
    engine.FOptions.ApplyLibraryOptions(c.get(), engine.FOptions.CodecDefaults(AVMEDIA_TYPE_VIDEO),
                                        AV_OPT_FLAG_ENCODING_PARAM | AV_OPT_FLAG_VIDEO_PARAM, x264);
    const int ret = ff::avcodec_open2(c.get(), x264, nullptr);
    ASSERT_GE(ret, 0) << ff::err2str(ret);
    if (name == "libx264-default") {
      // The translated names reached the encoder's own options.
      int64_t v = 0;
      ASSERT_GE(ff::av_opt_get_int(c->priv_data, "direct-pred", 0, &v), 0);
      EXPECT_EQ(v, 1);
      ASSERT_GE(ff::av_opt_get_int(c->priv_data, "weightp", 0, &v), 0);
      EXPECT_EQ(v, 2);
      uint8_t* parts = nullptr;
      ASSERT_GE(ff::av_opt_get(c->priv_data, "partitions", 0, &parts), 0);
      EXPECT_STREQ(reinterpret_cast<char*>(parts), "i8x8,i4x4,p8x8,b8x8");
      ff::av_free(parts);
      EXPECT_EQ(c->refs, 3);
      EXPECT_EQ(c->max_b_frames, 3);
    }
  }
}

TEST_F(OptionLayer, VideoHooksAndBitstreamFilters) {
  EXPECT_EQ(Failure("vhook", "/no/such/module.so -x"),
            "Failed to add video hook function: /no/such/module.so -x");
  EXPECT_FALSE(e->Fusing_vhook);
  EXPECT_EQ(Failure("vbsf", "nosuchfilter=1"), "Unknown bitstream filter nosuchfilter");
  e->SetExtOption("vbsf", "h264_mp4toannexb");
  e->SetExtOption("absf", "=ignored");
  EXPECT_EQ(e->Fvideo_bitstream_filters.size(), 1u);
  EXPECT_TRUE(e->Faudio_bitstream_filters.empty());
}

TEST_F(OptionLayer, UnknownOptionsWithAndWithoutHalting) {
  EXPECT_EQ(Failure("nosuch", "1"), "Unrecognized option \"nosuch\"");
  e->HaltOnInvalidOption = false;
  EXPECT_EQ(Failure("nosuch", "1"), "(no exception)");
}

}  // namespace enginetest

namespace enginetest {

// A vhook changes every picture before it is encoded.
TEST_F(OptionLayer, VideoHookDrawsIntoEveryPicture) {
  TCustomFFmpeg engine(1);
  ASSERT_TRUE(engine.OpenInput(VideoFile())) << engine.LastErrMsg();
  engine.SetExtOption("vhook", "drawbox|-x|0|-y|0|-w|4000|-h|4000|-c|ffffff");
  EXPECT_TRUE(engine.Fusing_vhook);
  engine.SetExtOption("vcodec", "mpeg4");
  engine.SetExtOption("qscale", "2");
  ASSERT_GE(engine.OpenOutput(Out("hooked.avi"), false), 0) << engine.LastErrMsg();
  engine.StartConvert(false);
  ASSERT_TRUE(engine.Finished()) << engine.FatalMessage();
  std::string err;
  const std::vector<int> indexes = testmedia::DecodeFrameIndexes(Out("hooked.avi"), err);
  ASSERT_EQ(indexes.size(), 75u) << err;
  // The white box covers the index blocks: every picture reads the same.
  for (size_t i = 1; i < indexes.size(); ++i) EXPECT_EQ(indexes[i], indexes[0]) << i;
}

}  // namespace enginetest

namespace enginetest {

// A bitstream filter given by option runs on every packet of the stream it
// was given for: trace_headers logs each coded picture header it sees.
TEST_F(OptionLayer, BitstreamFilterRunsOnTheOutputStream) {
  testmedia::TMediaSpec spec;
  spec.path = Out("mpeg2.mkv");
  spec.video_codec = "mpeg2video";
  spec.audio = false;
  std::string err;
  ASSERT_TRUE(testmedia::WriteTestMedia(spec, err)) << err;
  TCustomFFmpeg engine(1);
  ASSERT_TRUE(engine.OpenInput(spec.path)) << engine.LastErrMsg();
  engine.SetExtOption("vcodec", "copy");
  engine.SetExtOption("vbsf", "trace_headers");
  ASSERT_GE(engine.OpenOutput(Out("traced.mkv"), false), 0) << engine.LastErrMsg();
  TLogCollector log;
  engine.StartConvert(false);
  ASSERT_TRUE(engine.Finished()) << engine.FatalMessage();
  EXPECT_GE(log.Count("Picture Header"), spec.frames);
  const std::vector<int> indexes = testmedia::DecodeFrameIndexes(Out("traced.mkv"), err);
  EXPECT_EQ(indexes.size(), static_cast<size_t>(spec.frames)) << err;
}

}  // namespace enginetest

namespace enginetest {

// A codec preset sets the encoder's "flags" as a whole; a container that
// needs global headers (Matroska) must still get them.
TEST_F(OptionLayer, PresetKeepsGlobalHeadersForMatroska) {
  if (!ff::avcodec_find_encoder_by_name("libx264")) GTEST_SKIP() << "libx264 is not available";
  TCustomFFmpeg engine(1);
  ASSERT_TRUE(engine.OpenInput(VideoFile())) << engine.LastErrMsg();
  engine.SetExtOption("vcodec", "libx264");
  engine.SetExtOption("vpre", "libx264-default");
  ASSERT_GE(engine.OpenOutput(Out("preset.mkv"), false), 0) << engine.LastErrMsg();
  engine.StartConvert(false);
  ASSERT_TRUE(engine.Finished()) << engine.FatalMessage();
  std::string err;
  EXPECT_EQ(testmedia::DecodeFrameIndexes(Out("preset.mkv"), err).size(), 75u) << err;
}

}  // namespace enginetest
