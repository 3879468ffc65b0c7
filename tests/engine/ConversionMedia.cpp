#include "ConversionMedia.h"

#include <cmath>
#include <memory>

#include "TestMedia.h"

namespace convtest {
namespace {

constexpr int kBits = 16;

struct TCtxFree {
  void operator()(AVCodecContext* p) const { ff::avcodec_free_context(&p); }
};
struct TFrameFree {
  void operator()(AVFrame* p) const { ff::av_frame_free(&p); }
};
struct TPacketFree {
  void operator()(AVPacket* p) const { ff::av_packet_free(&p); }
};
struct TOutFree {
  void operator()(AVFormatContext* p) const {
    if (p->pb) ff::avio_closep(&p->pb);
    ff::avformat_free_context(p);
  }
};
struct TInFree {
  void operator()(AVFormatContext* p) const { ff::avformat_close_input(&p); }
};
using CtxPtr = std::unique_ptr<AVCodecContext, TCtxFree>;
using FramePtr = std::unique_ptr<AVFrame, TFrameFree>;
using PacketPtr = std::unique_ptr<AVPacket, TPacketFree>;

// The same picture code as TestMedia: 16 blocks across the top quarter.
void DrawFrame(AVFrame* f, int AIndex) {
  const int bw = f->width / kBits;
  for (int y = 0; y < f->height; ++y)
    for (int x = 0; x < f->width; ++x) {
      uint8_t v = static_cast<uint8_t>(64 + (x + y) % 64);
      if (y < f->height / 4 && x / bw < kBits) v = (AIndex >> (kBits - 1 - x / bw)) & 1 ? 235 : 16;
      f->data[0][y * f->linesize[0] + x] = v;
    }
  for (int p = 1; p < 3; ++p)
    for (int y = 0; y < f->height / 2; ++y)
      for (int x = 0; x < f->width / 2; ++x) f->data[p][y * f->linesize[p] + x] = 128;
}

bool Drain(AVCodecContext* c, AVFormatContext* oc, AVStream* st, AVPacket* pkt, std::string& err) {
  while (true) {
    const int r = ff::avcodec_receive_packet(c, pkt);
    if (r == AVERROR(EAGAIN) || r == AVERROR_EOF) return true;
    if (r < 0) return err = "receive_packet: " + ff::err2str(r), false;
    ff::av_packet_rescale_ts(pkt, c->time_base, st->time_base);
    pkt->stream_index = st->index;
    const int w = ff::av_interleaved_write_frame(oc, pkt);
    if (w < 0) return err = "write: " + ff::err2str(w), false;
  }
}

void StoreSample(AVFrame* f, int n, int c, double v) {
  const auto fmt = static_cast<AVSampleFormat>(f->format);
  const int ch = f->ch_layout.nb_channels;
  switch (fmt) {
    case AV_SAMPLE_FMT_S16: reinterpret_cast<int16_t*>(f->data[0])[n * ch + c] = static_cast<int16_t>(v * 32767); break;
    case AV_SAMPLE_FMT_FLT: reinterpret_cast<float*>(f->data[0])[n * ch + c] = static_cast<float>(v); break;
    case AV_SAMPLE_FMT_FLTP: reinterpret_cast<float*>(f->extended_data[c])[n] = static_cast<float>(v); break;
    case AV_SAMPLE_FMT_S16P: reinterpret_cast<int16_t*>(f->extended_data[c])[n] = static_cast<int16_t>(v * 32767); break;
    default: break;
  }
}

double LoadSample(const AVFrame* f, int n) {
  const auto fmt = static_cast<AVSampleFormat>(f->format);
  const int ch = f->ch_layout.nb_channels;
  switch (fmt) {
    case AV_SAMPLE_FMT_S16: return reinterpret_cast<const int16_t*>(f->data[0])[n * ch] / 32768.0;
    case AV_SAMPLE_FMT_S16P: return reinterpret_cast<const int16_t*>(f->extended_data[0])[n] / 32768.0;
    case AV_SAMPLE_FMT_FLT: return reinterpret_cast<const float*>(f->data[0])[n * ch];
    case AV_SAMPLE_FMT_FLTP: return reinterpret_cast<const float*>(f->extended_data[0])[n];
    case AV_SAMPLE_FMT_S32: return reinterpret_cast<const int32_t*>(f->data[0])[n * ch] / 2147483648.0;
    default: return 0;
  }
}

}  // namespace

bool WriteCustomMedia(const TCustomSpec& s, std::string& err) {
  AVFormatContext* raw = nullptr;
  if (ff::avformat_alloc_output_context2(&raw, nullptr, nullptr, s.path.c_str()) < 0 || !raw)
    return err = "no container for " + s.path, false;
  std::unique_ptr<AVFormatContext, TOutFree> oc(raw);
  const AVCodec* vcodec = ff::avcodec_find_encoder(AV_CODEC_ID_MPEG4);
  AVStream* vst = ff::avformat_new_stream(oc.get(), nullptr);
  CtxPtr venc(ff::avcodec_alloc_context3(vcodec));
  venc->width = s.width;
  venc->height = s.height;
  venc->time_base = AVRational{1, 1000};
  venc->pix_fmt = AV_PIX_FMT_YUV420P;
  venc->gop_size = 5;
  venc->flags |= AV_CODEC_FLAG_QSCALE;
  venc->global_quality = FF_QP2LAMBDA * 2;
  if (oc->oformat->flags & AVFMT_GLOBALHEADER) venc->flags |= AV_CODEC_FLAG_GLOBAL_HEADER;
  int r = ff::avcodec_open2(venc.get(), vcodec, nullptr);
  if (r < 0) return err = "open video encoder: " + ff::err2str(r), false;
  ff::avcodec_parameters_from_context(vst->codecpar, venc.get());
  vst->time_base = venc->time_base;

  CtxPtr aenc;
  AVStream* ast = nullptr;
  if (s.audio) {
    const AVCodec* acodec = ff::avcodec_find_encoder_by_name(s.audio_codec.c_str());
    if (!acodec) return err = "no encoder " + s.audio_codec, false;
    ast = ff::avformat_new_stream(oc.get(), nullptr);
    aenc.reset(ff::avcodec_alloc_context3(acodec));
    aenc->sample_rate = s.sample_rate;
    aenc->sample_fmt = acodec->sample_fmts ? acodec->sample_fmts[0] : AV_SAMPLE_FMT_S16;
    ff::av_channel_layout_default(&aenc->ch_layout, s.channels);
    aenc->time_base = AVRational{1, s.sample_rate};
    aenc->bit_rate = 128000;
    if (oc->oformat->flags & AVFMT_GLOBALHEADER) aenc->flags |= AV_CODEC_FLAG_GLOBAL_HEADER;
    r = ff::avcodec_open2(aenc.get(), acodec, nullptr);
    if (r < 0) return err = "open audio encoder: " + ff::err2str(r), false;
    ff::avcodec_parameters_from_context(ast->codecpar, aenc.get());
    ast->time_base = aenc->time_base;
  }
  r = ff::avio_open2(&oc->pb, s.path.c_str(), AVIO_FLAG_WRITE, nullptr, nullptr);
  if (r < 0) return err = "open file: " + ff::err2str(r), false;
  r = ff::avformat_write_header(oc.get(), nullptr);
  if (r < 0) return err = "header: " + ff::err2str(r), false;

  PacketPtr pkt(ff::av_packet_alloc());
  FramePtr vf(ff::av_frame_alloc());
  vf->width = s.width;
  vf->height = s.height;
  vf->format = AV_PIX_FMT_YUV420P;
  ff::av_frame_get_buffer(vf.get(), 0);
  const int64_t startSample = std::llround(s.audio_start * s.sample_rate);
  const int64_t endSample = startSample + std::llround(s.audio_seconds * s.sample_rate);
  int64_t done = startSample;
  const int chunk = aenc && aenc->frame_size > 0 ? aenc->frame_size : 1024;
  auto audioUntil = [&](int64_t AUntil) {
    while (aenc && done < AUntil && done < endSample) {
      FramePtr af(ff::av_frame_alloc());
      af->nb_samples = chunk;
      af->format = aenc->sample_fmt;
      af->sample_rate = s.sample_rate;
      ff::av_channel_layout_copy(&af->ch_layout, &aenc->ch_layout);
      ff::av_frame_get_buffer(af.get(), 0);
      for (int n = 0; n < chunk; ++n) {
        const double v = s.amplitude * std::sin(2 * M_PI * s.tone_hz * static_cast<double>(done + n) / s.sample_rate);
        for (int c = 0; c < s.channels; ++c) StoreSample(af.get(), n, c, v);
      }
      af->pts = done;
      done += chunk;
      if (ff::avcodec_send_frame(aenc.get(), af.get()) < 0 || !Drain(aenc.get(), oc.get(), ast, pkt.get(), err))
        return false;
    }
    return true;
  };
  for (size_t i = 0; i < s.video_ms.size(); ++i) {
    ff::av_frame_make_writable(vf.get());
    DrawFrame(vf.get(), static_cast<int>(i));
    vf->pts = s.video_ms[i];
    if (ff::avcodec_send_frame(venc.get(), vf.get()) < 0 || !Drain(venc.get(), oc.get(), vst, pkt.get(), err))
      return err.empty() ? (err = "send video frame", false) : false;
    if (!audioUntil(s.video_ms[i] * s.sample_rate / 1000)) return false;
  }
  if (!audioUntil(endSample)) return false;
  ff::avcodec_send_frame(venc.get(), nullptr);
  if (!Drain(venc.get(), oc.get(), vst, pkt.get(), err)) return false;
  if (aenc) {
    ff::avcodec_send_frame(aenc.get(), nullptr);
    if (!Drain(aenc.get(), oc.get(), ast, pkt.get(), err)) return false;
  }
  r = ff::av_write_trailer(oc.get());
  if (r < 0) return err = "trailer: " + ff::err2str(r), false;
  return true;
}

TDecoded DecodeAll(const std::string& APath) {
  TDecoded d;
  AVFormatContext* raw = nullptr;
  if (ff::avformat_open_input(&raw, APath.c_str(), nullptr, nullptr) < 0) return d.error = "cannot open " + APath, d;
  std::unique_ptr<AVFormatContext, TInFree> ic(raw);
  if (ff::avformat_find_stream_info(ic.get(), nullptr) < 0) return d.error = "no stream info", d;
  std::vector<CtxPtr> decs(ic->nb_streams);
  for (unsigned i = 0; i < ic->nb_streams; ++i) {
    const AVCodecParameters* par = ic->streams[i]->codecpar;
    if (par->codec_type != AVMEDIA_TYPE_VIDEO && par->codec_type != AVMEDIA_TYPE_AUDIO) continue;
    const AVCodec* dec = ff::avcodec_find_decoder(par->codec_id);
    if (!dec) return d.error = "no decoder", d;
    decs[i].reset(ff::avcodec_alloc_context3(dec));
    ff::avcodec_parameters_to_context(decs[i].get(), par);
    decs[i]->pkt_timebase = ic->streams[i]->time_base;
    if (ff::avcodec_open2(decs[i].get(), dec, nullptr) < 0) return d.error = "cannot open decoder", d;
  }
  FramePtr fr(ff::av_frame_alloc());
  PacketPtr pkt(ff::av_packet_alloc());
  auto receive = [&](unsigned AStream) {
    AVCodecContext* c = decs[AStream].get();
    const AVRational tb = ic->streams[AStream]->time_base;
    while (ff::avcodec_receive_frame(c, fr.get()) >= 0) {
      const double t = fr->best_effort_timestamp == AV_NOPTS_VALUE ? 0 : fr->best_effort_timestamp * av_q2d(tb);
      if (c->codec_type == AVMEDIA_TYPE_VIDEO) {
        if (d.frames == 0) {
          d.width = fr->width;
          d.height = fr->height;
          d.video_start = t;
          for (int y = 0; y < fr->height; ++y)
            d.first_luma.insert(d.first_luma.end(), fr->data[0] + y * fr->linesize[0],
                                fr->data[0] + y * fr->linesize[0] + fr->width);
        }
        ++d.frames;
        const AVRational rate = ic->streams[AStream]->avg_frame_rate;
        d.video_end = t + (rate.num ? static_cast<double>(rate.den) / rate.num : 0);
        d.indexes.push_back(testmedia::ReadFrameIndex(fr.get()));
      } else {
        if (d.samples == 0) d.audio_start = t;
        d.sample_rate = fr->sample_rate;
        d.channels = fr->ch_layout.nb_channels;
        d.samples += fr->nb_samples;
        d.audio_end = t + static_cast<double>(fr->nb_samples) / fr->sample_rate;
        for (int n = 0; n < fr->nb_samples; ++n) d.left.push_back(static_cast<float>(LoadSample(fr.get(), n)));
      }
      ff::av_frame_unref(fr.get());
    }
  };
  while (ff::av_read_frame(ic.get(), pkt.get()) >= 0) {
    const unsigned s = static_cast<unsigned>(pkt->stream_index);
    const AVRational tb = ic->streams[s]->time_base;
    d.packets.push_back({pkt->stream_index, pkt->pts == AV_NOPTS_VALUE ? -1 : pkt->pts * av_q2d(tb),
                         pkt->dts == AV_NOPTS_VALUE ? -1 : pkt->dts * av_q2d(tb), pkt->size,
                         (pkt->flags & AV_PKT_FLAG_KEY) != 0});
    if (decs[s] && ff::avcodec_send_packet(decs[s].get(), pkt.get()) >= 0) receive(s);
    ff::av_packet_unref(pkt.get());
  }
  for (unsigned s = 0; s < decs.size(); ++s)
    if (decs[s]) {
      ff::avcodec_send_packet(decs[s].get(), nullptr);
      receive(s);
    }
  d.ok = true;
  return d;
}

double ToneFrequency(const std::vector<float>& ASamples, int ARate, size_t AFrom, size_t ATo) {
  ATo = std::min(ATo, ASamples.size());
  int crossings = 0;
  size_t first = 0, last = 0;
  for (size_t i = AFrom + 1; i < ATo; ++i)
    if (ASamples[i - 1] < 0 && ASamples[i] >= 0) {
      if (crossings == 0) first = i;
      last = i;
      ++crossings;
    }
  if (crossings < 2) return 0;
  return (crossings - 1) * static_cast<double>(ARate) / static_cast<double>(last - first);
}

float Peak(const std::vector<float>& ASamples, size_t AFrom, size_t ATo) {
  float p = 0;
  for (size_t i = AFrom; i < std::min(ATo, ASamples.size()); ++i) p = std::max(p, std::fabs(ASamples[i]));
  return p;
}

}  // namespace convtest
