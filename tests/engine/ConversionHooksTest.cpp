// Video hooks and the preview on a real conversion, checked on the output:
// what a hook draws reaches the video only when it keeps its changes, a
// hook that stops or fails does not stop the recording, and the preview
// bitmap shows what is encoded; the audio hook changes the encoded sound.
#include <QPainter>
#include <cstring>
#include <stdexcept>

#include "ConversionMedia.h"
#include "EngineTestSupport.h"
#include "engine/FFmpeg.h"

namespace enginetest {
using convtest::DecodeAll;
using convtest::TDecoded;
using engine::TCustomFFmpeg;

class ConversionHooks : public EngineTest {
 protected:
  // A video-only mpeg4 conversion of the test media; the decoded output.
  static TDecoded Convert(TCustomFFmpeg& e, const std::string& AName) {
    EXPECT_TRUE(e.OpenInput(AvFile())) << e.LastErrMsg();
    e.SetExtOption("vcodec", "mpeg4");
    e.SetExtOption("an", "1");
    const std::string out = Out(AName);
    EXPECT_EQ(e.OpenOutput(out, false), 1) << e.LastErrMsg();
    e.StartConvert(false);
    EXPECT_EQ(e.FatalMessage(), "");
    return DecodeAll(out);
  }
  static void PaintLowerLeft(QImage& ABitmap, Qt::GlobalColor AColor) {
    QPainter p(&ABitmap);
    p.fillRect(0, ABitmap.height() / 2, ABitmap.width() / 2, ABitmap.height() / 2, AColor);
  }
  // Mean luma of the lower-left and lower-right quarters of the first picture.
  static std::pair<double, double> LowerQuarters(const TDecoded& d) {
    double l = 0, r = 0;
    for (int y = d.height / 2; y < d.height; ++y)
      for (int x = 0; x < d.width; ++x) (x < d.width / 2 ? l : r) += d.first_luma[y * d.width + x];
    const double n = (d.height / 2.0) * (d.width / 2.0);
    return {l / n, r / n};
  }
};

TEST_F(ConversionHooks, OutputHookDrawsIntoTheVideoAndThePreviewShowsIt) {
  TCustomFFmpeg e(2);
  std::vector<std::pair<int32_t, int64_t>> calls;
  e.SetOnOutputVideoHook([&](void*, QImage& b, int32_t n, int64_t pts, bool&, bool&) {
    calls.emplace_back(n, pts);
    PaintLowerLeft(b, Qt::white);
  });
  int previews = 0;
  bool previewPainted = true;
  e.SetOnPreviewBitmap([&](void*, QImage& b, int32_t, int64_t) {
    ++previews;
    previewPainted = previewPainted && b.size() == QSize(160, 120) && qGray(b.pixel(10, 110)) > 240 &&
                     qGray(b.pixel(150, 110)) < 200;
  });
  // The bitmap event wins over the window.
  e.SetPostHooks(engine::phBitmap | engine::phPreview);
  e.PreviewInterval = -1;
  const TDecoded d = Convert(e, "out-hook.mkv");
  ASSERT_TRUE(d.ok) << d.error;
  ASSERT_EQ(calls.size(), 20u);
  for (size_t i = 0; i < calls.size(); ++i) {
    EXPECT_EQ(calls[i].first, static_cast<int>(i) + 1);
    EXPECT_EQ(calls[i].second, static_cast<int64_t>(i) * 100000);
  }
  EXPECT_EQ(previews, 20);
  EXPECT_TRUE(previewPainted);
  const auto [left, right] = LowerQuarters(d);
  EXPECT_GT(left, 225);
  EXPECT_LT(right, 140);
  EXPECT_EQ(d.frames, 20);
}

TEST_F(ConversionHooks, InputHookThatStopsRunsOnceAndAFailingHookChangesNothing) {
  {
    TCustomFFmpeg e(2);
    int calls = 0;
    e.SetOnInputVideoHook([&](void*, QImage& b, int32_t, int64_t, bool&, bool& AStop) {
      ++calls;
      PaintLowerLeft(b, Qt::black);
      AStop = true;  // this picture still gets the change
    });
    const TDecoded d = Convert(e, "in-hook-stop.mkv");
    ASSERT_TRUE(d.ok) << d.error;
    EXPECT_EQ(calls, 1);
    EXPECT_EQ(d.frames, 20);
    EXPECT_LT(LowerQuarters(d).first, 30);
  }
  TLogCollector log;
  TCustomFFmpeg e(2);
  int calls = 0;
  e.SetOnInputVideoHook([&](void*, QImage& b, int32_t, int64_t, bool&, bool&) {
    ++calls;
    PaintLowerLeft(b, Qt::black);
    throw std::runtime_error("boom");
  });
  const TDecoded d = Convert(e, "in-hook-throws.mkv");
  ASSERT_TRUE(d.ok) << d.error;
  EXPECT_EQ(calls, 20);  // a failure is not a request to stop
  EXPECT_TRUE(log.Contains("Error occurs VideoHook event: boom"));
  EXPECT_GT(LowerQuarters(d).first, 60);  // the drawing was not kept
}

TEST_F(ConversionHooks, PreviewWithoutAWindowIsDroppedAndTheRecordingGoesOn) {
  TCustomFFmpeg e(2);
  e.SetPostHooks(engine::phPreview);
  e.PreviewInterval = -1;
  const TDecoded d = Convert(e, "preview-headless.mkv");
  ASSERT_TRUE(d.ok) << d.error;
  EXPECT_EQ(d.frames, 20);
  EXPECT_EQ(e.FPostHooks, 0);
}

// The audio hook sees every decoded sample, interleaved, before the volume
// step, and what it changes is what gets encoded; copying the sound instead
// is refused, since nothing would be decoded for the hook.
TEST_F(ConversionHooks, AudioHookChangesTheEncodedSound) {
  TCustomFFmpeg e(2);
  int64_t bytes = 0, lastPts = -1;
  bool ordered = true;
  e.SetOnAudioHook([&](void*, int64_t APts, uint8_t* ASample, int32_t ASize, int32_t ARate, int32_t AChannels,
                       AVSampleFormat AFormat) {
    EXPECT_EQ(ARate, 44100);
    EXPECT_EQ(AChannels, 2);
    EXPECT_FALSE(ff::av_sample_fmt_is_planar(AFormat));
    ordered = ordered && APts > lastPts;
    lastPts = APts;
    bytes += ASize;
    // Silence the first second only.
    const int64_t frame = static_cast<int64_t>(AChannels) * ff::av_get_bytes_per_sample(AFormat);
    if (APts < 1000000) std::memset(ASample, 0, static_cast<size_t>(ASize));
    EXPECT_EQ(ASize % frame, 0);
  });
  ASSERT_TRUE(e.OpenInput(AvFile())) << e.LastErrMsg();
  e.SetExtOption("vcodec", "mpeg4");
  e.SetExtOption("acodec", "pcm_s16le");
  e.SetExtOption("vol", "512");
  const std::string out = Out("audiohook.mkv");
  ASSERT_EQ(e.OpenOutput(out, false), 1) << e.LastErrMsg();
  e.StartConvert(false);
  ASSERT_EQ(e.FatalMessage(), "");
  EXPECT_TRUE(ordered);
  EXPECT_NEAR(bytes, 2 * 44100 * 2 * 2, 1024 * 4);  // 2 s of 16-bit stereo, in whole blocks
  const TDecoded d = DecodeAll(out);
  ASSERT_TRUE(d.ok) << d.error;
  EXPECT_EQ(convtest::Peak(d.left, 0, 40000), 0.0f);
  EXPECT_GT(convtest::Peak(d.left, 50000, 88000), 0.4f);  // the tone, at twice its volume

  TCustomFFmpeg copy(2);
  copy.SetOnAudioHook([](void*, int64_t, uint8_t*, int32_t, int32_t, int32_t, AVSampleFormat) {});
  ASSERT_TRUE(copy.OpenInput(AvFile())) << copy.LastErrMsg();
  copy.SetExtOption("acodec", "copy");
  ASSERT_EQ(copy.OpenOutput(Out("audiohookcopy.mkv"), false), 1) << copy.LastErrMsg();
  copy.StartConvert(false);
  EXPECT_EQ(copy.FatalMessage(), "-acodec copy and AudioHook are incompatible (frames are not decoded)");
}

}  // namespace enginetest
