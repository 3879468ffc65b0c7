#pragma once
// Small routines shared by the conversion engine and its option layer: the
// text of a library result code, media type names, timestamp text, the
// timestamp correction of decoded pictures and reading a whole file.
// None of them keeps state of its own or logs.
//
// The video sink lives in FFUtilsSink.h, the picture converter in
// FFUtilsConverter.h.

#include <cstdint>
#include <memory>
#include <string>

#include "media/FFPicture.h"

struct AVFrame;

namespace media {

// The planes and line sizes of a frame as a plain picture (hooks, converter).
TAVPicture PictureOf(const AVFrame& AFrame);

// The text of a library result code ("No such file or directory").
std::string ErrorCodeText(int ACode);
// APrefix + ": " + the text of ACode.
std::string ErrorText(const std::string& APrefix, int ACode);

// "Video", "Audio", "Data", "Subtitle", "Attachment", else "Unknown".
std::string MediaTypeName(int AType);

// "HH:MM:SS.mmm" of a time in microseconds (hours may exceed two digits;
// negative times get a leading "-"); "N/A" for the no-timestamp value.
std::string TimestampText(int64_t ATime);

// Picks the better of a decoded picture's reordered pts and its dts: dts once
// the pts has gone backwards more often than the dts.
struct TPtsCorrectionContext {
  int64_t num_faulty_pts = 0;
  int64_t num_faulty_dts = 0;
  int64_t last_pts = INT64_MIN;
  int64_t last_dts = INT64_MIN;
};
void InitPtsCorrection(TPtsCorrectionContext& AContext);
int64_t GuessCorrectPts(TPtsCorrectionContext& AContext, int64_t AReorderedPts, int64_t ADts);

// A buffer of the library's allocator, released with av_free.
struct TAVFreeDeleter {
  void operator()(void* p) const;
};
using TAVBuffer = std::unique_ptr<uint8_t, TAVFreeDeleter>;

// Reads a regular file into a buffer of the library's allocator with a zero
// byte after its contents; ASize counts that zero byte. Returns 0; -1 when
// the file cannot be opened, is not a regular file or cannot be read;
// AVERROR(ENOMEM) when the buffer cannot be allocated. Requires libavutil.
int ReadWholeFile(const std::string& AName, TAVBuffer& ABuffer, int64_t& ASize);

}  // namespace media
