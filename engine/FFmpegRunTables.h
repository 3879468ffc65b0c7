#pragma once
// The per-run tables of a conversion: one record per input file, per input
// stream and per encoded or copied output stream, and TConversionRun, which
// owns them for one run of RunConversion. Private to the engine.
//
// The unit is split by concern: FFmpegSetup*.cpp (tables, stream mapping,
// codec opening, headers), FFmpegDecode.cpp (packet decoding and dispatch,
// stream copy, the muxing point), FFmpegVideoOut*.cpp (filter graph, frame
// rate conversion, video encoding), FFmpegAudioOut*.cpp (volume,
// resampling, synchronisation, the sample FIFO, audio encoding) and
// FFmpegTranscode.cpp (the packet loop).

#include <cstdint>
#include <functional>
#include <limits>
#include <memory>
#include <vector>

#include "engine/FFmpeg.h"
#include "engine/FFmpegPassLog.h"
#include <QWidget>  // the previewer's window pointer needs the complete type

#include "media/FFUtilsConverter.h"
#include "media/Previewer.h"

namespace engine {

using media::AudioFifoPtr;
using media::FramePtr;
using media::GraphPtr;
using media::SwrPtr;

// Samples in one format, grown on demand, released with the library.
class TSampleBuffer {
 public:
  TSampleBuffer() = default;
  TSampleBuffer(const TSampleBuffer&) = delete;
  TSampleBuffer& operator=(const TSampleBuffer&) = delete;
  ~TSampleBuffer() { Release(); }
  // Room for ASamples samples of AChannels channels in AFormat; false when
  // the library cannot allocate it.
  bool Reserve(int ASamples, int AChannels, AVSampleFormat AFormat);
  uint8_t** Planes() { return FData; }
  int Capacity() const { return FSamples; }

 private:
  void Release();
  uint8_t* FData[AV_NUM_DATA_POINTERS] = {};
  int FSamples = 0;
  int FChannels = 0;
  AVSampleFormat FFormat = AV_SAMPLE_FMT_NONE;
};

struct TAVInputFile {
  int32_t eof_reached = 0;
  int32_t ist_index = 0;
  int32_t buffer_size = 0;
  int32_t nb_streams = 0;
};

struct TAVInputStream {
  int32_t file_index = 0;
  int32_t index = 0;
  AVStream* st = nullptr;
  AVCodecContext* dec = nullptr;  // owned by the input file
  int32_t discard = 1;
  int32_t decoding_needed = 0;
  bool decoder_open = false;
  int32_t frame_number = 0;
  int64_t start = 0;
  int64_t next_pts = AV_NOPTS_VALUE;  // microseconds
  int64_t pts = 0;                    // microseconds
  int32_t is_start = 1;
  int32_t is_past_recording_time = 0;
  int32_t decoder_flushed = 0;
  int32_t quality = 0;
  FramePtr frame;  // the decoder's output, reused
  FramePtr hooked;  // the copy the input hooks work on
};

// A video hook's bitmap converter, and for the output side the preview.
struct THookState {
  media::TFormatConverter converter;
  std::unique_ptr<media::TPreviewer> previewer;
  int64_t preview_last_time = 0;
};

// What one run keeps per output stream beside the stream's record.
struct TOutputRun {
  TAVOutputStream* rec = nullptr;
  AVCodecContext* enc = nullptr;
  TAVInputStream* source = nullptr;
  TAVInputStream* sync_ist = nullptr;
  bool encoder_open = false;
  bool flushed = false;  // the encoder was drained
  // Join mode: the first segment's entry for this stream, whose encoder this
  // one feeds (null for the first segment and outside join mode).
  TOutputRun* owner = nullptr;
  // On the encoder's owning entry: the encoder was drained since it was
  // opened, so no other entry sharing it drains it again.
  bool drained = false;
  AVCodecID codec_id = AV_CODEC_ID_NONE;  // join mode: what a reopened encoder codes
  // Join mode: decode time of the last packet written, stream time base;
  // a reopened encoder's priming packets at or before it are dropped.
  int64_t last_dts = AV_NOPTS_VALUE;
  // Video: the filter graph (crop, pad, scale chain and format conversion)
  // with its source and sink, and the input geometry it was built for.
  GraphPtr graph;
  AVFilterContext* src = nullptr;
  AVFilterContext* sink = nullptr;
  int resample_width = 0, resample_height = 0;
  AVPixelFormat resample_pix_fmt = AV_PIX_FMT_NONE;
  FramePtr filtered;
  FramePtr encode_frame;  // the frame handed to the encoder (a reference)
  FramePtr hooked;        // the copy the output hook works on
  // What the encoder reported of its last packet, for the statistics file.
  int last_pict_type = AV_PICTURE_TYPE_NONE;
  int32_t packets_out = 0;
  // Audio: resampler (rate, layout and format) or format converter, the
  // samples in the encoder's format, the FIFO and the encoder's frame.
  SwrPtr swr;
  bool audio_resample = false;
  int resample_sample_rate = 0;
  int resample_channels = 0;
  AVSampleFormat resample_sample_fmt = AV_SAMPLE_FMT_NONE;
  TSampleBuffer converted;
  TSampleBuffer silence;
  AudioFifoPtr fifo;
  int64_t samples_sent = 0;  // pts of the next audio frame, encoder time base
  FramePtr audio_frame;
  PacketPtr pkt;
  TPassLog passlog;  // two-pass statistics
};

class TConversionRun {
 public:
  explicit TConversionRun(TCustomFFmpeg& AEngine);
  TConversionRun(const TConversionRun&) = delete;
  TConversionRun& operator=(const TConversionRun&) = delete;
  // Closes every codec still open.
  ~TConversionRun();

  // Set-up (FFmpegSetup*.cpp).
  void BuildStreamTables();
  void MapOutputStreams();
  void OpenEncoders();
  void OpenDecoders();
  void InitInputTimestamps();
  // Metadata by the metadata maps, then chapters by the chapter maps.
  void CopyMetadata();
  void CopyChapters(int32_t AInFile, int32_t AOutFile);
  void InitBitstreamFilters();
  void WriteHeaders();
  // When every output is an RTP stream: the session description, logged.
  void LogSdp();
  bool HeadersWritten() const { return FHeadersWritten > 0; }
  // Writes the trailers of a run that failed after its headers, so that
  // what was recorded stays playable; errors are only logged.
  void SalvageTrailers();
  void LogStreamMapping();
  // Join mode (FFmpegJoin.cpp): the encoders of the first segment closed
  // and opened afresh for the next one, the end of segment AFile (false
  // after the last one), and the later segments' records following the
  // first segment's encoders for the status line.
  void ReopenEncoders();
  bool EndJoinSegment(int32_t AFile);
  void MirrorJoinRecords();
  // True for an output file that lists a context listed before it (join
  // mode): its header, trailer and dump belong to the first listing.
  bool RepeatedOutput(int32_t AFile) const;
  // The packet loop and its end (FFmpegTranscode.cpp).
  void Loop();
  void Finish();

  // Decoding and dispatch (FFmpegDecode.cpp); APacket null drains.
  int ProcessPacket(TAVInputStream& AIst, const AVPacket* APacket);
  void WritePacket(TOutputRun& AOst, AVPacket* APacket);
  // Passes a packet through the output's bitstream filters from AStage on
  // (null: the end of the stream) and writes what comes out.
  void FilterPacket(TOutputRun& AOst, size_t AStage, AVPacket* APacket);
  void FlushBitstreamFilters();

 private:
  void PrepareStreamCopy(TOutputRun& AOst);
  void PrepareEncoding(TOutputRun& AOst);
  void Dump(int32_t AFile);
  [[noreturn]] void FailDumped(const std::string& AMessage);
  void DispatchFrame(TAVInputStream& AIst, AVFrame* AFrame);
  void CopyPacket(TOutputRun& AOst, TAVInputStream& AIst, const AVPacket* APacket);
  void FlushEncoders(TAVInputStream& AIst);
  void AllocAudioFifo(TOutputRun& AOst);
  // False when a reopened encoder's packet would go back in time (join).
  bool KeepJoinPacket(TOutputRun& AOst, const AVPacket* APacket);

  // Video (FFmpegVideoOut*.cpp).
  int BuildFilterGraph(TOutputRun& AOst, int AWidth, int AHeight, AVPixelFormat AFormat,
                       AVRational ASar);
  void FilterVideo(TOutputRun& AOst, TAVInputStream& AIst, AVFrame* AFrame);
  void OutputVideoFrame(TOutputRun& AOst, AVFrame* APicture);
  void EncodeVideo(TOutputRun& AOst, AVFrame* AFrame);
  void ReadQualityStats(TOutputRun& AOst, const AVPacket* APacket);
  // Hooks (FFmpegVideoHooks.cpp). The input hooks run on a copy of the
  // decoded picture, which replaces it; null when no input hook runs.
  AVFrame* PrepareInputPicture(TAVInputStream& AIst, AVFrame* AFrame);
  // The output hook on a copy of APicture (the picture to encode, returned)
  // and the preview hooks; AFrameNumber counts from 1, APts microseconds.
  AVFrame* RunOutputHooks(TOutputRun& AOst, AVFrame* APicture, int32_t AFrameNumber, int64_t APts);
  // One line of the video statistics file per encoded packet (APts in the
  // encoder's time base).
  void WriteVideoStats(TOutputRun& AOst, int AFrameSize, int64_t APts);

  // Subtitles (FFmpegSubtitleOut.cpp): a decoded subtitle is encoded for
  // every output stream that takes it; APts is the packet's, in the input
  // stream's time base.
  int DecodeSubtitle(TAVInputStream& AIst, const AVPacket* APacket);
  void OutputSubtitle(TOutputRun& AOst, TAVInputStream& AIst, const AVSubtitle& ASubtitle, int64_t APts);

  // Audio (FFmpegAudioOut*.cpp, FFmpegAudioVolume.cpp).
  void RunAudioHook(TAVInputStream& AIst, AVFrame* AFrame);
  void DoAudioOut(TOutputRun& AOst, TAVInputStream& AIst, AVFrame* AFrame);
  void SetupAudioConversion(TOutputRun& AOst, const AVFrame* AFrame);
  void EncodeAudioFifo(TOutputRun& AOst, bool ADrain);
  void DrainAudio(TOutputRun& AOst);
  void ReceivePackets(TOutputRun& AOst, int64_t* ASize);

  TCustomFFmpeg& E;
  std::vector<TAVInputFile> FInputFiles;
  std::vector<std::unique_ptr<TAVInputStream>> FInputStreams;
  std::vector<std::unique_ptr<TOutputRun>> FOutputs;
  std::vector<TAVOutputStream*> FRecords;  // for ReportProgress
  std::vector<bool> FNoPacket;
  int32_t FNoPacketCount = 0;
  int32_t FSegmentSize = 0;  // streams of output file 0; join mode's stride
  PacketPtr FPacket;
  PacketPtr FCopyPacket;
  int32_t FHeadersWritten = 0;  // output files whose header is written
  int32_t FTrailersDone = 0;     // output files whose trailer was attempted
  THookState FInputHook, FOutputHook;
  std::vector<uint8_t> FSubtitleBuffer;  // encoded subtitles; allocated on first use
  std::vector<uint8_t> FHookSamples;     // planar sound interleaved for the audio hook
  // Stop interrupts blocking reads only: the engine's stop check is
  // registered for this thread around each read, never while writing, so a
  // stopped recording still gets all its packets and its trailer.
  bool FWatchReads = false;
  void WatchReads(bool AOn);
  friend class TReadInterrupt;
};

// "Video", "Audio", "Data", "Subtitle", "Attachment" or "Unknown", as the
// run's messages name media types.
std::string MediaTypeName(AVMediaType AType);

// Scales the samples of a decoded frame in place by AVolume / 256, in the
// frame's own sample format (integers saturate, floats are not clipped).
void ApplyVolume(AVFrame* AFrame, int AVolume);

}  // namespace engine
