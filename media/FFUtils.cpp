#include "media/FFUtils.h"

#include <sys/stat.h>

#include <cstdio>
#include <cstring>

#include "media/FFBindings.h"

namespace media {

TAVPicture PictureOf(const AVFrame& AFrame) {
  TAVPicture picture{};
  for (int i = 0; i < 4; ++i) {
    picture.data[i] = AFrame.data[i];
    picture.linesize[i] = AFrame.linesize[i];
  }
  return picture;
}

std::string ErrorText(const std::string& APrefix, int ACode) {
  return APrefix + ": " + ErrorCodeText(ACode);
}

std::string MediaTypeName(int AType) {
  switch (AType) {
    case AVMEDIA_TYPE_VIDEO: return "Video";
    case AVMEDIA_TYPE_AUDIO: return "Audio";
    case AVMEDIA_TYPE_DATA: return "Data";
    case AVMEDIA_TYPE_SUBTITLE: return "Subtitle";
    case AVMEDIA_TYPE_ATTACHMENT: return "Attachment";
    default: return "Unknown";
  }
}

std::string TimestampText(int64_t ATime) {
  if (ATime == AV_NOPTS_VALUE) return "N/A";
  // Work on the magnitude so that the smallest negative times do not overflow.
  const bool negative = ATime < 0;
  const uint64_t t = negative ? 0 - static_cast<uint64_t>(ATime) : static_cast<uint64_t>(ATime);
  const uint64_t seconds = t / 1000000;
  char text[48];
  std::snprintf(text, sizeof text, "%s%.2llu:%.2llu:%.2llu.%.3llu", negative ? "-" : "",
                static_cast<unsigned long long>(seconds / 3600),
                static_cast<unsigned long long>(seconds / 60 % 60),
                static_cast<unsigned long long>(seconds % 60),
                static_cast<unsigned long long>(t % 1000000 / 1000));
  return text;
}

void InitPtsCorrection(TPtsCorrectionContext& AContext) { AContext = TPtsCorrectionContext{}; }

int64_t GuessCorrectPts(TPtsCorrectionContext& AContext, int64_t AReorderedPts, int64_t ADts) {
  if (ADts != AV_NOPTS_VALUE) {
    if (ADts <= AContext.last_dts) ++AContext.num_faulty_dts;
    AContext.last_dts = ADts;
  }
  if (AReorderedPts != AV_NOPTS_VALUE) {
    if (AReorderedPts <= AContext.last_pts) ++AContext.num_faulty_pts;
    AContext.last_pts = AReorderedPts;
  }
  if (AContext.num_faulty_pts > AContext.num_faulty_dts && ADts != AV_NOPTS_VALUE) return ADts;
  if (AReorderedPts != AV_NOPTS_VALUE) return AReorderedPts;
  return ADts;
}

void TAVFreeDeleter::operator()(void* p) const { ff::av_free(p); }

int ReadWholeFile(const std::string& AName, TAVBuffer& ABuffer, int64_t& ASize) {
  ABuffer.reset();
  ASize = 0;
  std::unique_ptr<std::FILE, int (*)(std::FILE*)> file(std::fopen(AName.c_str(), "rb"), std::fclose);
  if (!file) return -1;
  // The size comes from the file itself: a directory, pipe or device has
  // none that can be trusted.
  struct stat info {};
  if (fstat(fileno(file.get()), &info) != 0 || !S_ISREG(info.st_mode)) return -1;
  const int64_t size = info.st_size;
  if (size < 0 || static_cast<uint64_t>(size) >= SIZE_MAX / 2) return AVERROR(ENOMEM);
  TAVBuffer buffer(static_cast<uint8_t*>(ff::av_malloc(static_cast<size_t>(size) + 1)));
  if (!buffer) return AVERROR(ENOMEM);
  const size_t read = std::fread(buffer.get(), 1, static_cast<size_t>(size), file.get());
  if (read < static_cast<size_t>(size) && std::ferror(file.get())) return -1;
  buffer.get()[read] = 0;
  ASize = static_cast<int64_t>(read) + 1;
  ABuffer = std::move(buffer);
  return 0;
}

}  // namespace media
