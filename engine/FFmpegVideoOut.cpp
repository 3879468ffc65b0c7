// The video output path: decoded pictures through the filter graph, frame
// rate conversion by duplicating and dropping, encoding and the encoder's
// quality report.
#include <cmath>
#include <cstring>

#include "engine/FFmpegRunTables.h"

namespace engine {

void TConversionRun::FilterVideo(TOutputRun& AOst, TAVInputStream& AIst, AVFrame* AFrame) {
  const bool changed = AFrame->width != AOst.resample_width || AFrame->height != AOst.resample_height ||
                       AFrame->format != AOst.resample_pix_fmt;
  if (changed) {
    const char* name = ff::av_get_pix_fmt_name(static_cast<AVPixelFormat>(AFrame->format));
    E.Log(media::llQuiet, Format("Input Stream #%d.%d frame size changed to %dx%d, %s", AIst.file_index,
                                 AIst.index, AFrame->width, AFrame->height, name ? name : "none"));
  }
  if (changed || (!AOst.graph && (AFrame->width != AOst.enc->width || AFrame->height != AOst.enc->height ||
                                  AFrame->format != AOst.enc->pix_fmt))) {
    E.FLastErrMsg.clear();
    if (BuildFilterGraph(AOst, AFrame->width, AFrame->height, static_cast<AVPixelFormat>(AFrame->format),
                         AFrame->sample_aspect_ratio) != 0)
      throw FFmpegException("Error opening filters: " + E.FLastErrMsg);
  }
  if (!AOst.graph) {
    OutputVideoFrame(AOst, AFrame);
    return;
  }
  AFrame->pts = AIst.pts;  // the source runs on microseconds
  int ret = ff::av_buffersrc_add_frame_flags(AOst.src, AFrame, AV_BUFFERSRC_FLAG_KEEP_REF);
  if (ret < 0) throw FFmpegException("Error while filtering: " + ff::err2str(ret));
  AVFrame* out = AOst.filtered.get();
  while ((ret = ff::av_buffersink_get_frame(AOst.sink, out)) >= 0) {
    const AVRational tb = ff::av_buffersink_get_time_base(AOst.sink);
    if (out->pts != AV_NOPTS_VALUE) AIst.pts = ff::av_rescale_q(out->pts, tb, AVRational{1, 1000000});
    OutputVideoFrame(AOst, out);
    ff::av_frame_unref(out);
    if (E.FBroken) break;
  }
  if (ret < 0 && ret != AVERROR(EAGAIN) && ret != AVERROR_EOF)
    throw FFmpegException("Error while filtering: " + ff::err2str(ret));
}

void TConversionRun::OutputVideoFrame(TOutputRun& AOst, AVFrame* APicture) {
  AVCodecContext* enc = AOst.enc;
  TAVOutputStream& rec = *AOst.rec;
  // Where this picture belongs, in encoder frames.
  const double syncPos = static_cast<double>(AOst.sync_ist->pts - E.Fstart_time) / 1000000.0 /
                         (static_cast<double>(enc->time_base.num) / enc->time_base.den);
  int64_t n = 1;
  int method = E.Fvideo_sync_method;
  const AVOutputFormat* of = E.Foutput_files[rec.file_index]->oformat;
  if (method < 0) method = (of->flags & AVFMT_VARIABLE_FPS) ? 2 : 1;
  if (method == 0) {
    rec.sync_opts = std::llround(syncPos);
  } else {
    const double delta = syncPos - static_cast<double>(rec.sync_opts);
    if (delta < -1.1) {
      n = 0;
    } else if (method == 2) {
      if (delta <= -0.6)
        n = 0;
      else if (delta > 0.6)
        rec.sync_opts = std::llround(syncPos);
    } else if (delta > 1.1) {
      n = std::llround(delta);
    }
    if (n == 0) {
      ++E.Fnb_frames_drop;
      E.FShowDupOrDrop = true;
      if (E.Fverbose > 2) E.Log(media::llVerbose, "*** drop!");
    } else if (n > 1) {
      E.Fnb_frames_dup += static_cast<int32_t>(n - 1);
      E.FShowDupOrDrop = true;
      if (E.Fverbose > 2) E.Log(media::llVerbose, Format("*** %d dup!", static_cast<int>(n - 1)));
    }
  }
  n = std::min<int64_t>(n, static_cast<int64_t>(E.Fmax_frames[AVMEDIA_TYPE_VIDEO]) - rec.frame_number);
  if (n <= 0) return;

  AVFrame* frame = AOst.encode_frame.get();
  for (int64_t i = 0; i < n && !E.FBroken; ++i) {
    // Hooks see a copy; the encoder gets its own reference.
    AVFrame* picture = RunOutputHooks(AOst, APicture, rec.frame_number + 1,
                                      ff::av_rescale_q(rec.sync_opts, enc->time_base, AVRational{1, 1000000}));
    if (ff::av_frame_ref(frame, picture) < 0) throw FFmpegException("Video encoding failed");
    frame->pts = rec.sync_opts;
    frame->pict_type = AV_PICTURE_TYPE_NONE;
    frame->quality = E.Fsame_quality ? AOst.source->quality : enc->global_quality;
    if ((enc->flags & (AV_CODEC_FLAG_INTERLACED_DCT | AV_CODEC_FLAG_INTERLACED_ME)) &&
        E.Ftop_field_first >= 0)
      frame->top_field_first = E.Ftop_field_first;
    if (rec.forced_kf_index < rec.forced_kf_count &&
        frame->pts >= rec.forced_kf_pts[static_cast<size_t>(rec.forced_kf_index)]) {
      frame->pict_type = AV_PICTURE_TYPE_I;
      ++rec.forced_kf_index;
    }
    EncodeVideo(AOst, frame);
    ff::av_frame_unref(frame);
    ++rec.sync_opts;
    ++rec.frame_number;
  }
}

void TConversionRun::EncodeVideo(TOutputRun& AOst, AVFrame* AFrame) {
  const int ret = ff::avcodec_send_frame(AOst.enc, AFrame);
  if (ret < 0 && ret != AVERROR_EOF) throw FFmpegException("Video encoding failed");
  ReceivePackets(AOst, &E.Fvideo_size);
}

void TConversionRun::ReadQualityStats(TOutputRun& AOst, const AVPacket* APacket) {
  size_t size = 0;
  const uint8_t* sd = ff::av_packet_get_side_data(APacket, AV_PKT_DATA_QUALITY_STATS, &size);
  if (!sd || size < 6) return;
  int32_t quality = 0;
  std::memcpy(&quality, sd, sizeof quality);
  AOst.rec->last_quality = quality;
  AOst.last_pict_type = sd[4];
  const int errors = sd[5];
  for (int i = 0; i < errors && i < 3 && size >= 8 + 8 * static_cast<size_t>(i + 1); ++i) {
    uint64_t e = 0;
    std::memcpy(&e, sd + 8 + 8 * i, sizeof e);
    AOst.rec->last_error[i] = static_cast<int64_t>(e);
    AOst.rec->total_error[i] += static_cast<int64_t>(e);
  }
}

void TConversionRun::ReceivePackets(TOutputRun& AOst, int64_t* ASize) {
  AVPacket* pkt = AOst.pkt.get();
  const bool video = AOst.enc->codec_type == AVMEDIA_TYPE_VIDEO;
  while (true) {
    const int ret = ff::avcodec_receive_packet(AOst.enc, pkt);
    if (ret == AVERROR(EAGAIN) || ret == AVERROR_EOF) return;
    if (ret < 0) throw FFmpegException(video ? "Video encoding failed" : "Audio encoding failed");
    if (video) ReadQualityStats(AOst, pkt);
    AOst.passlog.Append(AOst.enc);
    *ASize += pkt->size;
    if (video) {
      ++AOst.packets_out;
      if (!E.Fvstats_filename.empty()) WriteVideoStats(AOst, pkt->size, pkt->pts);
    }
    pkt->stream_index = AOst.rec->index;
    ff::av_packet_rescale_ts(pkt, AOst.enc->time_base, AOst.rec->st->time_base);
    if (KeepJoinPacket(AOst, pkt)) WritePacket(AOst, pkt);
    ff::av_packet_unref(pkt);
  }
}

}  // namespace engine
