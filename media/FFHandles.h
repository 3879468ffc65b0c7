#pragma once
// Owning handles for the media libraries' objects: unique_ptr types that
// release each object with the library's own free function, through the
// run-time bindings.

#include <memory>

#include "media/FFBindings.h"

namespace media {

struct TPacketFree {
  void operator()(AVPacket* p) const { ff::av_packet_free(&p); }
};
using PacketPtr = std::unique_ptr<AVPacket, TPacketFree>;

struct TFrameFree {
  void operator()(AVFrame* p) const { ff::av_frame_free(&p); }
};
using FramePtr = std::unique_ptr<AVFrame, TFrameFree>;

struct TCodecCtxFree {
  void operator()(AVCodecContext* p) const { ff::avcodec_free_context(&p); }
};
using CodecCtxPtr = std::unique_ptr<AVCodecContext, TCodecCtxFree>;

// A demuxer opened with avformat_open_input.
struct TInputCtxFree {
  void operator()(AVFormatContext* p) const { ff::avformat_close_input(&p); }
};
using InputCtxPtr = std::unique_ptr<AVFormatContext, TInputCtxFree>;

// A muxer made with avformat_alloc_output_context2; its byte stream, when
// open, is closed with it.
struct TOutputCtxFree {
  void operator()(AVFormatContext* p) const {
    if (p->pb) ff::avio_closep(&p->pb);
    ff::avformat_free_context(p);
  }
};
using OutputCtxPtr = std::unique_ptr<AVFormatContext, TOutputCtxFree>;

struct TSwsFree {
  void operator()(SwsContext* p) const { ff::sws_freeContext(p); }
};
using SwsPtr = std::unique_ptr<SwsContext, TSwsFree>;

struct TSwrFree {
  void operator()(SwrContext* p) const { ff::swr_free(&p); }
};
using SwrPtr = std::unique_ptr<SwrContext, TSwrFree>;

struct TBsfFree {
  void operator()(AVBSFContext* p) const { ff::av_bsf_free(&p); }
};
using BsfPtr = std::unique_ptr<AVBSFContext, TBsfFree>;

struct TGraphFree {
  void operator()(AVFilterGraph* p) const { ff::avfilter_graph_free(&p); }
};
using GraphPtr = std::unique_ptr<AVFilterGraph, TGraphFree>;

struct TAudioFifoFree {
  void operator()(AVAudioFifo* p) const { ff::av_audio_fifo_free(p); }
};
using AudioFifoPtr = std::unique_ptr<AVAudioFifo, TAudioFifoFree>;

}  // namespace media
