// Set-up of a run: the input tables, the choice of a source for every output
// stream, and the preparation of each output stream for stream copy or for
// encoding.
#include <cstring>

#include "engine/FFmpegRunTables.h"
#include "media/FFLoad.h"
#include "platform/UiHandOver.h"

namespace engine {

std::string MediaTypeName(AVMediaType AType) {
  switch (AType) {
    case AVMEDIA_TYPE_VIDEO: return "Video";
    case AVMEDIA_TYPE_AUDIO: return "Audio";
    case AVMEDIA_TYPE_DATA: return "Data";
    case AVMEDIA_TYPE_SUBTITLE: return "Subtitle";
    case AVMEDIA_TYPE_ATTACHMENT: return "Attachment";
    default: return "Unknown";
  }
}


bool TSampleBuffer::Reserve(int ASamples, int AChannels, AVSampleFormat AFormat) {
  if (ASamples <= FSamples && AChannels == FChannels && AFormat == FFormat) return true;
  Release();
  if (ff::av_samples_alloc(FData, nullptr, AChannels, ASamples, AFormat, 0) < 0) return false;
  FSamples = ASamples;
  FChannels = AChannels;
  FFormat = AFormat;
  return true;
}

void TSampleBuffer::Release() {
  if (FData[0]) ff::av_freep(&FData[0]);
  std::fill(std::begin(FData), std::end(FData), nullptr);
  FSamples = 0;
}

TConversionRun::TConversionRun(TCustomFFmpeg& AEngine) : E(AEngine) {
  FPacket.reset(ff::av_packet_alloc());
  FCopyPacket.reset(ff::av_packet_alloc());
  if (!FPacket || !FCopyPacket) throw FFmpegException("av_packet_alloc failed");
  FWatchReads = !platform::ui::IsUiThread();
  if (FWatchReads)
    media::InterruptCB().Remove(platform::CurrentThreadId(), &E, &TCustomFFmpeg::BrokenProc);
}

TConversionRun::~TConversionRun() {
  if (FWatchReads) media::InterruptCB().Add(platform::CurrentThreadId(), &E, &TCustomFFmpeg::BrokenProc);
  // Codecs still open after a failure are closed here; the contexts belong to
  // the input files and output stream records, which the engine frees. A
  // join segment's entry uses the first segment's encoder and closes nothing.
  for (auto& ost : FOutputs)
    if (!ost->owner && ost->encoder_open && ost->enc) ff::avcodec_close(ost->enc);
  for (auto& ist : FInputStreams)
    if (ist->decoder_open && ist->dec) ff::avcodec_close(ist->dec);
}

void TConversionRun::BuildStreamTables() {
  FInputFiles.resize(static_cast<size_t>(E.Fnb_input_files));
  int32_t total = 0;
  for (int32_t i = 0; i < E.Fnb_input_files; ++i) {
    TOpenedInput& in = *E.Finput_files[i];
    // Live sources answer "try again" instead of blocking, so one input
    // waiting for data never holds back the others.
    in.ctx->flags |= AVFMT_FLAG_NONBLOCK;
    FInputFiles[i].ist_index = total;
    FInputFiles[i].nb_streams = static_cast<int32_t>(in.ctx->nb_streams);
    total += FInputFiles[i].nb_streams;
    for (unsigned s = 0; s < in.ctx->nb_streams; ++s) {
      auto ist = std::make_unique<TAVInputStream>();
      ist->file_index = i;
      ist->index = static_cast<int32_t>(s);
      ist->st = in.ctx->streams[s];
      ist->dec = s < in.decoders.size() ? in.decoders[s].get() : nullptr;
      if (E.Frate_emu) ist->start = ff::av_gettime_relative();
      FInputStreams.push_back(std::move(ist));
    }
  }
  FNoPacket.assign(static_cast<size_t>(E.FMaxFiles), false);
  FNoPacketCount = 0;
}

void TConversionRun::Dump(int32_t AFile) {
  AVFormatContext* oc = E.Foutput_files[AFile];
  ff::av_dump_format(oc, AFile, oc->url ? oc->url : "", 1);
}

void TConversionRun::FailDumped(const std::string& AMessage) {
  LogStreamMapping();
  E.Log(media::llError, AMessage);
  throw FFmpegException(AMessage);
}

void TConversionRun::MapOutputStreams() {
  int32_t total = 0;
  for (int32_t i = 0; i < E.Fnb_output_files; ++i) {
    AVFormatContext* oc = E.Foutput_files[i];
    if (oc->nb_streams == 0 && !(oc->oformat->flags & AVFMT_NOSTREAMS)) {
      Dump(i);
      throw FFmpegException(Format("Output file #%d does not contain any stream", i));
    }
    total += static_cast<int32_t>(oc->nb_streams);
  }
  FSegmentSize = E.Fnb_output_files > 0 ? static_cast<int32_t>(E.Foutput_files[0]->nb_streams) : 0;
  const bool join = E.FJoinMode;
  if (E.Fnb_stream_maps > 0 && E.Fnb_stream_maps != total)
    throw FFmpegException("Number of stream maps must match number of output streams");
  for (int32_t m = 0; m < E.Fnb_stream_maps; ++m) {
    const TAVStreamMap& map = E.Fstream_maps[m];
    auto valid = [&](int32_t f, int32_t s) {
      return f >= 0 && f < E.Fnb_input_files && s >= 0 && s < FInputFiles[f].nb_streams;
    };
    if (!valid(map.file_index, map.stream_index))
      throw FFmpegException(
          Format("Could not find input stream #%d.%d", map.file_index, map.stream_index));
    if (!valid(map.sync_file_index, map.sync_stream_index))
      throw FFmpegException(
          Format("Could not find sync stream #%d.%d", map.sync_file_index, map.sync_stream_index));
  }

  for (int32_t j = 0; j < E.Fnb_output_files; ++j) {
    AVFormatContext* oc = E.Foutput_files[j];
    for (unsigned k = 0; k < oc->nb_streams; ++k) {
      auto ost = std::make_unique<TOutputRun>();
      ost->rec = E.Foutput_streams_for_file[j][k].get();
      if (!ost->rec || !ost->rec->enc) throw FFmpegException("invalid output stream record");
      ost->rec->st = oc->streams[k];
      ost->enc = ost->rec->enc.get();
      const AVMediaType type = ost->rec->st->codecpar->codec_type;
      const int32_t m = static_cast<int32_t>(FOutputs.size());
      TAVInputStream* source = nullptr;
      TAVInputStream* sync = nullptr;
      if (E.Fnb_stream_maps > 0) {
        const TAVStreamMap& map = E.Fstream_maps[m];
        source = FInputStreams[FInputFiles[map.file_index].ist_index + map.stream_index].get();
        sync = FInputStreams[FInputFiles[map.sync_file_index].ist_index + map.sync_stream_index].get();
        const AVMediaType itype = source->st->codecpar->codec_type;
        if (itype != type) {
          Dump(j);
          throw FFmpegException(Format("Codec type mismatch for mapping #%d.%d (%s) -> #%d.%d (%s)",
                                       map.file_index, map.stream_index, MediaTypeName(itype).c_str(), j,
                                       static_cast<int>(k), MediaTypeName(type).c_str()));
        }
      } else {
        // First pass: a stream nobody takes yet, the library's best stream of
        // its file first (in join mode only the segment's own file); second
        // pass: any stream of the type.
        auto usable = [&](const TAVInputStream& s) {
          return s.st->discard != AVDISCARD_ALL && s.st->codecpar->codec_type == type;
        };
        for (int32_t f = 0; f < E.Fnb_input_files && !source; ++f) {
          if (join && f != j) continue;
          AVFormatContext* ic = E.Finput_files[f]->ctx;
          const int best = ff::av_find_best_stream(ic, type, -1, -1, nullptr, 0);
          TAVInputFile& file = FInputFiles[f];
          if (best >= 0) {
            TAVInputStream* cand = FInputStreams[file.ist_index + best].get();
            if (cand->discard == 1 && usable(*cand)) source = cand;
          }
          for (int32_t s = 0; s < file.nb_streams && !source; ++s) {
            TAVInputStream* cand = FInputStreams[file.ist_index + s].get();
            if (cand->discard == 1 && usable(*cand)) source = cand;
          }
        }
        if (!source && E.Fopt_programid == 0 && !join)
          for (auto& s : FInputStreams)
            if (usable(*s)) source = s.get();
        if (!source) {
          Dump(j);
          throw FFmpegException(Format("Could not find input stream matching output stream #%d.%d (%s)",
                                       j, static_cast<int>(k), MediaTypeName(type).c_str()));
        }
        sync = source;
      }
      // A later join segment writes the same stream through the first
      // segment's encoder.
      if (join)
        for (auto& first : FOutputs)
          if (first->rec->st == ost->rec->st) {
            ost->owner = first.get();
            ost->enc = first->enc;
            break;
          }
      source->discard = 0;
      ost->source = source;
      ost->sync_ist = sync;
      ost->rec->source_index =
          FInputFiles[source->file_index].ist_index + source->index;
      ost->rec->show_fps = 1;
      ost->pkt.reset(ff::av_packet_alloc());
      if (!ost->pkt) throw FFmpegException("av_packet_alloc failed");
      FRecords.push_back(ost->rec);
      FOutputs.push_back(std::move(ost));
    }
  }

  for (auto& ost : FOutputs) {
    AVStream* ist = ost->source->st;
    AVStream* st = ost->rec->st;
    if (E.Fmetadata_streams_autocopy)
      ff::av_dict_copy(&st->metadata, ist->metadata, AV_DICT_DONT_OVERWRITE);
    st->disposition = ist->disposition;
    st->codecpar->bits_per_raw_sample = ist->codecpar->bits_per_raw_sample;
    st->codecpar->chroma_location = ist->codecpar->chroma_location;
    if (ost->rec->stream_copy)
      PrepareStreamCopy(*ost);
    else
      PrepareEncoding(*ost);
  }
}

void TConversionRun::PrepareStreamCopy(TOutputRun& AOst) {
  const AVCodecParameters* in = AOst.source->st->codecpar;
  AVStream* st = AOst.rec->st;
  if (static_cast<int64_t>(in->extradata_size) + AV_INPUT_BUFFER_PADDING_SIZE > INT32_MAX)
    throw FFmpegException("icodec.extradata_size is invalid (too large)");
  switch (in->codec_type) {
    case AVMEDIA_TYPE_AUDIO:
      if (E.Faudio_volume != 256)
        throw FFmpegException("-acodec copy and -vol are incompatible (frames are not decoded)");
      if (E.FOnAudioHook)
        throw FFmpegException("-acodec copy and AudioHook are incompatible (frames are not decoded)");
      break;
    case AVMEDIA_TYPE_VIDEO:
      if (E.FOnInputVideoHook || E.FOnOutputVideoHook)
        throw FFmpegException("-vcodec copy and VideoHook are incompatible (frames are not decoded)");
      if (E.Fusing_vhook)
        throw FFmpegException("-vcodec copy and -vhook are incompatible (frames are not decoded)");
      if (E.FPostHooks != 0)
        throw FFmpegException("-vcodec copy and PostHooks are incompatible (frames are not decoded)");
      break;
    case AVMEDIA_TYPE_SUBTITLE:
      break;
    default:
      throw FFmpegException("invalid codec_type of output stream");
  }
  const AVRational sar = st->sample_aspect_ratio;
  // A later join segment shares the stream the first one described.
  if (AOst.owner) return;
  if (ff::avcodec_parameters_copy(st->codecpar, in) < 0) throw FFmpegException("av_mallocz fail");
  if (sar.num) st->codecpar->sample_aspect_ratio = sar;
  // Keep the input's tag only where the container agrees with it.
  const AVOutputFormat* of = E.Foutput_files[AOst.rec->file_index]->oformat;
  if (of->codec_tag) {
    const AVCodecID byTag = ff::av_codec_get_id(of->codec_tag, in->codec_tag);
    const unsigned tagOfId = ff::av_codec_get_tag(of->codec_tag, in->codec_id);
    if (!(byTag == in->codec_id || tagOfId == 0)) st->codecpar->codec_tag = 0;
  }
  if (in->codec_type == AVMEDIA_TYPE_AUDIO && in->block_align == 1 &&
      in->codec_id == AV_CODEC_ID_MP3)
    st->codecpar->block_align = 0;
  if (in->codec_id == AV_CODEC_ID_AC3) st->codecpar->block_align = 0;
  st->time_base = AOst.source->st->time_base;
  st->avg_frame_rate = AOst.source->st->avg_frame_rate;
  st->r_frame_rate = AOst.source->st->r_frame_rate;
  AOst.enc->codec_type = in->codec_type;
  AOst.enc->codec_id = in->codec_id;
  AOst.enc->time_base = st->time_base;
}

void TConversionRun::PrepareEncoding(TOutputRun& AOst) {
  TAVInputStream& ist = *AOst.source;
  AVCodecContext* enc = AOst.enc;
  AOst.rec->encoding_needed = 1;
  ist.decoding_needed = 1;
  if (!ist.dec) throw FFmpegException("invalid codec_type of output stream");
  switch (enc->codec_type) {
    case AVMEDIA_TYPE_AUDIO:
      AOst.resample_sample_fmt = ist.dec->sample_fmt;
      AOst.resample_sample_rate = ist.dec->sample_rate;
      AOst.resample_channels = ist.dec->ch_layout.nb_channels;
      break;
    case AVMEDIA_TYPE_VIDEO: {
      if (enc->pix_fmt == AV_PIX_FMT_NONE)
        throw FFmpegException("Video pixel format is unknown, stream cannot be encoded");
      if (enc->width <= 0 || enc->height <= 0) {
        enc->width = ist.dec->width;
        enc->height = ist.dec->height;
      }
      AOst.resample_width = ist.dec->width;
      AOst.resample_height = ist.dec->height;
      AOst.resample_pix_fmt = ist.dec->pix_fmt;
      const bool resample = enc->width != ist.dec->width || enc->height != ist.dec->height ||
                            enc->pix_fmt != ist.dec->pix_fmt;
      if (resample) enc->bits_per_raw_sample = 0;
      if (resample || E.FEnableFilter || E.Fdo_deinterlace) {
        E.FLastErrMsg.clear();
        const AVRational sar = ist.st->sample_aspect_ratio.num ? ist.st->sample_aspect_ratio
                                                               : ist.dec->sample_aspect_ratio;
        if (BuildFilterGraph(AOst, ist.dec->width, ist.dec->height, ist.dec->pix_fmt, sar) != 0)
          throw FFmpegException(E.FLastErrMsg.empty() ? std::string("Error opening filters!")
                                                      : "Error opening filters: " + E.FLastErrMsg);
      }
      if (!AOst.filtered) AOst.filtered.reset(ff::av_frame_alloc());
      AOst.encode_frame.reset(ff::av_frame_alloc());
      if (!AOst.filtered || !AOst.encode_frame) throw FFmpegException("av_frame_alloc failed");
      break;
    }
    case AVMEDIA_TYPE_SUBTITLE:
      break;
    default:
      throw FFmpegException("invalid codec_type of output stream");
  }
}

void TConversionRun::OpenEncoders() {
  // In join mode only the first segment has encoders of its own.
  for (size_t g = 0; g < FOutputs.size(); ++g) {
    TOutputRun& ost = *FOutputs[g];
    if (!ost.rec->encoding_needed || ost.owner) continue;
    const int32_t f = ost.rec->file_index, s = ost.rec->index;
    const std::string type = MediaTypeName(ost.enc->codec_type);
    const AVCodec* codec = g < E.Foutput_codecs.size() && E.Foutput_codecs[g]
                               ? E.Foutput_codecs[g]
                               : ff::avcodec_find_encoder(ost.enc->codec_id);
    if (!codec)
      FailDumped(Format("Encoder (codec id %d) not found for output stream #%d.%d (%s)",
                        static_cast<int>(ost.enc->codec_id), f, s, type.c_str()));
    // A subtitle encoder starts from the styles the decoder describes.
    const AVCodecContext* dec = ost.source->dec;
    if (dec && dec->subtitle_header && dec->subtitle_header_size > 0 && !ost.enc->subtitle_header) {
      const auto size = static_cast<size_t>(dec->subtitle_header_size);
      ost.enc->subtitle_header = static_cast<uint8_t*>(ff::av_mallocz(size + 1));
      if (!ost.enc->subtitle_header) FailDumped("av_malloc failed");
      std::memcpy(ost.enc->subtitle_header, dec->subtitle_header, size);
      ost.enc->subtitle_header_size = dec->subtitle_header_size;
    }
    const AVRational tb = ost.enc->time_base;
    if (ost.enc->codec_type == AVMEDIA_TYPE_SUBTITLE && (tb.num <= 0 || tb.den <= 0))
      ost.enc->time_base = ost.source->st->time_base;
    if (ost.enc->flags & (AV_CODEC_FLAG_PASS1 | AV_CODEC_FLAG_PASS2))
      ost.passlog.Open(E.Fpass_logfilename_prefix, ost.enc, static_cast<int>(g));
    if (ff::avcodec_open2(ost.enc, codec, nullptr) < 0)
      FailDumped(Format("Error while opening encoder for output stream #%d.%d (%s) - maybe incorrect "
                        "parameters such as bit_rate, rate, width or height. Please check error log "
                        "message to find out more detail information.",
                        f, s, type.c_str()));
    ost.encoder_open = true;
    ost.codec_id = ost.enc->codec_id;
    AVStream* st = ost.rec->st;
    if (ff::avcodec_parameters_from_context(st->codecpar, ost.enc) < 0)
      throw FFmpegException("avcodec_parameters_from_context failed");
    st->time_base = ost.enc->time_base;
    if (ost.enc->codec_type == AVMEDIA_TYPE_VIDEO) st->avg_frame_rate = ost.enc->framerate;
    E.Fextra_size += ost.enc->extradata_size;
    AllocAudioFifo(ost);
  }
  for (auto& ost : FOutputs) {
    if (!ost->rec->encoding_needed || !ost->owner) continue;
    ost->encoder_open = ost->owner->encoder_open;
    AllocAudioFifo(*ost);
  }
  MirrorJoinRecords();
}

void TConversionRun::AllocAudioFifo(TOutputRun& AOst) {
  const AVCodecContext* enc = AOst.enc;
  if (enc->codec_type != AVMEDIA_TYPE_AUDIO) return;
  const int frame = enc->frame_size > 0 ? enc->frame_size : 1024;
  AOst.fifo.reset(ff::av_audio_fifo_alloc(enc->sample_fmt, enc->ch_layout.nb_channels, frame * 2));
  AOst.audio_frame.reset(ff::av_frame_alloc());
  if (!AOst.fifo || !AOst.audio_frame) throw FFmpegException("av_fifo_alloc fail");
}

void TConversionRun::OpenDecoders() {
  for (auto& ist : FInputStreams) {
    if (!ist->decoding_needed) continue;
    const std::string type = MediaTypeName(ist->st->codecpar->codec_type);
    const size_t g = static_cast<size_t>(FInputFiles[ist->file_index].ist_index + ist->index);
    const AVCodec* codec = g < E.Finput_codecs.size() && E.Finput_codecs[g]
                               ? E.Finput_codecs[g]
                               : ff::avcodec_find_decoder(ist->dec->codec_id);
    if (!codec)
      FailDumped(Format("Decoder (codec id %d) not found for input stream #%d.%d (%s)",
                        static_cast<int>(ist->dec->codec_id), ist->file_index, ist->index,
                        type.c_str()));
    if (ff::avcodec_open2(ist->dec, codec, nullptr) < 0)
      FailDumped(Format("Error while opening decoder for input stream #%d.%d (%s)", ist->file_index,
                        ist->index, type.c_str()));
    ist->decoder_open = true;
    ist->frame.reset(ff::av_frame_alloc());
    if (!ist->frame) throw FFmpegException("av_frame_alloc failed");
  }
}

}  // namespace engine
