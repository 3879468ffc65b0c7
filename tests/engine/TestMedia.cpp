#include "TestMedia.h"

#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <memory>

#include "media/FFHandles.h"

namespace testmedia {
namespace {

constexpr int kBits = 16;

using CtxPtr = media::CodecCtxPtr;
using media::FramePtr;
using media::PacketPtr;

void DrawFrame(AVFrame* f, int AIndex, const TGenSpec& s) {
  const int bw = f->width / kBits;
  const int shift = s.moving_background ? AIndex : 0;
  for (int y = 0; y < f->height; ++y)
    for (int x = 0; x < f->width; ++x) {
      uint8_t v = static_cast<uint8_t>(64 + (x + y + shift) % 64);  // background
      if (s.interlaced) v = ((y % 2) == (AIndex % 2)) ? 40 : 200;
      if (y < f->height / 4 && x / bw < kBits) v = (AIndex >> (kBits - 1 - x / bw)) & 1 ? 235 : 16;
      f->data[0][y * f->linesize[0] + x] = v;
    }
  for (int p = 1; p < 3; ++p)
    for (int y = 0; y < f->height / 2; ++y)
      for (int x = 0; x < f->width / 2; ++x) f->data[p][y * f->linesize[p] + x] = 128;
}

void StoreSample(AVFrame* f, int n, int c, double v) {
  const int ch = f->ch_layout.nb_channels;
  switch (static_cast<AVSampleFormat>(f->format)) {
    case AV_SAMPLE_FMT_S16:
      reinterpret_cast<int16_t*>(f->data[0])[n * ch + c] = static_cast<int16_t>(v * 32767);
      break;
    case AV_SAMPLE_FMT_FLT: reinterpret_cast<float*>(f->data[0])[n * ch + c] = static_cast<float>(v); break;
    case AV_SAMPLE_FMT_FLTP: reinterpret_cast<float*>(f->extended_data[c])[n] = static_cast<float>(v); break;
    case AV_SAMPLE_FMT_S16P:
      reinterpret_cast<int16_t*>(f->extended_data[c])[n] = static_cast<int16_t>(v * 32767);
      break;
    default: break;
  }
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

bool AddChapters(AVFormatContext* oc, const std::vector<TChapterSpec>& AChapters) {
  for (size_t i = 0; i < AChapters.size(); ++i) {
    auto* ch = static_cast<AVChapter*>(ff::av_mallocz(sizeof(AVChapter)));
    if (!ch) return false;
    ch->id = static_cast<int64_t>(i) + 1;
    ch->time_base = AVRational{1, 1000};
    ch->start = AChapters[i].start_ms;
    ch->end = AChapters[i].end_ms;
    ff::av_dict_set(&ch->metadata, "title", AChapters[i].title.c_str(), 0);
    int count = static_cast<int>(oc->nb_chapters);
    ff::av_dynarray_add(&oc->chapters, &count, ch);
    if (count != static_cast<int>(oc->nb_chapters) + 1) return false;
    oc->nb_chapters = static_cast<unsigned>(count);
  }
  return true;
}

}  // namespace

bool WriteMedia(const TGenSpec& s, std::string& err) {
  AVFormatContext* raw = nullptr;
  if (ff::avformat_alloc_output_context2(&raw, nullptr, nullptr, s.path.c_str()) < 0 || !raw)
    return err = "no container for " + s.path, false;
  media::OutputCtxPtr oc(raw);
  const AVCodec* vcodec = ff::avcodec_find_encoder_by_name(s.video_codec.c_str());
  if (!vcodec) return err = "no encoder " + s.video_codec, false;
  AVStream* vst = ff::avformat_new_stream(oc.get(), nullptr);
  CtxPtr venc(ff::avcodec_alloc_context3(vcodec));
  venc->width = s.width;
  venc->height = s.height;
  venc->time_base = s.time_base;
  if (s.rate.num > 0) venc->framerate = s.rate;
  venc->pix_fmt = AV_PIX_FMT_YUV420P;
  venc->sample_aspect_ratio = s.sar;
  venc->gop_size = 5;
  venc->flags |= AV_CODEC_FLAG_QSCALE;
  venc->global_quality = FF_QP2LAMBDA * 2;
  if (oc->oformat->flags & AVFMT_GLOBALHEADER) venc->flags |= AV_CODEC_FLAG_GLOBAL_HEADER;
  int r = ff::avcodec_open2(venc.get(), vcodec, nullptr);
  if (r < 0) return err = "open video encoder: " + ff::err2str(r), false;
  ff::avcodec_parameters_from_context(vst->codecpar, venc.get());
  vst->time_base = venc->time_base;
  vst->sample_aspect_ratio = s.sar;
  if (s.rate.num > 0) vst->avg_frame_rate = s.rate;

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
  if (!AddChapters(oc.get(), s.chapters)) return err = "chapters: out of memory", false;
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
  // Seconds of a picture timestamp; the pictures end one frame after the
  // last one when the rate is steady.
  auto seconds = [&](int64_t APts) { return static_cast<double>(APts) * s.time_base.num / s.time_base.den; };
  double videoEnd = s.video_pts.empty() ? 0 : seconds(s.video_pts.back());
  if (s.rate.num > 0 && !s.video_pts.empty()) videoEnd += static_cast<double>(s.rate.den) / s.rate.num;
  // Sound: sample n of the tone carries the time audio_start + n / (rate x
  // clock), so a fast clock packs more samples into each second.
  const double perSecond = s.sample_rate * s.audio_clock;
  const double audioSeconds = s.audio_seconds < 0 ? videoEnd - s.audio_start : s.audio_seconds;
  const int64_t total = std::llround(audioSeconds * perSecond);
  const int64_t startSample = std::llround(s.audio_start * s.sample_rate);
  int64_t done = 0;
  const int chunk = aenc && aenc->frame_size > 0 ? aenc->frame_size : 1024;
  auto audioUntil = [&](double ASeconds) {
    const int64_t until = std::llround((ASeconds - s.audio_start) * perSecond);
    while (aenc && done < until && done < total) {
      FramePtr af(ff::av_frame_alloc());
      af->nb_samples = chunk;
      af->format = aenc->sample_fmt;
      af->sample_rate = s.sample_rate;
      ff::av_channel_layout_copy(&af->ch_layout, &aenc->ch_layout);
      ff::av_frame_get_buffer(af.get(), 0);
      for (int n = 0; n < chunk; ++n) {
        const double i = static_cast<double>(startSample + done + n);
        const double v = s.amplitude * std::sin(2 * M_PI * s.tone_hz * i / s.sample_rate);
        for (int c = 0; c < s.channels; ++c) StoreSample(af.get(), n, c, v);
      }
      af->pts = startSample + std::llround(static_cast<double>(done) / s.audio_clock);
      done += chunk;
      if (ff::avcodec_send_frame(aenc.get(), af.get()) < 0 || !Drain(aenc.get(), oc.get(), ast, pkt.get(), err))
        return err.empty() ? (err = "send audio frame", false) : false;
    }
    return true;
  };
  for (size_t i = 0; i < s.video_pts.size(); ++i) {
    ff::av_frame_make_writable(vf.get());
    DrawFrame(vf.get(), static_cast<int>(i), s);
    vf->pts = s.video_pts[i];
    if (ff::avcodec_send_frame(venc.get(), vf.get()) < 0 || !Drain(venc.get(), oc.get(), vst, pkt.get(), err))
      return err.empty() ? (err = "send video frame", false) : false;
    // Sound up to the next picture.
    if (!audioUntil(i + 1 < s.video_pts.size() ? seconds(s.video_pts[i + 1]) : videoEnd)) return false;
  }
  if (!audioUntil(s.audio_start + audioSeconds + 1)) return false;
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

bool WriteTestMedia(const TMediaSpec& ASpec, std::string& AError) {
  TGenSpec g;
  g.path = ASpec.path;
  g.width = ASpec.width;
  g.height = ASpec.height;
  g.video_codec = ASpec.video_codec;
  g.time_base = AVRational{ASpec.rate.den, ASpec.rate.num};
  g.rate = ASpec.rate;
  g.sar = ASpec.sar;
  for (int i = 0; i < ASpec.frames; ++i) g.video_pts.push_back(i);
  g.audio = ASpec.audio;
  g.sample_rate = ASpec.sample_rate;
  g.channels = ASpec.channels;
  g.tone_hz = ASpec.tone_hz;
  return WriteMedia(g, AError);
}

int ReadFrameIndex(const AVFrame* f) {
  if (!f || f->width < kBits || f->height < 4) return -1;
  const int bw = f->width / kBits;
  int index = 0;
  for (int b = 0; b < kBits; ++b) {
    const int x = b * bw + bw / 2, y = f->height / 8;
    const uint8_t v = f->data[0][y * f->linesize[0] + x];
    if (v > 100 && v < 170) return -1;  // neither bright nor dark
    index = (index << 1) | (v >= 170 ? 1 : 0);
  }
  return index;
}

std::vector<int> DecodeFrameIndexes(const std::string& APath, std::string& err) {
  std::vector<int> out;
  AVFormatContext* raw = nullptr;
  if (ff::avformat_open_input(&raw, APath.c_str(), nullptr, nullptr) < 0) {
    err = "cannot open " + APath;
    return out;
  }
  media::InputCtxPtr ic(raw);
  ff::avformat_find_stream_info(ic.get(), nullptr);
  const int vs = ff::av_find_best_stream(ic.get(), AVMEDIA_TYPE_VIDEO, -1, -1, nullptr, 0);
  if (vs < 0) {
    err = "no video";
    return out;
  }
  const AVCodec* dec = ff::avcodec_find_decoder(ic->streams[vs]->codecpar->codec_id);
  CtxPtr c(ff::avcodec_alloc_context3(dec));
  ff::avcodec_parameters_to_context(c.get(), ic->streams[vs]->codecpar);
  if (ff::avcodec_open2(c.get(), dec, nullptr) < 0) {
    err = "cannot open decoder";
    return out;
  }
  PacketPtr pkt(ff::av_packet_alloc());
  FramePtr fr(ff::av_frame_alloc());
  auto receive = [&] {
    while (ff::avcodec_receive_frame(c.get(), fr.get()) >= 0) out.push_back(ReadFrameIndex(fr.get()));
  };
  while (ff::av_read_frame(ic.get(), pkt.get()) >= 0) {
    if (pkt->stream_index == vs && ff::avcodec_send_packet(c.get(), pkt.get()) >= 0) receive();
    ff::av_packet_unref(pkt.get());
  }
  ff::avcodec_send_packet(c.get(), nullptr);
  receive();
  return out;
}

TTempDir::TTempDir() {
  std::string tmpl = (std::filesystem::temp_directory_path() / "qsr-engine-XXXXXX").string();
  if (::mkdtemp(tmpl.data())) FDir = tmpl;
}

TTempDir::~TTempDir() {
  std::error_code ec;
  if (!FDir.empty()) std::filesystem::remove_all(FDir, ec);
}

}  // namespace testmedia
