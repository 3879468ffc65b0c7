#include "media/FFUtilsSink.h"

#include "media/FFBindings.h"

namespace media {

int CreateVideoSink(AVFilterGraph* AGraph, const char* AName, AVPixelFormat APixFmt,
                    AVFilterContext** ASink) {
  *ASink = nullptr;
  if (!AGraph || APixFmt == AV_PIX_FMT_NONE) return AVERROR(EINVAL);
  const AVFilter* filter = ff::avfilter_get_by_name("buffersink");
  if (!filter) return AVERROR_FILTER_NOT_FOUND;
  AVFilterContext* sink = ff::avfilter_graph_alloc_filter(AGraph, filter, AName);
  if (!sink) return AVERROR(ENOMEM);
  const AVPixelFormat formats[] = {APixFmt, AV_PIX_FMT_NONE};
  int ret = ff::av_opt_set_int_list(sink, "pix_fmts", formats, AV_PIX_FMT_NONE, AV_OPT_SEARCH_CHILDREN);
  if (ret >= 0) ret = ff::avfilter_init_str(sink, nullptr);
  if (ret < 0) {
    ff::avfilter_free(sink);  // also takes it out of the graph
    return ret;
  }
  *ASink = sink;
  return 0;
}

int GetFilteredVideoFrame(AVFilterContext* ASink, AVFrame* AFrame, AVRational* ATimeBase) {
  const int ret = ff::av_buffersink_get_frame(ASink, AFrame);
  if (ret < 0) return ret;
  if (ATimeBase) *ATimeBase = ff::av_buffersink_get_time_base(ASink);
  return 1;
}

}  // namespace media
