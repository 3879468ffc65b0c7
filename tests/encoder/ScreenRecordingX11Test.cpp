// An H.264 recording of the X screen through the encoder, configured the
// way the main window configures it: the screen device as the task's input,
// libx264 with the libx264-default preset, a scale filter, no sound.
#include <cstdlib>

#include "capture/CaptureDevices.h"
#include "encoder/FFEncode.h"
#include "engine/EngineTestSupport.h"

namespace enginetest {
using namespace encoder;

namespace {

struct TFormatCloser {
  void operator()(AVFormatContext* p) const { ff::avformat_close_input(&p); }
};

}  // namespace

TEST_F(EngineTest, H264ScreenRecordingWithTheDefaultPreset) {
  if (!std::getenv("DISPLAY")) GTEST_SKIP() << "no X display";
  if (!ff::avcodec_find_encoder_by_name("libx264")) GTEST_SKIP() << "libx264 is not available";
  capture::RegisterScreenCapture();
  TTerminateInfo taskEnd;
  platform::TEvent done;  // outlives the encoder, whose threads set it
  TFFEncoder enc;
  enc.OnTerminate = [&](void*, const TTerminateInfo& AInfo) {
    if (AInfo.TaskIndex == 0) taskEnd = AInfo;
    if (AInfo.TaskIndex == -1) done.Set();
  };
  TInputOptions input;
  input.ForceFormat = "screencapture";
  const int task = enc.AddTask("offset=0,0;framesize=320,240;framerate=5/1;showframe=0;cursor=1", &input);
  ASSERT_EQ(task, 0) << enc.LastErrMsg();

  TOutputOptions output;
  output.VideoCodec = "libx264";
  output.VideoPreset = "libx264-default";
  output.VideoBitrate = 500000;
  output.AudioCodec = "aac";
  output.DisableAudio = true;
  output.VideoFilters = "scale=256:192";
  output.TimeLength = 2000000;
  const std::string path = Out("screen.mp4");
  ASSERT_TRUE(enc.SetOutputFile(task, path, &output)) << enc.LastErrMsg();
  enc.Start(1);
  ASSERT_TRUE(done.Wait(60000));
  ASSERT_TRUE(taskEnd.Finished) << taskEnd.ExceptionMsg;
  EXPECT_FALSE(taskEnd.Exception) << taskEnd.ExceptionMsg;

  // Decode the file with the library: H.264, the scaled size, two seconds.
  AVFormatContext* raw = nullptr;
  ASSERT_EQ(ff::avformat_open_input(&raw, path.c_str(), nullptr, nullptr), 0);
  std::unique_ptr<AVFormatContext, TFormatCloser> ic(raw);
  ASSERT_GE(ff::avformat_find_stream_info(ic.get(), nullptr), 0);
  ASSERT_EQ(ic->nb_streams, 1u);
  const AVCodecParameters* par = ic->streams[0]->codecpar;
  EXPECT_EQ(par->codec_id, AV_CODEC_ID_H264);
  EXPECT_EQ(par->width, 256);
  EXPECT_EQ(par->height, 192);
  int packets = 0;
  engine::PacketPtr pkt(ff::av_packet_alloc());
  while (ff::av_read_frame(ic.get(), pkt.get()) >= 0) {
    ++packets;
    ff::av_packet_unref(pkt.get());
  }
  EXPECT_GE(packets, 9);
  EXPECT_LE(packets, 11);
}

}  // namespace enginetest
