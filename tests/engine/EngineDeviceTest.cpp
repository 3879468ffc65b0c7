// Inputs whose format is a registered capture device: opened through the
// device adapter with the engine's size and rate, read through it, and held
// while the task is paused.
#include <atomic>
#include <chrono>
#include <thread>

#include "EngineTestSupport.h"
#include "capture/CaptureDevices.h"

namespace enginetest {
using engine::TCustomFFmpeg;
using namespace std::chrono_literals;

namespace {

std::atomic<int> gPauses{0}, gPlays{0}, gCloses{0};
std::string gOptions;

struct TFakeRecord {
  int64_t frames = 0;
};

int FakeHeader(AVFormatContext* s, const capture::TFormatParameters* ap) {
  gOptions = s->url;
  if (gOptions == "refuse") {
    capture::DeviceLog(s, AV_LOG_ERROR, "Fake device refused\n");
    return AVERROR(EIO);
  }
  AVStream* st = ff::avformat_new_stream(s, nullptr);
  if (!st) return AVERROR(ENOMEM);
  st->time_base = AVRational{1, 1000000};
  const AVRational tb = ap && ap->time_base.num > 0 ? ap->time_base : AVRational{1, 10};
  st->r_frame_rate = st->avg_frame_rate = AVRational{tb.den, tb.num};
  st->codecpar->codec_type = AVMEDIA_TYPE_VIDEO;
  st->codecpar->codec_id = AV_CODEC_ID_RAWVIDEO;
  st->codecpar->format = AV_PIX_FMT_BGR0;
  st->codecpar->width = ap && ap->width > 0 ? ap->width : 64;
  st->codecpar->height = ap && ap->height > 0 ? ap->height : 48;
  return 0;
}

int FakePacket(AVFormatContext* s, AVPacket* pkt) {
  auto& r = *static_cast<TFakeRecord*>(s->priv_data);
  std::this_thread::sleep_for(5ms);
  ++r.frames;
  return ff::av_new_packet(pkt, 16) < 0 ? AVERROR(ENOMEM) : 16;
}

int FakeClose(AVFormatContext*) {
  ++gCloses;
  return 0;
}
int FakePause(AVFormatContext*) {
  ++gPauses;
  return 0;
}
int FakePlay(AVFormatContext*) {
  ++gPlays;
  return 0;
}

// A device whose reads fail with something that is not even an exception.
int ThrowingPacket(AVFormatContext*, AVPacket*) { throw 42; }

const capture::TCaptureDevice kThrowing{"enginethrowingcapture", "Engine test device that throws",
                                        &capture::MakePrivData<TFakeRecord>, &FakeHeader,
                                        &ThrowingPacket, &FakeClose, nullptr, nullptr};

const capture::TCaptureDevice kFake{"enginefakecapture", "Engine test device",
                                    &capture::MakePrivData<TFakeRecord>, &FakeHeader, &FakePacket,
                                    &FakeClose, &FakePause, &FakePlay};

}  // namespace

class EngineDevice : public EngineTest {
 protected:
  static void SetUpTestSuite() {
    EngineTest::SetUpTestSuite();
    capture::RegisterInputFormat(kFake);
    capture::RegisterInputFormat(kThrowing);
  }
};

TEST_F(EngineDevice, OpensThroughTheAdapterWithTheEngineSettings) {
  TCustomFFmpeg e(2);
  e.SetExtOption("s", "320x240");
  e.SetExtOption("r", "15");
  e.SetExtOption("f", "enginefakecapture");
  ASSERT_TRUE(e.OpenInput("offset=0,0;cursor=1")) << e.LastErrMsg();
  EXPECT_EQ(gOptions, "offset=0,0;cursor=1") << "the file name is the device's option string";
  EXPECT_EQ(e.Fframe_width, 320);
  EXPECT_EQ(e.Fframe_height, 240);
  EXPECT_EQ(e.Fframe_rate.num, 15);
  EXPECT_EQ(e.Fframe_pix_fmt, AV_PIX_FMT_BGR0);
  EXPECT_EQ(e.TotalOutputDuration(), -1) << "a device has no length";
  ASSERT_NE(e.InputFile(0), nullptr);
  EXPECT_EQ(e.InputFile(0)->interrupt_callback.callback, &media::InterruptDispatcher);

  e.SetExtOption("f", "enginefakecapture");
  EXPECT_FALSE(e.OpenInput("refuse"));
  EXPECT_NE(e.LastErrMsg().find("Fake device refused"), std::string::npos) << e.LastErrMsg();
  EXPECT_EQ(e.nb_input_files(), 1);
}

TEST_F(EngineDevice, PauseHoldsTheDeviceAndStopClosesIt) {
  const int closesBefore = gCloses;
  {
    TCustomFFmpeg e(1);
    e.SetExtOption("f", "enginefakecapture");
    ASSERT_TRUE(e.OpenInput("")) << e.LastErrMsg();
    ASSERT_EQ(e.OpenOutput(Out("device.avi"), false), 1) << e.LastErrMsg();
    e.StartConvert(true)->Resume();
    auto until = std::chrono::steady_clock::now() + 10s;
    while (e.PacketsRead() < 3 && std::chrono::steady_clock::now() < until) std::this_thread::sleep_for(5ms);
    const int pauses = gPauses, plays = gPlays;
    e.Pause();
    until = std::chrono::steady_clock::now() + 10s;
    while (gPauses == pauses && std::chrono::steady_clock::now() < until) std::this_thread::sleep_for(5ms);
    EXPECT_EQ(gPauses, pauses + 1) << "the device is held while the task waits";
    e.Resume();
    until = std::chrono::steady_clock::now() + 10s;
    while (gPlays == plays && std::chrono::steady_clock::now() < until) std::this_thread::sleep_for(5ms);
    EXPECT_EQ(gPlays, plays + 1);
    e.Stop(true);
    EXPECT_TRUE(e.Terminated());
    EXPECT_EQ(gCloses, closesBefore + 1) << "the device is closed with the task's resources";
  }
  EXPECT_EQ(gCloses, closesBefore + 1);
}

TEST_F(EngineDevice, AnyErrorInTheRunEndsTheTaskNotTheProcess) {
  const int closesBefore = gCloses;
  TCustomFFmpeg e(1);
  e.SetExtOption("f", "enginethrowingcapture");
  ASSERT_TRUE(e.OpenInput("")) << e.LastErrMsg();
  ASSERT_EQ(e.OpenOutput(Out("throwing.avi"), false), 1) << e.LastErrMsg();
  std::atomic<int> terminated{0};
  e.SetOnTerminate([&](void*) { ++terminated; });
  e.StartConvert(true)->Resume();
  const auto until = std::chrono::steady_clock::now() + 20s;
  while (!e.Terminated() && std::chrono::steady_clock::now() < until) std::this_thread::sleep_for(5ms);
  e.Stop(true);
  EXPECT_EQ(terminated, 1);
  EXPECT_TRUE(e.FatalException());
  EXPECT_FALSE(e.FatalMessage().empty());
  EXPECT_FALSE(e.Finished());
  EXPECT_EQ(gCloses, closesBefore + 1) << "resources are still released";
}

}  // namespace enginetest
