// Option records: text forms, per-stream queues (which encoder lands on which
// stream), and which settings an output record overrides and which survive.
#include <ctime>

#include "encoder/FFEncode.h"
#include "engine/EngineTestSupport.h"
#include "engine/FFmpegRunTables.h"

namespace enginetest {
using namespace encoder;

TEST(RecordText, LinesAndTextForms) {
  const auto lines = SplitOptionLines("  Alang=eng<CRLF>vn\r\nR=25\rs=a=b\n");
  ASSERT_EQ(lines.size(), 4u);
  EXPECT_EQ(lines[0], TOptionLine("alang", "eng"));
  EXPECT_EQ(lines[1], TOptionLine("vn", ""));
  EXPECT_EQ(lines[2], TOptionLine("r", "25"));
  EXPECT_EQ(lines[3], TOptionLine("s", "a=b")) << "split at the first =";

  TOutputOptions o = OutputOptionsFromText(
      "AudioHook=\nvideoinputhook=0\nJOIN=1\nVideoHookBitsPixel=abc\nTimeLength=5000000\n"
      "TimeStart=soon\nr=10");
  EXPECT_TRUE(o.AudioHook) << "an empty value means on";
  EXPECT_FALSE(o.VideoInputHook);
  EXPECT_TRUE(o.Join);
  EXPECT_EQ(o.VideoHookBitsPixel, 24);
  EXPECT_EQ(o.TimeLength, 5000000);
  EXPECT_EQ(o.TimeStart, kTimeNotSet);
  EXPECT_EQ(o.ExtOptions, "r=10\n");

  TInputOptions i = InputOptionsFromText("timestart=1000<CRLF>f=avi");
  EXPECT_EQ(i.TimeStart, 1000);
  EXPECT_EQ(i.ExtOptions, "f=avi\n");
}

TEST(RecordText, TimeStampUsesStandardBias) {
  setenv("TZ", "UTC+2", 1);  // two hours west of UTC
  tzset();
  // 1970-01-02 00:00 local is 02:00 UTC.
  EXPECT_EQ(RecordingTimestamp(25570.0), 86400 + 7200);
  setenv("TZ", "UTC", 1);
  tzset();
  EXPECT_EQ(RecordingTimestamp(25569.5), 43200);
  EXPECT_NEAR(static_cast<double>(RecordingTimestamp(NowDateTime())),
              static_cast<double>(std::time(nullptr)), 2.0);
}

TEST(RecordQueues, DefaultsServeFirstStreamAndFirstExtraStream) {
  TOutputOptions o;
  o.ExtOptions = "vcodec=mpeg4\nnewvideo\nvcodec=libx264\nnewvideo\nvfilters=hflip\nvcodec=\n";
  TStreamOptionQueues q(o);
  EXPECT_EQ(q.Default("vcodec"), "mpeg4");
  EXPECT_EQ(q.Default("vf"), "hflip") << "vfilters counts as vf";
  EXPECT_EQ(q.Take("vcodec"), "mpeg4");
  EXPECT_EQ(q.Take("vcodec"), "libx264");
  EXPECT_EQ(q.Take("vcodec"), "mpeg4") << "an empty queue gives the default";
  o.VideoCodec = "mjpeg";
  TStreamOptionQueues q2(o);
  EXPECT_EQ(q2.Default("vcodec"), "mjpeg");
  EXPECT_EQ(q2.Take("vcodec"), "mpeg4");
}

class Records : public EngineTest {
 protected:
  void SetUp() override { e = std::make_unique<engine::TCustomFFmpeg>(2); }
  void Apply(const TOutputOptions& AOptions) {
    TStreamOptionQueues q(AOptions);
    ApplyOutputOptions(*e, AOptions, q);
  }
  std::unique_ptr<engine::TCustomFFmpeg> e;
};

TEST_F(Records, FreshRecordChangesOnlyTheAlwaysFields) {
  e->SetExtOption("alang", "deu");
  e->SetExtOption("async", "3");
  e->SetExtOption("vsync", "2");
  e->SetExtOption("isync", "1");
  e->SetExtOption("ar", "8000");
  e->SetExtOption("vol", "512");
  e->SetExtOption("r", "12");
  TOutputOptions o;
  Apply(o);
  EXPECT_EQ(e->Faudio_language, "");
  EXPECT_EQ(e->Faudio_sync_method, 0);
  EXPECT_EQ(e->Fvideo_sync_method, -1);
  EXPECT_FALSE(e->Finput_sync);
  EXPECT_EQ(e->Faudio_sample_rate, 8000);
  EXPECT_EQ(e->Faudio_volume, 512);
  EXPECT_EQ(e->Fframe_rate.num, 12);
  EXPECT_EQ(e->FOptions.Count(), 0) << "no library option from defaults";
}

TEST_F(Records, OptionLinesAgainstRecordFields) {
  TOutputOptions o;
  o.ExtOptions = "alang=eng\nvsync=1\nar=22050\nb=300000";
  Apply(o);
  EXPECT_EQ(e->Faudio_language, "") << "the record's language is always written";
  EXPECT_EQ(e->Fvideo_sync_method, -1);
  EXPECT_EQ(e->Faudio_sample_rate, 22050) << "survives an unset sample rate";
  o.AudioSampleRate = 48000;
  Apply(o);
  EXPECT_EQ(e->Faudio_sample_rate, 48000);
  // A target's audio bit rate wins over the record's.
  e = std::make_unique<engine::TCustomFFmpeg>(2);
  TOutputOptions dvd;
  dvd.TargetType = ttDVD;
  dvd.NormType = ntPAL;
  dvd.AudioBitrate = 64000;
  dvd.VideoBitrate = 100000;
  Apply(dvd);
  int64_t ab = 0, vb = 0;
  ff::av_opt_get_int(e->FOptions.CodecDefaults(AVMEDIA_TYPE_AUDIO), "b", 0, &ab);
  ff::av_opt_get_int(e->FOptions.CodecDefaults(AVMEDIA_TYPE_VIDEO), "b", 0, &vb);
  EXPECT_EQ(ab, 448000);
  EXPECT_EQ(vb, 6000000);
  EXPECT_EQ(e->Fframe_width, 720);
}

TEST_F(Records, FieldsAndStampAndMetadata) {
  TOutputOptions o;
  o.Info.TimeStamp = 0;
  o.Info.Title = "Demo";
  o.Info.Year = 2026;
  o.TimeLength = 3000000;
  o.TimeStart = 500000;
  o.DisableAudio = true;
  o.FrameSize = "320x240";
  o.VideoFilters = "hflip";
  o.GroupPictureSize = 12;
  Apply(o);
  EXPECT_NEAR(static_cast<double>(e->Frecording_timestamp), static_cast<double>(std::time(nullptr)), 2);
  EXPECT_EQ(e->Frecording_time, 3000000);
  EXPECT_EQ(e->TotalOutputDuration(), 3000000);
  EXPECT_EQ(e->Fstart_time, 500000);
  EXPECT_TRUE(e->Faudio_disable);
  EXPECT_EQ(e->Fframe_width, 320);
  EXPECT_EQ(e->Fvfilters, "hflip");
  ASSERT_TRUE(ff::av_dict_get(e->Fmetadata.Get(), "title", nullptr, 0));
  EXPECT_STREQ(ff::av_dict_get(e->Fmetadata.Get(), "year", nullptr, 0)->value, "2026");
  // TimeStamp -1 leaves the stamp alone.
  e->Frecording_timestamp = 77;
  Apply(TOutputOptions());
  EXPECT_EQ(e->Frecording_timestamp, 77);
}

// Through the encoder: the queues put the expected encoders on the expected
// streams of a real output.
TEST_F(Records, ExtraStreamsTakeQueuedEncoders) {
  TFFEncoder enc;
  TInputOptions in;
  const int task = enc.AddTask(VideoFile(), &in);
  ASSERT_EQ(task, 0) << enc.LastErrMsg();
  EXPECT_EQ(in.FileName, VideoFile()) << "an empty FileName is filled in";
  TOutputOptions o;
  o.ExtOptions = "vcodec=mpeg4\nnewvideo\nvcodec=mjpeg\nnewvideo\nan";
  ASSERT_TRUE(enc.SetOutputFile(task, Out("streams.mkv"), &o)) << enc.LastErrMsg();
  engine::TCustomFFmpeg* t = enc.Task(task);
  const char* expected[] = {"mpeg4", "mpeg4", "mjpeg"};
  for (int s = 0; s < 3; ++s) {
    engine::TAVOutputStream* ost = t->OutputStream(0, s);
    ASSERT_NE(ost, nullptr) << s;
    ASSERT_TRUE(ost->enc) << s;
    EXPECT_STREQ(ff::avcodec_get_name(ost->enc->codec_id), expected[s]) << s;
  }
  EXPECT_EQ(t->OutputStream(0, 3), nullptr);
}

}  // namespace enginetest
