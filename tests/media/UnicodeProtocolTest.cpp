// File names between the program and the libraries.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <filesystem>
#include <memory>
#include <string>

#include "media/FFBindings.h"
#include "media/FFLoad.h"
#include "media/UnicodeProtocol.h"

using namespace media;

TEST(UnicodeProtocol, UrlHelpers) {
  EXPECT_EQ(MakeUnicodeURL("/tmp/a.mp4"), "unicode:utf8:/tmp/a.mp4");
  EXPECT_FALSE(IsUnicodeURL("unicode:utf8:"));  // 13 bytes: no name
  EXPECT_TRUE(IsUnicodeURL("unicode:utf8:x"));
  EXPECT_FALSE(IsUnicodeURL("unicode:utf7:x"));
  EXPECT_EQ(DecodeUnicodeURL("unicode:utf8:/v/clip:1.mp4"), "/v/clip:1.mp4");
  EXPECT_EQ(DecodeFileName("unicode:utf8:/v/Видео.mkv"), "/v/Видео.mkv");
  EXPECT_EQ(DecodeFileName("/v/plain.mkv"), "/v/plain.mkv");

  EXPECT_TRUE(IsProtocolURL("http://host/x"));
  EXPECT_TRUE(IsProtocolURL("udp://1.2.3.4:5"));
  EXPECT_TRUE(IsProtocolURL("pipe:1"));
  EXPECT_FALSE(IsProtocolURL("HTTP://host/x"));  // case-sensitive, as the library
  EXPECT_FALSE(IsProtocolURL("/tmp/a:b.mp4"));
  EXPECT_FALSE(NeedsUnicodeURL("/tmp/日本語.mp4"));
}

TEST(UnicodeProtocol, EncodeKeepsValidNamesAndRefusesImpossibleOnes) {
  // UTF-8 names, URLs and device option strings travel unchanged.
  EXPECT_EQ(EncodeFileName(std::string_view("/home/u/Видео/clip é.mkv")), "/home/u/Видео/clip é.mkv");
  EXPECT_EQ(EncodeFileName(std::string_view("http://h/ü")), "http://h/ü");
  EXPECT_EQ(EncodeFileName(std::string_view("offset=0,0;framesize=640x480")), "offset=0,0;framesize=640x480");
  // A unicode URL becomes the path it names.
  EXPECT_EQ(EncodeFileName(std::string_view("unicode:utf8:/tmp/ß.avi")), "/tmp/ß.avi");
  // UTF-16 input, including a pair outside the basic plane.
  EXPECT_EQ(EncodeFileName(std::u16string_view(u"/tmp/\u00e9\U0001F3A5.mp4")), "/tmp/é🎥.mp4");

  // Results are owned: an earlier result is not overwritten by a later call.
  const std::string first = EncodeFileName(std::string_view("/a/first"));
  const std::string second = EncodeFileName(std::string_view("/b/second"));
  EXPECT_EQ(first, "/a/first");

  try {
    EncodeFileName(std::u16string_view(u"/tmp/x\xD800y.mp4"));
    FAIL() << "an unpaired surrogate was accepted";
  } catch (const EFileNameError& e) {
    EXPECT_NE(std::string(e.what()).find("unpaired surrogate"), std::string::npos) << e.what();
  }
  EXPECT_THROW(EncodeFileName(std::u16string_view(u"/tmp/\xDC00")), EFileNameError);
  // The same surrogate written as UTF-8 bytes, and an embedded NUL.
  EXPECT_THROW(EncodeFileName(std::string_view("/tmp/\xED\xA0\x80.mp4")), EFileNameError);
  EXPECT_THROW(EncodeFileName(std::string_view("/tmp/a\0b.mp4", 12)), EFileNameError);
}

namespace {

// Writes ABytes through the library's I/O layer and reads them back.
std::string WriteAndReadBack(const std::string& AName, const std::string& ABytes) {
  AVIOContext* out = nullptr;
  EXPECT_GE(ff::avio_open(&out, EncodeFileName(std::string_view(AName)).c_str(), AVIO_FLAG_WRITE), 0);
  if (!out) return {};
  ff::avio_write(out, reinterpret_cast<const unsigned char*>(ABytes.data()), static_cast<int>(ABytes.size()));
  EXPECT_EQ(ff::avio_closep(&out), 0);

  AVIOContext* in = nullptr;
  EXPECT_GE(ff::avio_open(&in, EncodeFileName(std::string_view(AName)).c_str(), AVIO_FLAG_READ), 0);
  if (!in) return {};
  std::string back(ABytes.size() + 16, '\0');
  const int n = ff::avio_read(in, reinterpret_cast<unsigned char*>(back.data()), static_cast<int>(back.size()));
  EXPECT_EQ(ff::avio_size(in), static_cast<int64_t>(ABytes.size()));
  ff::avio_closep(&in);
  back.resize(n > 0 ? n : 0);
  return back;
}

}  // namespace

TEST(UnicodeProtocol, NonAsciiNamesReachTheLibrary) {
  ASSERT_TRUE(FFLoader().Load(kEncoderLibraries)) << FFLoader().LastErrMsg();
  const auto dir = std::filesystem::temp_directory_path() / "qsr-unicode-Запись-日本";
  if (!::testing::Test::HasFailure()) std::filesystem::remove_all(dir);
  std::filesystem::create_directories(dir);
  const std::string name = (dir / "клип ü 🎥.bin").string();
  const std::string bytes = "payload\x01\x02 with bytes";

  EXPECT_EQ(WriteAndReadBack(name, bytes), bytes);
  EXPECT_TRUE(std::filesystem::exists(std::filesystem::path(name)));
  // The unicode URL form names the same file.
  EXPECT_EQ(WriteAndReadBack(MakeUnicodeURL(name), "second"), "second");
  EXPECT_EQ(std::filesystem::file_size(std::filesystem::path(name)), 6u);

  // A whole media file: muxed under the name, found again by the demuxer.
  const std::string video = (dir / "Запись экрана 01.nut").string();
  {
    AVFormatContext* raw = nullptr;
    const std::string url = EncodeFileName(std::string_view(video));
    ASSERT_GE(ff::avformat_alloc_output_context2(&raw, nullptr, nullptr, url.c_str()), 0);
    std::unique_ptr<AVFormatContext, void (*)(AVFormatContext*)> out(raw, [](AVFormatContext* c) {
      ff::avio_closep(&c->pb);
      ff::avformat_free_context(c);
    });
    EXPECT_STREQ(out->oformat->name, "nut");  // guessed from the name's extension
    AVStream* st = ff::avformat_new_stream(out.get(), nullptr);
    ASSERT_NE(st, nullptr);
    st->time_base = {1, 25};
    st->codecpar->codec_type = AVMEDIA_TYPE_VIDEO;
    st->codecpar->codec_id = AV_CODEC_ID_RAWVIDEO;
    st->codecpar->format = AV_PIX_FMT_GRAY8;
    st->codecpar->width = 16;
    st->codecpar->height = 16;
    ASSERT_GE(ff::avio_open(&out->pb, url.c_str(), AVIO_FLAG_WRITE), 0);
    ASSERT_GE(ff::avformat_write_header(out.get(), nullptr), 0);
    for (int i = 0; i < 3; ++i) {
      AVPacket* pkt = ff::av_packet_alloc();
      ASSERT_GE(ff::av_new_packet(pkt, 256), 0);
      std::memset(pkt->data, 40 * i, 256);
      pkt->pts = pkt->dts = ff::av_rescale_q(i, {1, 25}, st->time_base);
      pkt->flags |= AV_PKT_FLAG_KEY;
      EXPECT_GE(ff::av_interleaved_write_frame(out.get(), pkt), 0);
      ff::av_packet_free(&pkt);
    }
    ASSERT_GE(ff::av_write_trailer(out.get()), 0);
  }
  {
    AVFormatContext* in = nullptr;
    ASSERT_GE(ff::avformat_open_input(&in, EncodeFileName(std::string_view(video)).c_str(), nullptr, nullptr), 0);
    std::unique_ptr<AVFormatContext*, void (*)(AVFormatContext**)> guard(&in, ff::avformat_close_input);
    ASSERT_GE(ff::avformat_find_stream_info(in, nullptr), 0);
    EXPECT_EQ(DecodeFileName(in->url), video);
    ASSERT_EQ(in->nb_streams, 1u);
    EXPECT_EQ(in->streams[0]->codecpar->width, 16);
    int packets = 0;
    AVPacket* pkt = ff::av_packet_alloc();
    int r;
    while ((r = ff::av_read_frame(in, pkt)) >= 0) {
      EXPECT_EQ(pkt->size, 256);
      if (pkt->size == 256) {
        EXPECT_EQ(pkt->data[100], 40 * packets);
      }
      ++packets;
      ff::av_packet_unref(pkt);
    }
    ff::av_packet_free(&pkt);
    EXPECT_EQ(packets, 3) << ff::err2str(r);
  }

  // A name that does not exist fails in the library with its own code.
  AVIOContext* in = nullptr;
  EXPECT_EQ(ff::avio_open(&in, EncodeFileName(std::string_view((dir / "нет.bin").string())).c_str(),
                          AVIO_FLAG_READ),
            AVERROR(ENOENT));
  if (!::testing::Test::HasFailure()) std::filesystem::remove_all(dir);
}
