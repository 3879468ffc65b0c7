// Construction, defaults and the release of everything a task holds.
#include <sys/stat.h>
#include <unistd.h>

#include <cstdarg>
#include <stdexcept>

#include "engine/FFmpeg.h"
#include "engine/FFmpegDevices.h"
#include "media/UnicodeProtocol.h"
#include "platform/UiHandOver.h"
#include "media/FFLoad.h"

namespace engine {

std::string Format(const char* AFormat, ...) {
  va_list args;
  va_start(args, AFormat);
  va_list copy;
  va_copy(copy, args);
  const int n = std::vsnprintf(nullptr, 0, AFormat, copy);
  va_end(copy);
  std::string out(n > 0 ? static_cast<size_t>(n) : 0, '\0');
  if (n > 0) std::vsnprintf(out.data(), out.size() + 1, AFormat, args);
  va_end(args);
  return out;
}

namespace {
bool EngineLibrariesLoaded() {
  return media::FFLoader().Loaded(
      media::TLibraries{media::avCodec, media::avFormat, media::avUtil, media::swScale});
}
}  // namespace

void TOutputCloser::operator()(AVFormatContext* p) const {
  const bool hasFile = p->oformat && !(p->oformat->flags & AVFMT_NOFILE);
  if (hasFile && p->pb) ff::avio_closep(&p->pb);
  if (hasFile && p->url) {
    // An output that never received a byte is not left behind.
    const std::string name = media::DecodeFileName(p->url);
    struct stat sb {};
    if (::stat(name.c_str(), &sb) == 0 && S_ISREG(sb.st_mode) && sb.st_size == 0)
      ::unlink(name.c_str());
  }
  ff::avformat_free_context(p);
}

TOpenedInput::~TOpenedInput() {
  decoders.clear();
  if (device) {
    device.reset();  // the device closes its own context
  } else if (ctx) {
    ff::avformat_close_input(&ctx);
  }
  ctx = nullptr;
}

int TOpenedInput::ReadPacket(AVPacket* APacket) {
  if (device) return device->ReadPacket(APacket);
  return ff::av_read_frame(ctx, APacket);
}

TCustomFFmpeg::TCustomFFmpeg(int32_t AMaxFiles) : FMaxFiles(AMaxFiles) {
  if (AMaxFiles < 1 || AMaxFiles > kMaxFilesLimit)
    throw EFFmpegAssertion("Assertion failed: AMaxFiles out of range 1..512", 980);
  Finput_files.resize(FMaxFiles);
  Finput_files_ts_offset.assign(FMaxFiles, 0);
  Finput_files_ts_scale.assign(FMaxFiles, {});
  Fnb_input_files_ts_scale.assign(FMaxFiles, 0);
  Foutput_files.assign(FMaxFiles, nullptr);
  Foutput_streams_for_file.resize(FMaxFiles);
  Fnb_output_streams_for_file.assign(FMaxFiles, 0);
  ResetSettings();
}

TCustomFFmpeg::~TCustomFFmpeg() {
  Stop(true);
  if (FConvertThread) FConvertThread->Join();
  if (FTermThread) {
    // The termination handler may hand work to the UI thread: serve it.
    if (platform::ui::IsUiThread()) platform::ui::WaitServing(FTermThread->Finished());
    FTermThread->Join();
  }
  FreeResources();
  FOptions.UninitOptions();
}

void TCustomFFmpeg::ResetSettings() {
  if (!EngineLibrariesLoaded()) return;
  for (int32_t i = 0; i < FMaxFiles; ++i) {
    Finput_files[i].reset();
    Finput_files_ts_offset[i] = 0;
    Finput_files_ts_scale[i].clear();
    Fnb_input_files_ts_scale[i] = 0;
    Foutput_files[i] = nullptr;
    Foutput_streams_for_file[i].clear();
    Fnb_output_streams_for_file[i] = 0;
  }
  Fnb_input_files = Fnb_output_files = 0;
  FOptions.InitOptions(static_cast<int>(Fsws_flags));
  FPostHooks = 0;
  FPostHooksChanged = false;
  FJoinMode = false;
  FHookBitsPixel = 24;
  FConverting = false;
  FBroken = false;
  FFinished = false;
  FTerminated = false;
  FFatalException = false;
  FTotalOutputDuration = -1;
}

void TCustomFFmpeg::FreeResources() {
  if (!EngineLibrariesLoaded()) return;
  // 1-2. Outputs: byte streams, streams, contexts (empty files deleted).
  for (int32_t i = 0; i < FMaxFiles; ++i) {
    Foutput_files[i] = nullptr;
    Foutput_streams_for_file[i].clear();
    Fnb_output_streams_for_file[i] = 0;
  }
  FOutputOwners.clear();
  Fnb_output_files = 0;
  // 3. Inputs (capture devices included).
  for (int32_t i = 0; i < FMaxFiles; ++i) {
    Finput_files[i].reset();
    Finput_files_ts_scale[i].clear();
    Fnb_input_files_ts_scale[i] = 0;
  }
  Fnb_input_files = 0;
  FRecordingStart.reset();
  // 4. Tables, names and buffers.
  Fintra_matrix.clear();
  Finter_matrix.clear();
  if (Fvstats_file) {
    std::fclose(Fvstats_file);
    Fvstats_file = nullptr;
  }
  Fvstats_filename.clear();
  Fstreamid_map.clear();
  Fnb_streamid_map = 0;
  Finput_codecs.clear();
  Fnb_input_codecs = 0;
  Foutput_codecs.clear();
  Fnb_output_codecs = 0;
  Fstream_maps.clear();
  Fnb_stream_maps = 0;
  Fmeta_data_maps.clear();
  Fnb_meta_data_maps = 0;
  Fchapter_maps.clear();
  Fnb_chapter_maps = 0;
  Fvideo_codec_name.clear();
  Faudio_codec_name.clear();
  Fsubtitle_codec_name.clear();
  Fvideo_standard.clear();
  FOptions.UninitOptions();
  Fvideo_rc_override_string.clear();
  Fmetadata.Free();
  Fvideo_bitstream_filters.clear();
  Faudio_bitstream_filters.clear();
  Fsubtitle_bitstream_filters.clear();
}

std::string TCustomFFmpeg::FatalMessage() const {
  std::lock_guard lock(FFatalLock);
  return FFatalMessage;
}

AVFormatContext* TCustomFFmpeg::InputFile(int32_t AIndex) const {
  if (AIndex < 0 || AIndex >= Fnb_input_files || !Finput_files[AIndex]) return nullptr;
  return Finput_files[AIndex]->ctx;
}

AVFormatContext* TCustomFFmpeg::OutputFile(int32_t AIndex) const {
  if (AIndex < 0 || AIndex >= Fnb_output_files) return nullptr;
  return Foutput_files[AIndex];
}

AVCodecContext* TCustomFFmpeg::InputDecoder(int32_t AFile, int32_t AStream) const {
  if (AFile < 0 || AFile >= Fnb_input_files || !Finput_files[AFile]) return nullptr;
  const auto& d = Finput_files[AFile]->decoders;
  if (AStream < 0 || AStream >= static_cast<int32_t>(d.size())) return nullptr;
  return d[AStream].get();
}

TAVOutputStream* TCustomFFmpeg::OutputStream(int32_t AFile, int32_t AStream) const {
  if (AFile < 0 || AFile >= Fnb_output_files) return nullptr;
  const auto& s = Foutput_streams_for_file[AFile];
  if (AStream < 0 || AStream >= static_cast<int32_t>(s.size())) return nullptr;
  return s[AStream].get();
}

void TCustomFFmpeg::SetHookBitsPixel(int32_t AValue) {
  if (AValue != 8 && AValue != 15 && AValue != 16 && AValue != 24 && AValue != 32)
    throw std::invalid_argument(Format("Invalid BitsPixel %d", AValue));
  FHookBitsPixel = AValue;
}

void TCustomFFmpeg::SetPostHooks(TPostHooks AValue) {
  std::lock_guard lock(FPreviewLock);
  FPostHooks = AValue;
  FPostHooksChanged = true;
}

}  // namespace engine
