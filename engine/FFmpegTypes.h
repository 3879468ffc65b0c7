#pragma once
// Records and owning handles of the conversion engine: stream maps, the
// output stream record, the owned dictionary and output file handle (the
// library objects' plain handles come from media/FFHandles.h).

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "media/FFBindings.h"
#include "media/FFHandles.h"

namespace engine {

// Option masks of the library options copied into a context.
enum : int {
  kOptEncoding = AV_OPT_FLAG_ENCODING_PARAM,
  kOptDecoding = AV_OPT_FLAG_DECODING_PARAM,
  kOptAudio = AV_OPT_FLAG_AUDIO_PARAM,
  kOptVideo = AV_OPT_FLAG_VIDEO_PARAM,
  kOptSubtitle = AV_OPT_FLAG_SUBTITLE_PARAM,
};

using media::BsfPtr;
using media::CodecCtxPtr;
using media::PacketPtr;
// A chain of bitstream filters, applied in order.
using TBsfChain = std::vector<BsfPtr>;

// An owned metadata dictionary (AVDictionary* may change on every set).
class TDict {
 public:
  TDict() = default;
  TDict(const TDict&) = delete;
  TDict& operator=(const TDict&) = delete;
  ~TDict() { Free(); }
  AVDictionary** Addr() { return &FDict; }
  AVDictionary* Get() const { return FDict; }
  void Free() {
    if (FDict) ff::av_dict_free(&FDict);
  }

 private:
  AVDictionary* FDict = nullptr;
};

// Releases an output file: closes its byte stream, deletes the file when it
// ended with 0 bytes, frees the context with its streams.
struct TOutputCloser {
  void operator()(AVFormatContext* p) const;
};
using OutputPtr = std::unique_ptr<AVFormatContext, TOutputCloser>;

// An explicit stream map: file.stream[:syncfile.syncstream].
struct TAVStreamMap {
  int32_t file_index = 0;
  int32_t stream_index = 0;
  int32_t sync_file_index = 0;
  int32_t sync_stream_index = 0;
};

// One end of a metadata map: file, type ('g', 's', 'c', 'p') and index.
struct TAVMetaDataMap {
  int32_t file = 0;
  char type = 'g';
  int32_t index = 0;
};

struct TAVChapterMap {
  int32_t in_file = 0;
  int32_t out_file = 0;
};

// One output stream of an output file. Created zero-filled with the stream;
// the conversion fills in the rest when it runs.
struct TAVOutputStream {
  int32_t file_index = 0;
  int32_t index = 0;
  int32_t source_index = -1;
  AVStream* st = nullptr;
  // The stream's encoder context, created with the stream. Holds the
  // stream's codec parameters until the encoder is opened.
  CodecCtxPtr enc;
  // Stream copy: packets pass without decoding and encoding.
  bool stream_copy = false;
  int32_t encoding_needed = 0;
  int32_t frame_number = 0;
  int64_t sync_opts = 0;
  TBsfChain bitstream_filters;
  std::vector<int64_t> forced_kf_pts;  // encoder time base
  int32_t forced_kf_count = 0;
  int32_t forced_kf_index = 0;
  int32_t show_fps = 0;
  // Quality (lambda units) and per-plane errors of the last coded frame, and
  // the accumulated errors, as the encoder reports them with its packets.
  int32_t last_quality = 0;
  int64_t last_error[3] = {0, 0, 0};
  int64_t total_error[3] = {0, 0, 0};
};

}  // namespace engine
