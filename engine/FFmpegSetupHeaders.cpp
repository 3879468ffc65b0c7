// The last steps before the first packet: input clocks, metadata and
// chapters, output headers, and the stream mapping in the log.
#include <cmath>

#include "engine/FFmpegRunTables.h"

namespace engine {

void TConversionRun::InitInputTimestamps() {
  for (auto& ist : FInputStreams) {
    const AVRational rate = ist->st->avg_frame_rate;
    const int delay = ist->st->codecpar->video_delay;
    ist->pts = rate.num != 0 && rate.den != 0
                   ? -std::llround(delay * 1000000.0 * rate.den / rate.num)
                   : 0;
    ist->next_pts = AV_NOPTS_VALUE;
    ist->is_start = 1;
  }
}

void TConversionRun::CopyMetadata() {
  for (int32_t i = 0; i < E.Fnb_meta_data_maps; ++i) {
    const auto& [out, in] = E.Fmeta_data_maps[i];
    if (out.file < 0 || in.file < 0) continue;
    if (out.file >= E.Fnb_output_files)
      FailDumped(Format("Invalid %s index %d while processing metadata maps", "output file", out.file));
    if (in.file >= E.Fnb_input_files)
      FailDumped(Format("Invalid %s index %d while processing metadata maps", "input file", in.file));
    auto pick = [this](AVFormatContext* ctx, const TAVMetaDataMap& m) -> AVDictionary** {
      switch (m.type) {
        case 's':
          if (m.index < 0 || m.index >= static_cast<int>(ctx->nb_streams))
            FailDumped(Format("Invalid %s index %d while processing metadata maps", "stream", m.index));
          return &ctx->streams[m.index]->metadata;
        case 'c':
          if (m.index < 0 || m.index >= static_cast<int>(ctx->nb_chapters))
            FailDumped(Format("Invalid %s index %d while processing metadata maps", "chapter", m.index));
          return &ctx->chapters[m.index]->metadata;
        case 'p':
          if (m.index < 0 || m.index >= static_cast<int>(ctx->nb_programs))
            FailDumped(Format("Invalid %s index %d while processing metadata maps", "program", m.index));
          return &ctx->programs[m.index]->metadata;
        default:
          return &ctx->metadata;
      }
    };
    AVDictionary** dst = pick(E.Foutput_files[out.file], out);
    AVDictionary** src = pick(E.Finput_files[in.file]->ctx, in);
    ff::av_dict_copy(dst, *src, AV_DICT_DONT_OVERWRITE);
  }
  if (E.Fmetadata_global_autocopy && E.Fnb_input_files > 0)
    for (int32_t o = 0; o < E.Fnb_output_files; ++o)
      ff::av_dict_copy(&E.Foutput_files[o]->metadata, E.Finput_files[0]->ctx->metadata,
                       AV_DICT_DONT_OVERWRITE);
}

void TConversionRun::WriteHeaders() {
  for (int32_t i = 0; i < E.Fnb_output_files; ++i) {
    AVFormatContext* oc = E.Foutput_files[i];
    TReadWatch watch(&E);
    if (ff::avformat_write_header(oc, nullptr) < 0)
      FailDumped(Format("Could not write header for output file #%d (incorrect codec parameters ?)", i));
    FHeadersWritten = i + 1;
  }
}

void TConversionRun::LogStreamMapping() {
  for (int32_t i = 0; i < E.Fnb_output_files; ++i) Dump(i);
  if (E.Fverbose < 0) return;
  E.Log(media::llVerbose, "Stream mapping:");
  for (auto& ost : FOutputs) {
    if (!ost->source) continue;
    const char* type = ff::av_get_media_type_string(ost->rec->st->codecpar->codec_type);
    std::string line = Format("  Stream #%d.%d -> #%d.%d (%s)", ost->source->file_index,
                              ost->source->index, ost->rec->file_index, ost->rec->index,
                              type ? type : "unknown");
    E.Log(media::llVerbose, line);
    if (ost->sync_ist && ost->sync_ist != ost->source)
      E.Log(media::llVerbose, Format(" [sync #%d.%d (%s)]", ost->sync_ist->file_index,
                                     ost->sync_ist->index, type ? type : "unknown"));
  }
}

}  // namespace engine
