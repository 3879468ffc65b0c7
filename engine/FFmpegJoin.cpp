// Join mode: the input files are played one after another into the one
// output file. Output file i lists the same context for every input i, with
// one output-stream entry per stream; the first segment's entries own the
// encoders, the later ones write through them. Between segments the
// encoders are drained and, since a drained encoder cannot take more
// frames, replaced by fresh ones with the same settings; the next file's
// timestamps are moved behind the end of the previous one.
#include <cmath>
#include <cstring>
#include <utility>

#include "engine/FFmpegRunTables.h"

namespace engine {
namespace {

// A closed encoder context cannot be opened again: a fresh one takes over
// every setting of AOld (its public and private options, and the fields the
// option layer and the stream set-up fill in that are not options).
CodecCtxPtr CloneEncoderSettings(const AVCodecContext* AOld, const AVCodec* ACodec) {
  CodecCtxPtr fresh(ff::avcodec_alloc_context3(ACodec));
  if (!fresh) return nullptr;
  AVCodecContext* c = fresh.get();
  if (ff::av_opt_copy(c, AOld) < 0) return nullptr;
  if (c->priv_data && AOld->priv_data && AOld->codec == ACodec && ACodec->priv_class &&
      ff::av_opt_copy(c->priv_data, AOld->priv_data) < 0)
    return nullptr;
  c->codec_type = AOld->codec_type;
  c->time_base = AOld->time_base;
  c->framerate = AOld->framerate;
  c->width = AOld->width;
  c->height = AOld->height;
  c->pix_fmt = AOld->pix_fmt;
  c->sample_aspect_ratio = AOld->sample_aspect_ratio;
  c->field_order = AOld->field_order;
  c->color_range = AOld->color_range;
  c->colorspace = AOld->colorspace;
  c->color_primaries = AOld->color_primaries;
  c->color_trc = AOld->color_trc;
  c->bits_per_raw_sample = AOld->bits_per_raw_sample;
  c->sample_fmt = AOld->sample_fmt;
  c->sample_rate = AOld->sample_rate;
  if (ff::av_channel_layout_copy(&c->ch_layout, &AOld->ch_layout) < 0) return nullptr;
  c->bit_rate = AOld->bit_rate;
  c->flags = AOld->flags;
  c->flags2 = AOld->flags2;
  c->gop_size = AOld->gop_size;
  c->max_b_frames = AOld->max_b_frames;
  c->qmin = AOld->qmin;
  c->qmax = AOld->qmax;
  c->global_quality = AOld->global_quality;
  c->codec_tag = AOld->codec_tag;
  c->thread_count = AOld->thread_count;
  // Quantiser matrices belong to the context that holds them.
  for (auto [from, to] : {std::pair{AOld->intra_matrix, &c->intra_matrix},
                          std::pair{AOld->inter_matrix, &c->inter_matrix}}) {
    if (!from) continue;
    *to = static_cast<uint16_t*>(ff::av_malloc(64 * sizeof(uint16_t)));
    if (!*to) return nullptr;
    std::memcpy(*to, from, 64 * sizeof(uint16_t));
  }
  if (AOld->subtitle_header && AOld->subtitle_header_size > 0) {
    const size_t size = static_cast<size_t>(AOld->subtitle_header_size);
    c->subtitle_header = static_cast<uint8_t*>(ff::av_mallocz(size + 1));
    if (!c->subtitle_header) return nullptr;
    std::memcpy(c->subtitle_header, AOld->subtitle_header, size);
    c->subtitle_header_size = AOld->subtitle_header_size;
  }
  return fresh;
}

}  // namespace

bool TConversionRun::RepeatedOutput(int32_t AFile) const {
  for (int32_t i = 0; i < AFile; ++i)
    if (E.Foutput_files[i] == E.Foutput_files[AFile]) return true;
  return false;
}

bool TConversionRun::KeepJoinPacket(TOutputRun& AOst, const AVPacket* APacket) {
  if (!E.FJoinMode || APacket->dts == AV_NOPTS_VALUE) return true;
  // A fresh encoder may begin with priming packets placed before the frames
  // it was given, over the end of the previous segment; the muxer would
  // refuse them.
  TOutputRun& first = AOst.owner ? *AOst.owner : AOst;
  if (first.last_dts != AV_NOPTS_VALUE && APacket->dts <= first.last_dts) return false;
  first.last_dts = APacket->dts;
  return true;
}

void TConversionRun::MirrorJoinRecords() {
  // The status line reads the records' contexts: a later segment's record
  // shows the settings of the encoder it writes through.
  for (auto& ost : FOutputs) {
    if (!ost->owner) continue;
    const AVCodecContext* from = ost->owner->enc;
    AVCodecContext* to = ost->rec->enc.get();
    to->codec_type = from->codec_type;
    to->codec_id = from->codec_id;
    to->time_base = from->time_base;
    to->flags = from->flags;
    to->width = from->width;
    to->height = from->height;
  }
}

void TConversionRun::ReopenEncoders() {
  for (size_t g = 0; g < FOutputs.size(); ++g) {
    TOutputRun& ost = *FOutputs[g];
    if (ost.owner || !ost.rec->encoding_needed) continue;
    const int32_t f = ost.rec->file_index, s = ost.rec->index;
    const std::string type = MediaTypeName(ost.enc->codec_type);
    const AVCodec* codec = g < E.Foutput_codecs.size() && E.Foutput_codecs[g]
                               ? E.Foutput_codecs[g]
                               : ff::avcodec_find_encoder(ost.codec_id);
    if (!codec)
      throw FFmpegException(Format("Unsupported codec for output stream #%d.%d (%s)", f, s, type.c_str()));
    CodecCtxPtr fresh = CloneEncoderSettings(ost.enc, codec);
    if (!fresh) throw FFmpegException("avcodec_alloc_context3 failed");
    fresh->codec_id = ost.codec_id;
    // The old encoder is closed and freed with the swap; the stream keeps
    // the parameters its header was written with.
    ost.encoder_open = false;
    ost.drained = false;
    ost.passlog.Rebind(fresh.get());
    ost.rec->enc = std::move(fresh);
    ost.enc = ost.rec->enc.get();
    for (auto& later : FOutputs)
      if (later->owner == &ost) {
        later->enc = ost.enc;
        later->encoder_open = false;
      }
    if (ff::avcodec_open2(ost.enc, codec, nullptr) < 0)
      throw FFmpegException(Format("Error while opening codec for output stream #%d.%d (%s) - maybe "
                                   "incorrect parameters such as bit_rate, rate, width or height",
                                   f, s, type.c_str()));
    ost.encoder_open = true;
    for (auto& later : FOutputs)
      if (later->owner == &ost) later->encoder_open = true;
  }
  MirrorJoinRecords();
}

bool TConversionRun::EndJoinSegment(int32_t AFile) {
  // The segment's decoders give what they hold; that drains the encoders
  // they feed.
  for (auto& ist : FInputStreams) {
    if (ist->file_index != AFile || !ist->decoding_needed) continue;
    ProcessPacket(*ist, nullptr);
    if (ist->decoder_open) ff::avcodec_flush_buffers(ist->dec);
    ist->decoder_flushed = 1;
  }
  const bool last = AFile + 1 >= E.Fnb_input_files;
  // Fresh encoders for the next segment.
  if (!last) ReopenEncoders();
  // Numbering goes on where the segment ended.
  const size_t stride = static_cast<size_t>(std::max(FSegmentSize, 1));
  const size_t next = static_cast<size_t>(AFile + 1) * stride;
  for (size_t g = next; g < FOutputs.size(); ++g) {
    TOutputRun& ost = *FOutputs[g];
    const TOutputRun& prev = *FOutputs[g - stride];
    ost.rec->sync_opts = prev.rec->sync_opts;
    ost.rec->frame_number = prev.rec->frame_number;
    ost.samples_sent = prev.samples_sent;
  }
  // Where the segment ended: the latest stream end. The status line
  // follows the next segment.
  double end = 0;
  for (size_t g = static_cast<size_t>(AFile) * stride; g < next && g < FOutputs.size(); ++g) {
    TOutputRun& ost = *FOutputs[g];
    if (g + stride >= FOutputs.size()) continue;
    // Encoded: where the encoder's next frame would start; copied: where
    // the source's next packet would.
    const AVCodecContext* enc = ost.enc;
    const TAVInputStream& src = *ost.source;
    const int64_t copied = src.next_pts == AV_NOPTS_VALUE ? src.pts : src.next_pts;
    const double t = ost.rec->encoding_needed && enc->time_base.den
                         ? static_cast<double>(ost.rec->sync_opts) * enc->time_base.num / enc->time_base.den
                         : static_cast<double>(copied) / 1000000.0;
    end = std::max(end, t);
    ost.rec->show_fps = 0;
  }
  // The last input ends the run; the next one starts where this one ended.
  if (last) return false;
  E.Finput_files_ts_offset[AFile + 1] += std::llround(1000000.0 * end);
  return true;
}

}  // namespace engine
