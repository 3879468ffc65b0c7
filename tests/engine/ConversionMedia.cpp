#include "ConversionMedia.h"

#include <cmath>
#include <memory>

#include "TestMedia.h"
#include "media/FFHandles.h"

namespace convtest {
namespace {

using CtxPtr = media::CodecCtxPtr;
using media::FramePtr;
using media::PacketPtr;

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

bool WriteCustomMedia(const TCustomSpec& ASpec, std::string& AError) {
  testmedia::TGenSpec g;
  g.path = ASpec.path;
  g.width = ASpec.width;
  g.height = ASpec.height;
  g.time_base = AVRational{1, 1000};
  g.video_pts = ASpec.video_ms;
  g.moving_background = false;
  g.interlaced = ASpec.interlaced;
  g.audio = ASpec.audio;
  g.audio_codec = ASpec.audio_codec;
  g.sample_rate = ASpec.sample_rate;
  g.channels = ASpec.channels;
  g.tone_hz = ASpec.tone_hz;
  g.amplitude = ASpec.amplitude;
  g.audio_start = ASpec.audio_start;
  g.audio_seconds = ASpec.audio_seconds;
  g.audio_clock = ASpec.audio_clock;
  g.chapters = ASpec.chapters;
  return testmedia::WriteMedia(g, AError);
}

TDecoded DecodeAll(const std::string& APath) {
  TDecoded d;
  AVFormatContext* raw = nullptr;
  if (ff::avformat_open_input(&raw, APath.c_str(), nullptr, nullptr) < 0) return d.error = "cannot open " + APath, d;
  media::InputCtxPtr ic(raw);
  if (ff::avformat_find_stream_info(ic.get(), nullptr) < 0) return d.error = "no stream info", d;
  for (unsigned i = 0; i < ic->nb_chapters; ++i) {
    const AVChapter* c = ic->chapters[i];
    const AVDictionaryEntry* title = ff::av_dict_get(c->metadata, "title", nullptr, 0);
    d.chapters.push_back(
        {c->start * av_q2d(c->time_base), c->end * av_q2d(c->time_base), title ? title->value : ""});
  }
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
