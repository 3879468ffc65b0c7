// Opening an input: forced format, demuxer hints from the settings, probing,
// program selection, and copying the input's picture and sound properties
// into the settings so that outputs opened afterwards inherit them.
#include "engine/FFmpeg.h"
#include "engine/FFmpegDevices.h"
#include "media/FFUtils.h"
#include "media/UnicodeProtocol.h"
#include "media/FFLoad.h"

namespace engine {
namespace {

struct TDictGuard {
  AVDictionary* d = nullptr;
  ~TDictGuard() { ff::av_dict_free(&d); }
};

}  // namespace

bool TCustomFFmpeg::OpenInput(const std::string& AFileName) {
  if (Fnb_input_files >= FMaxFiles) {
    FLastErrMsg = Format("Too many input files (at most %d)", FMaxFiles);
    return false;
  }
  // Decoder names, program id and video channel are consumed by this open
  // whatever its outcome.
  struct TConsume {
    TCustomFFmpeg* e;
    ~TConsume() {
      e->Fvideo_channel = 0;
      e->Fvideo_codec_name.clear();
      e->Faudio_codec_name.clear();
      e->Fsubtitle_codec_name.clear();
    }
  } consume{this};

  std::unique_ptr<TOpenedInput> input;
  // 1. Forced format: a capture device or a demuxer of the library.
  const std::string asked = Flast_asked_format;
  if (!asked.empty()) {
    Flast_asked_format.clear();
    if (IsCaptureDevice(asked)) {
      if (!OpenInputDevice(AFileName, asked, input)) return false;
      return DescribeInput(std::move(input), AFileName);
    }
    const AVInputFormat* fmt = ff::av_find_input_format(asked.c_str());
    if (!fmt) throw FFmpegException("Unknown input format: \"" + asked + "\"");
    if (!OpenInputDemuxer(AFileName, fmt, input)) return false;
  } else if (!OpenInputDemuxer(AFileName, nullptr, input)) {
    return false;
  }
  return DescribeInput(std::move(input), AFileName);
}

bool TCustomFFmpeg::OpenInputDevice(const std::string& AFileName, const std::string& AFormatName,
                                    std::unique_ptr<TOpenedInput>& AInput) {
  AInput = std::make_unique<TOpenedInput>();
  const AVRational tb = Fframe_rate.den != 0 && Fframe_rate.num != 0
                            ? AVRational{Fframe_rate.den, Fframe_rate.num}
                            : AVRational{0, 0};
  std::string error;
  int code = 0;
  if (!FRecordingStart) FRecordingStart = NewRecordingStart();
  AInput->device =
      OpenCaptureDevice(AFormatName, AFileName, Fframe_width, Fframe_height, tb, FRecordingStart, error, code);
  if (!AInput->device) {
    FLastErrMsg = error.empty() ? media::ErrorText(AFileName, code) : error;
    AInput.reset();
    return false;
  }
  AInput->ctx = AInput->device->Context();
  AInput->ctx->interrupt_callback = media::MakeInterruptCB();
  return true;
}

bool TCustomFFmpeg::OpenInputDemuxer(const std::string& AFileName, const AVInputFormat* AFormat,
                                     std::unique_ptr<TOpenedInput>& AInput) {
  // 2. The context, with the per-thread interrupt dispatcher.
  AVFormatContext* ic = ff::avformat_alloc_context();
  if (!ic) throw FFmpegException("avformat_alloc_context failed");
  ic->interrupt_callback = media::MakeInterruptCB();

  // 3. Demuxer hints (raw and capture inputs read them; others ignore them).
  TDictGuard params;
  ff::av_dict_set_int(&params.d, "sample_rate", Faudio_sample_rate, 0);
  ff::av_dict_set_int(&params.d, "channels", Faudio_channels, 0);
  if (Fframe_rate.num > 0 && Fframe_rate.den > 0)
    ff::av_dict_set(&params.d, "framerate",
                    Format("%d/%d", Fframe_rate.num, Fframe_rate.den).c_str(), 0);
  if (Fframe_width > 0 && Fframe_height > 0)
    ff::av_dict_set(&params.d, "video_size", Format("%dx%d", Fframe_width, Fframe_height).c_str(),
                    0);
  if (Fframe_pix_fmt != AV_PIX_FMT_NONE) {
    if (const char* n = ff::av_get_pix_fmt_name(static_cast<AVPixelFormat>(Fframe_pix_fmt)))
      ff::av_dict_set(&params.d, "pixel_format", n, 0);
  }
  if (Fvideo_channel) ff::av_dict_set_int(&params.d, "channel", Fvideo_channel, 0);
  if (!Fvideo_standard.empty()) ff::av_dict_set(&params.d, "standard", Fvideo_standard.c_str(), 0);
  if (Floop_input) ff::av_dict_set(&params.d, "loop", "1", 0);

  // 4. Recorded library options (decoding).
  FOptions.ApplyLibraryOptions(ic, FOptions.FormatDefaults(), kOptDecoding, nullptr);

  // 5. Forced decoders.
  const AVCodec* vdec = nullptr;
  const AVCodec* adec = nullptr;
  const AVCodec* sdec = nullptr;
  if (!FindCodecOrFail(Fvideo_codec_name, AVMEDIA_TYPE_VIDEO, false, vdec) ||
      !FindCodecOrFail(Faudio_codec_name, AVMEDIA_TYPE_AUDIO, false, adec) ||
      !FindCodecOrFail(Fsubtitle_codec_name, AVMEDIA_TYPE_SUBTITLE, false, sdec)) {
    ff::avformat_free_context(ic);
    return false;
  }
  if (vdec) ic->video_codec_id = vdec->id;
  if (adec) ic->audio_codec_id = adec->id;
  if (sdec) ic->subtitle_codec_id = sdec->id;

  // 6. Open, watched.
  ic->flags |= AVFMT_FLAG_NONBLOCK;
  std::string url;
  try {
    url = media::EncodeFileName(AFileName);
  } catch (const media::EFileNameError& e) {
    FLastErrMsg = e.what();
    ff::avformat_free_context(ic);
    return false;
  }
  TReadWatch watch(this);
  int ret = ff::avformat_open_input(&ic, url.c_str(), AFormat, &params.d);
  if (ret < 0) {  // the library has freed the context
    FLastErrMsg = media::ErrorText(AFileName, ret);
    return false;
  }
  AInput = std::make_unique<TOpenedInput>();
  AInput->ctx = ic;

  // 7. Program selection.
  if (Fopt_programid != 0) {
    bool found = false;
    for (unsigned i = 0; i < ic->nb_streams; ++i) ic->streams[i]->discard = AVDISCARD_ALL;
    for (unsigned p = 0; p < ic->nb_programs; ++p) {
      AVProgram* prog = ic->programs[p];
      if (prog->id == Fopt_programid) {
        found = true;
        for (unsigned k = 0; k < prog->nb_stream_indexes; ++k)
          ic->streams[prog->stream_index[k]]->discard = AVDISCARD_DEFAULT;
      } else {
        prog->discard = AVDISCARD_ALL;
      }
    }
    if (!found) {
      FLastErrMsg = "Specified program id not found";
      AInput.reset();
      return false;
    }
    Fopt_programid = 0;
  }

  // 8-9. Probe the streams.
  if (FOnBeforeFindStreamInfo) FOnBeforeFindStreamInfo(this, ic);
  watch.Refresh();
  ret = ff::avformat_find_stream_info(ic, nullptr);
  if (ret < 0 && Fverbose >= 0) {
    FLastErrMsg = AFileName + ": could not find codec parameters";
    Log(media::llVerbose, FLastErrMsg);
    AInput.reset();
    return false;
  }

  // 10. Start position.
  if (Fstart_time != 0) {
    int64_t t = Fstart_time;
    if (ic->start_time != AV_NOPTS_VALUE) t += ic->start_time;
    watch.Refresh();
    if (ff::av_seek_frame(ic, -1, t, AVSEEK_FLAG_BACKWARD) < 0 && Fverbose > 0)
      Log(media::llVerbose, Format("%s: could not seek to position %0.3f", AFileName.c_str(),
                                   static_cast<double>(t) / 1000000.0));
  }
  return true;
}

bool TCustomFFmpeg::DescribeInput(std::unique_ptr<TOpenedInput> input,
                                  const std::string& AFileName) {
  AVFormatContext* ic = input->ctx;
  int64_t t = Fstart_time;
  if (!input->device && ic->start_time != AV_NOPTS_VALUE) t += ic->start_time;
  Fstart_time = 0;

  // 11. One decoder context per stream; the settings take the stream's
  // properties.
  for (unsigned i = 0; i < ic->nb_streams; ++i) {
    AVStream* st = ic->streams[i];
    const AVCodecParameters* par = st->codecpar;
    // A decoder named for the stream's kind wins over the one of its codec id.
    const std::string& named = par->codec_type == AVMEDIA_TYPE_VIDEO   ? Fvideo_codec_name
                               : par->codec_type == AVMEDIA_TYPE_AUDIO ? Faudio_codec_name
                               : par->codec_type == AVMEDIA_TYPE_SUBTITLE ? Fsubtitle_codec_name
                                                                          : std::string();
    const AVCodec* forced = named.empty() ? nullptr : ff::avcodec_find_decoder_by_name(named.c_str());
    if (forced && forced->type != par->codec_type) forced = nullptr;
    const AVCodec* dec = forced ? forced : ff::avcodec_find_decoder(par->codec_id);
    CodecCtxPtr ctx(ff::avcodec_alloc_context3(dec));
    if (!ctx) throw FFmpegException("avcodec_alloc_context3 failed");
    if (ff::avcodec_parameters_to_context(ctx.get(), par) < 0)
      throw FFmpegException("avcodec_parameters_to_context failed");
    ctx->pkt_timebase = st->time_base;
    ctx->thread_count = Fthread_count;
    Finput_codecs.push_back(forced);
    Fnb_input_codecs = static_cast<int32_t>(Finput_codecs.size());
    switch (par->codec_type) {
      case AVMEDIA_TYPE_VIDEO: {
        FOptions.ApplyLibraryOptions(ctx.get(), FOptions.CodecDefaults(AVMEDIA_TYPE_VIDEO),
                                     kOptDecoding | kOptVideo, dec);
        Fframe_width = par->width;
        Fframe_height = par->height;
        const AVRational sar = st->sample_aspect_ratio.num ? st->sample_aspect_ratio
                                                           : par->sample_aspect_ratio;
        if (par->width > 0 && par->height > 0) {
          const double w = par->width, h = par->height;
          Fframe_aspect_ratio = static_cast<float>(
              sar.num && sar.den ? (static_cast<double>(sar.num) / sar.den) * w / h : w / h);
        } else if (Fframe_aspect_ratio == 0) {
          Fframe_aspect_ratio = 4.0f / 3.0f;
        }
        Fframe_pix_fmt = par->format < 0 ? 0 : par->format;
        if (ctx->lowres > 0) {
          Fframe_width >>= ctx->lowres;
          Fframe_height >>= ctx->lowres;
          ctx->width = Fframe_width;
          ctx->height = Fframe_height;
        }
        const AVRational rate = st->r_frame_rate;
        const AVRational avg = st->avg_frame_rate;
        if (avg.num && avg.den && rate.num && rate.den &&
            (avg.num != rate.num || avg.den != rate.den) &&
            Fverbose >= 0)
          Log(media::llInfo,
              Format("Seems stream %u codec frame rate differs from container frame rate: "
                     "%2.2f (%d/%d) -> %2.2f (%d/%d)",
                     i, static_cast<double>(avg.num) / avg.den, avg.num, avg.den,
                     static_cast<double>(rate.num) / rate.den, rate.num, rate.den));
        if (rate.num > 0 && rate.den > 0) Fframe_rate = rate;
        if (Fvideo_disable)
          st->discard = AVDISCARD_ALL;
        else if (Fvideo_discard)
          st->discard = static_cast<AVDiscard>(Fvideo_discard);
        break;
      }
      case AVMEDIA_TYPE_AUDIO:
        FOptions.ApplyLibraryOptions(ctx.get(), FOptions.CodecDefaults(AVMEDIA_TYPE_AUDIO),
                                     kOptDecoding | kOptAudio, dec);
        Fchannel_layout = par->ch_layout.order == AV_CHANNEL_ORDER_NATIVE
                              ? static_cast<int64_t>(par->ch_layout.u.mask)
                              : 0;
        Faudio_channels = par->ch_layout.nb_channels;
        Faudio_sample_rate = par->sample_rate;
        Faudio_sample_fmt = par->format;
        if (ctx->lowres > 0) Faudio_sample_rate >>= ctx->lowres;
        if (Faudio_disable) st->discard = AVDISCARD_ALL;
        break;
      case AVMEDIA_TYPE_SUBTITLE:
        if (Fsubtitle_disable) st->discard = AVDISCARD_ALL;
        break;
      case AVMEDIA_TYPE_DATA:
      case AVMEDIA_TYPE_ATTACHMENT:
      case AVMEDIA_TYPE_UNKNOWN:
        break;
      default:
        throw FFmpegException("invalid codec_type");
    }
    input->decoders.push_back(std::move(ctx));
  }

  // 12. Expected output length.
  if (!input->device && ic->duration != AV_NOPTS_VALUE && ic->duration > FTotalOutputDuration)
    FTotalOutputDuration = ic->duration;

  // 13-15. Into the next slot.
  const int32_t slot = Fnb_input_files;
  Finput_files_ts_offset[slot] = Fcopy_ts ? Finput_ts_offset : Finput_ts_offset - t;
  if (Fverbose >= 0 && !input->device) ff::av_dump_format(ic, slot, AFileName.c_str(), 0);
  Finput_files[slot] = std::move(input);
  ++Fnb_input_files;
  return true;
}

}  // namespace engine
