#include "capture/CaptureInput.h"

#include <algorithm>
#include <exception>

#include "media/FFBindings.h"
#include "media/FFLoad.h"

namespace capture {

bool TDeviceInput::IsDevice(const std::string& AFormatName) {
  return FindCaptureDevice(AFormatName) != nullptr;
}

int TDeviceInput::Open(const std::string& AFormatName, const std::string& AOptions,
                       const TFormatParameters* AParams) {
  Close();
  FLastErrMsg.clear();
  const TCaptureDevice* device = FindCaptureDevice(AFormatName);
  if (!device) {
    FLastErrMsg = "Unknown capture device " + AFormatName;
    return AVERROR(EINVAL);
  }
  FDevice = device;
  FContext = ff::avformat_alloc_context();
  if (!FContext) {
    FLastErrMsg = "Out of memory";
    return AVERROR(ENOMEM);
  }
  FContext->url = ff::av_strdup(AOptions.substr(0, kMaxOptionLength).c_str());
  if (!FContext->url) {
    Close();
    FLastErrMsg = "Out of memory";
    return AVERROR(ENOMEM);
  }
  FContext->interrupt_callback = media::MakeInterruptCB();
  FContext->opaque = this;
  FLogClass = AVClass{};
  FLogClass.class_name = device->name;
  FLogClass.item_name = ff::av_default_item_name;
  FLogClass.version = LIBAVUTIL_VERSION_INT;

  FPriv = device->create_priv();
  FContext->priv_data = FPriv.get();
  FNextDts = 0;
  FSamples = 0;

  int r;
  try {
    r = device->read_header(FContext, AParams);
  } catch (const std::exception& e) {
    // A strict option conversion failed: the open fails with its message.
    DeviceLog(FContext, AV_LOG_ERROR, "%s\n", e.what());
    r = AVERROR(EINVAL);
  }
  if (r >= 0 && FContext->nb_streams != 1) {
    DeviceLog(FContext, AV_LOG_ERROR, "Device %s created %u streams\n", device->name, FContext->nb_streams);
    r = AVERROR_BUG;
  }
  if (r < 0) {
    std::string msg = FLastErrMsg.empty() ? ff::err2str(r) : FLastErrMsg;
    // A failed read_header leaves the input unopened: the record's own
    // resources go with it, read_close is not called.
    FContext->priv_data = nullptr;
    FPriv.reset();
    ff::avformat_free_context(FContext);
    FContext = nullptr;
    FDevice = nullptr;
    FLastErrMsg = std::move(msg);
    return r;
  }
  return 0;
}

AVStream* TDeviceInput::Stream() const {
  return FContext && FContext->nb_streams > 0 ? FContext->streams[0] : nullptr;
}

const AVCodecParameters* TDeviceInput::CodecParameters() const {
  AVStream* st = Stream();
  return st ? st->codecpar : nullptr;
}

AVRational TDeviceInput::TimeBase() const {
  AVStream* st = Stream();
  return st ? st->time_base : AVRational{0, 1};
}

AVRational TDeviceInput::FrameRate() const {
  AVStream* st = Stream();
  return st && st->avg_frame_rate.num > 0 ? st->avg_frame_rate : AVRational{0, 1};
}

int64_t TDeviceInput::AudioSamples(const AVCodecParameters* APar, int ABytes) {
  int frameBytes = APar->block_align;
  if (frameBytes <= 0) {
    int bits = APar->bits_per_coded_sample;
    if (bits <= 0 && ff::av_get_bits_per_sample) bits = ff::av_get_bits_per_sample(APar->codec_id);
    frameBytes = APar->ch_layout.nb_channels * bits / 8;
  }
  return frameBytes > 0 ? ABytes / frameBytes : APar->frame_size;
}

int64_t TDeviceInput::DefaultDuration(const AVStream* st) const {
  const AVCodecParameters* par = st->codecpar;
  if (par->codec_type == AVMEDIA_TYPE_VIDEO && st->avg_frame_rate.num > 0 && st->avg_frame_rate.den > 0)
    return ff::av_rescale_q(1, AVRational{st->avg_frame_rate.den, st->avg_frame_rate.num}, st->time_base);
  return 0;
}

int TDeviceInput::ReadPacket(AVPacket* APacket) {
  if (!FContext) return AVERROR(EINVAL);
  ff::av_packet_unref(APacket);
  int r;
  try {
    r = FDevice->read_packet(FContext, APacket);
  } catch (const std::exception& e) {
    DeviceLog(FContext, AV_LOG_ERROR, "%s\n", e.what());
    r = AVERROR(EIO);
  }
  if (r < 0) {
    ff::av_packet_unref(APacket);
    return r;
  }
  AVStream* st = FContext->streams[0];
  APacket->stream_index = 0;
  const AVCodecParameters* par = st->codecpar;
  if (par->codec_type == AVMEDIA_TYPE_AUDIO && par->sample_rate > 0 && APacket->duration <= 0 &&
      APacket->dts == AV_NOPTS_VALUE) {
    // Audio: numbered by the samples the packets really hold, counted from 0
    // and rescaled as a whole, so rounding never adds up over a long run. A
    // device may stamp a packet with the time its first sample was captured
    // (sound that began after the first read); numbering continues there.
    const AVRational rate{1, par->sample_rate};
    if (APacket->pts != AV_NOPTS_VALUE)
      FSamples = std::max(FSamples, ff::av_rescale_q(APacket->pts, st->time_base, rate));
    APacket->pts = AV_NOPTS_VALUE;
    APacket->dts = ff::av_rescale_q(FSamples, rate, st->time_base);
    FSamples += AudioSamples(par, APacket->size);
    APacket->duration = ff::av_rescale_q(FSamples, rate, st->time_base) - APacket->dts;
  } else if (APacket->duration <= 0) {
    APacket->duration = DefaultDuration(st);
  }
  if (APacket->dts == AV_NOPTS_VALUE) APacket->dts = APacket->pts;
  if (APacket->dts == AV_NOPTS_VALUE) APacket->dts = FNextDts;
  if (APacket->pts == AV_NOPTS_VALUE) APacket->pts = APacket->dts;
  FNextDts = APacket->dts + APacket->duration;
  return r;
}

void TDeviceInput::Pause() {
  if (FContext && !FPaused && FDevice->read_pause) FDevice->read_pause(FContext);
  FPaused = true;
}

void TDeviceInput::Resume() {
  if (FContext && FPaused && FDevice->read_play) FDevice->read_play(FContext);
  FPaused = false;
}

void TDeviceInput::Close() {
  if (!FContext) return;
  try {
    FDevice->read_close(FContext);
  } catch (const std::exception& e) {
    DeviceLog(FContext, AV_LOG_ERROR, "%s\n", e.what());
  }
  FContext->priv_data = nullptr;
  FPriv.reset();
  ff::avformat_free_context(FContext);
  FContext = nullptr;
  FDevice = nullptr;
  FPaused = false;
}

}  // namespace capture
