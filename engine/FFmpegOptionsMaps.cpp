// Option handlers for times, timestamp scales, metadata, stream maps,
// metadata and chapter maps, stream ids and additional streams.
#include <cmath>
#include <cstdlib>

#include "engine/FFmpeg.h"

namespace engine {
namespace {

constexpr int kMaxStreams = 20;

// Reads an integer (decimal, 0x hexadecimal or 0 octal) at p; advances p.
int32_t ReadInt(const char*& p) {
  char* end = nullptr;
  const long v = std::strtol(p, &end, 0);
  p = end;
  return static_cast<int32_t>(v);
}

// Skips the one separator character after a number, if any.
void SkipOne(const char*& p) {
  if (*p) ++p;
}

}  // namespace

void TCustomFFmpeg::OptTime(const std::string& AName, const std::string& AValue) {
  if (AName == "timestamp") {
    const int64_t us = ParseTimeOrFail(AName, AValue, false);
    Frecording_timestamp = static_cast<int64_t>(std::llround(us / 1000000.0));
    return;
  }
  const int64_t us = ParseTimeOrFail(AName, AValue, true);
  if (AName == "t") {
    Frecording_time = us;
    FTotalOutputDuration = us;
  } else if (AName == "ss") {
    Fstart_time = us;
  } else {
    Finput_ts_offset = us;
  }
}

void TCustomFFmpeg::OptInputTsScale(const std::string& AValue) {
  const char* p = AValue.c_str();
  const int32_t stream = ReadInt(p);
  SkipOne(p);
  const double scale = std::strtod(p, nullptr);
  if (stream < 0 || stream >= kMaxStreams)
    throw FFmpegException(Format("stream index over MAX_STREAMS(%d)", kMaxStreams));
  const int32_t slot = Fnb_input_files;
  if (slot >= FMaxFiles) throw FFmpegException("Too many input files");
  auto& scales = Finput_files_ts_scale[slot];
  if (static_cast<int32_t>(scales.size()) <= stream) scales.resize(stream + 1, 0.0);
  scales[stream] = scale;
  Fnb_input_files_ts_scale[slot] = static_cast<int32_t>(scales.size());
}

void TCustomFFmpeg::OptMetadata(const std::string& AValue) {
  const size_t eq = AValue.find('=');
  if (eq == std::string::npos) throw FFmpegException("Missing =");
  if (eq == 0) throw FFmpegException("wrong parameter of metadata");
  ff::av_dict_set(Fmetadata.Addr(), AValue.substr(0, eq).c_str(), AValue.substr(eq + 1).c_str(), 0);
}

void TCustomFFmpeg::OptMap(const std::string& AValue) {
  const char* p = AValue.c_str();
  TAVStreamMap m;
  m.file_index = ReadInt(p);
  SkipOne(p);
  m.stream_index = ReadInt(p);
  if (*p) {
    SkipOne(p);
    m.sync_file_index = ReadInt(p);
    SkipOne(p);
    m.sync_stream_index = ReadInt(p);
  } else {
    m.sync_file_index = m.file_index;
    m.sync_stream_index = m.stream_index;
  }
  Fstream_maps.push_back(m);
  Fnb_stream_maps = static_cast<int32_t>(Fstream_maps.size());
}

void TCustomFFmpeg::OptMapMetaData(const std::string& AValue) {
  auto parse = [this](const char*& p, TAVMetaDataMap& AMap) {
    AMap.file = ReadInt(p);
    AMap.type = 'g';
    AMap.index = 0;
    if (*p == ',') {
      ++p;
      AMap.type = *p;
      if (*p) ++p;
      switch (AMap.type) {
        case 'g':
          break;
        case 's':
        case 'c':
        case 'p':
          AMap.index = ReadInt(p);
          break;
        default:
          throw FFmpegException(Format("Invalid metadata type %c.", AMap.type));
      }
    }
    if (AMap.type == 'g') Fmetadata_global_autocopy = 0;
    if (AMap.type == 's') Fmetadata_streams_autocopy = 0;
    if (AMap.type == 'c') Fmetadata_chapters_autocopy = 0;
  };
  const char* p = AValue.c_str();
  TAVMetaDataMap out, in;
  parse(p, out);
  if (*p == ':') ++p;
  parse(p, in);
  Fmeta_data_maps.emplace_back(out, in);
  Fnb_meta_data_maps = static_cast<int32_t>(Fmeta_data_maps.size());
}

void TCustomFFmpeg::OptMapChapters(const std::string& AValue) {
  const char* p = AValue.c_str();
  TAVChapterMap m;
  m.out_file = ReadInt(p);
  if (*p == ':') ++p;
  m.in_file = ReadInt(p);
  Fchapter_maps.push_back(m);
  Fnb_chapter_maps = static_cast<int32_t>(Fchapter_maps.size());
}

void TCustomFFmpeg::OptStreamId(const std::string& AName, const std::string& AValue) {
  if (AValue.empty()) return;
  const size_t colon = AValue.find(':');
  auto bad = [&] {
    return FFmpegException(Format(
        "Invalid value \"%s\" for option \"%s\", required syntax is \"index:value\"",
        AValue.c_str(), AName.c_str()));
  };
  if (colon == std::string::npos) throw bad();
  char* end = nullptr;
  const std::string left = AValue.substr(0, colon), right = AValue.substr(colon + 1);
  const long index = std::strtol(left.c_str(), &end, 10);
  if (left.empty() || *end) throw bad();
  const long value = std::strtol(right.c_str(), &end, 10);
  if (right.empty() || *end) throw bad();
  // Only indexes a stream can have (a file holds at most a few thousand).
  if (index < 0 || index > 65535) throw bad();
  if (static_cast<long>(Fstreamid_map.size()) <= index) Fstreamid_map.resize(index + 1, 0);
  Fstreamid_map[index] = static_cast<int32_t>(value);
  Fnb_streamid_map = static_cast<int32_t>(Fstreamid_map.size());
}

void TCustomFFmpeg::OptNewStream(const std::string& AName) {
  if (Fnb_output_files <= 0) throw FFmpegException("At least one output file must be specified");
  const int32_t index = Fnb_output_files - 1;
  AVFormatContext* oc = Foutput_files[index];
  if (AName == "newvideo")
    NewVideoStream(oc, index);
  else if (AName == "newaudio")
    NewAudioStream(oc, index);
  else
    NewSubtitleStream(oc, index);
}

}  // namespace engine
