// The device registry and the input adapter, with a device of the test's own.
#include <gtest/gtest.h>

#include <algorithm>
#include <memory>

#include "CaptureTestSupport.h"
#include "capture/CaptureInput.h"
#include "capture/CaptureOptions.h"
#include "capture/ScreenCapture.h"
#include "media/FFBindings.h"
#include "media/FFHandles.h"

using namespace capture;

namespace {

struct TEchoRecord {
  size_t url_length = 0;
  int packets = 0;
  int fail_header = 0;  // value-initialised: starts 0
};

int EchoHeader(AVFormatContext* s, const TFormatParameters*) {
  auto& r = *static_cast<TEchoRecord*>(s->priv_data);
  EXPECT_EQ(r.packets, 0);  // zero-filled
  r.url_length = std::strlen(s->url);
  if (std::string(s->url) == "fail") {
    DeviceLog(s, AV_LOG_ERROR, "Echo refused (error %li)\n", 7L);
    return AVERROR(EIO);
  }
  if (std::string(s->url) == "throw") return StrToInt("x");
  AVStream* st = ff::avformat_new_stream(s, nullptr);
  if (!st) return AVERROR(ENOMEM);
  st->time_base = AVRational{1, 1000000};
  st->avg_frame_rate = AVRational{25, 1};
  st->codecpar->codec_type = AVMEDIA_TYPE_VIDEO;
  return 0;
}

int EchoPacket(AVFormatContext* s, AVPacket* pkt) {
  auto& r = *static_cast<TEchoRecord*>(s->priv_data);
  if (++r.packets > 3) return AVERROR_EOF;
  return ff::av_new_packet(pkt, 10) < 0 ? AVERROR(ENOMEM) : 10;
}

int EchoClose(AVFormatContext*) { return 0; }

const TCaptureDevice kEcho{"echocapture", "Echo", &MakePrivData<TEchoRecord>, &EchoHeader, &EchoPacket,
                           &EchoClose, nullptr, nullptr};

using PacketPtr = media::PacketPtr;

struct DeviceInput : ::testing::Test {
  static void SetUpTestSuite() {
    test::LoadMediaLibraries();
    RegisterInputFormat(kEcho);
  }
  test::TLogLines log;
};

}  // namespace

TEST_F(DeviceInput, RegisteringTwiceKeepsOneEntry) {
  RegisterScreenCapture();
  RegisterScreenCapture();
  RegisterInputFormat(kEcho);
  const auto names = CaptureDeviceNames();
  EXPECT_EQ(std::count(names.begin(), names.end(), "screencapture"), 1);
  EXPECT_EQ(std::count(names.begin(), names.end(), "echocapture"), 1);
  EXPECT_TRUE(TDeviceInput::IsDevice("screencapture"));
  EXPECT_FALSE(TDeviceInput::IsDevice("matroska"));
}

TEST_F(DeviceInput, NumbersPacketsByDurationFromZero) {
  TDeviceInput in;
  ASSERT_EQ(in.Open("echocapture", "x=1"), 0) << in.LastErrMsg();
  EXPECT_EQ(in.TimeBase().den, 1000000);
  EXPECT_EQ(in.FrameRate().num, 25);
  EXPECT_EQ(in.Context()->url, std::string("x=1"));
  PacketPtr pkt(ff::av_packet_alloc());
  for (int64_t n = 0; n < 3; ++n) {
    ASSERT_EQ(in.ReadPacket(pkt.get()), 10);
    EXPECT_EQ(pkt->pts, n * 40000);
    EXPECT_EQ(pkt->dts, n * 40000);
    EXPECT_EQ(pkt->duration, 40000);
    EXPECT_EQ(pkt->stream_index, 0);
  }
  EXPECT_EQ(in.ReadPacket(pkt.get()), AVERROR_EOF);
  in.Close();
  EXPECT_FALSE(in.Opened());
}

TEST_F(DeviceInput, OptionStringIsTruncatedAt1023Characters) {
  TDeviceInput in;
  ASSERT_EQ(in.Open("echocapture", std::string(1100, 'a')), 0);
  EXPECT_EQ(static_cast<TEchoRecord*>(in.Context()->priv_data)->url_length, 1023u);
}

TEST_F(DeviceInput, FailedOpenGivesTheDeviceMessageAndLeavesNothingOpen) {
  TDeviceInput in;
  EXPECT_EQ(in.Open("echocapture", "fail"), AVERROR(EIO));
  EXPECT_EQ(in.LastErrMsg(), "Echo refused (error 7)");
  EXPECT_FALSE(in.Opened());
  EXPECT_TRUE(log.Has("[echocapture @"));  // lines name the device
  EXPECT_EQ(in.Open("echocapture", "throw"), AVERROR(EINVAL));
  EXPECT_EQ(in.LastErrMsg(), "'x' is not a valid integer value");
  EXPECT_EQ(in.Open("nosuchdevice", ""), AVERROR(EINVAL));
  EXPECT_FALSE(in.LastErrMsg().empty());
  PacketPtr pkt(ff::av_packet_alloc());
  EXPECT_LT(in.ReadPacket(pkt.get()), 0);
}

TEST_F(DeviceInput, MalformedScreenOptionFailsTheOpenWithTheConversionMessage) {
  RegisterScreenCapture();
  TDeviceInput in;
  EXPECT_EQ(in.Open("screencapture", "framesize=640x480"), AVERROR(EINVAL));
  EXPECT_EQ(in.LastErrMsg(), "'640x480' is not a valid integer value");
}
