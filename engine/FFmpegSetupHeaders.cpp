// The last steps before the first packet: input clocks, metadata and
// chapters, output headers, and the stream mapping in the log.
#include <algorithm>
#include <cmath>
#include <cstring>
#include <limits>

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

  // Chapters: by the chapter maps, else from the first input that has any.
  for (int32_t i = 0; i < E.Fnb_chapter_maps; ++i) {
    const TAVChapterMap& m = E.Fchapter_maps[i];
    if (m.in_file < 0 || m.out_file < 0) continue;
    if (m.in_file >= E.Fnb_input_files)
      FailDumped(Format("Invalid input file index %d in chapter mapping.", m.in_file));
    if (m.out_file >= E.Fnb_output_files)
      FailDumped(Format("Invalid output file index %d in chapter mapping.", m.out_file));
    CopyChapters(m.in_file, m.out_file);
  }
  if (E.Fnb_chapter_maps == 0)
    for (int32_t i = 0; i < E.Fnb_input_files; ++i) {
      if (E.Finput_files[i]->ctx->nb_chapters == 0) continue;
      for (int32_t o = 0; o < E.Fnb_output_files; ++o)
        if (!RepeatedOutput(o)) CopyChapters(i, o);
      break;
    }
}

void TConversionRun::CopyChapters(int32_t AInFile, int32_t AOutFile) {
  const AVFormatContext* is = E.Finput_files[AInFile]->ctx;
  AVFormatContext* os = E.Foutput_files[AOutFile];
  constexpr AVRational kMicro{1, 1000000};
  for (unsigned i = 0; i < is->nb_chapters; ++i) {
    const AVChapter* in = is->chapters[i];
    // The output starts at the input's start time (less its offset) and
    // lasts the recording time: chapters are moved and cut to that window.
    const int64_t offset =
        ff::av_rescale_q(E.Fstart_time - E.Finput_files_ts_offset[AInFile], kMicro, in->time_base);
    const int64_t limit = E.Frecording_time == kNoTime
                              ? std::numeric_limits<int64_t>::max()
                              : ff::av_rescale_q(E.Frecording_time, kMicro, in->time_base);
    // A chapter that would be left without any length is not copied.
    if (in->end <= offset) continue;
    if (limit != std::numeric_limits<int64_t>::max() && in->start >= offset + limit) break;
    auto* out = static_cast<AVChapter*>(ff::av_mallocz(sizeof(AVChapter)));
    if (!out) throw FFmpegException("av_mallocz fail");
    out->id = in->id;
    out->time_base = in->time_base;
    out->start = std::max<int64_t>(0, in->start - offset);
    out->end = std::min(limit, in->end - offset);
    if (E.Fmetadata_chapters_autocopy) ff::av_dict_copy(&out->metadata, in->metadata, 0);
    auto* grown = static_cast<AVChapter**>(
        ff::av_realloc(os->chapters, sizeof(AVChapter*) * (static_cast<size_t>(os->nb_chapters) + 1)));
    if (!grown) {
      ff::av_dict_free(&out->metadata);
      ff::av_free(out);
      throw FFmpegException("av_realloc fail");
    }
    os->chapters = grown;
    os->chapters[os->nb_chapters++] = out;
  }
}

void TConversionRun::WriteHeaders() {
  for (int32_t i = 0; i < E.Fnb_output_files; ++i) {
    if (RepeatedOutput(i)) continue;
    AVFormatContext* oc = E.Foutput_files[i];
    TReadWatch watch(&E);
    if (ff::avformat_write_header(oc, nullptr) < 0)
      FailDumped(Format("Could not write header for output file #%d (incorrect codec parameters ?)", i));
    FHeadersWritten = i + 1;
  }
  LogSdp();
}

void TConversionRun::LogSdp() {
  std::vector<AVFormatContext*> written;
  for (int32_t i = 0; i < E.Fnb_output_files; ++i) {
    if (RepeatedOutput(i)) continue;
    AVFormatContext* oc = E.Foutput_files[i];
    if (!oc->oformat || std::strcmp(oc->oformat->name, "rtp") != 0) return;
    written.push_back(oc);
  }
  if (written.empty()) return;
  char sdp[2048] = {};
  if (ff::av_sdp_create(written.data(), static_cast<int>(written.size()), sdp, sizeof sdp) < 0) {
    E.Log(media::llError, "The SDP description could not be built");
    return;
  }
  std::string text(sdp);
  const size_t first = text.find_first_not_of(" \t\r\n");
  const size_t last = text.find_last_not_of(" \t\r\n");
  text = first == std::string::npos ? std::string() : text.substr(first, last - first + 1);
  E.Log(media::llInfo, "SDP:\r\n" + text);
}

void TConversionRun::LogStreamMapping() {
  for (int32_t i = 0; i < E.Fnb_output_files; ++i)
    if (!RepeatedOutput(i)) Dump(i);
  if (E.Fverbose < 0) return;
  E.Log(media::llVerbose, "Stream mapping:");
  for (auto& ost : FOutputs) {
    if (!ost->source) continue;
    const char* type = ff::av_get_media_type_string(ost->rec->st->codecpar->codec_type);
    // A later join segment writes into the first segment's output file.
    const int32_t file = ost->owner ? ost->owner->rec->file_index : ost->rec->file_index;
    std::string line = Format("  Stream #%d.%d -> #%d.%d (%s)", ost->source->file_index,
                              ost->source->index, file, ost->rec->index,
                              type ? type : "unknown");
    E.Log(media::llVerbose, line);
    if (ost->sync_ist && ost->sync_ist != ost->source)
      E.Log(media::llVerbose, Format(" [sync #%d.%d (%s)]", ost->sync_ist->file_index,
                                     ost->sync_ist->index, type ? type : "unknown"));
  }
}

}  // namespace engine
