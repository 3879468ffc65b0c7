// The status line of a running conversion and the OnProgress event.
#include <algorithm>
#include <array>
#include <cmath>
#include <mutex>

#include "engine/FFmpeg.h"

namespace engine {
namespace {

// Quantiser histogram, kept for the life of the process.
std::mutex gQpLock;
std::array<int64_t, 52> gQpHistogram{};

}  // namespace

void TCustomFFmpeg::ReportProgress(bool AIsLast, int32_t AFileIndex,
                                   const std::vector<TAVOutputStream*>& AOutputStreams) {
  AVFormatContext* oc = Fnb_output_files > 0 ? Foutput_files[0] : nullptr;
  int64_t totalSize = 0;
  if (oc && oc->pb) {
    // The bytes written so far, buffered ones included: the file's size on
    // disk lags behind the write buffer (a small recording would show 0 kB),
    // a muxer that gathers clusters holds packets back from the position,
    // and after a trailer that rewrote an earlier part the position is
    // behind the end.
    totalSize = std::max({ff::avio_tell(oc->pb), ff::avio_size(oc->pb),
                          Fvideo_size + Faudio_size + Fextra_size});
  }
  std::string line;
  double t = 10000000000.0;
  int32_t frameNumber = -1, fps = -1;
  float quality = -1.0f;
  bool videoReported = false;
  for (TAVOutputStream* ost : AOutputStreams) {
    AVCodecContext* enc = ost->enc.get();
    const bool isVideo = enc && enc->codec_type == AVMEDIA_TYPE_VIDEO;
    const float q = ost->stream_copy ? -1.0f : static_cast<float>(ost->last_quality) / FF_QP2LAMBDA;
    if (videoReported && isVideo) {
      line += Format("q=%2.1f ", q);
    } else if (!videoReported && isVideo && ost->show_fps == 1) {
      const float elapsed =
          static_cast<float>(ff::av_gettime_relative() - Ftimer_start) / 1000000.0f;
      frameNumber = ost->frame_number;
      if (frameNumber < 1) return;  // nothing to report before the first frame
      fps = elapsed > 1 ? static_cast<int32_t>(frameNumber / elapsed + 0.5f) : 0;
      quality = q;
      line += Format("frame=%5d fps=%3d q=%3.1f ", frameNumber, fps, quality);
      if (AIsLast) line += "L";
      if (Fqp_hist) {
        std::lock_guard lock(gQpLock);
        const long qp = std::lround(quality);
        if (qp >= 0 && qp < 52) ++gQpHistogram[qp];
        for (int j = 0; j < 32; ++j)
          line += Format("%X", static_cast<int>(std::lround(std::log2(gQpHistogram[j] + 1.0))));
      }
      if (enc->flags & AV_CODEC_FLAG_PSNR) {
        static const char kPlanes[3] = {'Y', 'U', 'V'};
        double errorSum = 0, scaleSum = 0;
        line += "PSNR=";
        for (int j = 0; j < 3; ++j) {
          const double error = static_cast<double>(AIsLast ? ost->total_error[j] : ost->last_error[j]);
          double scale = static_cast<double>(enc->width) * enc->height * 255.0 * 255.0;
          if (AIsLast) scale *= frameNumber;
          if (j) scale /= 4;
          errorSum += error;
          scaleSum += scale;
          line += Format("%c:%2.2f ", kPlanes[j], -10.0 * std::log10(error / scale));
        }
        line += Format("*:%2.2f ", -10.0 * std::log10(errorSum / scaleSum));
      }
      videoReported = true;
    }
    if (enc && enc->time_base.den) {
      const double p = static_cast<double>(ost->sync_opts) * enc->time_base.num / enc->time_base.den;
      if (p > 0 && p < t) t = p;
    }
  }
  if (t < 0.01) t = 0.01;
  if (FOnProgress || Fverbose > 0 || AIsLast) {
    const double bitrate = static_cast<double>(totalSize) * 8 / t / 1000.0;
    line += Format("size=%8.0fkB time=%0.2f bitrate=%6.1fkbits/s", totalSize / 1024.0, t, bitrate);
    if (Fnb_frames_dup || Fnb_frames_drop)
      line += Format(" dup=%d drop=%d", Fnb_frames_dup, Fnb_frames_drop);
    if (FShowDupOrDrop && Fverbose >= 0 && FOnProgress) {
      FShowDupOrDrop = false;
      Log(media::llVerbose, line);
    }
    if (FOnProgress)
      FOnProgress(this, AFileIndex, frameNumber, fps, quality, static_cast<float>(bitrate), totalSize,
                  static_cast<int64_t>(t * 1000000), FTotalOutputDuration);
    else if (Fverbose >= 0)
      Log(media::llVerbose, line);
  }
  if (AIsLast && Fverbose >= 0) {
    const double raw = static_cast<double>(Fvideo_size + Faudio_size + Fextra_size);
    Log(media::llVerbose,
        Format("video:%1.0fkB audio:%1.0fkB global headers:%1.0fkB muxing overhead %f%%\r\n",
               Fvideo_size / 1024.0, Faudio_size / 1024.0, Fextra_size / 1024.0,
               raw > 0 ? (totalSize - raw) * 100.0 / raw : 0.0));
  }
}

}  // namespace engine
