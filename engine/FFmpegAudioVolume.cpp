// The volume step: decoded samples scaled by volume / 256 in the decoder's
// own sample format (most decoders give float, capture devices 16-bit); and
// the audio hook, which sees the decoded samples before that step.
#include <algorithm>
#include <cstring>

#include "engine/FFmpegRunTables.h"

namespace engine {
namespace {

// Integer samples: (sample * volume + 128) >> 8, saturated to the type.
template <typename T>
void ScaleInt(uint8_t* AData, size_t ACount, int AVolume) {
  constexpr int64_t lo = std::numeric_limits<T>::min(), hi = std::numeric_limits<T>::max();
  for (size_t i = 0; i < ACount; ++i) {
    T s;
    std::memcpy(&s, AData + i * sizeof(T), sizeof(T));
    const int64_t v = (static_cast<int64_t>(s) * AVolume + 128) >> 8;
    s = static_cast<T>(std::clamp(v, lo, hi));
    std::memcpy(AData + i * sizeof(T), &s, sizeof(T));
  }
}

template <typename T>
void ScaleFloat(uint8_t* AData, size_t ACount, int AVolume) {
  const T f = static_cast<T>(AVolume) / 256;
  for (size_t i = 0; i < ACount; ++i) {
    T s;
    std::memcpy(&s, AData + i * sizeof(T), sizeof(T));
    s *= f;
    std::memcpy(AData + i * sizeof(T), &s, sizeof(T));
  }
}

void ScaleU8(uint8_t* AData, size_t ACount, int AVolume) {
  for (size_t i = 0; i < ACount; ++i) {
    const int v = (((AData[i] - 128) * AVolume + 128) >> 8) + 128;
    AData[i] = static_cast<uint8_t>(std::clamp(v, 0, 255));
  }
}

}  // namespace

void ApplyVolume(AVFrame* AFrame, int AVolume) {
  if (AVolume == 256 || AFrame->nb_samples <= 0) return;
  const auto fmt = static_cast<AVSampleFormat>(AFrame->format);
  const int channels = AFrame->ch_layout.nb_channels;
  const bool planar = ff::av_sample_fmt_is_planar(fmt);
  const int planes = planar ? channels : 1;
  const size_t count = static_cast<size_t>(AFrame->nb_samples) * (planar ? 1 : channels);
  for (int p = 0; p < planes; ++p) {
    uint8_t* d = AFrame->extended_data[p];
    switch (ff::av_get_packed_sample_fmt(fmt)) {
      case AV_SAMPLE_FMT_U8: ScaleU8(d, count, AVolume); break;
      case AV_SAMPLE_FMT_S16: ScaleInt<int16_t>(d, count, AVolume); break;
      case AV_SAMPLE_FMT_S32: ScaleInt<int32_t>(d, count, AVolume); break;
      case AV_SAMPLE_FMT_FLT: ScaleFloat<float>(d, count, AVolume); break;
      case AV_SAMPLE_FMT_DBL: ScaleFloat<double>(d, count, AVolume); break;
      default: return;  // 64-bit integers: left as they are
    }
  }
}

void TConversionRun::RunAudioHook(TAVInputStream& AIst, AVFrame* AFrame) {
  const auto fmt = static_cast<AVSampleFormat>(AFrame->format);
  const int channels = AFrame->ch_layout.nb_channels;
  const int bps = ff::av_get_bytes_per_sample(fmt);
  const size_t size =
      static_cast<size_t>(AFrame->nb_samples) * static_cast<size_t>(channels) * static_cast<size_t>(bps);
  if (size == 0 || size > INT32_MAX) return;
  if (ff::av_frame_make_writable(AFrame) < 0) throw FFmpegException("Out of memory in do_audio_out");
  // The handler sees the samples interleaved; planar ones go through a copy
  // that is written back afterwards.
  const bool planar = ff::av_sample_fmt_is_planar(fmt);
  uint8_t* data = AFrame->extended_data[0];
  const auto step = static_cast<size_t>(bps);
  auto each = [&](auto&& ACopy) {
    for (size_t i = 0; i < static_cast<size_t>(AFrame->nb_samples); ++i)
      for (int c = 0; c < channels; ++c)
        ACopy(FHookSamples.data() + (i * static_cast<size_t>(channels) + static_cast<size_t>(c)) * step,
              AFrame->extended_data[c] + i * step);
  };
  if (planar) {
    FHookSamples.resize(size);
    each([step](uint8_t* APacked, const uint8_t* APlane) { std::memcpy(APacked, APlane, step); });
    data = FHookSamples.data();
  }
  E.FOnAudioHook(&E, AIst.pts, data, static_cast<int32_t>(size), AFrame->sample_rate, channels,
                 planar ? ff::av_get_packed_sample_fmt(fmt) : fmt);
  if (planar) each([step](const uint8_t* APacked, uint8_t* APlane) { std::memcpy(APlane, APacked, step); });
}

}  // namespace engine
