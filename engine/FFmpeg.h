#pragma once
// TCustomFFmpeg: the conversion engine. One instance holds everything one
// conversion task needs: its input and output files, the settings the option
// layer fills in (F-prefixed, named after the converter's own vocabulary),
// the run-time state of a conversion and the events through which it reports.
//
// Life of a task: options and opens fill the engine (SetExtOption,
// OpenInput, OpenOutput), StartConvert runs it once (on a TConvertThread or
// in the caller), Pause / Resume hold it between packets, Stop ends it, and
// OnTerminate fires exactly once when it has ended.
//
// The implementation is split by concern: FFmpegSettings.cpp (defaults and
// resources), FFmpegLifecycle.cpp (threads, start, pause, stop, time-outs),
// FFmpegProgress.cpp, FFmpegOptions*.cpp (named option handlers),
// FFmpegExtOptions.cpp (the option-name dispatcher), FFmpegOpen*.cpp (opening
// inputs and creating outputs and their streams), FFmpegRun.cpp (the run).

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <limits>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "engine/FFmpegException.h"
#include "engine/FFmpegTypes.h"
#include "media/FFLog.h"
#include "media/FFOptions.h"
#include "media/FrameHook.h"
#include "platform/Threads.h"

namespace capture {
class TRecordingStart;
}
namespace engine {

class TCustomFFmpeg;
class TEngineDeviceInput;
}  // namespace engine
class QImage;
namespace engine {

constexpr int32_t kMaxFilesLimit = 512;
constexpr int64_t kNoTime = std::numeric_limits<int64_t>::max();

// One opened input: the demuxer context (or a capture device's context) and
// one decoder context per stream, made from the stream's parameters.
struct TOpenedInput {
  TOpenedInput() = default;
  TOpenedInput(const TOpenedInput&) = delete;
  TOpenedInput& operator=(const TOpenedInput&) = delete;
  ~TOpenedInput();
  // Reads the next packet, through the device when the input is one.
  int ReadPacket(AVPacket* APacket);

  AVFormatContext* ctx = nullptr;
  std::unique_ptr<TEngineDeviceInput> device;
  std::vector<CodecCtxPtr> decoders;
};

// The worker thread of a running conversion. Created held: nothing runs
// until Resume (the encoder resumes it at once).
class TConvertThread {
 public:
  explicit TConvertThread(TCustomFFmpeg* AOwner) : FOwner(AOwner) {}
  TConvertThread(const TConvertThread&) = delete;
  TConvertThread& operator=(const TConvertThread&) = delete;
  // Starts the body; later calls do nothing.
  void Resume();
  void Join() { FThread.Join(); }
  platform::ThreadId Id() const { return FThread.Id(); }

 private:
  TCustomFFmpeg* FOwner;
  std::once_flag FStarted;
  platform::TThread FThread;
};

enum TPostHook : uint8_t { phPreview = 1, phBitmap = 2, phHBITMAP = 4 };
using TPostHooks = uint8_t;

using TNotifyEvent = std::function<void(void* Sender)>;
using TProgressEvent = std::function<void(void* Sender, int32_t AFileIndex, int32_t AFrameNumber,
                                          int32_t AFPS, float AQuality, float ABitRate,
                                          int64_t ACurrentSize, int64_t ACurrentDuration,
                                          int64_t ATotalDuration)>;
using TBeforeFindStreamInfoEvent = std::function<void(void* Sender, AVFormatContext* AContext)>;
// A video hook sees each picture as a bitmap it may draw on: AUpdate (true
// on entry) puts the bitmap back into the video, AStopHook ends the hook for
// the rest of the conversion. Pictures are copies, never a decoder's.
using TVideoHookEvent = std::function<void(void* Sender, QImage& ABitmap, int32_t AFrameNumber,
                                           int64_t APTS, bool& AUpdate, bool& AStopHook)>;
// A block of decoded sound before the volume step: APTS in microseconds,
// ASample the samples interleaved (ASize bytes, ASampleFormat packed); the
// handler may change them in place, and the changed samples are encoded.
using TAudioHookEvent = std::function<void(void* Sender, int64_t APTS, uint8_t* ASample, int32_t ASize,
                                           int32_t ASampleRate, int32_t AChannels,
                                           AVSampleFormat ASampleFormat)>;
// The preview as a bitmap (phBitmap), at most once per PreviewInterval.
using TPreviewBitmapEvent =
    std::function<void(void* Sender, QImage& ABitmap, int32_t AFrameNumber, int64_t APTS)>;

class TCustomFFmpeg {
 public:
  // An engine for at most AMaxFiles inputs and AMaxFiles outputs (1..512;
  // anything else throws EFFmpegAssertion).
  explicit TCustomFFmpeg(int32_t AMaxFiles);
  TCustomFFmpeg(const TCustomFFmpeg&) = delete;
  TCustomFFmpeg& operator=(const TCustomFFmpeg&) = delete;
  // Stops a running conversion, waits for it and for a termination thread,
  // then releases everything.
  virtual ~TCustomFFmpeg();

  // ---- lifecycle (FFmpegLifecycle.cpp) ----
  // Starts the task once. AUseThread: returns the held worker thread (call
  // Resume on it); otherwise runs the whole conversion here and returns null.
  // Also null when it refuses (already started, terminated, no files).
  TConvertThread* StartConvert(bool AUseThread);
  // Requests the end of the conversion; AWaitForStop waits for the worker
  // (serving UI hand-overs when called on the UI thread).
  void Stop(bool AWaitForStop);
  // Hold and continue the worker between packets.
  void Pause();
  void Resume();
  bool Paused() const;
  // Ends the task whatever its state: stops a running conversion, or fires
  // OnTerminate on a thread of its own for a task that never ran.
  void Cancel(bool AWaitForStop);

  // ---- options (FFmpegExtOptions.cpp, FFmpegOptions*.cpp) ----
  void SetExtOption(const std::string& AName, const std::string& AValue);
  // Guarded setters used when an output record is applied.
  void SetAudioVolume(int32_t AValue);
  void SetAudioSyncMethod(int32_t AValue);
  void SetVideoSyncMethod(int32_t AValue);
  void SetMuxMaxDelay(float AValue);
  void SetMuxPreload(float AValue);
  // Target preset ("vcd", "pal-dvd" ...); ADefaultNorm ("pal", "ntsc" or
  // "film") when the norm can be neither read nor guessed.
  void ApplyTarget(const std::string& AValue, const std::string& ADefaultNorm);
  // Names of the built-in codec presets.
  static std::vector<std::string> BuiltInPresetNames();
  // Runs the vhook chain on a decoded picture (made writable first); APts
  // in microseconds.
  void RunVideoHooks(AVFrame* AFrame, int64_t APts);
  // Codec lookup: true with the codec (or null for an empty name), false with
  // the reason in LastErrMsg.
  bool FindCodecOrFail(const std::string& AName, AVMediaType AType, bool AEncoder,
                       const AVCodec*& ACodec);

  // ---- opens (FFmpegOpenInput.cpp, FFmpegOpenOutput.cpp) ----
  // Opens and probes an input; false with the reason in LastErrMsg.
  bool OpenInput(const std::string& AFileName);
  // Creates an output file with its streams; the number of outputs, or -1
  // with the reason in LastErrMsg.
  int32_t OpenOutput(const std::string& AFileName, bool AJoin);
  // Adds one more stream to an output (newvideo / newaudio / newsubtitle).
  void NewVideoStream(AVFormatContext* AContext, int32_t AFileIndex);
  void NewAudioStream(AVFormatContext* AContext, int32_t AFileIndex);
  void NewSubtitleStream(AVFormatContext* AContext, int32_t AFileIndex);
  // Join mode: one output per input, all writing the last output's file.
  void SetupJoinMode();

  // ---- progress (FFmpegProgress.cpp) ----
  void ReportProgress(bool AIsLast, int32_t AFileIndex,
                      const std::vector<TAVOutputStream*>& AOutputStreams);

  // ---- read-only properties ----
  int32_t nb_input_files() const { return Fnb_input_files; }
  int32_t nb_output_files() const { return Fnb_output_files; }
  bool Converting() const { return FConverting; }
  bool Finished() const { return FFinished; }
  bool FatalException() const { return FFatalException; }
  std::string FatalMessage() const;
  const std::string& LastErrMsg() const { return FLastErrMsg; }
  bool Terminated() const { return FTerminated; }
  int64_t TotalOutputDuration() const { return FTotalOutputDuration; }
  int32_t ReadTimeout() const { return FReadTimeout; }
  void SetReadTimeout(int32_t AValue) { FReadTimeout = AValue; }
  int32_t MaxFiles() const { return FMaxFiles; }
  AVFormatContext* InputFile(int32_t AIndex) const;
  AVFormatContext* OutputFile(int32_t AIndex) const;
  // Decoder context of an input stream (null when out of range).
  AVCodecContext* InputDecoder(int32_t AFile, int32_t AStream) const;
  // Output stream record of an output stream (null when out of range).
  TAVOutputStream* OutputStream(int32_t AFile, int32_t AStream) const;
  // Packets the conversion has read so far.
  int64_t PacketsRead() const { return FPacketsRead; }

  void SetOnTerminate(TNotifyEvent AEvent) { FOnTerminate = std::move(AEvent); }
  void SetOnProgress(TProgressEvent AEvent) { FOnProgress = std::move(AEvent); }
  void SetOnBeforeFindStreamInfo(TBeforeFindStreamInfoEvent AEvent) {
    FOnBeforeFindStreamInfo = std::move(AEvent);
  }
  void SetPostHooks(TPostHooks AValue);
  // Set before the conversion starts; a hook that stops is unassigned.
  void SetOnInputVideoHook(TVideoHookEvent AEvent) { FOnInputVideoHook = std::move(AEvent); }
  void SetOnOutputVideoHook(TVideoHookEvent AEvent) { FOnOutputVideoHook = std::move(AEvent); }
  void SetOnAudioHook(TAudioHookEvent AEvent) { FOnAudioHook = std::move(AEvent); }
  // Bits per pixel of the video hooks' bitmaps: 8, 15, 16, 24 or 32; any
  // other value throws std::invalid_argument("Invalid BitsPixel %d").
  void SetHookBitsPixel(int32_t AValue);
  int32_t HookBitsPixel() const { return FHookBitsPixel; }
  void SetOnPreviewBitmap(TPreviewBitmapEvent AEvent) { FOnPreviewBitmap = std::move(AEvent); }

  // ---- public fields ----
  bool HaltOnInvalidOption = true;
  int64_t ReportInterval = 500000;
  int64_t PreviewInterval = 100000;

  // ================= settings (defaults: ResetSettings) =================
  // Files, maps and tables of a task.
  int32_t FMaxFiles;
  std::vector<std::unique_ptr<TOpenedInput>> Finput_files;
  std::vector<int64_t> Finput_files_ts_offset;
  std::vector<std::vector<double>> Finput_files_ts_scale;
  std::vector<const AVCodec*> Finput_codecs;
  int32_t Fnb_input_files = 0;
  // The time zero shared by the task's capture devices (created with the first).
  std::shared_ptr<capture::TRecordingStart> FRecordingStart;
  int32_t Fnb_input_codecs = 0;
  std::vector<int32_t> Fnb_input_files_ts_scale;
  std::vector<AVFormatContext*> Foutput_files;  // views; FOutputOwners owns
  std::vector<const AVCodec*> Foutput_codecs;
  int32_t Fnb_output_files = 0;
  int32_t Fnb_output_codecs = 0;
  std::vector<TAVStreamMap> Fstream_maps;
  int32_t Fnb_stream_maps = 0;
  std::vector<std::pair<TAVMetaDataMap, TAVMetaDataMap>> Fmeta_data_maps;
  int32_t Fnb_meta_data_maps = 0;
  int32_t Fmetadata_global_autocopy = 1;
  int32_t Fmetadata_streams_autocopy = 1;
  int32_t Fmetadata_chapters_autocopy = 1;
  std::vector<TAVChapterMap> Fchapter_maps;
  int32_t Fnb_chapter_maps = 0;
  std::vector<int32_t> Fstreamid_map;
  int32_t Fnb_streamid_map = 0;
  std::vector<std::vector<std::unique_ptr<TAVOutputStream>>> Foutput_streams_for_file;
  std::vector<int32_t> Fnb_output_streams_for_file;

  // Stream creation settings.
  std::string Flast_asked_format;
  int32_t Fframe_width = 0, Fframe_height = 0;
  float Fframe_aspect_ratio = 0;
  int32_t Fframe_pix_fmt = AV_PIX_FMT_NONE;
  int32_t Faudio_sample_fmt = AV_SAMPLE_FMT_NONE;
  int32_t Fmax_frames[4] = {INT32_MAX, INT32_MAX, INT32_MAX, INT32_MAX};
  AVRational Fframe_rate{25, 0};  // denominator 0: not set
  float Fvideo_qscale = 0;
  std::vector<uint16_t> Fintra_matrix, Finter_matrix;  // 64 entries when set
  std::string Fvideo_rc_override_string;
  bool Fvideo_disable = false;
  int32_t Fvideo_discard = 0;
  std::string Fvideo_codec_name;
  uint32_t Fvideo_codec_tag = 0;
  std::string Fvideo_language;
  bool Fsame_quality = false;
  bool Fdo_deinterlace = false;
  int32_t Ftop_field_first = -1;
  int32_t Fme_threshold = 0;
  int32_t Fintra_dc_precision = 8;
  bool Floop_input = false;
  int32_t Floop_output = -1;
  bool Fqp_hist = false;
  std::string Fvfilters;
  bool FEnableFilter = false;
  bool Fintra_only = false;
  int32_t Faudio_sample_rate = 44100;
  int64_t Fchannel_layout = 0;
  float Faudio_qscale = -99999.0f;
  bool Faudio_disable = false;
  int32_t Faudio_channels = 2;
  std::string Faudio_codec_name;
  uint32_t Faudio_codec_tag = 0;
  std::string Faudio_language;
  bool Fsubtitle_disable = false;
  std::string Fsubtitle_codec_name;
  std::string Fsubtitle_language;
  uint32_t Fsubtitle_codec_tag = 0;
  float Fmux_preload = 0.5f;
  float Fmux_max_delay = 0.7f;
  int64_t Frecording_time = kNoTime;
  int64_t Fstart_time = 0;
  int64_t Frecording_timestamp = 0;
  int64_t Finput_ts_offset = 0;
  TDict Fmetadata;
  bool Fdo_pkt_dump = false;
  bool Fdo_hex_dump = false;
  bool Fdo_psnr = false;
  int32_t Fdo_pass = 0;
  std::string Fpass_logfilename_prefix;
  int32_t Faudio_stream_copy = 0, Fvideo_stream_copy = 0, Fsubtitle_stream_copy = 0;
  int32_t Fvideo_sync_method = -1;
  int32_t Faudio_sync_method = 0;
  float Faudio_drift_threshold = 0.1f;
  bool Fcopy_ts = false;
  bool Fcopy_tb = false;
  bool Fopt_shortest = false;
  int32_t Fvideo_global_header = 0;
  std::string Fvstats_filename;
  FILE* Fvstats_file = nullptr;
  int32_t Fopt_programid = 0;
  int32_t Fcopy_initial_nonkeyframes = 0;
  bool Frate_emu = false;
  int32_t Fvideo_channel = 0;
  std::string Fvideo_standard;
  int32_t Faudio_volume = 256;
  bool Fexit_on_error = false;
  bool Fusing_vhook = false;
  media::TFrameHookChain FFirstHook;  // video hooks of the vhook option
  int32_t Fverbose = 1;
  int32_t Fthread_count = 1;
  bool Finput_sync = false;
  int64_t Flimit_filesize = 0;
  bool Fforce_fps = false;
  std::string Fforced_key_frames;
  float Fdts_delta_threshold = 10.0f;
  uint32_t Fsws_flags = 4;
  TBsfChain Fvideo_bitstream_filters, Faudio_bitstream_filters, Fsubtitle_bitstream_filters;
  media::TFFOptions FOptions;
  TPostHooks FPostHooks = 0;
  bool FJoinMode = false;
  int32_t FReadTimeout = 10000;
  int64_t FTotalOutputDuration = -1;

  // Run-time state and statistics.
  int64_t Fvideo_size = 0, Faudio_size = 0, Fextra_size = 0;
  int32_t Fnb_frames_dup = 0, Fnb_frames_drop = 0;
  bool FShowDupOrDrop = false;
  int64_t Ftimer_start = 0;
  int32_t Fbit_buffer_size = 262144;
  bool FPostHooksChanged = false;
  std::string FLastErrMsg;

 protected:
  // ---- settings and resources (FFmpegSettings.cpp) ----
  void ResetSettings();
  void FreeResources();

  // ---- lifecycle internals ----
  friend class TConvertThread;
  friend class TReadWatch;
  friend class TConversionRun;
  void ConvertThreadBody();
  void DoConvert();
  void MarkTerminated();
  void Fail(const std::string& AMessage);
  // The conversion itself (FFmpegRun.cpp).
  void RunConversion();
  // The per-run set-up, packet loop and drain (FFmpegTranscode.cpp).
  void Transcode();
  // The packet loop waits here between packets while the task is paused;
  // returns false when the conversion must end.
  bool WaitAtPauseGate();
  bool CheckReadTimeout(void* ASender);
  bool CheckBroken(void* ASender);
  static bool ReadTimeoutProc(void* ASender);
  static bool BrokenProc(void* ASender);

  // ---- option handlers (FFmpegOptions*.cpp) ----
  void OptBitRate(const std::string& AName, const std::string& AValue);
  void OptFrameRate(const std::string& AValue);
  void OptFrameSize(const std::string& AValue);
  void OptFrameAspectRatio(const std::string& AValue);
  void OptPixelFormat(const std::string& AValue);
  void OptSampleFormat(const std::string& AValue);
  void OptCodec(const std::string& AName, const std::string& AValue);
  void OptCodecTag(const std::string& AName, const std::string& AValue);
  void OptTime(const std::string& AName, const std::string& AValue);
  void OptInputTsScale(const std::string& AValue);
  void OptMetadata(const std::string& AValue);
  void OptMap(const std::string& AValue);
  void OptMapMetaData(const std::string& AValue);
  void OptMapChapters(const std::string& AValue);
  void OptMatrix(const std::string& AName, const std::string& AValue);
  void OptStreamId(const std::string& AName, const std::string& AValue);
  void OptNewStream(const std::string& AName);
  void OptBitstreamFilter(const std::string& AName, const std::string& AValue);
  void OptThreads(const std::string& AValue);
  void OptQScale(const std::string& AValue);
  void OptPass(const std::string& AValue);
  void OptLibrary(const std::string& AName, const std::string& AValue);
  void OptVstats(bool AOn);
  void OptTarget(const std::string& AValue);
  void OptPreset(const std::string& AName, const std::string& AValue);
  void OptVideoHook(const std::string& AValue);
  bool SetExtOptionTable(const std::string& AName, const std::string& AValue);

  // ---- stream creation helpers (FFmpegOpenOutput.cpp, FFmpegStreams.cpp) ----
  TAVOutputStream* NewOutputStreamRecord(AVFormatContext* AContext, int32_t AFileIndex);
  AVStream* NewStreamCommon(AVFormatContext* AContext, int32_t AFileIndex, AVMediaType AType,
                            bool ACopy, const std::string& ACodecName, TBsfChain& AChain,
                            uint32_t ATag, TAVOutputStream*& ARecord);
  void ChoosePixelFormat(AVCodecContext* AContext, const AVCodec* ACodec);
  void ChooseSampleFormat(AVCodecContext* AContext, const AVCodec* ACodec);
  void ChooseSampleRate(AVCodecContext* AContext, const AVCodec* ACodec);
  int64_t ParseTimeOrFail(const std::string& AContext, const std::string& AText, bool ADuration);
  void ParseForcedKeyFrames(const std::string& AText, TAVOutputStream& AStream,
                            AVCodecContext* AContext);
  bool OpenInputDemuxer(const std::string& AFileName, const AVInputFormat* AFormat,
                        std::unique_ptr<TOpenedInput>& AInput);
  bool OpenInputDevice(const std::string& AFileName, const std::string& AFormatName,
                       std::unique_ptr<TOpenedInput>& AInput);
  bool DescribeInput(std::unique_ptr<TOpenedInput> AInput, const std::string& AFileName);

  void Log(media::TLogLevel ALevel, const std::string& AMsg) {
    media::GetFFLogger().Log(this, ALevel, AMsg);
  }

  // ---- lifecycle fields ----
  std::unique_ptr<TConvertThread> FConvertThread;  // owns the worker
  std::atomic<TConvertThread*> FThread{nullptr};    // set while a worker runs
  std::unique_ptr<platform::TThread> FTermThread;   // the termination thread
  platform::TEvent FStopEvent{true};
  platform::TEvent FTermEvent{true};
  std::atomic<bool> FConverting{false};
  std::atomic<bool> FBroken{false};
  std::atomic<bool> FFinished{false};
  std::atomic<bool> FTerminated{false};
  std::atomic<int64_t> FLastRead{0};
  std::atomic<bool> FFatalException{false};
  std::string FFatalMessage;
  mutable std::mutex FFatalLock;
  std::atomic<int64_t> FPacketsRead{0};

  // The pause gate.
  mutable std::mutex FGateLock;
  std::condition_variable FGateChanged;
  bool FPaused = false;
  std::once_flag FTerminateOnce;

  // Output files, owned once each (join mode lists one file several times).
  std::vector<OutputPtr> FOutputOwners;

  // Events.
  TNotifyEvent FOnTerminate;
  TProgressEvent FOnProgress;
  TBeforeFindStreamInfoEvent FOnBeforeFindStreamInfo;
  TVideoHookEvent FOnInputVideoHook, FOnOutputVideoHook;
  TAudioHookEvent FOnAudioHook;
  int32_t FHookBitsPixel = 24;
  TPreviewBitmapEvent FOnPreviewBitmap;
  // Guards FPostHooks and FPostHooksChanged between the conversion thread
  // and SetPostHooks.
  std::mutex FPreviewLock;
};

// Arms the read watchdog of an engine for the calling thread around a
// blocking library call: FLastRead is the start of the call, and the
// engine's CheckReadTimeout is registered for this thread until destruction.
class TReadWatch {
 public:
  explicit TReadWatch(TCustomFFmpeg* AEngine);
  ~TReadWatch();
  TReadWatch(const TReadWatch&) = delete;
  TReadWatch& operator=(const TReadWatch&) = delete;
  // Starts the time-out anew (unless Stop cancelled the open meanwhile).
  void Refresh();

 private:
  TCustomFFmpeg* FEngine;
};

}  // namespace engine
