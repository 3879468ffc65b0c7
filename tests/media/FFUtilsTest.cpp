// Error texts, timestamps, pts correction, whole-file reads and the video sink.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <memory>

#include "media/FFBindings.h"
#include "media/FFLoad.h"
#include "media/FFUtils.h"
#include "media/FFUtilsSink.h"

using namespace media;

TEST(FFUtils, ErrorTexts) {
  EXPECT_EQ(ErrorText("out.mp4", -2), "out.mp4: No such file or directory");
  EXPECT_EQ(ErrorText("x", -10061), "x: Connection refused");
  EXPECT_EQ(ErrorText("x", 7), "x: Error number 7 occurred");
  EXPECT_EQ(ErrorCodeText(AVERROR(ENOMEM)), "Not enough space / Out of memory");
  EXPECT_EQ(ErrorCodeText(AVERROR(EAGAIN)), "Resource temporarily unavailable / Try again");
  EXPECT_EQ(ErrorCodeText(AVERROR_MUXER_NOT_FOUND), "Muxer not found");
  EXPECT_EQ(ErrorCodeText(AVERROR_ENCODER_NOT_FOUND), "Encoder not found");
  // The current libraries' own codes, which have values of their own.
  EXPECT_EQ(ErrorCodeText(AVERROR_EOF), "End of file");
  EXPECT_EQ(ErrorCodeText(AVERROR_EXIT), "Immediate exit requested");
  EXPECT_EQ(ErrorCodeText(AVERROR_INVALIDDATA), "Invalid data found when processing input");
  EXPECT_EQ(ErrorCodeText(AVERROR_BUG), "Internal bug, should not have happened");
  EXPECT_EQ(ErrorCodeText(AVERROR_EXPERIMENTAL), "Experimental feature");
  EXPECT_EQ(ErrorCodeText(AVERROR_OPTION_NOT_FOUND), "Option not found");
  // -32 is a broken pipe here: the end of a file has its own code.
  EXPECT_EQ(ErrorCodeText(AVERROR(EPIPE)), "Broken pipe");
  EXPECT_NE(ErrorCodeText(AVERROR(EPIPE)), ErrorCodeText(AVERROR_EOF));

  // Codes of no family go to the library when it is bound.
  ASSERT_TRUE(FFLoader().Load(kEncoderLibraries)) << FFLoader().LastErrMsg();
  EXPECT_EQ(ErrorCodeText(AVERROR_HTTP_NOT_FOUND), "Server returned 404 Not Found");
  EXPECT_EQ(ErrorCodeText(-100000), "Error number -100000 occurred");
}

TEST(FFUtils, MediaTypeAndTimestampTexts) {
  EXPECT_EQ(MediaTypeName(AVMEDIA_TYPE_VIDEO), "Video");
  EXPECT_EQ(MediaTypeName(AVMEDIA_TYPE_ATTACHMENT), "Attachment");
  EXPECT_EQ(MediaTypeName(-1), "Unknown");
  EXPECT_EQ(MediaTypeName(5), "Unknown");
  EXPECT_EQ(TimestampText(((1 * 60 + 2) * 60 + 3) * 1000000LL + 4000), "01:02:03.004");
  EXPECT_EQ(TimestampText(AV_NOPTS_VALUE), "N/A");
  EXPECT_EQ(TimestampText(0), "00:00:00.000");
  EXPECT_EQ(TimestampText(123LL * 3600 * 1000000 + 999999), "123:00:00.999");
  EXPECT_EQ(TimestampText(-1500000), "-00:00:01.500");
}

TEST(FFUtils, PtsCorrection) {
  TPtsCorrectionContext ctx;
  // The pts goes backwards twice while the dts keeps increasing: dts wins.
  EXPECT_EQ(GuessCorrectPts(ctx, 100, 10), 100);
  EXPECT_EQ(GuessCorrectPts(ctx, 50, 20), 20);
  EXPECT_EQ(GuessCorrectPts(ctx, 40, 30), 30);
  EXPECT_EQ(GuessCorrectPts(ctx, 200, 40), 40);
  EXPECT_EQ(ctx.num_faulty_pts, 2);
  EXPECT_EQ(ctx.num_faulty_dts, 0);

  InitPtsCorrection(ctx);
  EXPECT_EQ(ctx.last_pts, INT64_MIN);
  EXPECT_EQ(GuessCorrectPts(ctx, 7, AV_NOPTS_VALUE), 7);
  EXPECT_EQ(GuessCorrectPts(ctx, 5, AV_NOPTS_VALUE), 5);  // no dts to fall back on
  EXPECT_EQ(GuessCorrectPts(ctx, AV_NOPTS_VALUE, 9), 9);
  EXPECT_EQ(GuessCorrectPts(ctx, AV_NOPTS_VALUE, AV_NOPTS_VALUE), AV_NOPTS_VALUE);
}

TEST(FFUtils, ReadWholeFile) {
  ASSERT_TRUE(FFLoader().Load(kEncoderLibraries)) << FFLoader().LastErrMsg();
  const auto dir = std::filesystem::temp_directory_path() / "qsr-readwhole";
  std::filesystem::create_directories(dir);
  TAVBuffer buffer;
  int64_t size = -7;

  const auto empty = dir / "empty.log";
  std::ofstream(empty).close();
  ASSERT_EQ(ReadWholeFile(empty.string(), buffer, size), 0);
  EXPECT_EQ(size, 1);
  ASSERT_TRUE(buffer);
  EXPECT_EQ(buffer.get()[0], 0);

  const auto text = dir / "pass-0.log";
  std::ofstream(text, std::ios::binary) << std::string("in\0side", 7);
  ASSERT_EQ(ReadWholeFile(text.string(), buffer, size), 0);
  EXPECT_EQ(size, 8);
  EXPECT_EQ(std::string(reinterpret_cast<char*>(buffer.get()), 7), std::string("in\0side", 7));
  EXPECT_EQ(buffer.get()[7], 0);

  // No file, and a directory (whose size cannot be read): clean failures.
  EXPECT_EQ(ReadWholeFile((dir / "missing.log").string(), buffer, size), -1);
  EXPECT_FALSE(buffer);
  EXPECT_EQ(size, 0);
  EXPECT_EQ(ReadWholeFile(dir.string(), buffer, size), -1);
  std::filesystem::remove_all(dir);
}

namespace {

struct GraphFree {
  void operator()(AVFilterGraph* g) const { ff::avfilter_graph_free(&g); }
};
struct FrameFree {
  void operator()(AVFrame* f) const { ff::av_frame_free(&f); }
};

}  // namespace

TEST(FFUtils, VideoSinkConvertsBgr0ToYuv420p) {
  ASSERT_TRUE(FFLoader().Load(kEncoderLibraries)) << FFLoader().LastErrMsg();
  std::unique_ptr<AVFilterGraph, GraphFree> graph(ff::avfilter_graph_alloc());
  ASSERT_TRUE(graph);
  AVFilterContext* src = nullptr;
  ASSERT_GE(ff::avfilter_graph_create_filter(&src, ff::avfilter_get_by_name("buffer"), "src",
                                             "video_size=64x48:pix_fmt=bgr0:time_base=1/1000000:pixel_aspect=1/1",
                                             nullptr, graph.get()),
            0);
  AVFilterContext* sink = nullptr;
  EXPECT_EQ(CreateVideoSink(graph.get(), "out", AV_PIX_FMT_NONE, &sink), AVERROR(EINVAL));
  EXPECT_EQ(graph->nb_filters, 1u);  // a refused sink leaves nothing behind
  ASSERT_EQ(CreateVideoSink(graph.get(), "out", AV_PIX_FMT_YUV420P, &sink), 0);
  ASSERT_NE(sink, nullptr);
  ASSERT_GE(ff::avfilter_link(src, 0, sink, 0), 0);
  ASSERT_GE(ff::avfilter_graph_config(graph.get(), nullptr), 0);
  EXPECT_EQ(ff::av_buffersink_get_format(sink), AV_PIX_FMT_YUV420P);

  std::unique_ptr<AVFrame, FrameFree> out(ff::av_frame_alloc());
  AVRational tb{0, 0};
  // Nothing pushed yet: the library's own result comes back unchanged.
  EXPECT_EQ(GetFilteredVideoFrame(sink, out.get(), &tb), AVERROR(EAGAIN));

  std::unique_ptr<AVFrame, FrameFree> in(ff::av_frame_alloc());
  in->format = AV_PIX_FMT_BGR0;
  in->width = 64;
  in->height = 48;
  in->pts = 40000;
  ASSERT_GE(ff::av_frame_get_buffer(in.get(), 0), 0);
  for (int y = 0; y < 48; ++y)
    for (int x = 0; x < 64; ++x) {
      uint8_t* p = in->data[0] + y * in->linesize[0] + x * 4;
      p[0] = 255, p[1] = 255, p[2] = 255, p[3] = 0;  // white
      if (x < 32) p[0] = p[1] = p[2] = 0;            // left half black
    }
  ASSERT_GE(ff::av_buffersrc_add_frame(src, in.get()), 0);

  ASSERT_EQ(GetFilteredVideoFrame(sink, out.get(), &tb), 1);
  EXPECT_EQ(out->format, AV_PIX_FMT_YUV420P);
  EXPECT_EQ(out->width, 64);
  EXPECT_EQ(out->height, 48);
  EXPECT_EQ(out->pts, 40000);
  EXPECT_EQ(tb.num, 1);
  EXPECT_EQ(tb.den, 1000000);
  EXPECT_NEAR(out->data[0][10 * out->linesize[0] + 5], 16, 2);    // black, limited range
  EXPECT_NEAR(out->data[0][10 * out->linesize[0] + 50], 235, 2);  // white
  EXPECT_NEAR(out->data[1][5 * out->linesize[1] + 25], 128, 2);   // no colour
  const TAVPicture picture = PictureOf(*out);
  EXPECT_EQ(picture.data[2], out->data[2]);
  EXPECT_EQ(picture.linesize[1], out->linesize[1]);
  ff::av_frame_unref(out.get());

  ASSERT_GE(ff::av_buffersrc_add_frame(src, nullptr), 0);  // end of stream
  EXPECT_EQ(GetFilteredVideoFrame(sink, out.get(), &tb), AVERROR_EOF);
}
