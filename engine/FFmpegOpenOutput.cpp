// Creating an output file: its container format, its streams from the
// current settings, its metadata, and the file itself.
#include "engine/FFmpeg.h"
#include "media/FFUtils.h"
#include "media/UnicodeProtocol.h"
#include "media/FFLoad.h"

#include <ctime>

namespace engine {
namespace {

// Whether any of the inputs to look at has a stream of the type.
bool InputsHave(const std::vector<std::unique_ptr<TOpenedInput>>& AInputs, int32_t ACount,
                AVMediaType AType) {
  for (int32_t i = 0; i < ACount; ++i) {
    const AVFormatContext* ic = AInputs[i]->ctx;
    for (unsigned s = 0; s < ic->nb_streams; ++s)
      if (ic->streams[s]->codecpar->codec_type == AType) return true;
  }
  return false;
}

}  // namespace

int32_t TCustomFFmpeg::OpenOutput(const std::string& AFileName, bool AJoin) {
  // 1.
  if (FJoinMode) {
    FLastErrMsg = "Cannot join more than one output file.";
    return -1;
  }
  if (Fnb_output_files >= FMaxFiles) {
    FLastErrMsg = Format("Too many output files (at most %d)", FMaxFiles);
    return -1;
  }
  // 2.
  FEnableFilter = !Fvfilters.empty();
  // 3. Format: forced, or guessed from the name.
  const AVOutputFormat* fmt = nullptr;
  if (!Flast_asked_format.empty()) {
    fmt = ff::av_guess_format(Flast_asked_format.c_str(), nullptr, nullptr);
    if (!fmt) {
      FLastErrMsg =
          "Requested output format '" + Flast_asked_format + "' is not a suitable output format";
      return -1;
    }
    Flast_asked_format.clear();
  } else {
    fmt = ff::av_guess_format(nullptr, AFileName.c_str(), nullptr);
    if (!fmt) {
      FLastErrMsg = "Unable to find a suitable output format for '" + AFileName + "'";
      return -1;
    }
  }
  // 2, 4. The muxer context with its format and name (no length limit), and
  // the per-thread interrupt dispatcher.
  std::string url;
  try {
    url = media::EncodeFileName(AFileName);
  } catch (const media::EFileNameError& e) {
    FLastErrMsg = e.what();
    return -1;
  }
  AVFormatContext* raw = nullptr;
  if (ff::avformat_alloc_output_context2(&raw, fmt, nullptr, url.c_str()) < 0 || !raw)
    throw FFmpegException("avformat_alloc_context failed");
  OutputPtr oc(raw);
  oc->interrupt_callback = media::MakeInterruptCB();

  const int32_t index = Fnb_output_files;
  // 6. Which streams.
  bool useVideo = Fvideo_stream_copy || fmt->video_codec != AV_CODEC_ID_NONE ||
                  !Fvideo_codec_name.empty();
  bool useAudio = Faudio_stream_copy || fmt->audio_codec != AV_CODEC_ID_NONE ||
                  !Faudio_codec_name.empty();
  bool useSubtitle = Fsubtitle_stream_copy || fmt->subtitle_codec != AV_CODEC_ID_NONE ||
                     !Fsubtitle_codec_name.empty();
  if (Fnb_input_files > 0) {
    const int32_t n = AJoin ? 1 : Fnb_input_files;
    useVideo = useVideo && InputsHave(Finput_files, n, AVMEDIA_TYPE_VIDEO);
    useAudio = useAudio && InputsHave(Finput_files, n, AVMEDIA_TYPE_AUDIO);
    useSubtitle = useSubtitle && InputsHave(Finput_files, n, AVMEDIA_TYPE_SUBTITLE);
  }
  if (Faudio_disable) useAudio = false;
  if (Fvideo_disable) useVideo = false;
  if (Fsubtitle_disable) useSubtitle = false;

  // 7. Streams, video first.
  auto create = [&](bool AUse, const char* AWhat, auto AMake) {
    if (!AUse) return true;
    try {
      (this->*AMake)(oc.get(), index);
      return true;
    } catch (const std::exception& e) {
      FLastErrMsg = std::string(AWhat) + " fail: " + e.what();
      return false;
    }
  };
  Foutput_streams_for_file[index].clear();
  Fnb_output_streams_for_file[index] = 0;
  const size_t codecsBefore = Foutput_codecs.size();
  auto dropStreams = [&] {
    Foutput_streams_for_file[index].clear();
    Fnb_output_streams_for_file[index] = 0;
    Foutput_codecs.resize(codecsBefore);
    Fnb_output_codecs = static_cast<int32_t>(codecsBefore);
  };
  if (!create(useVideo, "new_video_stream", &TCustomFFmpeg::NewVideoStream) ||
      !create(useAudio, "new_audio_stream", &TCustomFFmpeg::NewAudioStream) ||
      !create(useSubtitle, "new_subtitle_stream", &TCustomFFmpeg::NewSubtitleStream)) {
    dropStreams();
    return -1;
  }

  // 8. Time stamp and pending metadata.
  if (Frecording_timestamp != 0) {
    const time_t when = static_cast<time_t>(Frecording_timestamp);
    struct tm tmv {};
    char text[64];
    if (gmtime_r(&when, &tmv) && std::strftime(text, sizeof text, "%Y-%m-%dT%H:%M:%S.000000Z", &tmv))
      ff::av_dict_set(&oc->metadata, "creation_time", text, 0);
  }
  ff::av_dict_copy(&oc->metadata, Fmetadata.Get(), 0);
  Fmetadata.Free();

  // 10. Names with a frame number.
  if ((fmt->flags & AVFMT_NEEDNUMBER) && !ff::av_filename_number_test(url.c_str())) {
    FLastErrMsg = media::ErrorText(AFileName, AVERROR(EDOM));
    dropStreams();
    return -1;
  }
  // 11. The file.
  if (!(fmt->flags & AVFMT_NOFILE)) {
    TReadWatch watch(this);
    const int ret = ff::avio_open2(&oc->pb, url.c_str(), AVIO_FLAG_WRITE, &oc->interrupt_callback,
                                   nullptr);
    if (ret < 0) {
      FLastErrMsg = media::ErrorText(AFileName, ret);
      dropStreams();
      return -1;
    }
  }
  // 13. Muxer timing and loop count (private options where the muxer has
  // them), recorded encoding options.
  oc->max_delay = static_cast<int>(1000000.0 * Fmux_max_delay);
  if (oc->priv_data) {
    ff::av_opt_set_int(oc->priv_data, "preload", static_cast<int64_t>(1000000.0 * Fmux_preload), 0);
    ff::av_opt_set_int(oc->priv_data, "loop", Floop_output, 0);
  }
  oc->flags |= AVFMT_FLAG_NONBLOCK;
  FOptions.ApplyLibraryOptions(oc.get(), FOptions.FormatDefaults(), kOptEncoding, nullptr);
  // 9. Added as the next output.
  Foutput_files[index] = oc.get();
  FOutputOwners.push_back(std::move(oc));
  ++Fnb_output_files;
  // 14-16.
  Fstreamid_map.clear();
  Fnb_streamid_map = 0;
  Fforced_key_frames.clear();
  if (AJoin && Fnb_input_files > 1) FJoinMode = true;
  return Fnb_output_files;
}

void TCustomFFmpeg::SetupJoinMode() {
  if (!FJoinMode || Fnb_output_files == 0) return;
  int64_t total = 0;
  for (int32_t i = 0; i < Fnb_input_files; ++i) {
    const int64_t d = Finput_files[i]->ctx->duration;
    if (d != AV_NOPTS_VALUE && d > 0) total += d;
  }
  FTotalOutputDuration = total == 0 ? -1 : total;
  AVFormatContext* oc = Foutput_files[Fnb_output_files - 1];
  const auto& first = Foutput_streams_for_file[Fnb_output_files - 1];
  for (int32_t i = 1; i < Fnb_input_files && Fnb_output_files < FMaxFiles; ++i) {
    const int32_t index = Fnb_output_files;
    Foutput_files[index] = oc;
    ++Fnb_output_files;
    for (unsigned s = 0; s < oc->nb_streams; ++s) {
      auto rec = std::make_unique<TAVOutputStream>();
      rec->file_index = index;
      rec->index = static_cast<int32_t>(s);
      rec->st = oc->streams[s];
      // The segment writes through the first segment's encoder; its own
      // context only mirrors that encoder's settings for the status line.
      rec->enc.reset(ff::avcodec_alloc_context3(nullptr));
      if (!rec->enc) throw FFmpegException("avcodec_alloc_context3 failed");
      if (s < first.size() && first[s] && first[s]->enc) {
        rec->enc->codec_type = first[s]->enc->codec_type;
        rec->enc->codec_id = first[s]->enc->codec_id;
        rec->enc->time_base = first[s]->enc->time_base;
      }
      rec->stream_copy = s < first.size() && first[s] && first[s]->stream_copy;
      Foutput_streams_for_file[index].push_back(std::move(rec));
    }
    Fnb_output_streams_for_file[index] = static_cast<int32_t>(oc->nb_streams);
  }
}

}  // namespace engine
