// The status line and OnProgress.
#include "EngineTestSupport.h"

namespace enginetest {
using engine::TAVOutputStream;
using engine::TCustomFFmpeg;

namespace {

std::unique_ptr<TAVOutputStream> Stream(AVMediaType AType, AVRational ATimeBase, int64_t APosition,
                                        int32_t AFrames) {
  auto s = std::make_unique<TAVOutputStream>();
  s->enc.reset(ff::avcodec_alloc_context3(nullptr));
  s->enc->codec_type = AType;
  s->enc->time_base = ATimeBase;
  s->sync_opts = APosition;
  s->frame_number = AFrames;
  s->show_fps = 1;
  s->last_quality = 3 * FF_QP2LAMBDA;
  return s;
}

struct TProgressCall {
  int calls = 0;
  int32_t file = 0, frame = 0, fps = 0;
  float quality = 0;
  int64_t duration = 0, total = 0;
};

}  // namespace

class EngineProgress : public EngineTest {
 protected:
  void SetUp() override {
    e = std::make_unique<TCustomFFmpeg>(1);
    e->SetOnProgress([this](void*, int32_t AFile, int32_t AFrame, int32_t AFPS, float AQuality, float,
                            int64_t, int64_t ADuration, int64_t ATotal) {
      ++p.calls;
      p.file = AFile;
      p.frame = AFrame;
      p.fps = AFPS;
      p.quality = AQuality;
      p.duration = ADuration;
      p.total = ATotal;
    });
  }
  std::unique_ptr<TCustomFFmpeg> e;
  TProgressCall p;
};

TEST_F(EngineProgress, NoReportBeforeTheFirstVideoFrame) {
  TLogCollector log;
  auto v = Stream(AVMEDIA_TYPE_VIDEO, AVRational{1, 10}, 0, 0);
  e->ReportProgress(true, -1, {v.get()});
  EXPECT_EQ(p.calls, 0);
  EXPECT_FALSE(log.Contains("muxing overhead")) << "not even the summary";
}

TEST_F(EngineProgress, VideoReportsFramesQualityAndTime) {
  e->SetExtOption("t", "10");
  auto v = Stream(AVMEDIA_TYPE_VIDEO, AVRational{1, 10}, 20, 20);
  auto a = Stream(AVMEDIA_TYPE_AUDIO, AVRational{1, 44100}, 44100 * 3, 0);
  e->ReportProgress(false, 0, {v.get(), a.get()});
  ASSERT_EQ(p.calls, 1);
  EXPECT_EQ(p.file, 0);
  EXPECT_EQ(p.frame, 20);
  EXPECT_FLOAT_EQ(p.quality, 3.0f);
  EXPECT_EQ(p.duration, 2000000) << "the stream furthest behind";
  EXPECT_EQ(p.total, 10000000);
}

TEST_F(EngineProgress, WithoutVideoTheFrameFieldsAreMinusOne) {
  TLogCollector log;
  auto a = Stream(AVMEDIA_TYPE_AUDIO, AVRational{1, 44100}, 44100, 0);
  e->ReportProgress(true, -1, {a.get()});
  ASSERT_EQ(p.calls, 1);
  EXPECT_EQ(p.file, -1);
  EXPECT_EQ(p.frame, -1);
  EXPECT_EQ(p.fps, -1);
  EXPECT_FLOAT_EQ(p.quality, -1.0f);
  EXPECT_EQ(p.duration, 1000000);
  EXPECT_TRUE(log.Contains("muxing overhead"));
}

TEST_F(EngineProgress, QuietWithoutHandlerLogsOnlyTheEnd) {
  TCustomFFmpeg quiet(1);
  quiet.SetExtOption("v", "0");
  TLogCollector log;
  auto a = Stream(AVMEDIA_TYPE_AUDIO, AVRational{1, 44100}, 44100, 0);
  quiet.ReportProgress(false, 0, {a.get()});
  EXPECT_FALSE(log.Contains("size="));
  quiet.ReportProgress(true, -1, {a.get()});
  EXPECT_TRUE(log.Contains("size="));
  EXPECT_TRUE(log.Contains("muxing overhead"));
}

}  // namespace enginetest
