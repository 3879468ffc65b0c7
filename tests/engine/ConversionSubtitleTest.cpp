// Subtitle encoding: a hand-written SubRip file converted into other
// subtitle codecs, checked by decoding the output's texts and times.
#include <fstream>

#include "EngineTestSupport.h"
#include "media/FFHandles.h"

namespace enginetest {
using engine::TCustomFFmpeg;

struct TCue {
  double start, end;  // seconds
  std::string text;   // as the decoder gives it (ASS dialogue line)
};

// Parameter: the subtitle encoder and the output file.
class Subtitles : public EngineTest,
                  public ::testing::WithParamInterface<std::pair<const char*, const char*>> {
 protected:
  static std::string WriteSrt() {
    const std::string path = Out("cues.srt");
    std::ofstream f(path);
    f << "1\n00:00:01,000 --> 00:00:02,500\nFirst cue\n\n"
         "2\n00:00:04,000 --> 00:00:05,250\nSecond cue\n\n";
    return path;
  }
  // Every subtitle of the file's first subtitle stream, decoded.
  static std::vector<TCue> ReadCues(const std::string& APath) {
    std::vector<TCue> cues;
    AVFormatContext* raw = nullptr;
    if (ff::avformat_open_input(&raw, APath.c_str(), nullptr, nullptr) < 0) return cues;
    media::InputCtxPtr ic(raw);
    if (ff::avformat_find_stream_info(ic.get(), nullptr) < 0) return cues;
    const int s = ff::av_find_best_stream(ic.get(), AVMEDIA_TYPE_SUBTITLE, -1, -1, nullptr, 0);
    if (s < 0) return cues;
    AVStream* st = ic->streams[s];
    media::CodecCtxPtr dec(ff::avcodec_alloc_context3(ff::avcodec_find_decoder(st->codecpar->codec_id)));
    if (!dec || ff::avcodec_parameters_to_context(dec.get(), st->codecpar) < 0 ||
        ff::avcodec_open2(dec.get(), dec->codec, nullptr) < 0)
      return cues;
    media::PacketPtr pkt(ff::av_packet_alloc());
    while (ff::av_read_frame(ic.get(), pkt.get()) >= 0) {
      if (pkt->stream_index == s) {
        AVSubtitle sub{};
        int got = 0;
        if (ff::avcodec_decode_subtitle2(dec.get(), &sub, &got, pkt.get()) >= 0 && got) {
          const double at = pkt->pts * av_q2d(st->time_base);
          const double start = at + sub.start_display_time / 1000.0;
          const double end = pkt->duration > 0 ? at + pkt->duration * av_q2d(st->time_base)
                                               : at + sub.end_display_time / 1000.0;
          std::string text;
          for (unsigned r = 0; r < sub.num_rects; ++r)
            if (sub.rects[r]->ass) text += sub.rects[r]->ass;
          cues.push_back({start, end, text});
          ff::avsubtitle_free(&sub);
        }
      }
      ff::av_packet_unref(pkt.get());
    }
    return cues;
  }
};

TEST_P(Subtitles, TextsAndTimesSurviveTheEncoder) {
  const auto [codec, name] = GetParam();
  TCustomFFmpeg e(2);
  ASSERT_TRUE(e.OpenInput(WriteSrt())) << e.LastErrMsg();
  e.SetExtOption("scodec", codec);
  const std::string out = Out(name);
  ASSERT_EQ(e.OpenOutput(out, false), 1) << e.LastErrMsg();
  TLogCollector log;
  e.StartConvert(false);
  ASSERT_EQ(e.FatalMessage(), "") << log.All();
  const std::vector<TCue> cues = ReadCues(out);
  ASSERT_EQ(cues.size(), 2u);
  EXPECT_NE(cues[0].text.find("First cue"), std::string::npos) << cues[0].text;
  EXPECT_NE(cues[1].text.find("Second cue"), std::string::npos) << cues[1].text;
  EXPECT_NEAR(cues[0].start, 1.0, 0.002);
  EXPECT_NEAR(cues[0].end, 2.5, 0.002);
  EXPECT_NEAR(cues[1].start, 4.0, 0.002);
  EXPECT_NEAR(cues[1].end, 5.25, 0.002);
}
INSTANTIATE_TEST_SUITE_P(Codecs, Subtitles,
                         ::testing::Values(std::make_pair("ass", "cues.mkv"),
                                           std::make_pair("mov_text", "cues.mp4")));

}  // namespace enginetest
