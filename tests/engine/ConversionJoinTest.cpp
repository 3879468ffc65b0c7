// Join mode: several input files appended one after another into one output
// file, checked by decoding the result.
#include <algorithm>
#include <set>
#include <utility>
#include <vector>

#include "ConversionMedia.h"
#include "EngineTestSupport.h"

namespace enginetest {
using convtest::DecodeAll;
using convtest::TDecoded;
using engine::TCustomFFmpeg;

class Join : public EngineTest {
 protected:
  // A file of AFrames pictures at 10 per second with as long a tone.
  static std::string Segment(const std::string& AName, int AFrames, int AWidth = 160, int AHeight = 120) {
    testmedia::TMediaSpec spec;
    spec.path = Out(AName);
    spec.frames = AFrames;
    spec.width = AWidth;
    spec.height = AHeight;
    std::string err;
    EXPECT_TRUE(testmedia::WriteTestMedia(spec, err)) << err;
    return spec.path;
  }
  // Two copies of the generated sound-and-picture file joined into AName
  // with the given options; the decoded result (not ok when the run failed).
  static TDecoded JoinTwice(const std::vector<std::pair<std::string, std::string>>& AOptions,
                            const std::string& AName) {
    TCustomFFmpeg e(4);
    TDecoded failed;
    for (int i = 0; i < 2; ++i)
      if (!e.OpenInput(AvFile())) {
        failed.error = e.LastErrMsg();
        return failed;
      }
    for (const auto& [name, value] : AOptions) e.SetExtOption(name, value);
    const std::string out = Out(AName);
    if (e.OpenOutput(out, true) != 1) {
      failed.error = e.LastErrMsg();
      return failed;
    }
    e.SetupJoinMode();
    e.StartConvert(false);
    if (!e.FatalMessage().empty()) {
      failed.error = e.FatalMessage();
      return failed;
    }
    return DecodeAll(out);
  }
  // Largest step between the start times of consecutive packets of a
  // stream, and whether they only go forward.
  static double LargestStep(const TDecoded& ADecoded, int AStream, bool& AForward) {
    std::vector<double> pts;
    for (const auto& p : ADecoded.packets)
      if (p.stream == AStream) pts.push_back(p.pts);
    std::sort(pts.begin(), pts.end());
    AForward = std::adjacent_find(pts.begin(), pts.end()) == pts.end();
    double step = 0;
    for (size_t i = 1; i < pts.size(); ++i) step = std::max(step, pts[i] - pts[i - 1]);
    return step;
  }
};

TEST_F(Join, TwoFilesBecomeOneContinuousFile) {
  const std::string a = Segment("join2s.avi", 20), b = Segment("join3s.avi", 30);
  TCustomFFmpeg e(4);
  ASSERT_TRUE(e.OpenInput(a)) << e.LastErrMsg();
  ASSERT_TRUE(e.OpenInput(b)) << e.LastErrMsg();
  e.SetExtOption("vcodec", "mpeg4");
  e.SetExtOption("acodec", "aac");
  const std::string out = Out("joined.mp4");
  ASSERT_EQ(e.OpenOutput(out, true), 1) << e.LastErrMsg();
  e.SetupJoinMode();
  EXPECT_EQ(e.Fnb_output_files, 2);
  EXPECT_EQ(e.FTotalOutputDuration, e.Finput_files[0]->ctx->duration + e.Finput_files[1]->ctx->duration);
  EXPECT_NEAR(e.FTotalOutputDuration, 5000000, 100000);
  // A second output cannot join the same task.
  EXPECT_EQ(e.OpenOutput(Out("second.mp4"), false), -1);
  EXPECT_EQ(e.LastErrMsg(), "Cannot join more than one output file.");

  std::set<int32_t> segments;
  int32_t lastIndex = 0;
  e.ReportInterval = -1;
  e.SetOnProgress([&](void*, int32_t AFile, int32_t, int32_t, float, float, int64_t, int64_t, int64_t) {
    if (AFile >= 0) segments.insert(AFile);
    lastIndex = AFile;
  });
  e.StartConvert(false);
  ASSERT_EQ(e.FatalMessage(), "");
  EXPECT_TRUE(e.Finished());
  EXPECT_EQ(segments, (std::set<int32_t>{0, 1}));
  EXPECT_EQ(lastIndex, -1);

  const TDecoded d = DecodeAll(out);
  ASSERT_TRUE(d.ok) << d.error;
  // Every picture of both files, in order, one header and one trailer: the
  // file decodes to its end.
  std::vector<int> expected;
  for (int i = 0; i < 20; ++i) expected.push_back(i);
  for (int i = 0; i < 30; ++i) expected.push_back(i);
  EXPECT_EQ(d.indexes, expected);
  EXPECT_NEAR(d.video_start, 0.0, 1e-6);
  EXPECT_NEAR(d.video_end, 5.0, 0.1);
  EXPECT_NEAR(d.audio_end, 5.0, 0.05);
  EXPECT_NEAR(static_cast<double>(d.samples) / d.sample_rate, 5.0, 0.05);
  // No gap and no overlap at the joint: pictures 0.1 s apart, sound frames
  // of 1024 samples.
  bool forward = false;
  EXPECT_NEAR(LargestStep(d, 0, forward), 0.1, 0.002);
  EXPECT_TRUE(forward);
  EXPECT_LE(LargestStep(d, 1, forward), 1024.0 / 44100 + 0.001);
  EXPECT_TRUE(forward);
  // The tone goes on after the joint (at most one frame of 1024 samples of
  // it is padded with silence there).
  EXPECT_NEAR(convtest::ToneFrequency(d.left, d.sample_rate, 4410, 85000), 440.0, 3.0);
  EXPECT_NEAR(convtest::ToneFrequency(d.left, d.sample_rate, 93000, 215000), 440.0, 3.0);
}

// A run that ends inside the first segment (here by a frame limit, as Stop
// would) drains the shared encoders once and still completes the file.
TEST_F(Join, EndingInTheFirstSegmentCompletesTheFile) {
  const TDecoded d = JoinTwice({{"vcodec", "mpeg4"}, {"acodec", "aac"}, {"vframes", "10"}}, "joinlimit.mkv");
  ASSERT_TRUE(d.ok) << d.error;
  EXPECT_EQ(d.frames, 10);
}

// Copied streams are appended too: the second file's packets follow the
// first file's end.
TEST_F(Join, CopiedStreamsFollowOneAnother) {
  const TDecoded d = JoinTwice({{"vcodec", "copy"}, {"acodec", "copy"}}, "joincopy.mkv");
  ASSERT_TRUE(d.ok) << d.error;
  EXPECT_EQ(d.frames, 40);
  EXPECT_NEAR(d.video_end, 4.0, 0.1);
  EXPECT_NEAR(static_cast<double>(d.samples) / d.sample_rate, 4.0, 0.1);
  bool forward = false;
  EXPECT_NEAR(LargestStep(d, 0, forward), 0.1, 0.002);
  EXPECT_TRUE(forward);
}

// A second pass over joined inputs: the fresh encoder of the second input
// reads the statistics log again (the encoder cuts up the text it reads),
// and quantiser matrices are handed over to it.
TEST_F(Join, ReopenedEncodersReadTheSecondPassLogAgain) {
  const std::string prefix = Out("joinpass");
  for (int pass = 1; pass <= 2; ++pass) {
    TCustomFFmpeg e(4);
    ASSERT_TRUE(e.OpenInput(VideoFile())) << e.LastErrMsg();
    ASSERT_TRUE(e.OpenInput(VideoFile())) << e.LastErrMsg();
    e.SetExtOption("vcodec", "mpeg4");
    e.SetExtOption("b", "100000");
    e.SetExtOption("pass", std::to_string(pass));
    e.SetExtOption("passlogfile", prefix);
    std::string matrix = "8";
    for (int i = 1; i < 64; ++i) matrix += ",16";
    e.SetExtOption("intra_matrix", matrix);
    const std::string out = Out("joinpass" + std::to_string(pass) + ".avi");
    ASSERT_EQ(e.OpenOutput(out, true), 1) << e.LastErrMsg();
    e.SetupJoinMode();
    TLogCollector log;
    e.StartConvert(false);
    ASSERT_EQ(e.FatalMessage(), "") << "pass " << pass << log.All();
    std::string err;
    EXPECT_EQ(testmedia::DecodeFrameIndexes(out, err).size(), 150u) << err;
  }
}

// Inputs of different picture sizes: the output takes the size of the
// input opened last (as any output does), and the other is scaled to it.
TEST_F(Join, InputsOfAnotherSizeAreScaled) {
  const std::string a = Segment("joinbig.avi", 10), b = Segment("joinsmall.avi", 10, 96, 64);
  TCustomFFmpeg e(4);
  ASSERT_TRUE(e.OpenInput(a)) << e.LastErrMsg();
  ASSERT_TRUE(e.OpenInput(b)) << e.LastErrMsg();
  e.SetExtOption("vcodec", "mpeg4");
  e.SetExtOption("qscale", "2");
  e.SetExtOption("acodec", "pcm_s16le");
  const std::string out = Out("joinsizes.mkv");
  ASSERT_EQ(e.OpenOutput(out, true), 1) << e.LastErrMsg();
  e.SetupJoinMode();
  e.StartConvert(false);
  ASSERT_EQ(e.FatalMessage(), "");
  const TDecoded d = DecodeAll(out);
  ASSERT_TRUE(d.ok) << d.error;
  EXPECT_EQ(d.width, 96);
  EXPECT_EQ(d.height, 64);
  std::vector<int> expected;
  for (int k = 0; k < 2; ++k)
    for (int i = 0; i < 10; ++i) expected.push_back(i);
  EXPECT_EQ(d.indexes, expected);
}

TEST_F(Join, ThreeInputsGiveThreeOutputsAndUnknownLengthsNoTotal) {
  TCustomFFmpeg e(4);
  for (int i = 0; i < 3; ++i) ASSERT_TRUE(e.OpenInput(AvFile())) << e.LastErrMsg();
  for (auto& in : e.Finput_files)
    if (in) in->ctx->duration = AV_NOPTS_VALUE;
  ASSERT_EQ(e.OpenOutput(Out("three.mkv"), true), 1) << e.LastErrMsg();
  e.SetupJoinMode();
  EXPECT_EQ(e.Fnb_output_files, 3);
  EXPECT_EQ(e.Foutput_files[2], e.Foutput_files[0]);
  EXPECT_EQ(e.FTotalOutputDuration, -1);
}

}  // namespace enginetest
