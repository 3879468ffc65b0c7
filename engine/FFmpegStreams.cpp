// Creating the streams of an output from the current settings, and the
// small routines stream creation uses (supported formats and rates, times,
// forced key frames).
#include <cmath>

#include "engine/FFmpeg.h"

namespace engine {

TAVOutputStream* TCustomFFmpeg::NewOutputStreamRecord(AVFormatContext* AContext,
                                                      int32_t AFileIndex) {
  auto& list = Foutput_streams_for_file[AFileIndex];
  const size_t n = AContext->nb_streams;
  if (list.size() < n) list.resize(n);
  list[n - 1] = std::make_unique<TAVOutputStream>();
  Fnb_output_streams_for_file[AFileIndex] = static_cast<int32_t>(list.size());
  TAVOutputStream* rec = list[n - 1].get();
  rec->file_index = AFileIndex;
  rec->index = static_cast<int32_t>(n - 1);
  rec->st = AContext->streams[n - 1];
  return rec;
}

AVStream* TCustomFFmpeg::NewStreamCommon(AVFormatContext* AContext, int32_t AFileIndex,
                                         AVMediaType AType, bool ACopy,
                                         const std::string& ACodecName, TBsfChain& AChain,
                                         uint32_t ATag, TAVOutputStream*& ARecord) {
  // 1. Stream id from the map, then the stream.
  const unsigned n = AContext->nb_streams;
  const int id = n < static_cast<unsigned>(Fnb_streamid_map) ? Fstreamid_map[n] : 0;
  AVStream* st = ff::avformat_new_stream(AContext, nullptr);
  if (!st) throw FFmpegException("Could not alloc stream");
  st->id = id;
  // 2. Its record and encoder choice.
  ARecord = NewOutputStreamRecord(AContext, AFileIndex);
  Foutput_codecs.push_back(nullptr);
  Fnb_output_codecs = static_cast<int32_t>(Foutput_codecs.size());
  // 3. Encoder: none for copy, by name, or guessed from format and name.
  const AVCodec* codec = nullptr;
  AVCodecID codecId = AV_CODEC_ID_NONE;
  if (!ACopy) {
    if (!ACodecName.empty()) {
      if (!FindCodecOrFail(ACodecName, AType, true, codec)) throw FFmpegException(FLastErrMsg);
      Foutput_codecs.back() = codec;
      codecId = codec->id;
    } else {
      codecId = ff::av_guess_codec(AContext->oformat, nullptr, AContext->url, nullptr, AType);
      codec = ff::avcodec_find_encoder(codecId);
    }
  }
  // 4. The encoder context, with the encoder's defaults.
  ARecord->enc.reset(ff::avcodec_alloc_context3(codec));
  if (!ARecord->enc) throw FFmpegException("avcodec_alloc_context3 failed");
  AVCodecContext* c = ARecord->enc.get();
  c->codec_type = AType;
  c->codec_id = codecId;
  ARecord->stream_copy = ACopy;
  ARecord->bitstream_filters = std::move(AChain);
  AChain.clear();
  c->thread_count = Fthread_count;
  if (ATag) c->codec_tag = ATag;
  st->codecpar->codec_type = AType;
  st->codecpar->codec_id = codecId;
  return st;
}

void TCustomFFmpeg::NewVideoStream(AVFormatContext* AContext, int32_t AFileIndex) {
  struct TReset {  // consumed by the stream whatever happens
    TCustomFFmpeg* e;
    ~TReset() {
      e->Fvideo_disable = false;
      e->Fvideo_codec_name.clear();
      e->Fforced_key_frames.clear();
      e->Fvideo_stream_copy = 0;
      e->Fframe_pix_fmt = AV_PIX_FMT_NONE;
    }
  } reset{this};
  TAVOutputStream* rec = nullptr;
  const bool copy = Fvideo_stream_copy == 1;
  AVStream* st = NewStreamCommon(AContext, AFileIndex, AVMEDIA_TYPE_VIDEO, copy,
                                 Fvideo_codec_name, Fvideo_bitstream_filters, Fvideo_codec_tag, rec);
  AVCodecContext* c = rec->enc.get();
  const bool wantsGlobal = AContext->oformat->flags & AVFMT_GLOBALHEADER;
  if ((Fvideo_global_header & 1) || (Fvideo_global_header == 0 && wantsGlobal))
    c->flags |= AV_CODEC_FLAG_GLOBAL_HEADER;
  if (Fvideo_global_header & 2) c->flags2 |= AV_CODEC_FLAG2_LOCAL_HEADER;
  // Sample aspect ratio from the display aspect ratio.
  const double sarValue = Fframe_width > 0 && Fframe_height > 0
                              ? Fframe_aspect_ratio * Fframe_height / Fframe_width
                              : Fframe_aspect_ratio * 3.0 / 4.0;
  AVRational sar{0, 1};
  if (sarValue > 0) ff::av_reduce(&sar.num, &sar.den, std::lround(sarValue * 1e6), 1000000, 255);
  if (copy) {
    c->sample_aspect_ratio = st->sample_aspect_ratio = sar;
  } else {
    // A rate without denominator is not set: the encoder gets 25/1.
    AVRational rate = Fframe_rate;
    if (rate.num <= 0 || rate.den <= 0) rate = AVRational{25, 1};
    const AVCodec* codec = c->codec ? c->codec : ff::avcodec_find_encoder(c->codec_id);
    FOptions.ApplyLibraryOptions(c, FOptions.CodecDefaults(AVMEDIA_TYPE_VIDEO),
                                 kOptEncoding | kOptVideo, codec);
    // A "flags" option (a codec preset's +loop) replaces the flags as a
    // whole: keep the header placement the container needs.
    if ((Fvideo_global_header & 1) || (Fvideo_global_header == 0 && wantsGlobal))
      c->flags |= AV_CODEC_FLAG_GLOBAL_HEADER;
    if (codec && codec->supported_framerates && !Fforce_fps)
      rate = codec->supported_framerates[ff::av_find_nearest_q_idx(rate, codec->supported_framerates)];
    c->time_base = AVRational{rate.den, rate.num};
    c->framerate = rate;
    st->time_base = c->time_base;
    st->avg_frame_rate = rate;
    c->width = Fframe_width;
    c->height = Fframe_height;
    c->sample_aspect_ratio = st->sample_aspect_ratio = sar;
    c->pix_fmt = static_cast<AVPixelFormat>(Fframe_pix_fmt);
    ChoosePixelFormat(c, codec);
    if (Fintra_only) c->gop_size = 0;
    if (Fvideo_qscale != 0 || Fsame_quality) {
      c->flags |= AV_CODEC_FLAG_QSCALE;
      c->global_quality = static_cast<int>(FF_QP2LAMBDA * Fvideo_qscale);
    }
    if (Fintra_matrix.size() == 64) {
      c->intra_matrix = static_cast<uint16_t*>(ff::av_malloc(64 * sizeof(uint16_t)));
      if (c->intra_matrix) std::copy(Fintra_matrix.begin(), Fintra_matrix.end(), c->intra_matrix);
    }
    if (Finter_matrix.size() == 64) {
      c->inter_matrix = static_cast<uint16_t*>(ff::av_malloc(64 * sizeof(uint16_t)));
      if (c->inter_matrix) std::copy(Finter_matrix.begin(), Finter_matrix.end(), c->inter_matrix);
    }
    if (!Fvideo_rc_override_string.empty()) {
      // start,end,q items separated by "/".
      std::vector<RcOverride> items;
      size_t pos = 0;
      const std::string& s = Fvideo_rc_override_string;
      while (pos <= s.size()) {
        const size_t end = s.find('/', pos);
        const std::string item = s.substr(pos, end == std::string::npos ? std::string::npos : end - pos);
        int start = 0, stop = 0, q = 0;
        if (std::sscanf(item.c_str(), "%d,%d,%d", &start, &stop, &q) != 3)
          throw FFmpegException("error parsing rc_override");
        RcOverride o{};
        o.start_frame = start;
        o.end_frame = stop;
        if (q > 0) {
          o.qscale = q;
          o.quality_factor = 1.0f;
        } else {
          o.qscale = 0;
          o.quality_factor = -q / 100.0f;
        }
        items.push_back(o);
        if (end == std::string::npos) break;
        pos = end + 1;
      }
      c->rc_override = static_cast<RcOverride*>(ff::av_malloc(items.size() * sizeof(RcOverride)));
      if (!c->rc_override) throw FFmpegException("av_malloc failed");
      std::copy(items.begin(), items.end(), c->rc_override);
      c->rc_override_count = static_cast<int>(items.size());
    }
    if (c->rc_initial_buffer_occupancy == 0)
      c->rc_initial_buffer_occupancy = c->rc_buffer_size * 3 / 4;
    c->intra_dc_precision = Fintra_dc_precision - 8;
    if (Fdo_psnr) c->flags |= AV_CODEC_FLAG_PSNR;
    if (Fdo_pass == 1) c->flags |= AV_CODEC_FLAG_PASS1;
    if (Fdo_pass == 2) c->flags |= AV_CODEC_FLAG_PASS2;
    if (!Fforced_key_frames.empty()) ParseForcedKeyFrames(Fforced_key_frames, *rec, c);
    st->codecpar->width = c->width;
    st->codecpar->height = c->height;
    st->codecpar->format = c->pix_fmt;
  }
  if (!Fvideo_language.empty()) {
    ff::av_dict_set(&st->metadata, "language", Fvideo_language.c_str(), 0);
    Fvideo_language.clear();
  }
}

void TCustomFFmpeg::NewAudioStream(AVFormatContext* AContext, int32_t AFileIndex) {
  struct TReset {
    TCustomFFmpeg* e;
    ~TReset() {
      e->Faudio_disable = false;
      e->Faudio_codec_name.clear();
      e->Faudio_stream_copy = 0;
      e->Faudio_language.clear();
    }
  } reset{this};
  TAVOutputStream* rec = nullptr;
  const bool copy = Faudio_stream_copy == 1;
  AVStream* st = NewStreamCommon(AContext, AFileIndex, AVMEDIA_TYPE_AUDIO, copy,
                                 Faudio_codec_name, Faudio_bitstream_filters, Faudio_codec_tag, rec);
  AVCodecContext* c = rec->enc.get();
  if (AContext->oformat->flags & AVFMT_GLOBALHEADER) c->flags |= AV_CODEC_FLAG_GLOBAL_HEADER;
  const int channels = Faudio_channels > 0 ? Faudio_channels : 2;
  if (copy) {
    ff::av_channel_layout_default(&c->ch_layout, channels);
    c->sample_rate = Faudio_sample_rate;
  } else {
    const AVCodec* codec = c->codec ? c->codec : ff::avcodec_find_encoder(c->codec_id);
    FOptions.ApplyLibraryOptions(c, FOptions.CodecDefaults(AVMEDIA_TYPE_AUDIO),
                                 kOptEncoding | kOptAudio, codec);
    if (AContext->oformat->flags & AVFMT_GLOBALHEADER) c->flags |= AV_CODEC_FLAG_GLOBAL_HEADER;
    if (Faudio_qscale > -99999) {
      c->flags |= AV_CODEC_FLAG_QSCALE;
      c->global_quality = static_cast<int>(FF_QP2LAMBDA * Faudio_qscale);
    }
    // A layout whose channel count differs from the channels is dropped.
    AVChannelLayout layout{};
    if (Fchannel_layout != 0 &&
        ff::av_channel_layout_from_mask(&layout, static_cast<uint64_t>(Fchannel_layout)) == 0 &&
        layout.nb_channels == channels) {
      ff::av_channel_layout_uninit(&c->ch_layout);
      c->ch_layout = layout;
    } else {
      ff::av_channel_layout_uninit(&layout);
      ff::av_channel_layout_uninit(&c->ch_layout);
      ff::av_channel_layout_default(&c->ch_layout, channels);
    }
    c->sample_fmt = static_cast<AVSampleFormat>(Faudio_sample_fmt);
    c->sample_rate = Faudio_sample_rate;
    ChooseSampleFormat(c, codec);
    ChooseSampleRate(c, codec);
    st->codecpar->sample_rate = c->sample_rate;
  }
  c->time_base = AVRational{1, c->sample_rate > 0 ? c->sample_rate : Faudio_sample_rate};
  st->time_base = c->time_base;
  if (!Faudio_language.empty())
    ff::av_dict_set(&st->metadata, "language", Faudio_language.c_str(), 0);
}

void TCustomFFmpeg::NewSubtitleStream(AVFormatContext* AContext, int32_t AFileIndex) {
  struct TReset {
    TCustomFFmpeg* e;
    ~TReset() {
      e->Fsubtitle_disable = false;
      e->Fsubtitle_codec_name.clear();
      e->Fsubtitle_stream_copy = 0;
      e->Fsubtitle_language.clear();
    }
  } reset{this};
  TAVOutputStream* rec = nullptr;
  const bool copy = Fsubtitle_stream_copy == 1;
  AVStream* st = NewStreamCommon(AContext, AFileIndex, AVMEDIA_TYPE_SUBTITLE, copy,
                                 Fsubtitle_codec_name, Fsubtitle_bitstream_filters,
                                 Fsubtitle_codec_tag, rec);
  AVCodecContext* c = rec->enc.get();
  if (AContext->oformat->flags & AVFMT_GLOBALHEADER) c->flags |= AV_CODEC_FLAG_GLOBAL_HEADER;
  if (!copy) {
    const AVCodec* codec = c->codec ? c->codec : ff::avcodec_find_encoder(c->codec_id);
    FOptions.ApplyLibraryOptions(c, FOptions.CodecDefaults(AVMEDIA_TYPE_SUBTITLE),
                                 kOptEncoding | kOptSubtitle, codec);
  }
  if (!Fsubtitle_language.empty())
    ff::av_dict_set(&st->metadata, "language", Fsubtitle_language.c_str(), 0);
}

void TCustomFFmpeg::ChoosePixelFormat(AVCodecContext* AContext, const AVCodec* ACodec) {
  if (!ACodec || !ACodec->pix_fmts) return;
  const AVPixelFormat* list = ACodec->pix_fmts;
  static const AVPixelFormat kMjpeg[] = {AV_PIX_FMT_YUVJ420P, AV_PIX_FMT_YUVJ422P,
                                         AV_PIX_FMT_YUV420P, AV_PIX_FMT_YUV422P, AV_PIX_FMT_NONE};
  static const AVPixelFormat kLjpeg[] = {AV_PIX_FMT_YUVJ420P, AV_PIX_FMT_YUVJ422P,
                                         AV_PIX_FMT_YUVJ444P, AV_PIX_FMT_YUV420P,
                                         AV_PIX_FMT_YUV422P,  AV_PIX_FMT_YUV444P,
                                         AV_PIX_FMT_BGRA,     AV_PIX_FMT_NONE};
  if (AContext->strict_std_compliance < 0) {
    if (ACodec->id == AV_CODEC_ID_MJPEG) list = kMjpeg;
    if (ACodec->id == AV_CODEC_ID_LJPEG) list = kLjpeg;
  }
  for (const AVPixelFormat* p = list; *p != AV_PIX_FMT_NONE; ++p)
    if (*p == AContext->pix_fmt) return;
  AContext->pix_fmt = ACodec->pix_fmts[0];
}

void TCustomFFmpeg::ChooseSampleFormat(AVCodecContext* AContext, const AVCodec* ACodec) {
  if (!ACodec || !ACodec->sample_fmts) return;
  for (const AVSampleFormat* p = ACodec->sample_fmts; *p != AV_SAMPLE_FMT_NONE; ++p)
    if (*p == AContext->sample_fmt) return;
  AContext->sample_fmt = ACodec->sample_fmts[0];
}

void TCustomFFmpeg::ChooseSampleRate(AVCodecContext* AContext, const AVCodec* ACodec) {
  if (!ACodec || !ACodec->supported_samplerates) return;
  int best = 0;
  int bestDist = INT32_MAX;
  for (const int* p = ACodec->supported_samplerates; *p; ++p) {
    const int dist = std::abs(AContext->sample_rate - *p);
    if (dist < bestDist) {
      bestDist = dist;
      best = *p;
    }
  }
  if (best && best != AContext->sample_rate) {
    Log(media::llWarning, Format("Requested sampling rate unsupported using closest supported (%d)", best));
    AContext->sample_rate = best;
  }
}

int64_t TCustomFFmpeg::ParseTimeOrFail(const std::string& AContext, const std::string& AText,
                                       bool ADuration) {
  int64_t us = 0;
  if (ff::av_parse_time(&us, AText.c_str(), ADuration ? 1 : 0) < 0)
    throw FFmpegException(Format("Invalid %s specification for %s: %s",
                                 ADuration ? "duration" : "date", AContext.c_str(), AText.c_str()));
  return us;
}

void TCustomFFmpeg::ParseForcedKeyFrames(const std::string& AText, TAVOutputStream& AStream,
                                         AVCodecContext* AContext) {
  AStream.forced_kf_pts.clear();
  size_t pos = 0;
  while (true) {
    const size_t comma = AText.find(',', pos);
    const std::string item = AText.substr(pos, comma == std::string::npos ? std::string::npos : comma - pos);
    const int64_t t = ParseTimeOrFail("force_key_frames", item, true);
    AStream.forced_kf_pts.push_back(ff::av_rescale_q(t, AVRational{1, 1000000}, AContext->time_base));
    if (comma == std::string::npos) break;
    pos = comma + 1;
  }
  AStream.forced_kf_count = static_cast<int32_t>(AStream.forced_kf_pts.size());
}

}  // namespace engine
