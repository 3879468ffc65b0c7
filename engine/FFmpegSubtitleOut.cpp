// Subtitle encoding: a packet of a subtitle stream is decoded into one
// subtitle, which is encoded afresh for each output stream that takes it.
// Times: the subtitle's display window is made relative to its own pts, so
// the packet carries the start and lasts the display time.
#include <cstring>

#include "engine/FFmpegRunTables.h"

namespace engine {
namespace {

constexpr AVRational kMicro{1, 1000000};
constexpr AVRational kMilli{1, 1000};
constexpr size_t kSubtitleBufferSize = 1048576;

// A decoded subtitle, released with the library.
class TDecodedSubtitle {
 public:
  TDecodedSubtitle() = default;
  ~TDecodedSubtitle() {
    if (FGot) ff::avsubtitle_free(&FSub);
  }
  TDecodedSubtitle(const TDecodedSubtitle&) = delete;
  TDecodedSubtitle& operator=(const TDecodedSubtitle&) = delete;
  AVSubtitle FSub{};
  bool FGot = false;
};

}  // namespace

int TConversionRun::DecodeSubtitle(TAVInputStream& AIst, const AVPacket* APacket) {
  if (!APacket) return 0;  // subtitle decoders hold nothing back
  TDecodedSubtitle sub;
  int got = 0;
  if (ff::avcodec_decode_subtitle2(AIst.dec, &sub.FSub, &got, const_cast<AVPacket*>(APacket)) < 0) return -1;
  sub.FGot = got != 0;
  if (!sub.FGot) return 0;
  if (APacket->duration > 0)
    AIst.next_pts = AIst.pts + ff::av_rescale_q(APacket->duration, AIst.st->time_base, kMicro);
  if (E.Fstart_time != 0 && AIst.pts < E.Fstart_time) return 0;
  for (auto& ost : FOutputs)
    if (ost->source == &AIst && ost->rec->encoding_needed) OutputSubtitle(*ost, AIst, sub.FSub, APacket->pts);
  return 0;
}

void TConversionRun::OutputSubtitle(TOutputRun& AOst, TAVInputStream& AIst, const AVSubtitle& ASubtitle,
                                    int64_t APts) {
  if (APts == AV_NOPTS_VALUE) {
    if (E.Fexit_on_error) throw FFmpegException("Subtitle packets must have a pts");
    E.Log(media::llError, "Subtitle packets must have a pts");
    return;
  }
  if (FSubtitleBuffer.empty()) FSubtitleBuffer.resize(kSubtitleBufferSize);
  AVCodecContext* enc = AOst.enc;
  AVStream* st = AOst.rec->st;
  // The DVB encoder draws in a first packet and clears in a second.
  const bool dvb = enc->codec_id == AV_CODEC_ID_DVB_SUBTITLE;
  const int passes = dvb ? 2 : 1;
  AVSubtitle sub = ASubtitle;
  const int64_t startUs = ff::av_rescale_q(APts, AIst.st->time_base, kMicro) -
                          E.Fstart_time +
                          ff::av_rescale_q(sub.start_display_time, kMilli, kMicro);
  sub.end_display_time -= sub.start_display_time;
  sub.start_display_time = 0;
  sub.pts = startUs;
  for (int pass = 0; pass < passes; ++pass) {
    if (pass == 1) sub.num_rects = 0;  // a copy: the decoded rectangles stay with their owner
    const int size = ff::avcodec_encode_subtitle(enc, FSubtitleBuffer.data(),
                                                 static_cast<int>(FSubtitleBuffer.size()), &sub);
    if (size < 0) throw FFmpegException("Subtitle encoding failed");
    PacketPtr pkt(ff::av_packet_alloc());
    if (!pkt || ff::av_new_packet(pkt.get(), size) < 0) throw FFmpegException("av_packet_alloc failed");
    std::memcpy(pkt->data, FSubtitleBuffer.data(), static_cast<size_t>(size));
    pkt->stream_index = AOst.rec->index;
    pkt->pts = ff::av_rescale_q(startUs, kMicro, st->time_base);
    if (dvb) {
      const uint32_t shown = pass == 0 ? sub.start_display_time : sub.end_display_time;
      pkt->pts += ff::av_rescale_q(shown, kMilli, st->time_base);
    } else if (sub.end_display_time > 0) {
      pkt->duration = ff::av_rescale_q(sub.end_display_time, kMilli, st->time_base);
    }
    pkt->dts = pkt->pts;
    WritePacket(AOst, pkt.get());
  }
  // The loop's interleaving compares outputs by their position.
  AOst.rec->sync_opts = ff::av_rescale_q(startUs, kMicro, enc->time_base);
  ++AOst.rec->frame_number;
}

}  // namespace engine
