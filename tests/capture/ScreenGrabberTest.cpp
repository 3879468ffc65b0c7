// The screen grabber's geometry, pixels, cursor and pacing against a fake
// screen and a fake clock, opened through the input adapter.
#include <gtest/gtest.h>

#include <memory>

#include "CaptureTestSupport.h"
#include "FakeScreen.h"
#include "capture/CaptureInput.h"
#include "capture/ScreenCapture.h"
#include "media/FFBindings.h"
#include "media/FFHandles.h"

using namespace capture;
using capture::test::TFakeClock;
using capture::test::TFakeScreen;

namespace {

// The screen and clock the next open of "fakescreen" uses.
std::unique_ptr<TFakeScreen> gNextScreen;
TFakeClock* gNextClock = nullptr;

int FakeHeader(AVFormatContext* s, const TFormatParameters* ap) {
  return ScreenCaptureReadHeader(s, ap, std::move(gNextScreen), *gNextClock);
}

const TCaptureDevice kFakeScreen{"fakescreen", "Screen capture on a fake screen", &MakePrivData<Twin32_grab>,
                                 &FakeHeader, &ScreenCaptureReadPacket, &ScreenCaptureReadClose,
                                 ScreenCaptureDevice().read_pause, ScreenCaptureDevice().read_play};

uint32_t Pixel(const AVPacket* p, int width, int x, int y) {
  uint32_t v;
  std::memcpy(&v, p->data + (y * width + x) * 4, 4);
  return v;
}

struct Grabber : ::testing::Test {
  static void SetUpTestSuite() {
    test::LoadMediaLibraries();
    RegisterInputFormat(kFakeScreen);
  }
  void SetUp() override {
    gNextScreen = std::make_unique<TFakeScreen>();
    screen = gNextScreen.get();
    screen->Clock = &clock;
    gNextClock = &clock;
  }
  int Open(const std::string& options) {
    const int r = in.Open("fakescreen", options);
    return r;
  }
  Twin32_grab& Record() { return *static_cast<Twin32_grab*>(in.Context()->priv_data); }
  int Read() { return in.ReadPacket(pkt.get()); }

  test::TLogLines log;
  TFakeClock clock;
  TFakeScreen* screen = nullptr;  // owned by the open device
  TDeviceInput in;
  media::PacketPtr pkt{ff::av_packet_alloc()};
};

}  // namespace

TEST_F(Grabber, StreamDescribesTheClampedRectangle) {
  ASSERT_EQ(Open("offset=100,0;framesize=4000,1024;framerate=25/1"), 0) << in.LastErrMsg();
  const AVCodecParameters* par = in.CodecParameters();
  EXPECT_EQ(par->width, 1180);  // clamped to the 1280-wide screen
  EXPECT_EQ(par->height, 1024);
  EXPECT_EQ(par->format, AV_PIX_FMT_BGR0);
  EXPECT_EQ(par->codec_id, AV_CODEC_ID_RAWVIDEO);
  EXPECT_EQ(par->bit_rate, int64_t(1180) * 1024 * 4 * 8 * 25);  // beyond 32 bits
  EXPECT_EQ(in.FrameRate().num, 25);
  EXPECT_EQ(in.TimeBase().den, 1000000);
  EXPECT_TRUE(in.Context()->flags & AVFMT_FLAG_NOPARSE);
  EXPECT_TRUE(log.Has("ready for capturing 1180x1024x32 at (100,0)"));
  EXPECT_EQ(Record().pacer.Started(), 0);
  ASSERT_EQ(Read(), 1180 * 1024 * 4);  // tightly packed rows
  EXPECT_EQ(Record().pacer.Started(), 1);
}

TEST_F(Grabber, EmptyRectangleIsRefused) {
  EXPECT_EQ(Open("offset=1280,0"), AVERROR(EIO));
  EXPECT_EQ(in.LastErrMsg(), "Invalid properties, aborting");
  SetUp();
  EXPECT_EQ(Open("offset=0,2000;framesize=10,10"), AVERROR(EIO));
}

TEST_F(Grabber, UnsupportedLayoutIsRefused) {
  screen->Fmt = {32, 32, platform::TPixelLayout::Unsupported};
  EXPECT_EQ(Open(""), -1);
  EXPECT_EQ(in.LastErrMsg(), "image depth 32 not supported ... aborting");
}

TEST_F(Grabber, CopiesExactPixelsAtTheOffsetAndBlackOffTheScreen) {
  ASSERT_EQ(Open("offset=10,20;framesize=4,3"), 0);
  ASSERT_EQ(Read(), 4 * 3 * 4);
  for (int y = 0; y < 3; ++y)
    for (int x = 0; x < 4; ++x) EXPECT_EQ(Pixel(pkt.get(), 4, x, y), TFakeScreen::PixelAt(10 + x, 20 + y));
  in.Close();

  SetUp();
  ASSERT_EQ(Open("offset=-2,-1;framesize=4,3"), 0);
  ASSERT_EQ(Read(), 48);
  EXPECT_EQ(Pixel(pkt.get(), 4, 0, 0), 0u);
  EXPECT_EQ(Pixel(pkt.get(), 4, 1, 2), 0u);
  EXPECT_EQ(Pixel(pkt.get(), 4, 3, 0), 0u);  // row above the screen
  EXPECT_EQ(Pixel(pkt.get(), 4, 2, 1), TFakeScreen::PixelAt(0, 0));
  EXPECT_EQ(Pixel(pkt.get(), 4, 3, 2), TFakeScreen::PixelAt(1, 1));
}

TEST_F(Grabber, CapturesAWindowAndFollowsItWhenItMoves) {
  screen->Windows[77] = {200, 100, 300, 200};
  ASSERT_EQ(Open("hwnd=77;client=1;offset=0,0"), 0);
  EXPECT_EQ(in.CodecParameters()->width, 300);
  ASSERT_GT(Read(), 0);
  EXPECT_EQ(Pixel(pkt.get(), 300, 0, 0), TFakeScreen::PixelAt(200, 100));
  screen->Windows[77] = {210, 120, 300, 200};
  ASSERT_GT(Read(), 0);
  EXPECT_EQ(Pixel(pkt.get(), 300, 5, 5), TFakeScreen::PixelAt(215, 125));
  screen->Windows.erase(77);  // the window goes away
  EXPECT_EQ(Read(), -1);
  EXPECT_TRUE(log.Has("Failed to capture image (error 3)"));
  in.Close();

  SetUp();
  screen->Windows[77] = {200, 100, 300, 200};
  ASSERT_EQ(Open("hwnd=77"), 0);  // with the frame: 5 left, 20 above
  EXPECT_EQ(in.CodecParameters()->width, 310);
  EXPECT_EQ(in.CodecParameters()->height, 225);
  ASSERT_GT(Read(), 0);
  EXPECT_EQ(Pixel(pkt.get(), 310, 0, 0), TFakeScreen::PixelAt(195, 80));

  SetUp();
  EXPECT_EQ(Open("hwnd=99"), AVERROR(EIO));
  EXPECT_EQ(in.LastErrMsg(), "Couldn't get window DC (error 3)");
}

TEST_F(Grabber, FindsWindowsByTitleAndFallsBackToTheScreen) {
  screen->Windows[77] = {200, 100, 300, 200};
  screen->Titles["Editor; notes=1"] = 77;
  ASSERT_EQ(Open("client=1;title=Editor; notes=1"), 0);
  EXPECT_EQ(Record().window_handle, 77u);
  EXPECT_TRUE(log.Has("Found window Editor; notes=1, ready for capturing 300x200x32 at (0,0)"));
  in.Close();

  SetUp();
  ASSERT_EQ(Open("title=No such window"), 0);
  EXPECT_EQ(Record().window_handle, 0u);
  EXPECT_EQ(in.CodecParameters()->width, 1280);
  EXPECT_TRUE(log.Has("Found window No such window, ready for capturing 1280x1024x32 at (0,0)"));
}

TEST_F(Grabber, AssumesFifteenFramesPerSecondWithoutARate) {
  ASSERT_EQ(Open("framesize=8,8"), 0);
  EXPECT_TRUE(log.Has("frame rate assume as 15/1."));
  EXPECT_EQ(in.FrameRate().num, 15);
  EXPECT_EQ(in.FrameRate().den, 1);
  SetUp();
  TFormatParameters ap;
  ap.time_base = AVRational{1, 30};  // the engine's rate serves when no key sets one
  ASSERT_EQ(in.Open("fakescreen", "framesize=8,8", &ap), 0);
  EXPECT_EQ(in.FrameRate().num, 30);
}

TEST_F(Grabber, PaintsTheCursorAtItsHotSpotAndStopsAfterAnError) {
  screen->CursorImage = {50, 60, 1, 1, 2, 2, {0xFFFF0000u, 0x80800000u, 0, 0xFF00FF00u}};
  ASSERT_EQ(Open("offset=40,50;framesize=20,20;cursor=1"), 0);
  ASSERT_GT(Read(), 0);
  // The image's top-left pixel lands at screen (49,59): frame (9,9).
  EXPECT_EQ(Pixel(pkt.get(), 20, 9, 9) & 0xFFFFFF, 0xFF0000u);
  const uint32_t under = TFakeScreen::PixelAt(50, 59);
  const uint32_t half = Pixel(pkt.get(), 20, 10, 9);  // premultiplied half red over the screen
  EXPECT_EQ(half >> 16 & 0xFF, 0x80 + (under >> 16 & 0xFF) * 127 / 255);
  EXPECT_EQ(half & 0xFF, (under & 0xFF) * 127 / 255);
  EXPECT_EQ(Pixel(pkt.get(), 20, 9, 10), TFakeScreen::PixelAt(49, 60));  // transparent
  EXPECT_EQ(Pixel(pkt.get(), 20, 10, 10) & 0xFFFFFF, 0x00FF00u);

  screen->CursorFails = true;
  ASSERT_GT(Read(), 0);  // the frame still goes out
  EXPECT_TRUE(log.Has("Couldn't get cursor info: error 17"));
  EXPECT_EQ(Record().cursor, 0);
  EXPECT_EQ(Pixel(pkt.get(), 20, 9, 9), TFakeScreen::PixelAt(49, 59));
}

TEST(CursorBlend, SixteenBitAndPalettedFrames) {
  platform::TCursorImage c{1, 0, 0, 0, 1, 1, {0xFFFFFFFFu}};
  uint8_t rgb565[4] = {0, 0, 0, 0};
  BlendCursor(c, platform::TPixelLayout::RGB565, rgb565, 2, 1, 0, 0, nullptr);
  EXPECT_EQ(rgb565[2] | rgb565[3] << 8, 0xFFFF);
  EXPECT_EQ(rgb565[0], 0);
  uint8_t rgb555[2] = {0, 0};
  BlendCursor(c, platform::TPixelLayout::RGB555, rgb555, 1, 1, 1, 0, nullptr);
  EXPECT_EQ(rgb555[0] | rgb555[1] << 8, 0x7FFF);
  uint8_t bgr24[6] = {1, 2, 3, 4, 5, 6};
  BlendCursor(c, platform::TPixelLayout::BGR24, bgr24, 2, 1, 0, 0, nullptr);
  EXPECT_EQ(bgr24[0] + bgr24[1] + bgr24[2], 6);  // left of the cursor: untouched
  EXPECT_EQ(bgr24[3] & bgr24[4] & bgr24[5], 0xFF);
  uint32_t palette[256];
  for (int i = 0; i < 256; ++i) palette[i] = 0xFF000000u | uint32_t(i);  // shades of blue
  palette[9] = 0xFFFFFFFFu;
  uint8_t pal8[2] = {0, 0};
  BlendCursor(c, platform::TPixelLayout::PAL8, pal8, 2, 1, 0, 0, palette);
  EXPECT_EQ(pal8[1], 9);  // the nearest entry to white
  EXPECT_EQ(pal8[0], 0);
}

TEST_F(Grabber, FramesComeOnePeriodApartStampedOnTheirSlots) {
  ASSERT_EQ(Open("framesize=8,8;framerate=10/1"), 0);
  int64_t previous = 0;
  for (int64_t n = 0; n < 4; ++n) {
    ASSERT_GT(Read(), 0);
    EXPECT_EQ(pkt->pts, n * 100000);
    EXPECT_EQ(pkt->duration, 100000);
    if (n > 0) {
      EXPECT_EQ(clock.Now() - previous, 100000);
    }
    previous = clock.Now();
  }
}

TEST_F(Grabber, ASlowFrameLeavesAGapThatFollowsTheClock) {
  screen->GrabCostUs = 250000;  // each frame takes 250 ms at 10 frames per second
  ASSERT_EQ(Open("framesize=8,8;framerate=10/1"), 0);
  const int64_t open = clock.Now();
  std::vector<int64_t> pts, started;
  for (int n = 0; n < 5; ++n) {
    ASSERT_GT(Read(), 0);
    pts.push_back(pkt->pts);
    started.push_back(clock.Now() - 250000);  // when the copy began
  }
  EXPECT_EQ(pts[0], 0);
  EXPECT_EQ(pts[1], 200000);  // the 100 ms slot was skipped: a gap, no catching up
  for (size_t n = 0; n < pts.size(); ++n) {
    // Each frame is stamped with the slot that began last before its copy.
    const int64_t sinceFirst = started[n] - (open + 100000);
    EXPECT_LE(pts[n], sinceFirst);
    EXPECT_GT(pts[n], sinceFirst - 100000);
    if (n > 0) {
      EXPECT_GT(pts[n], pts[n - 1]);
    }
  }
}

TEST_F(Grabber, APauseShiftsTheScheduleInsteadOfLeavingAGap) {
  ASSERT_EQ(Open("framesize=8,8;framerate=10/1"), 0);
  ASSERT_GT(Read(), 0);
  ASSERT_GT(Read(), 0);
  EXPECT_EQ(pkt->pts, 100000);
  in.Pause();
  clock.Advance(3000000);
  in.Resume();
  const int64_t resumed = clock.Now();
  ASSERT_GT(Read(), 0);
  EXPECT_EQ(pkt->pts, 200000);
  EXPECT_GT(clock.Now(), resumed);  // waited for its slot, not fired at once
  ASSERT_GT(Read(), 0);
  EXPECT_EQ(pkt->pts, 300000);

  // A reader that stalls without pausing leaves the stall in the timeline.
  clock.Advance(3000000);
  ASSERT_GT(Read(), 0);
  EXPECT_EQ(pkt->pts, 3300000);
  ASSERT_GT(Read(), 0);
  EXPECT_EQ(pkt->pts, 3400000);
}

TEST_F(Grabber, FractionalRatesDoNotDrift) {
  ASSERT_EQ(Open("framesize=2,2;framerate=30000/1001"), 0);
  int64_t previous = -1;
  for (int n = 0; n <= 3000; ++n) {
    ASSERT_GT(Read(), 0);
    if (previous >= 0) {
      ASSERT_GE(pkt->pts - previous, 33366);
      ASSERT_LE(pkt->pts - previous, 33367);
    }
    previous = pkt->pts;
  }
  EXPECT_EQ(previous, 100100000);  // 3000 frames at 29.97 per second: 100.1 s
}
