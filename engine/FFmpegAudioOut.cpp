// The audio output path: resampling or format conversion into the encoder's
// format, keeping the samples in step with the sync clock (silence, discard
// or stretching), the FIFO in the encoder's own format, and encoding in
// whole encoder frames. Packets get their pts from the count of samples
// sent to the encoder.
#include <cmath>

#include "engine/FFmpegRunTables.h"

namespace engine {
namespace {

const char* SampleFmtName(int AFormat) {
  const char* n = ff::av_get_sample_fmt_name(static_cast<AVSampleFormat>(AFormat));
  return n ? n : "none";
}

}  // namespace

void TConversionRun::SetupAudioConversion(TOutputRun& AOst, const AVFrame* AFrame) {
  AVCodecContext* enc = AOst.enc;
  const int channels = AFrame->ch_layout.nb_channels;
  const bool changed = AFrame->format != AOst.resample_sample_fmt || channels != AOst.resample_channels ||
                       AFrame->sample_rate != AOst.resample_sample_rate;
  if (changed) {
    E.Log(media::llInfo,
          Format("Input stream #%d.%d frame changed from rate:%d fmt:%s ch:%d to rate:%d fmt:%s ch:%d",
                 AOst.source->file_index, AOst.source->index, AOst.resample_sample_rate,
                 SampleFmtName(AOst.resample_sample_fmt), AOst.resample_channels, AFrame->sample_rate,
                 SampleFmtName(AFrame->format), channels));
    AOst.resample_sample_fmt = static_cast<AVSampleFormat>(AFrame->format);
    AOst.resample_channels = channels;
    AOst.resample_sample_rate = AFrame->sample_rate;
    AOst.swr.reset();
  }
  if (AOst.swr) return;
  // One context converts rate, layout and format together; a second kind
  // (same rate and layout) only converts the sample format.
  AOst.audio_resample = AFrame->sample_rate != enc->sample_rate || channels != enc->ch_layout.nb_channels ||
                        E.Faudio_sync_method > 1;
  const bool reformat = AFrame->format != enc->sample_fmt;
  if (!AOst.audio_resample && !reformat) return;
  AVChannelLayout in{};
  if (AFrame->ch_layout.order == AV_CHANNEL_ORDER_UNSPEC)
    ff::av_channel_layout_default(&in, channels);
  else if (ff::av_channel_layout_copy(&in, &AFrame->ch_layout) < 0)
    throw FFmpegException("Out of memory in do_audio_out");
  SwrContext* swr = nullptr;
  int ret = ff::swr_alloc_set_opts2(&swr, &enc->ch_layout, enc->sample_fmt, enc->sample_rate, &in,
                                    static_cast<AVSampleFormat>(AFrame->format), AFrame->sample_rate, 0,
                                    nullptr);
  ff::av_channel_layout_uninit(&in);
  if (ret >= 0) ret = ff::swr_init(swr);
  if (ret < 0) {
    ff::swr_free(&swr);
    if (AOst.audio_resample)
      throw FFmpegException(Format("Can not resample %d channels @ %d Hz to %d channels @ %d Hz", channels,
                                   AFrame->sample_rate, enc->ch_layout.nb_channels, enc->sample_rate));
    throw FFmpegException(Format("Cannot convert %s sample format to %s sample format",
                                 SampleFmtName(AFrame->format), SampleFmtName(enc->sample_fmt)));
  }
  AOst.swr.reset(swr);
}

void TConversionRun::DoAudioOut(TOutputRun& AOst, TAVInputStream& AIst, AVFrame* AFrame) {
  (void)AIst;
  AVCodecContext* enc = AOst.enc;
  const int channels = enc->ch_layout.nb_channels;
  const int rate = enc->sample_rate;
  SetupAudioConversion(AOst, AFrame);

  // Synchronisation against the sync clock, in encoder samples.
  int64_t insert = 0, discard = 0;
  const int64_t queued = ff::av_audio_fifo_size(AOst.fifo.get());
  const double syncTime = static_cast<double>(AOst.sync_ist->pts - E.Fstart_time) / 1000000.0;
  if (E.Faudio_sync_method != 0) {
    const double delta = syncTime * rate - static_cast<double>(AOst.rec->sync_opts) - static_cast<double>(queued);
    if (std::fabs(delta) > 50) {
      if (AOst.source->is_start || std::fabs(delta) > E.Faudio_drift_threshold * rate) {
        if (delta < 0) {
          discard = static_cast<int64_t>(-delta);
          if (E.Fverbose > 2) E.Log(media::llVerbose, Format("discarding %d audio samples", static_cast<int>(-delta)));
        } else {
          insert = static_cast<int64_t>(delta);
          if (E.Fverbose > 2)
            E.Log(media::llVerbose, Format("adding %d audio samples of silence", static_cast<int>(delta)));
        }
        AOst.source->is_start = 0;
      } else if (E.Faudio_sync_method > 1 && AOst.swr) {
        const int comp = static_cast<int>(std::clamp<double>(delta, -E.Faudio_sync_method, E.Faudio_sync_method));
        if (E.Fverbose > 2)
          E.Log(media::llVerbose,
                Format("compensating audio timestamp drift:%f compensation:%d in:%d", delta, comp, rate));
        if (ff::swr_set_compensation(AOst.swr.get(), comp, rate) < 0)
          E.Log(media::llWarning, "Audio drift compensation failed");
      }
    }
  } else {
    AOst.rec->sync_opts = std::llround(syncTime * rate) - queued;
  }

  // Into the encoder's format.
  uint8_t** data = AFrame->extended_data;
  int64_t count = AFrame->nb_samples;
  if (AOst.swr) {
    const int cap = ff::swr_get_out_samples(AOst.swr.get(), AFrame->nb_samples);
    if (cap < 0) throw FFmpegException("Buffer sizes too large in do_audio_out");
    if (!AOst.converted.Reserve(cap + 16, channels, enc->sample_fmt))
      throw FFmpegException("Out of memory in do_audio_out");
    const int n = ff::swr_convert(AOst.swr.get(), AOst.converted.Planes(), AOst.converted.Capacity(),
                                  const_cast<const uint8_t**>(AFrame->extended_data), AFrame->nb_samples);
    if (n < 0) {
      if (E.Fexit_on_error) throw FFmpegException("av_audio_convert() failed");
      E.Log(media::llError, "av_audio_convert() failed");
      return;
    }
    data = AOst.converted.Planes();
    count = n;
  }

  if (insert > 0) {
    if (!AOst.silence.Reserve(static_cast<int>(insert), channels, enc->sample_fmt))
      throw FFmpegException("Out of memory in do_audio_out");
    ff::av_samples_set_silence(AOst.silence.Planes(), 0, static_cast<int>(insert), channels, enc->sample_fmt);
    if (ff::av_audio_fifo_write(AOst.fifo.get(), reinterpret_cast<void**>(AOst.silence.Planes()),
                                static_cast<int>(insert)) < insert)
      throw FFmpegException("av_fifo_realloc2() failed");
  }
  discard = std::min(discard, count);
  if (discard == count) {
    EncodeAudioFifo(AOst, false);
    return;
  }
  // The first samples are skipped by moving the plane pointers.
  uint8_t* planes[AV_NUM_DATA_POINTERS] = {};
  const int bps = ff::av_get_bytes_per_sample(enc->sample_fmt);
  const bool planar = ff::av_sample_fmt_is_planar(enc->sample_fmt);
  const int nPlanes = planar ? channels : 1;
  for (int p = 0; p < nPlanes && p < AV_NUM_DATA_POINTERS; ++p)
    planes[p] = data[p] + discard * bps * (planar ? 1 : channels);
  const int left = static_cast<int>(count - discard);
  if (ff::av_audio_fifo_write(AOst.fifo.get(), reinterpret_cast<void**>(planes), left) < left)
    throw FFmpegException("av_fifo_realloc2() failed");
  EncodeAudioFifo(AOst, false);
}

void TConversionRun::EncodeAudioFifo(TOutputRun& AOst, bool ADrain) {
  AVCodecContext* enc = AOst.enc;
  AVAudioFifo* fifo = AOst.fifo.get();
  const bool variable = enc->frame_size <= 1 || (enc->codec->capabilities & AV_CODEC_CAP_VARIABLE_FRAME_SIZE);
  const int frameSize = variable ? 4096 : enc->frame_size;
  const bool shortLast = variable || (enc->codec->capabilities & AV_CODEC_CAP_SMALL_LAST_FRAME);
  AVFrame* frame = AOst.audio_frame.get();
  while (!E.FBroken || ADrain) {
    const int have = ff::av_audio_fifo_size(fifo);
    if (have <= 0 || (have < frameSize && !ADrain && !variable)) return;
    const int take = std::min(have, frameSize);
    ff::av_frame_unref(frame);
    frame->nb_samples = take < frameSize && !shortLast ? frameSize : take;
    frame->format = enc->sample_fmt;
    frame->sample_rate = enc->sample_rate;
    if (ff::av_channel_layout_copy(&frame->ch_layout, &enc->ch_layout) < 0 ||
        ff::av_frame_get_buffer(frame, 0) < 0)
      throw FFmpegException("Out of memory in do_audio_out");
    if (frame->nb_samples > take)  // a short last frame padded with silence
      ff::av_samples_set_silence(frame->extended_data, 0, frame->nb_samples, frame->ch_layout.nb_channels,
                                 enc->sample_fmt);
    if (ff::av_audio_fifo_read(fifo, reinterpret_cast<void**>(frame->extended_data), take) < take)
      throw FFmpegException("Audio encoding failed");
    // The frame sits where the sync clock puts the head of the FIFO, so sound
    // that began after the picture starts after it in the file too; never
    // before the end of the previous frame.
    frame->pts = std::max(AOst.rec->sync_opts, AOst.samples_sent);
    AOst.samples_sent = frame->pts + frame->nb_samples;
    AOst.rec->sync_opts += frame->nb_samples;
    if (ff::avcodec_send_frame(enc, frame) < 0) throw FFmpegException("Audio encoding failed");
    ReceivePackets(AOst, &E.Faudio_size);
  }
}

void TConversionRun::DrainAudio(TOutputRun& AOst) {
  AVCodecContext* enc = AOst.enc;
  if (AOst.swr && ff::swr_get_delay(AOst.swr.get(), enc->sample_rate) > 0) {
    const int channels = enc->ch_layout.nb_channels;
    const int cap = ff::swr_get_out_samples(AOst.swr.get(), 0) + 16;
    if (AOst.converted.Reserve(cap, channels, enc->sample_fmt)) {
      const int n = ff::swr_convert(AOst.swr.get(), AOst.converted.Planes(), AOst.converted.Capacity(), nullptr, 0);
      if (n > 0) ff::av_audio_fifo_write(AOst.fifo.get(), reinterpret_cast<void**>(AOst.converted.Planes()), n);
    }
  }
  EncodeAudioFifo(AOst, true);
  if (ff::avcodec_send_frame(enc, nullptr) < 0) throw FFmpegException("Audio encoding failed");
  ReceivePackets(AOst, &E.Faudio_size);
}

}  // namespace engine
