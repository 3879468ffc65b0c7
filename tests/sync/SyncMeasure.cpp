#include "SyncMeasure.h"

#include <algorithm>
#include <cmath>
#include <memory>

#include "media/FFBindings.h"
#include "media/FFHandles.h"

namespace synctest {
namespace {

// Sample ANumber of the first channel, scaled to -1..1.
double FirstChannelSample(const AVFrame* AFrame, int ANumber) {
  const auto fmt = static_cast<AVSampleFormat>(AFrame->format);
  const bool planar = ff::av_sample_fmt_is_planar(fmt) != 0;
  const int step = planar ? 1 : AFrame->ch_layout.nb_channels;
  const uint8_t* data = AFrame->extended_data[0];
  const int i = ANumber * step;
  switch (ff::av_get_packed_sample_fmt(fmt)) {
    case AV_SAMPLE_FMT_U8: return (data[i] - 128) / 128.0;
    case AV_SAMPLE_FMT_S16: return reinterpret_cast<const int16_t*>(data)[i] / 32768.0;
    case AV_SAMPLE_FMT_S32: return reinterpret_cast<const int32_t*>(data)[i] / 2147483648.0;
    case AV_SAMPLE_FMT_FLT: return reinterpret_cast<const float*>(data)[i];
    case AV_SAMPLE_FMT_DBL: return reinterpret_cast<const double*>(data)[i];
    default: return 0;
  }
}

double MeanLuma(const AVFrame* AFrame) {
  double sum = 0;
  for (int y = 0; y < AFrame->height; ++y) {
    const uint8_t* row = AFrame->data[0] + static_cast<ptrdiff_t>(y) * AFrame->linesize[0];
    for (int x = 0; x < AFrame->width; ++x) sum += row[x];
  }
  return AFrame->width > 0 && AFrame->height > 0 ? sum / (static_cast<double>(AFrame->width) * AFrame->height) : 0;
}

}  // namespace

std::vector<double> FindFlashes(const std::vector<double>& ATimes, const std::vector<double>& ALuma,
                                std::vector<double>* AHalfSpans) {
  // A flash is the first picture above mid-grey after one that was dark; a
  // picture caught half-way does not count twice. The window turned white
  // somewhere between the grab of the picture before and that of this one:
  // the middle of the two is the best estimate, off by half a picture at
  // most.
  std::vector<double> flashes;
  bool dark = false;
  for (size_t i = 0; i < ALuma.size() && i < ATimes.size(); ++i) {
    if (ALuma[i] < 64) {
      dark = true;
    } else if (ALuma[i] > 128 && dark) {
      flashes.push_back((ATimes[i - 1] + ATimes[i]) / 2);
      if (AHalfSpans) AHalfSpans->push_back((ATimes[i] - ATimes[i - 1]) / 2);
      dark = false;
    }
  }
  return flashes;
}

std::vector<double> FindClicks(const std::vector<float>& ASamples, const std::vector<double>& ATimes) {
  // A click starts with the first audible sample after at least 0.3 s
  // without any, and counts when a loud sample follows within 10 ms (a
  // tone burst rises from zero over its first samples).
  constexpr float kLoud = 0.3f, kAudible = 0.05f;
  constexpr double kQuiet = 0.3, kRise = 0.01;
  std::vector<double> clicks;
  double lastAudible = -1e9, onset = -1e9;
  bool counted = true;
  for (size_t i = 0; i < ASamples.size() && i < ATimes.size(); ++i) {
    const float a = std::fabs(ASamples[i]);
    if (a < kAudible) continue;
    if (ATimes[i] - lastAudible > kQuiet) {
      onset = ATimes[i];
      counted = false;
    }
    lastAudible = ATimes[i];
    if (a >= kLoud && !counted && ATimes[i] - onset <= kRise) {
      clicks.push_back(onset);
      counted = true;
    }
  }
  return clicks;
}

TSyncPairs PairEvents(const std::vector<double>& AFlashes, const std::vector<double>& AClicks, double AWindow) {
  TSyncPairs p;
  std::vector<bool> used(AClicks.size(), false);
  for (size_t i = 0; i < AFlashes.size(); ++i) {
    const double f = AFlashes[i];
    int best = -1;
    for (size_t c = 0; c < AClicks.size(); ++c)
      if (!used[c] && std::fabs(AClicks[c] - f) <= AWindow &&
          (best < 0 || std::fabs(AClicks[c] - f) < std::fabs(AClicks[static_cast<size_t>(best)] - f)))
        best = static_cast<int>(c);
    if (best < 0) {
      ++p.unpaired_flashes;
      continue;
    }
    used[static_cast<size_t>(best)] = true;
    const double offset = AClicks[static_cast<size_t>(best)] - f;
    p.offsets.push_back(offset);
    p.flash_index.push_back(i);
    p.largest = std::max(p.largest, std::fabs(offset));
  }
  p.unpaired_clicks = static_cast<int>(std::count(used.begin(), used.end(), false));
  return p;
}

TSyncEvents FindSyncEvents(const std::string& APath) {
  TSyncEvents e;
  AVFormatContext* raw = nullptr;
  if (ff::avformat_open_input(&raw, APath.c_str(), nullptr, nullptr) < 0) return e.error = "cannot open " + APath, e;
  media::InputCtxPtr ic(raw);
  if (ff::avformat_find_stream_info(ic.get(), nullptr) < 0) return e.error = "no stream information", e;
  std::vector<media::CodecCtxPtr> decoders(ic->nb_streams);
  int video = -1, audio = -1;
  for (unsigned i = 0; i < ic->nb_streams; ++i) {
    const AVCodecParameters* par = ic->streams[i]->codecpar;
    if (par->codec_type == AVMEDIA_TYPE_VIDEO && video < 0)
      video = static_cast<int>(i);
    else if (par->codec_type == AVMEDIA_TYPE_AUDIO && audio < 0)
      audio = static_cast<int>(i);
    else
      continue;
    const AVCodec* codec = ff::avcodec_find_decoder(par->codec_id);
    if (!codec) return e.error = "no decoder for stream " + std::to_string(i), e;
    decoders[i].reset(ff::avcodec_alloc_context3(codec));
    if (!decoders[i] || ff::avcodec_parameters_to_context(decoders[i].get(), par) < 0)
      return e.error = "cannot set up a decoder", e;
    decoders[i]->pkt_timebase = ic->streams[i]->time_base;
    if (ff::avcodec_open2(decoders[i].get(), codec, nullptr) < 0) return e.error = "cannot open a decoder", e;
  }
  if (video < 0 || audio < 0) return e.error = "the file needs a video and an audio stream", e;
  const AVRational rate = ic->streams[video]->avg_frame_rate.num ? ic->streams[video]->avg_frame_rate
                                                                  : ic->streams[video]->r_frame_rate;
  e.frame_duration = rate.num ? static_cast<double>(rate.den) / rate.num : 0;

  std::vector<double> frameTimes, luma, sampleTimes;
  std::vector<float> samples;
  media::FramePtr frame(ff::av_frame_alloc());
  media::PacketPtr packet(ff::av_packet_alloc());
  if (!frame || !packet) return e.error = "out of memory", e;
  auto receive = [&](int AStream) {
    AVCodecContext* c = decoders[static_cast<size_t>(AStream)].get();
    const double tb = av_q2d(ic->streams[AStream]->time_base);
    while (ff::avcodec_receive_frame(c, frame.get()) >= 0) {
      const int64_t ts = frame->best_effort_timestamp;
      if (ts != AV_NOPTS_VALUE) {
        const double t = static_cast<double>(ts) * tb;
        if (AStream == video) {
          frameTimes.push_back(t);
          luma.push_back(MeanLuma(frame.get()));
        } else if (frame->sample_rate > 0) {
          for (int n = 0; n < frame->nb_samples; ++n) {
            samples.push_back(static_cast<float>(FirstChannelSample(frame.get(), n)));
            sampleTimes.push_back(t + static_cast<double>(n) / frame->sample_rate);
          }
          e.audio_seconds += static_cast<double>(frame->nb_samples) / frame->sample_rate;
        }
      }
      ff::av_frame_unref(frame.get());
    }
  };
  while (ff::av_read_frame(ic.get(), packet.get()) >= 0) {
    const int s = packet->stream_index;
    if ((s == video || s == audio) && ff::avcodec_send_packet(decoders[static_cast<size_t>(s)].get(), packet.get()) >= 0)
      receive(s);
    ff::av_packet_unref(packet.get());
  }
  for (int s : {video, audio}) {
    ff::avcodec_send_packet(decoders[static_cast<size_t>(s)].get(), nullptr);
    receive(s);
  }
  e.frames = static_cast<int>(frameTimes.size());
  e.flashes = FindFlashes(frameTimes, luma, &e.flash_spans);
  e.clicks = FindClicks(samples, sampleTimes);
  for (float v : samples) e.peak = std::max(e.peak, std::fabs(v));
  e.ok = true;
  return e;
}

}  // namespace synctest
