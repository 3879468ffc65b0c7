#pragma once
// Device option strings: "key=value" items separated by ";".
//
// Keys compare case-insensitively, unknown keys and empty items are ignored,
// later items override earlier ones. Values are converted strictly (a
// malformed value throws EConvertError, which fails the open of the input)
// or leniently (a malformed value gives the key's fallback). Integers are
// decimal with an optional sign, or hexadecimal with a "$" or "0x" prefix.

#include <cstdint>
#include <stdexcept>
#include <string>
#include <string_view>

namespace capture {

// A value that a strict conversion cannot read; what() is the message shown
// for the failed open.
class EConvertError : public std::invalid_argument {
 public:
  using std::invalid_argument::invalid_argument;
};

// Strict conversion to a 32-bit integer; throws EConvertError.
int32_t StrToInt(std::string_view S);
// Lenient conversion: ADefault when S is not a valid 32-bit integer.
int32_t StrToIntDef(std::string_view S, int32_t ADefault);
// Lenient conversion to 64 bits (window ids, addresses).
int64_t StrToInt64Def(std::string_view S, int64_t ADefault);

// Options of "screencapture". Zero-filled defaults, as a fresh device record.
struct TScreenCaptureOptions {
  uint64_t window_handle = 0;  // X window id; 0 = the whole screen
  bool has_title = false;      // a title item was given (looked up when opening)
  std::string title;
  int32_t x_off = 0, y_off = 0;
  int32_t width = 0, height = 0;  // requested size; <= 0 keeps the surface's size
  int32_t time_base_num = 0, time_base_den = 0;  // seconds per frame
  int32_t show_frame = 0;
  int32_t client = 0;
  int32_t cursor = 0;
};

// Parses AOptions over AResult (which holds the caller's defaults: frame size
// and time base of the engine). Throws EConvertError on a strict failure.
void ParseScreenCaptureOptions(std::string_view AOptions, TScreenCaptureOptions& AResult);

// Options of "wavecapture", with the device's defaults.
struct TWaveCaptureOptions {
  int32_t device = -1;  // -1 = the default recording device
  int32_t sample_rate = 44100;
  int32_t channels = 2;
  int32_t bits = 16;
  int32_t buffer_size = 4096;
  int64_t pause_pointer = 0;  // address of the caller's 32-bit pause flag, or 0
};

void ParseWaveCaptureOptions(std::string_view AOptions, TWaveCaptureOptions& AResult);

}  // namespace capture
