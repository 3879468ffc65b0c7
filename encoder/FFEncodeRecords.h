#pragma once
// Input and output option records: what a caller says about one input or one
// output of an encoder task, and how those records become settings of the
// task's conversion engine.
//
// Every field defaults to "not given"; a caller resets a record, fills the
// few fields it cares about and hands it to the encoder. Strings are UTF-8.

#include <cstdint>
#include <deque>
#include <limits>
#include <string>
#include <utility>
#include <vector>

namespace engine {
class TCustomFFmpeg;
}

namespace encoder {

// A 64-bit time that is not set.
constexpr int64_t kTimeNotSet = std::numeric_limits<int64_t>::min();

enum TOptionTargetType { ttIgnore, ttVCD, ttSVCD, ttDVD };
enum TOptionNormType { ntAuto, ntPAL, ntNTSC };
// Norm used when an automatic norm cannot be decided: ntPAL or ntNTSC.
using TOptionNormDefault = TOptionNormType;

// Metadata and the recording time stamp of an output.
struct TStreamInfo {
  // Days since 1899-12-30, local time: 0 = now, > 0 that moment, < 0 untouched.
  double TimeStamp = -1.0;
  int32_t Year = -1;
  int32_t Track = -1;
  std::string Title, Author, Copyright, Comment, Album, Genre;

  void Reset() { *this = TStreamInfo(); }
};

struct TInputOptions {
  std::string FileName;
  std::string ForceFormat;
  int64_t TimeStart = kTimeNotSet;  // microseconds
  int32_t ProgramID = -1;
  std::string ExtOptions;
  int32_t Tag = 0;
  void* Data = nullptr;

  void Reset() { *this = TInputOptions(); }
};

struct TOutputOptions {
  std::string FileName;
  std::string FileExt;
  std::string ForceFormat;
  int32_t PacketSize = -1;
  int32_t MuxRate = -1;
  float MuxDelay = -1.0f;    // seconds
  float MuxPreload = -1.0f;  // seconds
  std::string AudioCodec;
  std::string AudioPreset;
  bool DisableAudio = false;
  int32_t AudioVolume = -1;
  int32_t AudioChannels = -1;
  int32_t AudioSampleRate = -1;
  int32_t AudioBitrate = -1;
  int32_t AudioBitRateTolerance = -1;
  std::string AudioLanguage;
  int32_t AudioSyncMethod = 0;
  std::string AudioTag;
  std::string VideoCodec;
  std::string VideoPreset;
  bool DisableVideo = false;
  std::string FrameRate;
  std::string FrameSize;
  std::string FrameAspectRatio;
  int32_t GroupPictureSize = -1;
  int32_t VideoBitrate = -1;
  int32_t VideoMaxRate = -1;
  int32_t VideoMinRate = -1;
  int32_t VideoBitRateTolerance = -1;
  int32_t VideoBufSize = -1;
  int32_t VideoSyncMethod = -1;
  std::string VideoTag;
  std::string VideoFilters;
  std::string VideoLanguage;
  std::string SubtitleCodec;
  std::string SubtitlePreset;
  bool DisableSubtitle = false;
  std::string SubtitleLanguage;
  bool InputSync = false;
  bool CopyTimestamp = false;
  int64_t TimeStart = kTimeNotSet;   // microseconds
  int64_t TimeLength = kTimeNotSet;  // microseconds
  TStreamInfo Info;
  TOptionTargetType TargetType = ttIgnore;
  TOptionNormType NormType = ntAuto;
  TOptionNormDefault NormDefault = ntPAL;
  bool AudioHook = false;
  bool VideoInputHook = false;
  bool VideoOutputHook = false;
  int32_t VideoHookBitsPixel = 24;
  bool Join = false;
  std::string ExtOptions;
  int32_t Tag = 0;
  void* Data = nullptr;

  void Reset() { *this = TOutputOptions(); }
};

// One option line: lower-cased name and untouched value.
using TOptionLine = std::pair<std::string, std::string>;

// Splits option text into lines: trimmed, every line break and the token
// "<CRLF>" end a line, each line split at its first "=".
std::vector<TOptionLine> SplitOptionLines(const std::string& AText);

// Records from the "name=value" text forms of the encoder.
TInputOptions InputOptionsFromText(const std::string& AText);
TOutputOptions OutputOptionsFromText(const std::string& AText);

// Seconds since 1970-01-01 UTC of a local date-time in days since
// 1899-12-30, with the standard time-zone bias (no daylight saving).
int64_t RecordingTimestamp(double ADateTime);
// The current local date-time in days since 1899-12-30.
double NowDateTime();

// The per-stream options of an output: for each of acodec, vcodec, scodec,
// apre, vpre, spre, s and vf a default and a queue of further values.
class TStreamOptionQueues {
 public:
  // Defaults from the record fields, queues from the ExtOptions lines.
  explicit TStreamOptionQueues(const TOutputOptions& AOptions);
  // The option's default ("" when none).
  const std::string& Default(const std::string& AName) const;
  // Takes the next queued value, or the default when the queue is empty.
  std::string Take(const std::string& AName);

 private:
  struct TEntry {
    std::string name;
    std::string def;
    std::deque<std::string> queue;
  };
  TEntry* Find(const std::string& AName);
  std::vector<TEntry> FEntries;
};

// Applies an input record to the engine before its input is opened.
void ApplyInputOptions(engine::TCustomFFmpeg& AEngine, const TInputOptions& AOptions);

// Applies an output record to the engine before its output is opened:
// target, first-stream codecs and presets, option lines, record fields,
// frame size and filters.
void ApplyOutputOptions(engine::TCustomFFmpeg& AEngine, const TOutputOptions& AOptions,
                        TStreamOptionQueues& AQueues);

// After the open: creates the extra streams the option lines ask for.
void CreateExtraStreams(engine::TCustomFFmpeg& AEngine, const TOutputOptions& AOptions,
                        TStreamOptionQueues& AQueues);

}  // namespace encoder
