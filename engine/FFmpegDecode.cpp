// Packet decoding and dispatch: one packet of an input stream is decoded
// (send and receive; a packet may give zero or several frames), the input
// stream's clock follows it, and every frame goes to the output streams
// that take this stream as their source. Stream copy passes packets with
// rescaled timestamps. WritePacket is the one way into the muxer.
#include "engine/FFmpegRunTables.h"

namespace engine {
namespace {

constexpr AVRational kMicro{1, 1000000};

}  // namespace

int TConversionRun::ProcessPacket(TAVInputStream& AIst, const AVPacket* APacket) {
  if (AIst.next_pts == AV_NOPTS_VALUE) AIst.next_pts = AIst.pts;
  if (APacket && APacket->dts != AV_NOPTS_VALUE)
    AIst.pts = AIst.next_pts = ff::av_rescale_q(APacket->dts, AIst.st->time_base, kMicro);

  if (!AIst.decoding_needed) {
    if (!APacket) return 0;
    const AVCodecParameters* par = AIst.st->codecpar;
    AIst.pts = AIst.next_pts;
    if (par->codec_type == AVMEDIA_TYPE_AUDIO && par->sample_rate > 0 && par->frame_size > 0)
      AIst.next_pts += static_cast<int64_t>(1000000) * par->frame_size / par->sample_rate;
    else if (APacket->duration > 0)
      AIst.next_pts += ff::av_rescale_q(APacket->duration, AIst.st->time_base, kMicro);
    if (E.Fstart_time == 0 || AIst.pts >= E.Fstart_time)
      for (auto& ost : FOutputs)
        if (ost->source == &AIst && !ost->rec->encoding_needed) CopyPacket(*ost, AIst, APacket);
    return 0;
  }

  const AVMediaType type = AIst.dec->codec_type;
  if (type == AVMEDIA_TYPE_SUBTITLE) return DecodeSubtitle(AIst, APacket);
  if (type != AVMEDIA_TYPE_AUDIO && type != AVMEDIA_TYPE_VIDEO) return -1;
  if (!APacket && AIst.decoder_flushed) return 0;
  int ret = ff::avcodec_send_packet(AIst.dec, APacket);
  if (ret < 0 && ret != AVERROR_EOF) return -1;
  AVFrame* frame = AIst.frame.get();
  while (true) {
    ret = ff::avcodec_receive_frame(AIst.dec, frame);
    if (ret == AVERROR(EAGAIN) || ret == AVERROR_EOF) break;
    if (ret < 0) return -1;
    const int64_t ts = frame->best_effort_timestamp;
    AIst.pts = ts != AV_NOPTS_VALUE ? ff::av_rescale_q(ts, AIst.st->time_base, kMicro) : AIst.next_pts;
    if (type == AVMEDIA_TYPE_AUDIO) {
      if (frame->sample_rate > 0)
        AIst.next_pts = AIst.pts + static_cast<int64_t>(1000000) * frame->nb_samples / frame->sample_rate;
    } else {
      int64_t duration = frame->pkt_duration > 0 ? ff::av_rescale_q(frame->pkt_duration, AIst.st->time_base, kMicro) : 0;
      const AVRational rate = AIst.st->avg_frame_rate.num ? AIst.st->avg_frame_rate : AIst.st->r_frame_rate;
      if (duration <= 0 && rate.num > 0 && rate.den > 0)
        duration = static_cast<int64_t>(1000000) * rate.den / rate.num;
      AIst.next_pts = AIst.pts + duration;
    }
    DispatchFrame(AIst, frame);
    ff::av_frame_unref(frame);
    if (E.FBroken && APacket) break;
  }
  if (!APacket) {
    AIst.decoder_flushed = 1;
    FlushEncoders(AIst);
  }
  return 0;
}

void TConversionRun::DispatchFrame(TAVInputStream& AIst, AVFrame* AFrame) {
  if (E.Fstart_time != 0 && AIst.pts < E.Fstart_time) return;
  const bool audio = AIst.dec->codec_type == AVMEDIA_TYPE_AUDIO;
  if (audio && E.FOnAudioHook) RunAudioHook(AIst, AFrame);
  if (audio && E.Faudio_volume != 256) {
    if (ff::av_frame_make_writable(AFrame) < 0) throw FFmpegException("Out of memory in do_audio_out");
    ApplyVolume(AFrame, E.Faudio_volume);
  }
  if (!audio) {
    ++AIst.frame_number;
    AIst.quality = AFrame->quality;
    if (AVFrame* hooked = PrepareInputPicture(AIst, AFrame)) AFrame = hooked;
  }
  for (auto& ost : FOutputs) {
    if (ost->source != &AIst || !ost->rec->encoding_needed) continue;
    if (audio)
      DoAudioOut(*ost, AIst, AFrame);
    else
      FilterVideo(*ost, AIst, AFrame);
  }
}

void TConversionRun::FlushEncoders(TAVInputStream& AIst) {
  for (auto& ost : FOutputs) {
    if (ost->source != &AIst || !ost->rec->encoding_needed || !ost->encoder_open || ost->flushed) continue;
    ost->flushed = true;
    TOutputRun& first = ost->owner ? *ost->owner : *ost;
    if (first.drained) continue;
    first.drained = true;
    if (ost->enc->codec_type == AVMEDIA_TYPE_AUDIO) {
      DrainAudio(*ost);
      continue;
    }
    if (ost->graph && ff::av_buffersrc_add_frame(ost->src, nullptr) >= 0) {
      AVFrame* out = ost->filtered.get();
      while (ff::av_buffersink_get_frame(ost->sink, out) >= 0) {
        const AVRational tb = ff::av_buffersink_get_time_base(ost->sink);
        if (out->pts != AV_NOPTS_VALUE) AIst.pts = ff::av_rescale_q(out->pts, tb, kMicro);
        OutputVideoFrame(*ost, out);
        ff::av_frame_unref(out);
      }
    }
    EncodeVideo(*ost, nullptr);
  }
}

void TConversionRun::CopyPacket(TOutputRun& AOst, TAVInputStream& AIst, const AVPacket* APacket) {
  TAVOutputStream& rec = *AOst.rec;
  const bool key = APacket->flags & AV_PKT_FLAG_KEY;
  if (rec.frame_number == 0 && !key && !E.Fcopy_initial_nonkeyframes) return;
  const AVRational itb = AIst.st->time_base, otb = rec.st->time_base;
  const int64_t offset = ff::av_rescale_q(E.Fstart_time, kMicro, otb);
  AVPacket* out = FCopyPacket.get();
  if (ff::av_packet_ref(out, APacket) < 0) throw FFmpegException("av_packet_ref failed");
  out->stream_index = rec.index;
  out->pts = APacket->pts == AV_NOPTS_VALUE ? AV_NOPTS_VALUE : ff::av_rescale_q(APacket->pts, itb, otb) - offset;
  out->dts = (APacket->dts == AV_NOPTS_VALUE ? ff::av_rescale_q(AIst.pts, kMicro, otb)
                                             : ff::av_rescale_q(APacket->dts, itb, otb)) -
             offset;
  out->duration = ff::av_rescale_q(APacket->duration, itb, otb);
  if (AIst.st->codecpar->codec_type == AVMEDIA_TYPE_AUDIO) {
    E.Faudio_size += APacket->size;
  } else {
    E.Fvideo_size += APacket->size;
    ++rec.sync_opts;
  }
  WritePacket(AOst, out);
  ff::av_packet_unref(out);
  ++rec.frame_number;
}

void TConversionRun::InitBitstreamFilters() {
  for (auto& ost : FOutputs) {
    AVStream* st = ost->rec->st;
    const AVCodecParameters* par = st->codecpar;
    AVRational tb = st->time_base;
    for (BsfPtr& bsf : ost->rec->bitstream_filters) {
      if (ff::avcodec_parameters_copy(bsf->par_in, par) < 0) throw FFmpegException("av_mallocz fail");
      bsf->time_base_in = tb;
      const int ret = ff::av_bsf_init(bsf.get());
      if (ret < 0)
        throw FFmpegException(Format("%s failed for stream %d, codec %s: ", bsf->filter->name, ost->rec->index,
                                     ost->enc->codec ? ost->enc->codec->name : "copy") +
                              ff::err2str(ret));
      par = bsf->par_out;
      tb = bsf->time_base_out;
    }
    if (!ost->rec->bitstream_filters.empty()) {
      if (ff::avcodec_parameters_copy(st->codecpar, par) < 0) throw FFmpegException("av_mallocz fail");
      st->time_base = tb;
    }
  }
}

void TConversionRun::WritePacket(TOutputRun& AOst, AVPacket* APacket) {
  if (AOst.rec->bitstream_filters.empty()) {
    AVFormatContext* oc = E.Foutput_files[AOst.rec->file_index];
    const int ret = ff::av_interleaved_write_frame(oc, APacket);
    if (ret < 0) throw FFmpegException("av_interleaved_write_frame(): " + ff::err2str(ret));
    return;
  }
  FilterPacket(AOst, 0, APacket);
}

void TConversionRun::FilterPacket(TOutputRun& AOst, size_t AStage, AVPacket* APacket) {
  TBsfChain& chain = AOst.rec->bitstream_filters;
  if (AStage == chain.size()) {
    if (!APacket) return;
    APacket->stream_index = AOst.rec->index;
    AVFormatContext* oc = E.Foutput_files[AOst.rec->file_index];
    const int ret = ff::av_interleaved_write_frame(oc, APacket);
    if (ret < 0) throw FFmpegException("av_interleaved_write_frame(): " + ff::err2str(ret));
    return;
  }
  // A filter may hold a packet back or split it; no packet ends the stream
  // and takes out what the filter still holds.
  AVBSFContext* bsf = chain[AStage].get();
  auto report = [&](int ACode) {
    const std::string msg = Format("%s failed for stream %d, codec %s", bsf->filter->name, AOst.rec->index,
                                   AOst.enc->codec ? AOst.enc->codec->name : "copy") +
                            ": " + ff::err2str(ACode);
    if (E.Fexit_on_error) throw FFmpegException(msg);
    E.Log(media::llError, msg);
  };
  int ret = ff::av_bsf_send_packet(bsf, APacket);
  if (ret < 0) {
    report(ret);
    return;
  }
  PacketPtr out(ff::av_packet_alloc());
  if (!out) throw FFmpegException("av_packet_alloc failed");
  while ((ret = ff::av_bsf_receive_packet(bsf, out.get())) >= 0) {
    FilterPacket(AOst, AStage + 1, out.get());
    ff::av_packet_unref(out.get());
  }
  if (ret != AVERROR(EAGAIN) && ret != AVERROR_EOF) report(ret);
  if (!APacket) FilterPacket(AOst, AStage + 1, nullptr);
}

void TConversionRun::FlushBitstreamFilters() {
  for (auto& ost : FOutputs)
    if (!ost->rec->bitstream_filters.empty()) FilterPacket(*ost, 0, nullptr);
}

}  // namespace engine
