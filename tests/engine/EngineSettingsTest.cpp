// Construction, defaults and the release of a task's resources.
#include <sys/stat.h>

#include <fstream>

#include "EngineTestSupport.h"

namespace enginetest {
using engine::TCustomFFmpeg;

class EngineSettings : public EngineTest {};

TEST_F(EngineSettings, CapacityMustBeOneTo512) {
  EXPECT_THROW(TCustomFFmpeg(0), engine::EFFmpegAssertion);
  EXPECT_THROW(TCustomFFmpeg(513), engine::EFFmpegAssertion);
  EXPECT_NO_THROW(TCustomFFmpeg(1));
  TCustomFFmpeg big(512);
  EXPECT_EQ(big.MaxFiles(), 512);
}

TEST_F(EngineSettings, NewEngineHasTheDefaults) {
  TCustomFFmpeg e(4);
  EXPECT_EQ(e.Fframe_rate.num, 25);
  EXPECT_EQ(e.Fframe_rate.den, 0);
  EXPECT_EQ(e.Faudio_sample_rate, 44100);
  EXPECT_EQ(e.Faudio_channels, 2);
  EXPECT_EQ(e.Fsws_flags, 4u);
  EXPECT_EQ(e.Fvideo_sync_method, -1);
  EXPECT_EQ(e.Faudio_volume, 256);
  EXPECT_EQ(e.Fbit_buffer_size, 262144);
  EXPECT_EQ(e.ReportInterval, 500000);
  EXPECT_EQ(e.PreviewInterval, 100000);
  EXPECT_EQ(e.ReadTimeout(), 10000);
  EXPECT_EQ(e.TotalOutputDuration(), -1);
  EXPECT_EQ(e.Fframe_pix_fmt, AV_PIX_FMT_NONE);
  EXPECT_EQ(e.Frecording_time, engine::kNoTime);
  EXPECT_TRUE(e.HaltOnInvalidOption);
  EXPECT_FALSE(e.Converting() || e.Terminated() || e.Finished() || e.FatalException());
}

TEST_F(EngineSettings, EmptyOutputIsDeletedAndSettingsStay) {
  const std::string out = Out("empty.avi");
  {
    TCustomFFmpeg e(2);
    e.SetExtOption("s", "320x240");
    ASSERT_TRUE(e.OpenInput(AvFile())) << e.LastErrMsg();
    ASSERT_EQ(e.OpenOutput(out, false), 1) << e.LastErrMsg();
    struct stat sb {};
    ASSERT_EQ(::stat(out.c_str(), &sb), 0);
    EXPECT_EQ(sb.st_size, 0);
  }
  struct stat sb {};
  EXPECT_NE(::stat(out.c_str(), &sb), 0) << "a 0-byte output is not left behind";
}

TEST_F(EngineSettings, OutputWithDataIsKept) {
  // A file the muxer wrote its header into survives the release.
  const std::string out = Out("kept.avi");
  {
    TCustomFFmpeg e(2);
    e.SetExtOption("an", "");
    ASSERT_TRUE(e.OpenInput(AvFile())) << e.LastErrMsg();
    ASSERT_EQ(e.OpenOutput(out, false), 1) << e.LastErrMsg();
    AVFormatContext* oc = e.OutputFile(0);
    engine::TAVOutputStream* os = e.OutputStream(0, 0);
    ASSERT_NE(os, nullptr);
    ASSERT_GE(ff::avcodec_open2(os->enc.get(), nullptr, nullptr), 0);
    ff::avcodec_parameters_from_context(os->st->codecpar, os->enc.get());
    ASSERT_GE(ff::avformat_write_header(oc, nullptr), 0);
    ff::avio_flush(oc->pb);
  }
  struct stat sb {};
  ASSERT_EQ(::stat(out.c_str(), &sb), 0);
  EXPECT_GT(sb.st_size, 0);
}

}  // namespace enginetest
