// qsr-record --vcodec libx264 on the X screen: an H.264 file in Matroska
// whose encoder settings are those of the libx264-default preset, which the
// recorder applies to libx264 as the main window does.
#include <sys/wait.h>

#include <cstdlib>
#include <cstring>
#include <string>

#include "engine/EngineTestSupport.h"

namespace enginetest {

namespace {

struct TFormatCloser {
  void operator()(AVFormatContext* p) const { ff::avformat_close_input(&p); }
};

int RunCommand(const std::string& ACommand) {
  const int status = std::system(ACommand.c_str());
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

}  // namespace

TEST_F(EngineTest, QsrRecordH264WithTheDefaultPreset) {
  if (!std::getenv("DISPLAY")) GTEST_SKIP() << "no X display";
  if (!ff::avcodec_find_encoder_by_name("libx264")) GTEST_SKIP() << "libx264 is not available";
  const std::string out = Out("record.mkv");
  ASSERT_EQ(RunCommand(std::string(QSR_RECORD_BIN) +
                " --screen 'offset=0,0;framesize=320,240;framerate=10/1' --vcodec libx264"
                " --duration 2 --output '" + out + "' 2>/dev/null"),
            0);
  AVFormatContext* raw = nullptr;
  ASSERT_EQ(ff::avformat_open_input(&raw, out.c_str(), nullptr, nullptr), 0);
  std::unique_ptr<AVFormatContext, TFormatCloser> ic(raw);
  ASSERT_GE(ff::avformat_find_stream_info(ic.get(), nullptr), 0);
  ASSERT_EQ(ic->nb_streams, 1u);
  const AVCodecParameters* par = ic->streams[0]->codecpar;
  EXPECT_EQ(par->codec_id, AV_CODEC_ID_H264);
  EXPECT_EQ(par->width, 320);
  EXPECT_EQ(par->height, 240);
  // The encoder writes its settings into the first picture.
  engine::PacketPtr pkt(ff::av_packet_alloc());
  std::string settings;
  int packets = 0;
  while (ff::av_read_frame(ic.get(), pkt.get()) >= 0) {
    if (packets++ == 0) settings.assign(reinterpret_cast<const char*>(pkt->data), pkt->size);
    ff::av_packet_unref(pkt.get());
  }
  EXPECT_NEAR(packets, 20, 2);
  // keyint_min and the quantiser range differ from the encoder's defaults.
  for (const char* setting : {"keyint=250", "keyint_min=25", "qpmin=10", "qpmax=51", "direct=1", "weightp=2"})
    EXPECT_NE(settings.find(setting), std::string::npos) << setting;
}

}  // namespace enginetest
