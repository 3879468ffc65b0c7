// The video statistics file: one line per encoded video packet with its
// quality, size, the running size and bit rates and the picture type.
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstring>

#include "engine/FFmpegRunTables.h"

namespace engine {

void TConversionRun::WriteVideoStats(TOutputRun& AOst, int AFrameSize, int64_t APts) {
  AVCodecContext* enc = AOst.enc;
  if (enc->codec_type != AVMEDIA_TYPE_VIDEO) return;
  if (!E.Fvstats_file) {
    E.Fvstats_file = std::fopen(E.Fvstats_filename.c_str(), "w");
    if (!E.Fvstats_file) throw FFmpegException("fopen fail: " + E.Fvstats_filename);
  }
  const TAVOutputStream& rec = *AOst.rec;
  std::string line = Format("frame= %5d q= %2.1f ", AOst.packets_out,
                            static_cast<double>(rec.last_quality) / FF_QP2LAMBDA);
  if (enc->flags & AV_CODEC_FLAG_PSNR) {
    const double scale = static_cast<double>(enc->width) * enc->height * 255.0 * 255.0;
    line += Format("PSNR= %6.2f ", -10.0 * std::log10(static_cast<double>(rec.last_error[0]) / scale));
  }
  line += Format("f_size= %6d ", AFrameSize);
  const double tb = static_cast<double>(enc->time_base.num) / enc->time_base.den;
  // The time up to the end of this picture (packets may come late: the
  // encoder's clock has already moved on).
  const int64_t end = APts == AV_NOPTS_VALUE ? rec.sync_opts : APts + 1;
  const double t = std::max(0.01, static_cast<double>(end) * tb);
  const double bitrate = AFrameSize * 8.0 / tb / 1000.0;
  const double average = static_cast<double>(E.Fvideo_size) * 8.0 / t / 1000.0;
  line += Format("s_size= %8.0fkB time= %0.3f br= %7.1fkbits/s avg_br= %7.1fkbits/s ",
                 E.Fvideo_size / 1024.0, t, bitrate, average);
  line += Format("type= %c\n", ff::av_get_picture_type_char(static_cast<AVPictureType>(AOst.last_pict_type)));
  // A statistics file that cannot be written (a full disk) must not cost
  // the recording: report it once and stop writing statistics.
  if (std::fputs(line.c_str(), E.Fvstats_file) < 0) {
    E.Log(media::llError, "Cannot write " + E.Fvstats_filename + ": " + std::strerror(errno));
    E.Fvstats_filename.clear();
  }
}

}  // namespace engine
