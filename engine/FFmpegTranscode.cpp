// The packet loop of a conversion: the input whose output is furthest behind
// gives the next packet; its timestamps are corrected and it is decoded and
// dispatched. The loop ends when the inputs are exhausted, a limit is
// reached or Stop is asked; then decoders, filters, audio FIFOs and encoders
// are drained and the trailers written, so a stopped recording is complete.
#include <algorithm>
#include <cmath>
#include <cstdio>

#include "engine/FFmpegRunTables.h"
#include "media/FFLoad.h"

namespace engine {
namespace {

constexpr AVRational kMicro{1, 1000000};

}  // namespace

// The engine's stop check, registered for the conversion thread while one
// read blocks.
class TReadInterrupt {
 public:
  explicit TReadInterrupt(TConversionRun& ARun) : FRun(ARun) { FRun.WatchReads(true); }
  ~TReadInterrupt() { FRun.WatchReads(false); }
  TReadInterrupt(const TReadInterrupt&) = delete;
  TReadInterrupt& operator=(const TReadInterrupt&) = delete;

 private:
  TConversionRun& FRun;
};

void TConversionRun::WatchReads(bool AOn) {
  if (!FWatchReads) return;
  if (AOn)
    media::InterruptCB().Add(platform::CurrentThreadId(), &E, &TCustomFFmpeg::BrokenProc);
  else
    media::InterruptCB().Remove(platform::CurrentThreadId(), &E, &TCustomFFmpeg::BrokenProc);
}

void TCustomFFmpeg::Transcode() {
  TConversionRun run(*this);
  run.BuildStreamTables();
  run.MapOutputStreams();
  // Decoders first: a subtitle decoder describes its styles only once open,
  // and the subtitle encoder needs them when it opens.
  run.OpenDecoders();
  run.OpenEncoders();
  run.InitInputTimestamps();
  run.CopyMetadata();
  run.InitBitstreamFilters();
  run.WriteHeaders();
  run.LogStreamMapping();
  try {
    run.Loop();
    run.Finish();
  } catch (...) {
    run.SalvageTrailers();
    throw;
  }
  FFinished = !FBroken;
}

void TConversionRun::Loop() {
  E.Ftimer_start = ff::av_gettime_relative();
  int64_t lastReport = E.Ftimer_start;
  std::fill(FNoPacket.begin(), FNoPacket.end(), false);
  FNoPacketCount = 0;
  AVPacket* pkt = FPacket.get();
  int32_t segment = 0;  // join mode: the input file being appended

  while (!E.FBroken) {
    if (!E.WaitAtPauseGate()) break;
    // 1. The input whose output is furthest behind; in join mode the
    // current segment's file until a frame limit is reached.
    double minOut = 1e100, minIn = 1e100;
    int32_t fileIndex = E.FJoinMode ? segment : -1;
    for (size_t g = 0; E.FJoinMode && g < FOutputs.size(); ++g) {
      if (static_cast<int32_t>(g) / std::max(FSegmentSize, 1) != segment) continue;
      const TOutputRun& ost = *FOutputs[g];
      const int type = ost.enc->codec_type;
      if (type >= 0 && type < 4 && ost.rec->frame_number >= E.Fmax_frames[type]) {
        fileIndex = -1;
        break;
      }
    }
    for (auto& ost : FOutputs) {
      if (E.FJoinMode) break;
      TAVInputStream& ist = *ost->source;
      if (ist.is_past_recording_time || FNoPacket[static_cast<size_t>(ist.file_index)]) continue;
      const AVCodecContext* enc = ost->enc;
      const double opts = ost->rec->encoding_needed && enc->time_base.den
                              ? static_cast<double>(ost->rec->sync_opts) * enc->time_base.num / enc->time_base.den
                              : static_cast<double>(ist.pts) / 1000000.0;
      const double ipts = static_cast<double>(ist.pts);
      if (!FInputFiles[static_cast<size_t>(ist.file_index)].eof_reached) {
        if (ipts < minIn) {
          minIn = ipts;
          if (E.Finput_sync) fileIndex = ist.file_index;
        }
        if (opts < minOut) {
          minOut = opts;
          if (!E.Finput_sync) fileIndex = ist.file_index;
        }
      }
      const int type = enc->codec_type;
      if (type >= 0 && type < 4 && ost->rec->frame_number >= E.Fmax_frames[type]) {
        fileIndex = -1;
        break;
      }
    }
    // 2. Nothing to read: the end, or every live input said "try again".
    if (fileIndex < 0) {
      if (E.FJoinMode || FNoPacketCount == 0) break;
      std::fill(FNoPacket.begin(), FNoPacket.end(), false);
      FNoPacketCount = 0;
      platform::SleepMs(10);
      continue;
    }
    // 3. Size limit of the first output.
    AVFormatContext* oc0 = E.Foutput_files[0];
    if (E.Flimit_filesize != 0 && oc0->pb && ff::avio_tell(oc0->pb) >= E.Flimit_filesize) break;
    // 4. Read.
    TOpenedInput& in = *E.Finput_files[fileIndex];
    TAVInputFile& file = FInputFiles[static_cast<size_t>(fileIndex)];
    int ret;
    {
      TReadInterrupt watch(*this);
      ret = in.ReadPacket(pkt);
    }
    if (ret == AVERROR(EAGAIN)) {
      FNoPacket[static_cast<size_t>(fileIndex)] = true;
      ++FNoPacketCount;
      if (E.FJoinMode) platform::SleepMs(10);
      continue;
    }
    if (ret < 0) {
      file.eof_reached = 1;
      if (E.FJoinMode) {
        if (!EndJoinSegment(fileIndex)) break;
        segment = fileIndex + 1;
        continue;
      }
      if (E.Fopt_shortest) break;
      continue;
    }
    ++E.FPacketsRead;
    // 5.
    std::fill(FNoPacket.begin(), FNoPacket.end(), false);
    FNoPacketCount = 0;
    if (E.Fdo_pkt_dump && pkt->stream_index < file.nb_streams)
      ff::av_pkt_dump_log2(nullptr, AV_LOG_DEBUG, pkt, E.Fdo_hex_dump ? 1 : 0,
                           in.ctx->streams[pkt->stream_index]);
    // 6. Packets of streams nobody takes are dropped.
    if (pkt->stream_index >= file.nb_streams || FInputStreams[file.ist_index + pkt->stream_index]->discard) {
      ff::av_packet_unref(pkt);
      continue;
    }
    TAVInputStream& ist = *FInputStreams[file.ist_index + pkt->stream_index];
    const AVRational tb = ist.st->time_base;
    // 7. Offset and scale of the file's timestamps.
    const int64_t offset = ff::av_rescale_q(E.Finput_files_ts_offset[fileIndex], kMicro, tb);
    if (pkt->dts != AV_NOPTS_VALUE) pkt->dts += offset;
    if (pkt->pts != AV_NOPTS_VALUE) pkt->pts += offset;
    if (static_cast<size_t>(fileIndex) < E.Fnb_input_files_ts_scale.size() &&
        pkt->stream_index < E.Fnb_input_files_ts_scale[fileIndex]) {
      const double scale = E.Finput_files_ts_scale[fileIndex][pkt->stream_index];
      if (scale != 0) {
        if (pkt->pts != AV_NOPTS_VALUE) pkt->pts = static_cast<int64_t>(std::nearbyint(pkt->pts * scale));
        if (pkt->dts != AV_NOPTS_VALUE) pkt->dts = static_cast<int64_t>(std::nearbyint(pkt->dts * scale));
      }
    }
    // 8. Discontinuities of formats that have them.
    if (pkt->dts != AV_NOPTS_VALUE && ist.next_pts != AV_NOPTS_VALUE && in.ctx->iformat &&
        (in.ctx->iformat->flags & AVFMT_TS_DISCONT) && !E.Fcopy_ts) {
      const int64_t dtsUs = ff::av_rescale_q(pkt->dts, tb, kMicro);
      const int64_t delta = dtsUs - ist.next_pts;
      if (std::llabs(delta) > static_cast<int64_t>(E.Fdts_delta_threshold * 1000000) || dtsUs + 1 < ist.pts) {
        E.Finput_files_ts_offset[fileIndex] -= delta;
        if (E.Fverbose > 2)
          E.Log(media::llVerbose, Format("timestamp discontinuity %lld, new offset= %lld",
                                         static_cast<long long>(delta),
                                         static_cast<long long>(E.Finput_files_ts_offset[fileIndex])));
        const int64_t d = ff::av_rescale_q(delta, kMicro, tb);
        pkt->dts -= d;
        if (pkt->pts != AV_NOPTS_VALUE) pkt->pts -= d;
      }
    }
    // 9. Recording time.
    if (E.Frecording_time != kNoTime) {
      const int64_t t = pkt->pts != AV_NOPTS_VALUE ? pkt->pts : pkt->dts;
      if (t != AV_NOPTS_VALUE && ff::av_compare_ts(t, tb, E.Frecording_time + E.Fstart_time, kMicro) >= 0) {
        ist.is_past_recording_time = 1;
        ff::av_packet_unref(pkt);
        continue;
      }
    }
    // No faster than real time when asked.
    if (E.Frate_emu && pkt->dts != AV_NOPTS_VALUE) {
      const int64_t ahead = ff::av_rescale_q(pkt->dts, tb, kMicro) - (ff::av_gettime_relative() - ist.start);
      if (ahead > 1000) platform::SleepMs(static_cast<uint32_t>(ahead / 1000));
    }
    // 10.
    if (ProcessPacket(ist, pkt) < 0) {
      const char* type = ff::av_get_media_type_string(ist.st->codecpar->codec_type);
      const std::string msg = Format("Error while decoding stream #%d.%d (%s)", ist.file_index, ist.index,
                                     type ? type : "unknown");
      ff::av_packet_unref(pkt);
      if (E.Fexit_on_error) throw FFmpegException(msg);
      if (E.Fverbose >= 0) E.Log(media::llVerbose, msg);
      continue;
    }
    // 11.
    ff::av_packet_unref(pkt);
    const int64_t now = ff::av_gettime_relative();
    if (now - lastReport > E.ReportInterval) {
      lastReport = now;
      E.ReportProgress(false, fileIndex, FRecords);
    }
  }
}

void TConversionRun::Finish() {
  for (auto& ist : FInputStreams)
    if (ist->decoding_needed && !ist->decoder_flushed) ProcessPacket(*ist, nullptr);
  FlushBitstreamFilters();
  // The statistics file is complete once the recording is.
  if (E.Fvstats_file) std::fflush(E.Fvstats_file);
  for (int32_t i = 0; i < E.Fnb_output_files; ++i) {
    FTrailersDone = i + 1;
    if (RepeatedOutput(i)) continue;
    const int ret = ff::av_write_trailer(E.Foutput_files[i]);
    if (ret < 0) throw FFmpegException("av_write_trailer(): " + ff::err2str(ret));
  }
  E.ReportProgress(true, -1, FRecords);
}

void TConversionRun::SalvageTrailers() {
  for (int32_t i = FTrailersDone; i < FHeadersWritten; ++i) {
    FTrailersDone = i + 1;
    if (RepeatedOutput(i)) continue;
    const int ret = ff::av_write_trailer(E.Foutput_files[i]);
    if (ret < 0)
      E.Log(media::llError, Format("Output file #%d: the trailer could not be written: %s", i,
                                   ff::err2str(ret).c_str()));
  }
}

}  // namespace engine
