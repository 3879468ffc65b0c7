// SetExtOption: one case per kind of value and its conversion error, the
// handlers that parse, and the fallback to the library option store.
#include "EngineTestSupport.h"

namespace enginetest {
using engine::EConvertError;
using engine::FFmpegException;
using engine::TCustomFFmpeg;

class EngineOptions : public EngineTest {
 protected:
  void SetUp() override { e = std::make_unique<TCustomFFmpeg>(2); }
  std::string Failure(const std::string& AName, const std::string& AValue) {
    return OptionFailure(*e, AName, AValue);
  }
  std::unique_ptr<TCustomFFmpeg> e;
};

TEST_F(EngineOptions, SwitchIsFalseOnlyForZero) {
  e->SetExtOption("vn", "");
  EXPECT_TRUE(e->Fvideo_disable);
  e->SetExtOption("vn", "0");
  EXPECT_FALSE(e->Fvideo_disable);
  e->SetExtOption("vn", "no");
  EXPECT_TRUE(e->Fvideo_disable);
}

TEST_F(EngineOptions, IntegerConvertsOrNamesTheText) {
  e->SetExtOption("vol", "-5");
  EXPECT_EQ(e->Faudio_volume, -5);
  e->SetAudioVolume(-7);  // the guarded setter keeps it
  EXPECT_EQ(e->Faudio_volume, -5);
  EXPECT_THROW(e->SetExtOption("v", "3x"), EConvertError);
  EXPECT_NE(Failure("v", "3x").find("'3x'"), std::string::npos);
  EXPECT_NE(Failure("vframes", "99999999999").find("99999999999"), std::string::npos);
  EXPECT_EQ(e->Fverbose, 1) << "a failed option changes nothing";
}

TEST_F(EngineOptions, Int64AndFloatConvertOrNameTheText) {
  e->SetExtOption("fs", "10000000000");
  EXPECT_EQ(e->Flimit_filesize, 10000000000LL);
  EXPECT_NE(Failure("fs", "1e3").find("'1e3'"), std::string::npos);
  e->SetExtOption("muxdelay", "1.25");
  EXPECT_FLOAT_EQ(e->Fmux_max_delay, 1.25f);
  EXPECT_THROW(e->SetExtOption("aq", "fast"), EConvertError);
  EXPECT_NE(Failure("aq", "fast").find("'fast'"), std::string::npos);
}

TEST_F(EngineOptions, TextsAreStoredAsGiven) {
  e->SetExtOption("vlang", "deu");
  e->SetExtOption("passlogfile", "/tmp/pass");
  EXPECT_EQ(e->Fvideo_language, "deu");
  EXPECT_EQ(e->Fpass_logfilename_prefix, "/tmp/pass");
  e->SetExtOption("f", "avi");
  e->SetExtOption("f", "");
  EXPECT_EQ(e->Flast_asked_format, "avi") << "an empty format keeps the forced one";
}

TEST_F(EngineOptions, FixedReactions) {
  TLogCollector log;
  e->SetExtOption("h", "");
  EXPECT_TRUE(log.Contains("Do nothing: option - h"));
  EXPECT_EQ(Failure("croptop", ""), "Removed, use the crop filter instead");
  EXPECT_EQ(Failure("padcolor", "x"), "Removed, use the pad filter instead");
}

TEST_F(EngineOptions, UnknownNamesGoToTheLibraryStore) {
  e->SetExtOption("g", "50");  // the library's GOP size
  EXPECT_EQ(e->FOptions.Count(), 1);
  EXPECT_EQ(Failure("nosuchoption", "1"), "Unrecognized option \"nosuchoption\"");
  EXPECT_EQ(Failure("VN", "1"), "Unrecognized option \"VN\"") << "names are case-sensitive";
  e->HaltOnInvalidOption = false;
  EXPECT_NO_THROW(e->SetExtOption("nosuchoption", "1"));
  EXPECT_EQ(e->FOptions.Count(), 1);
}

TEST_F(EngineOptions, BitRateBelow1000Warns) {
  TLogCollector log;
  e->SetExtOption("b", "128");
  EXPECT_TRUE(log.Contains("The bitrate parameter is set too low"));
}

TEST_F(EngineOptions, FrameRateSizeAndAspect) {
  e->SetExtOption("r", "30000/1001");
  EXPECT_EQ(e->Fframe_rate.num, 30000);
  EXPECT_EQ(e->Fframe_rate.den, 1001);
  EXPECT_EQ(Failure("r", "fast"), "Incorrect frame rate");
  e->SetExtOption("s", "vga");
  EXPECT_EQ(e->Fframe_width, 640);
  EXPECT_EQ(e->Fframe_height, 480);
  EXPECT_EQ(Failure("s", "12xx"), "Incorrect frame size");
  e->SetExtOption("aspect", "16:9");
  EXPECT_FLOAT_EQ(e->Fframe_aspect_ratio, 16.0f / 9.0f);
  e->SetExtOption("aspect", "1.5");
  EXPECT_FLOAT_EQ(e->Fframe_aspect_ratio, 1.5f);
  EXPECT_EQ(Failure("aspect", "4:0"), "Incorrect aspect ratio specification.");
  EXPECT_EQ(Failure("aspect", "abc"), "Incorrect aspect ratio specification.");
}

TEST_F(EngineOptions, PixelAndSampleFormatsUseTheLibraryNames) {
  e->SetExtOption("pix_fmt", "yuv420p");
  EXPECT_EQ(e->Fframe_pix_fmt, AV_PIX_FMT_YUV420P);
  EXPECT_EQ(Failure("pix_fmt", "yuv999"), "Unknown pixel format requested: yuv999");
  e->SetExtOption("sample_fmt", "fltp");
  EXPECT_EQ(e->Faudio_sample_fmt, AV_SAMPLE_FMT_FLTP);
  EXPECT_EQ(Failure("sample_fmt", "s17"), "Invalid sample format \"s17\"");
  TLogCollector log;
  e->SetExtOption("pix_fmt", "list");
  EXPECT_TRUE(log.Contains("yuv420p"));
  EXPECT_EQ(e->Fframe_pix_fmt, AV_PIX_FMT_YUV420P);
}

TEST_F(EngineOptions, CodecsAndTags) {
  e->SetExtOption("acodec", "copy");
  e->SetExtOption("acodec", "pcm_s16le");
  EXPECT_EQ(e->Faudio_stream_copy, 1) << "a name after copy leaves copy on";
  EXPECT_EQ(e->Faudio_codec_name, "pcm_s16le");
  e->SetExtOption("vtag", "XVID");
  EXPECT_EQ(e->Fvideo_codec_tag, static_cast<uint32_t>('X' | 'V' << 8 | 'I' << 16 | 'D' << 24));
  e->SetExtOption("atag", "123");
  EXPECT_EQ(e->Faudio_codec_tag, 123u);
  EXPECT_THROW(e->SetExtOption("vtag", "XVI"), engine::EFFmpegAssertion);
}

TEST_F(EngineOptions, TimesMetadataAndMaps) {
  e->SetExtOption("t", "1:30");
  EXPECT_EQ(e->Frecording_time, 90000000);
  EXPECT_EQ(e->TotalOutputDuration(), 90000000);
  EXPECT_EQ(Failure("ss", "soon"), "Invalid duration specification for ss: soon");
  EXPECT_EQ(Failure("timestamp", "yesterday"), "Invalid date specification for timestamp: yesterday");
  EXPECT_EQ(Failure("metadata", "title"), "Missing =");
  EXPECT_EQ(Failure("metadata", "=x"), "wrong parameter of metadata");
  EXPECT_EQ(Failure("itsscale", "25:2"), "stream index over MAX_STREAMS(20)");
  e->SetExtOption("itsscale", "1:0.5");
  ASSERT_EQ(e->Fnb_input_files_ts_scale[0], 2);
  EXPECT_DOUBLE_EQ(e->Finput_files_ts_scale[0][1], 0.5);
  e->SetExtOption("map", "0.1");
  e->SetExtOption("map", "1.0:0.2");
  ASSERT_EQ(e->Fnb_stream_maps, 2);
  EXPECT_EQ(e->Fstream_maps[0].sync_stream_index, 1);
  EXPECT_EQ(e->Fstream_maps[1].sync_file_index, 0);
  EXPECT_EQ(e->Fstream_maps[1].sync_stream_index, 2);
  e->SetExtOption("map_meta_data", "0,s1:1,g");
  EXPECT_EQ(e->Fmetadata_streams_autocopy, 0);
  EXPECT_EQ(e->Fmetadata_global_autocopy, 0);
  EXPECT_EQ(Failure("map_meta_data", "0,x"), "Invalid metadata type x.");
  EXPECT_EQ(Failure("streamid", "a:1"),
            "Invalid value \"a:1\" for option \"streamid\", required syntax is \"index:value\"");
  std::string m63 = "1";
  for (int i = 1; i < 63; ++i) m63 += ",1";
  EXPECT_EQ(Failure("intra_matrix", m63), "Syntax error in matrix \"" + m63 + "\" at coeff 62");
  e->SetExtOption("inter_matrix", m63 + ",7");
  ASSERT_EQ(e->Finter_matrix.size(), 64u);
  EXPECT_EQ(e->Finter_matrix[63], 7);
}

TEST_F(EngineOptions, NewStreamNeedsAnOutput) {
  EXPECT_EQ(Failure("newaudio", ""), "At least one output file must be specified");
}

}  // namespace enginetest
