#pragma once
// What every benchmark does first: load the media libraries with their log
// quietened to errors, and time spans in milliseconds.

#include <chrono>
#include <cstdio>

#include "media/FFLoad.h"
#include "media/FFLog.h"

namespace bench {

using Clock = std::chrono::steady_clock;

inline double Ms(Clock::duration d) { return std::chrono::duration<double, std::milli>(d).count(); }

// False, after saying why on stderr, when the libraries cannot be loaded.
inline bool LoadLibrariesQuietly(const char* AName) {
  media::GetFFLogger().SetLogLevel(media::llError);
  if (media::FFLoader().Load(media::kEncoderLibraries)) return true;
  std::fprintf(stderr, "%s: %s\n", AName, media::FFLoader().LastErrMsg().c_str());
  return false;
}

}  // namespace bench
