#pragma once
// The engine's video sink: the end of its filter graph, which hands out
// filtered pictures in the one pixel format the encoder wants.

#include <cstdint>

extern "C" {
#include <libavfilter/avfilter.h>
#include <libavutil/frame.h>
#include <libavutil/pixfmt.h>
#include <libavutil/rational.h>
}

namespace media {

// Creates the sink as filter AName of AGraph: the library's "buffersink"
// limited to APixFmt, so that the graph converts to that format before it.
// Returns 0 with the filter in ASink, or a negative library result
// (AVERROR(EINVAL) for AV_PIX_FMT_NONE); on failure nothing is left in the
// graph. Link it like any other filter, then configure the graph.
int CreateVideoSink(AVFilterGraph* AGraph, const char* AName, AVPixelFormat APixFmt,
                    AVFilterContext** ASink);

// Takes the next filtered picture out of the sink into AFrame, which then
// holds a reference the caller releases (av_frame_unref). ATimeBase (may be
// null) receives the time base of the frame's pts. Returns 1, or the
// library's negative result unchanged: AVERROR(EAGAIN) when the graph has no
// picture ready, AVERROR_EOF after the end.
int GetFilteredVideoFrame(AVFilterContext* ASink, AVFrame* AFrame, AVRational* ATimeBase);

}  // namespace media
