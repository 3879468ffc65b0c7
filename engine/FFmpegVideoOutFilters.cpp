// The video filter graph of an encoded output: buffer source, the
// deinterlacer when asked for, an automatic scaler to the encoder's size,
// the user's chain between the labels [in] and [out], and a sink that hands
// out pictures in the encoder's pixel format.
#include "engine/FFmpegRunTables.h"

namespace engine {
namespace {

struct TInOutFree {
  void operator()(AVFilterInOut* p) const { ff::avfilter_inout_free(&p); }
};
using InOutPtr = std::unique_ptr<AVFilterInOut, TInOutFree>;

}  // namespace

int TConversionRun::BuildFilterGraph(TOutputRun& AOst, int AWidth, int AHeight,
                                     AVPixelFormat AFormat, AVRational ASar) {
  AVCodecContext* enc = AOst.enc;
  AOst.src = AOst.sink = nullptr;
  AOst.graph.reset(ff::avfilter_graph_alloc());
  if (!AOst.graph) return AVERROR(ENOMEM);
  AVFilterGraph* graph = AOst.graph.get();
  auto fail = [this](const char* AWhat, int ACode) {
    E.FLastErrMsg = std::string(AWhat) + ": " + ff::err2str(ACode);
    return ACode;
  };
  // The scaler flags of the task (a "sws_flags" option overrides the default).
  int64_t flags = E.Fsws_flags;
  if (SwsContext* sws = E.FOptions.ScalerDefaults()) {
    int64_t v = 0;
    if (ff::av_opt_get_int(sws, "sws_flags", 0, &v) >= 0 && v) flags = v;
  }

  if (ASar.num <= 0 || ASar.den <= 0) ASar = AVRational{1, 1};
  const std::string srcArgs = Format("video_size=%dx%d:pix_fmt=%d:time_base=1/1000000:pixel_aspect=%d/%d",
                                     AWidth, AHeight, static_cast<int>(AFormat), ASar.num, ASar.den);
  int ret = ff::avfilter_graph_create_filter(&AOst.src, ff::avfilter_get_by_name("buffer"), "src",
                                             srcArgs.c_str(), nullptr, graph);
  if (ret < 0) return fail("buffer", ret);
  AVFilterContext* sink = ff::avfilter_graph_alloc_filter(graph, ff::avfilter_get_by_name("buffersink"), "out");
  if (!sink) return fail("buffersink", AVERROR(ENOMEM));
  const AVPixelFormat formats[] = {enc->pix_fmt, AV_PIX_FMT_NONE};
  ret = ff::av_opt_set_int_list(sink, "pix_fmts", formats, AV_PIX_FMT_NONE, AV_OPT_SEARCH_CHILDREN);
  if (ret >= 0) ret = ff::avfilter_init_str(sink, nullptr);
  if (ret < 0) return fail("buffersink", ret);
  AOst.sink = sink;

  // The chain end: the source, or a scaler to the encoder's size.
  AVFilterContext* last = AOst.src;
  auto addScale = [&](int AW, int AH) {
    AVFilterContext* scale = nullptr;
    const std::string args = Format("w=%d:h=%d:flags=%lld", AW, AH, static_cast<long long>(flags));
    int r = ff::avfilter_graph_create_filter(&scale, ff::avfilter_get_by_name("scale"), nullptr,
                                             args.c_str(), nullptr, graph);
    if (r >= 0) r = ff::avfilter_link(last, 0, scale, 0);
    if (r >= 0) last = scale;
    return r;
  };
  // Deinterlacing comes first, on the pictures as decoded.
  if (E.Fdo_deinterlace) {
    AVFilterContext* yadif = nullptr;
    ret = ff::avfilter_graph_create_filter(&yadif, ff::avfilter_get_by_name("yadif"), "deinterlace",
                                           nullptr, nullptr, graph);
    if (ret >= 0) ret = ff::avfilter_link(last, 0, yadif, 0);
    if (ret < 0) return fail("yadif", ret);
    last = yadif;
  }
  // Once the encoder is open its size is fixed: a changed input is scaled
  // to it after the chain.
  const bool fixed = AOst.encoder_open;
  if (!fixed && (enc->width != AWidth || enc->height != AHeight)) {
    ret = addScale(enc->width, enc->height);
    if (ret < 0) return fail("scale", ret);
  }
  graph->scale_sws_opts = ff::av_strdup(Format("flags=%lld", static_cast<long long>(flags)).c_str());

  AVFilterContext* end = sink;
  AVFilterContext* fixScale = nullptr;
  if (fixed) {
    const std::string args = Format("w=%d:h=%d:flags=%lld", enc->width, enc->height,
                                    static_cast<long long>(flags));
    ret = ff::avfilter_graph_create_filter(&fixScale, ff::avfilter_get_by_name("scale"), "fix",
                                           args.c_str(), nullptr, graph);
    if (ret >= 0) ret = ff::avfilter_link(fixScale, 0, sink, 0);
    if (ret < 0) return fail("scale", ret);
    end = fixScale;
  }
  if (!E.Fvfilters.empty()) {
    InOutPtr outputs(ff::avfilter_inout_alloc());
    InOutPtr inputs(ff::avfilter_inout_alloc());
    if (!outputs || !inputs) return fail("filters", AVERROR(ENOMEM));
    outputs->name = ff::av_strdup("in");
    outputs->filter_ctx = last;
    outputs->pad_idx = 0;
    inputs->name = ff::av_strdup("out");
    inputs->filter_ctx = end;
    inputs->pad_idx = 0;
    AVFilterInOut* in = inputs.release();
    AVFilterInOut* out = outputs.release();
    ret = ff::avfilter_graph_parse_ptr(graph, E.Fvfilters.c_str(), &in, &out, nullptr);
    ff::avfilter_inout_free(&in);
    ff::avfilter_inout_free(&out);
    if (ret < 0) return fail(E.Fvfilters.c_str(), ret);
  } else {
    ret = ff::avfilter_link(last, 0, end, 0);
    if (ret < 0) return fail("link", ret);
  }
  ret = ff::avfilter_graph_config(graph, nullptr);
  if (ret < 0) return fail("configure", ret);

  // The encoder takes whatever size the chain produced.
  if (!fixed) {
    enc->width = ff::av_buffersink_get_w(sink);
    enc->height = ff::av_buffersink_get_h(sink);
    const AVRational sar = ff::av_buffersink_get_sample_aspect_ratio(sink);
    if (sar.num > 0) {
      enc->sample_aspect_ratio = sar;
      AOst.rec->st->sample_aspect_ratio = sar;
    }
  }
  AOst.resample_width = AWidth;
  AOst.resample_height = AHeight;
  AOst.resample_pix_fmt = AFormat;
  return 0;
}

}  // namespace engine
