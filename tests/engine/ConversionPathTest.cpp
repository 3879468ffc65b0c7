// The rest of the conversion paths, each checked on the converted file: the
// video statistics file, deinterlacing, chapters moved and cut with the
// start and recording times, drift compensation of a fast sound clock, and
// the size in the progress reports while the file is being written, and
// the session description of an RTP output.
#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <numeric>
#include <regex>

#include "ConversionMedia.h"
#include "EngineTestSupport.h"
#include "engine/FFmpeg.h"

namespace enginetest {
using convtest::DecodeAll;
using convtest::TDecoded;
using engine::TCustomFFmpeg;

class ConversionPath : public EngineTest {
 protected:
  static std::string Run(TCustomFFmpeg& e) {
    e.StartConvert(false);
    return e.FatalMessage();
  }
  static std::string Custom(convtest::TCustomSpec ASpec, const std::string& AName, int AFrames) {
    ASpec.path = Out(AName);
    for (int i = 0; i < AFrames; ++i) ASpec.video_ms.push_back(static_cast<int64_t>(i) * 100);
    std::string err;
    EXPECT_TRUE(convtest::WriteCustomMedia(ASpec, err)) << err;
    return ASpec.path;
  }
  static std::vector<std::string> Lines(const std::string& APath) {
    std::ifstream in(APath);
    std::vector<std::string> v;
    for (std::string l; std::getline(in, l);) v.push_back(l);
    return v;
  }
};

TEST_F(ConversionPath, VideoStatisticsFileHasOneLinePerEncodedPicture) {
  const std::string stats = Out("vstats.log"), out = Out("vstats.mkv");
  {
    TCustomFFmpeg e(2);
    ASSERT_TRUE(e.OpenInput(AvFile())) << e.LastErrMsg();
    e.SetExtOption("vcodec", "mpeg4");
    e.SetExtOption("an", "1");
    e.SetExtOption("psnr", "1");
    e.SetExtOption("vstats_file", stats);
    ASSERT_EQ(e.OpenOutput(out, false), 1) << e.LastErrMsg();
    ASSERT_EQ(Run(e), "");
    // Complete as soon as the run is, before the engine goes.
    EXPECT_EQ(Lines(stats).size(), 20u);
  }
  const std::regex line(
      R"(frame= +(\d+) q= +[0-9.]+ PSNR= +(?:[0-9.]+|inf) f_size= +(\d+) s_size= +(\d+)kB time= ([0-9.]+) )"
      R"(br= +[0-9.]+kbits/s avg_br= +[0-9.]+kbits/s type= ([IPB]))");
  const std::vector<std::string> lines = Lines(stats);
  ASSERT_EQ(lines.size(), 20u);
  const TDecoded d = DecodeAll(out);
  ASSERT_TRUE(d.ok) << d.error;
  std::vector<int> sizes;
  for (const auto& p : d.packets) sizes.push_back(p.size);
  ASSERT_EQ(sizes.size(), 20u);
  int64_t sum = 0;
  for (size_t i = 0; i < lines.size(); ++i) {
    std::smatch m;
    ASSERT_TRUE(std::regex_match(lines[i], m, line)) << lines[i];
    EXPECT_EQ(std::stoi(m[1]), static_cast<int>(i) + 1);
    EXPECT_EQ(std::stoi(m[2]), sizes[i]) << lines[i];  // the packet as written
    sum += sizes[i];
    EXPECT_NEAR(std::stod(m[3]), sum / 1024.0, 0.51) << lines[i];
    EXPECT_NEAR(std::stod(m[4]), (i + 1) * 0.1, 0.0005) << lines[i];  // the end of the picture
    if (i == 0) {
      EXPECT_EQ(m[5], "I");
    }
  }
}

TEST_F(ConversionPath, UnwritableStatisticsFileEndsTheRunWithItsName) {
  TCustomFFmpeg e(2);
  ASSERT_TRUE(e.OpenInput(AvFile())) << e.LastErrMsg();
  e.SetExtOption("vcodec", "mpeg4");
  e.SetExtOption("vstats_file", "/nonexistent-dir/vstats.log");
  const std::string out = Out("vstats-fail.mkv");
  ASSERT_EQ(e.OpenOutput(out, false), 1) << e.LastErrMsg();
  EXPECT_EQ(Run(e), "fopen fail: /nonexistent-dir/vstats.log");
}

// Mean difference of neighbouring rows in the lower half of a picture: the
// combing of an interlaced source.
double Combing(const TDecoded& d) {
  double sum = 0;
  int n = 0;
  for (int y = d.height / 2; y + 1 < d.height; ++y)
    for (int x = 0; x < d.width; ++x, ++n)
      sum += std::abs(d.first_luma[y * d.width + x] - d.first_luma[(y + 1) * d.width + x]);
  return n ? sum / n : 0;
}

TEST_F(ConversionPath, DeinterlacingRemovesCombingAndKeepsEveryPicture) {
  convtest::TCustomSpec spec;
  spec.interlaced = true;
  spec.audio = false;
  const std::string in = Custom(spec, "combed.mkv", 10);
  for (const bool deinterlace : {false, true}) {
    TCustomFFmpeg e(2);
    ASSERT_TRUE(e.OpenInput(in)) << e.LastErrMsg();
    e.SetExtOption("vcodec", "ffv1");  // lossless: only the filter changes pixels
    if (deinterlace) e.SetExtOption("deinterlace", "1");
    const std::string out = Out(deinterlace ? "deint.mkv" : "combed-out.mkv");
    ASSERT_EQ(e.OpenOutput(out, false), 1) << e.LastErrMsg();
    ASSERT_EQ(Run(e), "");
    const TDecoded d = DecodeAll(out);
    ASSERT_TRUE(d.ok) << d.error;
    std::vector<int> all(10);
    std::iota(all.begin(), all.end(), 0);
    EXPECT_EQ(d.indexes, all) << deinterlace;
    if (deinterlace)
      EXPECT_LT(Combing(d), 20);
    else
      EXPECT_GT(Combing(d), 140);
  }
}

TEST_F(ConversionPath, ChaptersFollowTheStartAndRecordingTimes) {
  convtest::TCustomSpec spec;
  spec.audio = false;
  spec.chapters = {{0, 1000, "One"}, {1000, 2000, "Two"}, {2000, 3000, "Three"}};
  const std::string in = Custom(spec, "chapters.mkv", 30);
  struct TCase {
    const char* start;
    const char* duration;
    std::vector<convtest::TDecoded::TChapter> want;
  };
  const TCase cases[] = {
      {nullptr, nullptr, {{0, 1, "One"}, {1, 2, "Two"}, {2, 3, "Three"}}},
      // One ends before 1.5 s; Two is cut at its start, Three at the limit.
      {"1.5", "1", {{0, 0.5, "Two"}, {0.5, 1, "Three"}}},
      // Chapters that would keep no length at either end are left out.
      {"1", "1", {{0, 1, "Two"}}},
  };
  for (const TCase& c : cases) {
    TCustomFFmpeg e(2);
    ASSERT_TRUE(e.OpenInput(in)) << e.LastErrMsg();
    e.SetExtOption("vcodec", "mpeg4");
    if (c.start) e.SetExtOption("ss", c.start);
    if (c.duration) e.SetExtOption("t", c.duration);
    const std::string out = Out("chapters-out.mkv");
    ASSERT_EQ(e.OpenOutput(out, false), 1) << e.LastErrMsg();
    ASSERT_EQ(Run(e), "");
    const TDecoded d = DecodeAll(out);
    ASSERT_TRUE(d.ok) << d.error;
    ASSERT_EQ(d.chapters.size(), c.want.size()) << (c.start ? c.start : "whole");
    for (size_t i = 0; i < c.want.size(); ++i) {
      EXPECT_EQ(d.chapters[i].title, c.want[i].title);
      EXPECT_NEAR(d.chapters[i].start, c.want[i].start, 0.002) << c.want[i].title;
      EXPECT_NEAR(d.chapters[i].end, c.want[i].end, 0.002) << c.want[i].title;
    }
  }
  // A chapter map naming an input that does not exist.
  TCustomFFmpeg e(2);
  ASSERT_TRUE(e.OpenInput(in)) << e.LastErrMsg();
  e.SetExtOption("map_chapters", "0:3");
  ASSERT_EQ(e.OpenOutput(Out("chapters-bad.mkv"), false), 1) << e.LastErrMsg();
  EXPECT_EQ(Run(e), "Invalid input file index 3 in chapter mapping.");
}

// A sound device 1 % fast over 6 s: 2646 samples too many, under the
// 0.1 s threshold of hard corrections, so only stretching can take them out.
TEST_F(ConversionPath, DriftCompensationKeepsAFastSoundClockInStep) {
  convtest::TCustomSpec spec;
  spec.audio_clock = 1.01;
  spec.audio_seconds = 6.0;
  spec.tone_hz = 500;
  const std::string in = Custom(spec, "fast-clock.mkv", 60);
  const int64_t wanted = 6 * 44100;
  int64_t samples[2] = {};
  for (const int method : {1, 1000}) {
    TCustomFFmpeg e(2);
    ASSERT_TRUE(e.OpenInput(in)) << e.LastErrMsg();
    e.SetExtOption("vcodec", "mpeg4");
    e.SetExtOption("acodec", "pcm_s16le");
    e.SetExtOption("async", std::to_string(method));
    const std::string out = Out("drift-" + std::to_string(method) + ".mkv");
    ASSERT_EQ(e.OpenOutput(out, false), 1) << e.LastErrMsg();
    ASSERT_EQ(Run(e), "");
    const TDecoded d = DecodeAll(out);
    ASSERT_TRUE(d.ok) << d.error;
    samples[method > 1] = d.samples;
    // Stretched, not cut: the tone goes on to the end, 1 % higher at most.
    const double f = convtest::ToneFrequency(d.left, d.sample_rate, d.left.size() - 22050, d.left.size());
    EXPECT_NEAR(f, 500, 500 * 0.012) << method;
  }
  EXPECT_GT(samples[0] - wanted, 2000);              // uncompensated: the drift stays
  EXPECT_LT(std::llabs(samples[1] - wanted), 700);  // compensated: back in step
}

TEST_F(ConversionPath, ProgressSizeGrowsWhileTheFileIsWritten) {
  TCustomFFmpeg e(2);
  ASSERT_TRUE(e.OpenInput(AvFile())) << e.LastErrMsg();
  e.SetExtOption("vcodec", "mpeg4");
  e.SetExtOption("acodec", "pcm_s16le");
  const std::string out = Out("progress.mkv");
  ASSERT_EQ(e.OpenOutput(out, false), 1) << e.LastErrMsg();
  e.ReportInterval = -1;  // a report after every packet
  std::vector<std::pair<int32_t, int64_t>> reports;
  e.SetOnProgress([&](void*, int32_t, int32_t AFrame, int32_t, float, float, int64_t ASize, int64_t, int64_t) {
    reports.emplace_back(AFrame, ASize);
  });
  ASSERT_EQ(Run(e), "");
  ASSERT_GT(reports.size(), 10u);
  // The whole file is a few tens of kB, less than the write buffer: what
  // is on disk says nothing until the end, the bytes written do.
  int64_t at2 = -1, at10 = -1;
  for (const auto& [frame, size] : reports) {
    if (frame == 2 && at2 < 0) at2 = size;
    if (frame == 10 && at10 < 0) at10 = size;
  }
  EXPECT_GT(at2, 0);
  EXPECT_GT(at10, at2);
  EXPECT_EQ(reports.back().second, static_cast<int64_t>(std::filesystem::file_size(out)));
}

// An RTP output logs the session description a receiver needs.
TEST_F(ConversionPath, RtpOutputLogsItsSessionDescription) {
  // A local receiver, so the packets have somewhere to go.
  const int sock = ::socket(AF_INET, SOCK_DGRAM, 0);
  ASSERT_GE(sock, 0);
  sockaddr_in addr{};
  addr.sin_family = AF_INET;
  addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  socklen_t len = sizeof addr;
  ASSERT_EQ(::bind(sock, reinterpret_cast<sockaddr*>(&addr), sizeof addr), 0);
  ASSERT_EQ(::getsockname(sock, reinterpret_cast<sockaddr*>(&addr), &len), 0);
  const int port = ntohs(addr.sin_port);

  TLogCollector log;
  {
    TCustomFFmpeg e(2);
    ASSERT_TRUE(e.OpenInput(VideoFile())) << e.LastErrMsg();
    e.SetExtOption("vcodec", "mpeg4");
    e.SetExtOption("f", "rtp");
    ASSERT_EQ(e.OpenOutput("rtp://127.0.0.1:" + std::to_string(port), false), 1) << e.LastErrMsg();
    e.StartConvert(false);
    EXPECT_EQ(e.FatalMessage(), "");
  }
  ::close(sock);
  const std::string all = log.All();
  const size_t at = all.find("SDP:\r\nv=0");
  ASSERT_NE(at, std::string::npos) << all;
  const std::string sdp = all.substr(at);
  EXPECT_NE(sdp.find("c=IN IP4 127.0.0.1"), std::string::npos) << sdp;
  EXPECT_NE(sdp.find("m=video " + std::to_string(port) + " RTP/AVP"), std::string::npos) << sdp;
  EXPECT_NE(sdp.find("MP4V-ES"), std::string::npos) << sdp;
  EXPECT_EQ(log.Count("SDP:"), 1);
}

}  // namespace enginetest
