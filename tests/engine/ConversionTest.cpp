// End-to-end conversions on generated media, each checked by decoding the
// output: stream copy, encoding into mp4, the crop/pad/scale chain, frame
// rate conversion, resampling, volume, audio sync, limits and a failing
// encoder.
#include <filesystem>

#include "ConversionMedia.h"
#include "EngineTestSupport.h"
#include "engine/FFmpegRunTables.h"

namespace enginetest {
using convtest::DecodeAll;
using convtest::TDecoded;
using engine::TCustomFFmpeg;

class Conversion : public EngineTest {
 protected:
  // Runs the task in this thread; the fatal message, empty on success.
  static std::string Run(TCustomFFmpeg& e) {
    e.StartConvert(false);
    return e.FatalMessage();
  }
  static std::string Custom(const convtest::TCustomSpec& ASpec) {
    std::string err;
    EXPECT_TRUE(convtest::WriteCustomMedia(ASpec, err)) << err;
    return ASpec.path;
  }
  static std::vector<int64_t> Steady(int AFrames, int AStepMs) {
    std::vector<int64_t> v;
    for (int i = 0; i < AFrames; ++i) v.push_back(static_cast<int64_t>(i) * AStepMs);
    return v;
  }
};

// Also through a bitstream filter chain, which must pass every packet on.
class StreamCopy : public Conversion, public ::testing::WithParamInterface<const char*> {};

TEST_P(StreamCopy, KeepsPacketsAndTimestamps) {
  TCustomFFmpeg e(2);
  ASSERT_TRUE(e.OpenInput(AvFile())) << e.LastErrMsg();
  e.SetExtOption("vcodec", "copy");
  e.SetExtOption("acodec", "copy");
  if (*GetParam()) e.SetExtOption("vbsf", GetParam());
  const std::string out = Out("copy.mkv");
  ASSERT_EQ(e.OpenOutput(out, false), 1) << e.LastErrMsg();
  ASSERT_EQ(Run(e), "");
  EXPECT_TRUE(e.Finished());
  const TDecoded in = DecodeAll(AvFile()), got = DecodeAll(out);
  ASSERT_TRUE(got.ok) << got.error;
  // Per stream, the same payloads at the same times.
  for (int s = 0; s < 2; ++s) {
    std::vector<convtest::TPacketInfo> a, b;
    for (const auto& p : in.packets)
      if (p.stream == s) a.push_back(p);
    for (const auto& p : got.packets)
      if (p.stream == s) b.push_back(p);
    ASSERT_EQ(a.size(), b.size()) << "stream " << s;
    for (size_t i = 0; i < a.size(); ++i) {
      EXPECT_EQ(a[i].size, b[i].size) << s << "/" << i;
      EXPECT_NEAR(a[i].pts, b[i].pts, 0.0011) << s << "/" << i;
      EXPECT_EQ(a[i].key, b[i].key) << s << "/" << i;
    }
  }
  EXPECT_EQ(got.indexes, in.indexes);
}
INSTANTIATE_TEST_SUITE_P(Filters, StreamCopy, ::testing::Values("", "null"));

TEST_F(Conversion, Mpeg4AndAacInMp4StartAndEndTogether) {
  TCustomFFmpeg e(2);
  ASSERT_TRUE(e.OpenInput(AvFile())) << e.LastErrMsg();
  e.SetExtOption("vcodec", "mpeg4");
  e.SetExtOption("acodec", "aac");
  const std::string out = Out("av.mp4");
  ASSERT_EQ(e.OpenOutput(out, false), 1) << e.LastErrMsg();
  ASSERT_EQ(Run(e), "");
  const TDecoded d = DecodeAll(out);
  ASSERT_TRUE(d.ok) << d.error;
  EXPECT_EQ(d.width, 160);
  EXPECT_EQ(d.height, 120);
  EXPECT_EQ(d.frames, 20);
  std::vector<int> expected(20);
  for (int i = 0; i < 20; ++i) expected[i] = i;
  EXPECT_EQ(d.indexes, expected);
  EXPECT_NEAR(d.video_start, 0.0, 1e-6);
  EXPECT_NEAR(d.video_end, 2.0, 0.1);
  EXPECT_EQ(d.sample_rate, 44100);
  // Audio and video within one frame (0.1 s) of each other at both ends.
  EXPECT_NEAR(d.audio_start, d.video_start, 0.1);
  EXPECT_NEAR(d.audio_end, d.video_end, 0.1);
  EXPECT_NEAR(convtest::ToneFrequency(d.left, d.sample_rate, 4410, 80000), 440.0, 3.0);
}

TEST_F(Conversion, CropPadScaleChainGivesBlackBars) {
  convtest::TCustomSpec spec;
  spec.path = Out("wide.mkv");
  spec.width = 200;
  spec.height = 100;
  spec.video_ms = Steady(10, 100);
  spec.audio = false;
  Custom(spec);
  TCustomFFmpeg e(2);
  ASSERT_TRUE(e.OpenInput(spec.path)) << e.LastErrMsg();
  // Crop 4 columns, pad to 4:3 with black above and below, scale: the
  // encoder takes the size the chain ends with.
  e.SetExtOption("vf", "crop=192:96:4:2,pad=192:144:0:24:black,scale=320:240");
  const std::string out = Out("bars.avi");
  ASSERT_EQ(e.OpenOutput(out, false), 1) << e.LastErrMsg();
  ASSERT_EQ(Run(e), "");
  const TDecoded d = DecodeAll(out);
  ASSERT_TRUE(d.ok) << d.error;
  EXPECT_EQ(d.width, 320);
  EXPECT_EQ(d.height, 240);
  EXPECT_EQ(d.frames, 10);
  auto luma = [&](int x, int y) { return static_cast<int>(d.first_luma[static_cast<size_t>(y) * 320 + x]); };
  for (int x : {10, 160, 300}) {
    EXPECT_LE(luma(x, 10), 20) << "top bar";
    EXPECT_LE(luma(x, 230), 20) << "bottom bar";
  }
  EXPECT_GE(luma(160, 120), 40) << "picture between the bars";
}

TEST_F(Conversion, VsyncDuplicatesGapsAndDropsCrowdedPictures) {
  convtest::TCustomSpec spec;
  spec.path = Out("vfr.mkv");
  spec.audio = false;
  // 10 frames per second with a 0.4 s gap before picture 3 and five
  // pictures crowded into one frame slot from picture 5 on.
  spec.video_ms = {0, 100, 200, 600, 700, 800, 810, 820, 830, 840, 900, 1000};
  Custom(spec);
  TLogCollector log;
  TCustomFFmpeg e(2);
  ASSERT_TRUE(e.OpenInput(spec.path)) << e.LastErrMsg();
  e.SetExtOption("r", "10");
  e.SetExtOption("vsync", "1");
  const std::string out = Out("cfr.avi");
  ASSERT_EQ(e.OpenOutput(out, false), 1) << e.LastErrMsg();
  ASSERT_EQ(Run(e), "");
  // The picture after the gap fills it; of the crowded ones, those more
  // than 1.1 frames behind the output are dropped.
  EXPECT_EQ(e.Fnb_frames_dup, 2);
  EXPECT_EQ(e.Fnb_frames_drop, 2);
  EXPECT_TRUE(log.Contains("dup=2 drop=2"));
  const TDecoded d = DecodeAll(out);
  ASSERT_TRUE(d.ok) << d.error;
  const std::vector<int> expected{0, 1, 2, 3, 3, 3, 4, 5, 6, 7, 10, 11};
  EXPECT_EQ(d.indexes, expected);
}

TEST_F(Conversion, ResamplesStereo44100ToMono22050KeepingTheTone) {
  TCustomFFmpeg e(2);
  ASSERT_TRUE(e.OpenInput(AvFile())) << e.LastErrMsg();
  e.SetExtOption("vn", "");
  e.SetExtOption("ar", "22050");
  e.SetExtOption("ac", "1");
  const std::string out = Out("mono.wav");
  ASSERT_EQ(e.OpenOutput(out, false), 1) << e.LastErrMsg();
  ASSERT_EQ(Run(e), "");
  const TDecoded d = DecodeAll(out);
  ASSERT_TRUE(d.ok) << d.error;
  EXPECT_EQ(d.sample_rate, 22050);
  EXPECT_EQ(d.channels, 1);
  EXPECT_NEAR(static_cast<double>(d.samples), 44100.0, 1200.0);
  EXPECT_NEAR(convtest::ToneFrequency(d.left, 22050, 2000, 40000), 440.0, 2.0);
}

// Volume 512 doubles 16-bit and float samples alike.
TEST_F(Conversion, VolumeDoublesS16AndFloatDecoders) {
  convtest::TCustomSpec spec;
  spec.path = Out("float.mkv");
  spec.video_ms = Steady(10, 100);
  spec.audio_codec = "pcm_f32le";
  spec.audio_seconds = 1.0;
  Custom(spec);
  for (const std::string& in : {AvFile(), spec.path}) {
    const TDecoded src = DecodeAll(in);
    TCustomFFmpeg e(2);
    ASSERT_TRUE(e.OpenInput(in)) << e.LastErrMsg();
    e.SetExtOption("vn", "");
    e.SetExtOption("vol", "512");
    const std::string out = Out("loud.wav");
    ASSERT_EQ(e.OpenOutput(out, false), 1) << e.LastErrMsg();
    ASSERT_EQ(Run(e), "");
    const TDecoded d = DecodeAll(out);
    ASSERT_TRUE(d.ok) << d.error;
    const float before = convtest::Peak(src.left, 0, 40000), after = convtest::Peak(d.left, 0, 40000);
    EXPECT_NEAR(after / before, 2.0, 0.02) << in;
  }
}

TEST(AudioVolume, IntegerRoundingAndSaturation) {
  ASSERT_TRUE(media::FFLoader().Load(media::kEncoderLibraries));
  AVFrame* f = ff::av_frame_alloc();
  f->format = AV_SAMPLE_FMT_S16;
  f->nb_samples = 4;
  ff::av_channel_layout_default(&f->ch_layout, 1);
  ASSERT_EQ(ff::av_frame_get_buffer(f, 0), 0);
  auto* s = reinterpret_cast<int16_t*>(f->data[0]);
  const int16_t in[4] = {101, -1, -2, 20000};
  std::copy(in, in + 4, s);
  engine::ApplyVolume(f, 128);
  EXPECT_EQ(s[0], 51);
  EXPECT_EQ(s[1], 0);
  EXPECT_EQ(s[2], -1);
  EXPECT_EQ(s[3], 10000);
  engine::ApplyVolume(f, 512 * 8);
  EXPECT_EQ(s[3], 32767);
  EXPECT_EQ(s[2], -16);
  ff::av_frame_free(&f);
}

TEST_F(Conversion, LateAudioIsPaddedWithSilenceWhenSyncIsOn) {
  convtest::TCustomSpec spec;
  spec.path = Out("late.mkv");
  spec.video_ms = Steady(20, 100);
  spec.audio_start = 0.5;
  spec.audio_seconds = 1.5;
  Custom(spec);
  for (const int sync : {1, 0}) {
    TCustomFFmpeg e(2);
    ASSERT_TRUE(e.OpenInput(spec.path)) << e.LastErrMsg();
    e.SetExtOption("async", std::to_string(sync));
    e.SetExtOption("acodec", "pcm_s16le");
    const std::string out = Out("late.avi");
    ASSERT_EQ(e.OpenOutput(out, false), 1) << e.LastErrMsg();
    ASSERT_EQ(Run(e), "");
    const TDecoded d = DecodeAll(out);
    ASSERT_TRUE(d.ok) << d.error;
    if (sync) {
      EXPECT_LT(convtest::Peak(d.left, 0, 21000), 0.01) << "silence first";
      EXPECT_GT(convtest::Peak(d.left, 23000, 30000), 0.2) << "then the tone";
      EXPECT_NEAR(static_cast<double>(d.samples), 2.0 * 44100, 2048);
    } else {
      EXPECT_GT(convtest::Peak(d.left, 0, 2000), 0.2) << "no padding without sync";
    }
  }
}

TEST_F(Conversion, TimeSizeAndShortestLimits) {
  {
    TCustomFFmpeg e(2);
    ASSERT_TRUE(e.OpenInput(VideoFile())) << e.LastErrMsg();
    e.SetExtOption("t", "1.2");
    ASSERT_EQ(e.OpenOutput(Out("t.avi"), false), 1) << e.LastErrMsg();
    ASSERT_EQ(Run(e), "");
    EXPECT_EQ(DecodeAll(Out("t.avi")).frames, 30);  // 25 frames per second
  }
  {
    TCustomFFmpeg e(2);
    ASSERT_TRUE(e.OpenInput(VideoFile())) << e.LastErrMsg();
    e.SetExtOption("fs", "6000");
    ASSERT_EQ(e.OpenOutput(Out("fs.avi"), false), 1) << e.LastErrMsg();
    ASSERT_EQ(Run(e), "");
    EXPECT_LT(std::filesystem::file_size(Out("fs.avi")), 12000u);
    const TDecoded d = DecodeAll(Out("fs.avi"));
    EXPECT_GT(d.frames, 0);
    EXPECT_LT(d.frames, 75);
  }
  // Pictures for 3 s from one file, sound for 1 s from another: with
  // "shortest" the recording ends with the sound.
  convtest::TCustomSpec spec;
  spec.path = Out("short_audio.mkv");
  spec.video_ms = {0};
  spec.audio_seconds = 1.0;
  Custom(spec);
  for (const bool shortest : {true, false}) {
    TCustomFFmpeg e(2);
    ASSERT_TRUE(e.OpenInput(VideoFile())) << e.LastErrMsg();
    ASSERT_TRUE(e.OpenInput(spec.path)) << e.LastErrMsg();
    e.Fstream_maps = {{0, 0, 0, 0}, {1, 1, 1, 1}};
    e.Fnb_stream_maps = 2;
    if (shortest) e.SetExtOption("shortest", "1");
    e.SetExtOption("acodec", "pcm_s16le");
    ASSERT_EQ(e.OpenOutput(Out("short.avi"), false), 1) << e.LastErrMsg();
    ASSERT_EQ(Run(e), "");
    const TDecoded d = DecodeAll(Out("short.avi"));
    if (shortest)
      EXPECT_NEAR(d.video_end, 1.0, 0.2);
    else
      EXPECT_NEAR(d.video_end, 3.0, 0.05);
    EXPECT_NEAR(d.audio_end, 1.0, 0.05);
  }
}

TEST_F(Conversion, FailingEncoderOpenDeletesTheEmptyOutput) {
  TCustomFFmpeg e(2);
  ASSERT_TRUE(e.OpenInput(VideoFile())) << e.LastErrMsg();
  e.SetExtOption("vcodec", "mpeg4");
  e.SetExtOption("r", "100000");  // beyond what the codec's time base allows
  e.SetExtOption("force_fps", "");
  const std::string out = Out("failed.avi");
  ASSERT_EQ(e.OpenOutput(out, false), 1) << e.LastErrMsg();
  const std::string msg = Run(e);
  EXPECT_EQ(msg,
            "Error while opening encoder for output stream #0.0 (Video) - maybe incorrect parameters "
            "such as bit_rate, rate, width or height. Please check error log message to find out "
            "more detail information.");
  EXPECT_FALSE(e.Finished());
  EXPECT_FALSE(std::filesystem::exists(out));
}

}  // namespace enginetest
