// The audio capture device on a fake wave-in backend, read through the
// engine's device adapter: open checks, the start, pause and queue rules,
// the end of capture, and sample-count timestamps.
#include <gtest/gtest.h>

#include <chrono>
#include <memory>
#include <thread>

#include "CaptureTestSupport.h"
#include "FakeWaveIn.h"
#include "capture/CaptureInput.h"
#include "capture/WaveCapture.h"
#include "media/FFBindings.h"

using namespace capture;
using test::TFakeWaveState;

namespace {

std::shared_ptr<TFakeWaveState> gState;  // the backend the next open gets

int FakeHeader(AVFormatContext* s, const TFormatParameters* ap) {
  return WaveCaptureReadHeader(s, ap, std::make_unique<test::TFakeWaveIn>(gState), gState->Clock);
}

const TCaptureDevice kFakeWave{"fakewavecapture", "Wave capture on a fake backend", &MakePrivData<Twavein_grab>,
                               &FakeHeader, &WaveCaptureReadPacket, &WaveCaptureReadClose, &WaveCaptureReadPause,
                               &WaveCaptureReadPlay};

struct PacketDel {
  void operator()(AVPacket* p) const { ff::av_packet_free(&p); }
};

struct WaveCapture : ::testing::Test {
  static void SetUpTestSuite() {
    test::LoadMediaLibraries();
    RegisterInputFormat(kFakeWave);
  }
  void SetUp() override {
    gState = std::make_shared<TFakeWaveState>();
    log = std::make_unique<test::TLogLines>();
    pkt.reset(ff::av_packet_alloc());
  }
  void TearDown() override { in.Close(); }

  int Open(const std::string& AOptions) { return in.Open("fakewavecapture", AOptions); }
  Twavein_grab& Grab() { return *static_cast<Twavein_grab*>(in.Context()->priv_data); }
  int ReadNonBlocking() {
    in.Context()->flags |= AVFMT_FLAG_NONBLOCK;
    const int r = in.ReadPacket(pkt.get());
    in.Context()->flags &= ~AVFMT_FLAG_NONBLOCK;
    return r;
  }

  std::unique_ptr<test::TLogLines> log;
  std::unique_ptr<AVPacket, PacketDel> pkt;
  TDeviceInput in;
};

TEST_F(WaveCapture, DefaultsDescribeSixteenBitStereoInBuffersOf1024Frames) {
  ASSERT_EQ(Open(""), 0) << in.LastErrMsg();
  const AVCodecParameters* par = in.CodecParameters();
  EXPECT_EQ(par->codec_type, AVMEDIA_TYPE_AUDIO);
  EXPECT_EQ(par->codec_id, AV_CODEC_ID_PCM_S16LE);
  EXPECT_EQ(par->format, AV_SAMPLE_FMT_S16);
  EXPECT_EQ(par->ch_layout.nb_channels, 2);
  EXPECT_EQ(par->sample_rate, 44100);
  EXPECT_EQ(par->block_align, 4);
  EXPECT_EQ(par->bit_rate, 1411200);
  EXPECT_EQ(par->frame_size, 1024);  // the buffer's frames, not a fixed 4096
  EXPECT_EQ(in.TimeBase().den, 1000000);
  EXPECT_EQ(gState->Device, -1);
  EXPECT_EQ(gState->Fragment, 4096u);
  EXPECT_TRUE(gState->Started);
  EXPECT_EQ(gState->Queued(), 2u);
  EXPECT_TRUE(log->Has("ready for recording..."));
}

TEST_F(WaveCapture, OddBufferSizesRoundDownToWholeFrames) {
  ASSERT_EQ(Open("bufsize=1003;i=1"), 0) << in.LastErrMsg();
  EXPECT_EQ(gState->Fragment, 1000u);
  EXPECT_EQ(in.CodecParameters()->frame_size, 250);
  EXPECT_EQ(gState->Device, 1);
  in.Close();
  gState = std::make_shared<TFakeWaveState>();
  ASSERT_EQ(Open("r=22050;c=1;f=8;bufsize=1000"), 0) << in.LastErrMsg();
  EXPECT_EQ(in.CodecParameters()->codec_id, AV_CODEC_ID_PCM_U8);
  EXPECT_EQ(in.CodecParameters()->frame_size, 1000);
  EXPECT_EQ(in.CodecParameters()->bit_rate, 176400);
}

TEST_F(WaveCapture, BadOptionsAndRefusingDevicesFailTheOpenWithTheirMessage) {
  const struct {
    const char* options;
    const char* message;
  } cases[] = {
      {"r=0", "Bad sample rate 0"},
      {"c=3", "Bad channels number 3"},
      {"c=0", "Bad channels number 0"},
      {"f=24", "Bad sample format 24"},
      {"f=8;c=1;bufsize=0", "Error allocating wave buffer memory."},
      {"bufsize=3", "Error allocating wave buffer memory."},
      {"bufsize=-4096", "Error allocating wave buffer memory."},
  };
  for (const auto& c : cases) {
    gState = std::make_shared<TFakeWaveState>();
    EXPECT_EQ(Open(c.options), AVERROR(EIO)) << c.options;
    EXPECT_EQ(in.LastErrMsg(), c.message) << c.options;
    EXPECT_FALSE(in.Opened());
  }
  gState = std::make_shared<TFakeWaveState>();
  gState->Devices = 0;
  EXPECT_EQ(Open(""), AVERROR(EIO));
  EXPECT_EQ(in.LastErrMsg(), "No wave audio recording devices found.");

  gState = std::make_shared<TFakeWaveState>();
  gState->QueryError = 7;
  EXPECT_EQ(Open(""), AVERROR(EIO));
  EXPECT_EQ(in.LastErrMsg(), "Fake wave error 7");

  // A failure after the device opened closes it again.
  gState = std::make_shared<TFakeWaveState>();
  gState->AddErrorAfter = 1;
  EXPECT_EQ(Open(""), AVERROR(EIO));
  EXPECT_EQ(in.LastErrMsg(), "Fake wave error 5");
  EXPECT_TRUE(gState->Reset);
  EXPECT_TRUE(gState->Closed);
}

TEST_F(WaveCapture, DataBeforeTheFirstReadIsSkippedAndBuffersAlternate) {
  ASSERT_EQ(Open(""), 0) << in.LastErrMsg();
  ASSERT_TRUE(gState->Complete(1));  // captured before the first read: never delivered
  EXPECT_EQ(gState->Queued(), 2u);    // handed back at once

  EXPECT_EQ(ReadNonBlocking(), AVERROR(EAGAIN));
  EXPECT_TRUE(log->Has("non-block, need read again"));

  for (uint8_t v = 2; v <= 5; ++v) ASSERT_TRUE(gState->Complete(v));
  ASSERT_TRUE(gState->Complete(6, 0));  // an empty buffer queues nothing
  for (uint8_t v = 2; v <= 5; ++v) {
    ASSERT_EQ(in.ReadPacket(pkt.get()), 4096);
    EXPECT_EQ(pkt->data[0], v);
    EXPECT_EQ(pkt->data[4095], v);
  }
  EXPECT_EQ(ReadNonBlocking(), AVERROR(EAGAIN));
  const auto& order = gState->Completed;
  ASSERT_EQ(order.size(), 6u);
  for (size_t i = 2; i < order.size(); ++i) EXPECT_EQ(order[i], order[i - 2]);
  EXPECT_NE(order[0], order[1]);
}

TEST_F(WaveCapture, PacketsAreNumberedByTheSamplesTheyHold) {
  ASSERT_EQ(Open("bufsize=1000"), 0) << in.LastErrMsg();
  EXPECT_EQ(ReadNonBlocking(), AVERROR(EAGAIN));
  // 250 frames a packet at 44100 Hz, a run of 1000 packets: the timestamps
  // follow the sample count exactly, without rounding adding up.
  int64_t expectedEnd = 0;
  for (int i = 0; i < 1000; ++i) {
    ASSERT_TRUE(gState->Complete(0));
    ASSERT_EQ(in.ReadPacket(pkt.get()), 1000);
    EXPECT_EQ(pkt->pts, ff::av_rescale(250LL * i, 1000000, 44100));
    expectedEnd = pkt->pts + pkt->duration;
  }
  EXPECT_EQ(expectedEnd, ff::av_rescale(250LL * 1000, 1000000, 44100));
  // A short last buffer counts its own samples.
  ASSERT_TRUE(gState->Complete(0, 400));
  ASSERT_EQ(in.ReadPacket(pkt.get()), 400);
  EXPECT_EQ(pkt->duration, ff::av_rescale(250LL * 1000 + 100, 1000000, 44100) - expectedEnd);
}

// The engine holds reading from the middle of one buffer to the middle of
// another (the window also raises its pause flag): the sound of the paused
// time is cut out at the sample, and what follows continues without a gap.
// At 8000 Hz a buffer of 1024 frames lasts 128 ms exactly.
TEST_F(WaveCapture, APauseCutsTheSoundAtTheSampleAndLeavesNoGap) {
  TWavePauseFlag flag{0};
  TWavePauseFlagRegistration reg(&flag);
  ASSERT_EQ(Open("r=8000;pause_pointer=" + std::to_string(WavePauseFlagAddress(&flag))), 0) << in.LastErrMsg();
  EXPECT_EQ(ReadNonBlocking(), AVERROR(EAGAIN));
  ASSERT_TRUE(gState->Complete(1));
  gState->Clock.Advance(64000);  // half-way through the second buffer
  in.Pause();
  flag = 1;
  for (int i = 0; i < 3; ++i) ASSERT_TRUE(gState->Complete(9));  // the first arrives late
  EXPECT_EQ(gState->Queued(), 2u);  // buffers always go back to the device
  flag = 0;
  in.Resume();                      // half-way through the fifth
  ASSERT_TRUE(gState->Complete(2));
  const std::pair<int, int64_t> expected[] = {{1, 0}, {9, 1024}, {2, 1536}};  // (value, start in frames)
  const int sizes[] = {4096, 2048, 2048};
  for (int i = 0; i < 3; ++i) {
    ASSERT_EQ(in.ReadPacket(pkt.get()), sizes[i]) << i;
    EXPECT_EQ(pkt->data[0], expected[i].first);
    EXPECT_EQ(pkt->data[sizes[i] - 1], expected[i].first);
    EXPECT_EQ(pkt->pts, expected[i].second * 125) << i;
  }
  EXPECT_EQ(ReadNonBlocking(), AVERROR(EAGAIN));
}

// The caller's flag alone (the engine keeps reading, so the picture goes
// on): whole buffers are dropped and the sound after them keeps its time.
TEST_F(WaveCapture, ARegisteredPauseFlagAloneDropsWholeBuffers) {
  TWavePauseFlag flag{0};
  TWavePauseFlagRegistration reg(&flag);
  ASSERT_EQ(Open("pause_pointer=" + std::to_string(WavePauseFlagAddress(&flag))), 0) << in.LastErrMsg();
  EXPECT_EQ(ReadNonBlocking(), AVERROR(EAGAIN));
  ASSERT_TRUE(gState->Complete(1));
  flag = 1;
  for (int i = 0; i < 3; ++i) ASSERT_TRUE(gState->Complete(9));
  flag = 0;
  ASSERT_TRUE(gState->Complete(2));
  ASSERT_EQ(in.ReadPacket(pkt.get()), 4096);
  EXPECT_EQ(pkt->data[0], 1);
  ASSERT_EQ(in.ReadPacket(pkt.get()), 4096);
  EXPECT_EQ(pkt->data[0], 2);
  EXPECT_EQ(pkt->pts, ff::av_rescale(4 * 1024, 1000000, 44100));
  EXPECT_EQ(ReadNonBlocking(), AVERROR(EAGAIN));
}

// The screen of the same run started first: the sound counts from its time
// zero, not from its own first read, so a read delayed by a busy engine
// neither moves the sound against the picture nor loses the sound captured
// before it.
TEST_F(WaveCapture, SoundCountsFromTheRunsSharedStart) {
  TFormatParameters params;
  params.recording_start = std::make_shared<TRecordingStart>();
  ASSERT_EQ(in.Open("fakewavecapture", "r=8000", &params), 0) << in.LastErrMsg();
  ASSERT_TRUE(gState->Complete(9));  // before the zero: cut
  gState->Clock.Advance(-64000);     // the picture's first frame was due half-way through it
  params.recording_start->Claim(gState->Clock.Now());
  gState->Clock.Advance(64000);
  ASSERT_TRUE(gState->Complete(1));  // after the zero, before the first read: kept
  EXPECT_EQ(ReadNonBlocking(), AVERROR(EAGAIN));
  ASSERT_TRUE(gState->Complete(2));
  const int sizes[] = {2048, 4096, 4096}, values[] = {9, 1, 2}, places[] = {0, 64000, 192000};
  for (int i = 0; i < 3; ++i) {
    ASSERT_EQ(in.ReadPacket(pkt.get()), sizes[i]) << i;
    EXPECT_EQ(pkt->data[0], values[i]);
    EXPECT_EQ(pkt->pts, places[i]);  // microseconds: 1024 frames at 8000 Hz last 128 ms
  }
}

TEST_F(WaveCapture, AnUnregisteredPauseAddressIsIgnoredWithAWarning) {
  TWavePauseFlag flag{1};  // paused, but never registered
  const std::string address = std::to_string(WavePauseFlagAddress(&flag));
  ASSERT_EQ(Open("pause_pointer=" + address), 0) << in.LastErrMsg();
  EXPECT_EQ(Grab().pause_flag, nullptr);
  EXPECT_TRUE(log->Has("Pause pointer " + address + " is not a registered pause flag, ignored"));
  EXPECT_EQ(ReadNonBlocking(), AVERROR(EAGAIN));
  ASSERT_TRUE(gState->Complete(3));
  EXPECT_EQ(in.ReadPacket(pkt.get()), 4096);
  in.Close();
  // A flag that was registered and is gone again is refused the same way.
  { TWavePauseFlagRegistration reg(&flag); }
  gState = std::make_shared<TFakeWaveState>();
  ASSERT_EQ(Open("pause_pointer=" + address), 0);
  EXPECT_EQ(Grab().pause_flag, nullptr);
}

TEST_F(WaveCapture, QueuedPacketsAreDeliveredBeforeTheEndOfCapture) {
  ASSERT_EQ(Open(""), 0) << in.LastErrMsg();
  EXPECT_EQ(ReadNonBlocking(), AVERROR(EAGAIN));
  ASSERT_TRUE(gState->Complete(1));
  ASSERT_TRUE(gState->Complete(2));
  gState->End();
  EXPECT_TRUE(log->Has("waveIn device closed."));
  EXPECT_TRUE(log->Has("The sound server ended the recording stream; the recording goes on without sound."));
  gState->Complete(3);  // ignored: capture has ended
  ASSERT_EQ(in.ReadPacket(pkt.get()), 4096);
  EXPECT_EQ(pkt->data[0], 1);
  ASSERT_EQ(in.ReadPacket(pkt.get()), 4096);
  EXPECT_EQ(pkt->data[0], 2);
  EXPECT_EQ(in.ReadPacket(pkt.get()), AVERROR_EOF);
  EXPECT_EQ(in.ReadPacket(pkt.get()), AVERROR_EOF);
}

TEST_F(WaveCapture, AFailedRequeueStopsCaptureAfterTheLastGoodPacket) {
  gState->AddErrorAfter = 3;  // both buffers at the start, one requeue
  ASSERT_EQ(Open(""), 0) << in.LastErrMsg();
  EXPECT_EQ(ReadNonBlocking(), AVERROR(EAGAIN));
  ASSERT_TRUE(gState->Complete(1));  // requeued
  ASSERT_TRUE(gState->Complete(2));  // requeue refused: capture stops
  EXPECT_TRUE(log->Has("Fake wave error 5"));
  ASSERT_EQ(in.ReadPacket(pkt.get()), 4096);
  ASSERT_EQ(in.ReadPacket(pkt.get()), 4096);
  EXPECT_EQ(in.ReadPacket(pkt.get()), AVERROR_EOF);
}

TEST_F(WaveCapture, ABlockingReadWaitsOneSecondThenAsksAgain) {
  ASSERT_EQ(Open(""), 0) << in.LastErrMsg();
  const auto t0 = std::chrono::steady_clock::now();
  EXPECT_EQ(in.ReadPacket(pkt.get()), AVERROR(EAGAIN));
  EXPECT_GE(std::chrono::steady_clock::now() - t0, std::chrono::milliseconds(990));
  EXPECT_TRUE(log->Has("wait timeout, need read again"));

  // A packet that arrives while the reader waits wakes it.
  std::thread feeder([this] {
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    gState->Complete(4);
  });
  EXPECT_EQ(in.ReadPacket(pkt.get()), 4096);
  feeder.join();
}

TEST_F(WaveCapture, CloseReleasesTheDeviceAndDropsWhatIsQueued) {
  ASSERT_EQ(Open(""), 0) << in.LastErrMsg();
  EXPECT_EQ(ReadNonBlocking(), AVERROR(EAGAIN));
  ASSERT_TRUE(gState->Complete(1));
  in.Close();
  EXPECT_TRUE(gState->Reset);
  EXPECT_TRUE(gState->Closed);
  EXPECT_EQ(gState->Queued(), 0u);
}

}  // namespace
