#include "capture/CaptureOptions.h"

#include <cctype>
#include <limits>
#include <optional>

namespace capture {

namespace {

// Reads an optional sign and a decimal, "$" hex or "0x" hex number that
// fills the whole text; nothing when the text is not such a number or does
// not fit in [AMin, AMax].
std::optional<int64_t> ParseInteger(std::string_view S, int64_t AMin, int64_t AMax) {
  size_t i = 0;
  while (i < S.size() && S[i] == ' ') ++i;  // leading blanks, as the platform's conversion
  bool negative = false;
  if (i < S.size() && (S[i] == '+' || S[i] == '-')) negative = S[i++] == '-';
  int base = 10;
  if (i < S.size() && S[i] == '$') {
    base = 16;
    ++i;
  } else if (i + 1 < S.size() && S[i] == '0' && (S[i + 1] == 'x' || S[i + 1] == 'X')) {
    base = 16;
    i += 2;
  }
  if (i == S.size()) return std::nullopt;
  // Accumulate as a negative number so that the smallest value fits.
  const int64_t limit = std::numeric_limits<int64_t>::min();
  int64_t value = 0;
  for (; i < S.size(); ++i) {
    const unsigned char c = static_cast<unsigned char>(S[i]);
    int digit;
    if (std::isdigit(c)) digit = c - '0';
    else if (base == 16 && std::isxdigit(c)) digit = std::tolower(c) - 'a' + 10;
    else return std::nullopt;
    if (value < (limit + digit) / base) return std::nullopt;
    value = value * base - digit;
  }
  if (!negative) {
    if (value == limit) return std::nullopt;
    value = -value;
  }
  if (value < AMin || value > AMax) return std::nullopt;
  return value;
}

bool SameKey(std::string_view A, std::string_view B) {
  if (A.size() != B.size()) return false;
  for (size_t i = 0; i < A.size(); ++i)
    if (std::tolower(static_cast<unsigned char>(A[i])) != std::tolower(static_cast<unsigned char>(B[i])))
      return false;
  return true;
}

// Splits "A<sep>B" at the first separator; both parts converted strictly.
void StrictPair(std::string_view AValue, char ASep, int32_t& A, int32_t& B) {
  const size_t p = AValue.find(ASep);
  if (p == std::string_view::npos) {
    A = StrToInt(AValue);
    B = StrToInt(std::string_view());  // the second part is missing
    return;
  }
  A = StrToInt(AValue.substr(0, p));
  B = StrToInt(AValue.substr(p + 1));
}

// Walks the items of AOptions; AItem(key, value, rest) returns false to stop,
// where rest is the remaining string starting at the item itself.
template <typename F>
void ForEachItem(std::string_view AOptions, F&& AItem) {
  std::string_view rest = AOptions;
  while (!rest.empty()) {
    const size_t semi = rest.find(';');
    const std::string_view item = rest.substr(0, semi);
    const size_t eq = item.find('=');
    const std::string_view key = item.substr(0, eq);
    const std::string_view value = eq == std::string_view::npos ? std::string_view() : item.substr(eq + 1);
    if (!item.empty() && !AItem(key, value, rest)) return;
    rest = semi == std::string_view::npos ? std::string_view() : rest.substr(semi + 1);
  }
}

}  // namespace

int32_t StrToInt(std::string_view S) {
  if (auto v = ParseInteger(S, std::numeric_limits<int32_t>::min(), std::numeric_limits<int32_t>::max()))
    return static_cast<int32_t>(*v);
  throw EConvertError("'" + std::string(S) + "' is not a valid integer value");
}

int32_t StrToIntDef(std::string_view S, int32_t ADefault) {
  auto v = ParseInteger(S, std::numeric_limits<int32_t>::min(), std::numeric_limits<int32_t>::max());
  return v ? static_cast<int32_t>(*v) : ADefault;
}

int64_t StrToInt64Def(std::string_view S, int64_t ADefault) {
  auto v = ParseInteger(S, std::numeric_limits<int64_t>::min(), std::numeric_limits<int64_t>::max());
  return v ? *v : ADefault;
}

void ParseScreenCaptureOptions(std::string_view AOptions, TScreenCaptureOptions& R) {
  ForEachItem(AOptions, [&R](std::string_view key, std::string_view value, std::string_view rest) {
    if (SameKey(key, "title")) {
      // The title is everything after the first "=", further items included.
      const size_t eq = rest.find('=');
      R.title = eq == std::string_view::npos ? std::string() : std::string(rest.substr(eq + 1));
      R.has_title = true;
      return false;
    }
    if (SameKey(key, "hwnd")) {
      const int64_t h = StrToInt64Def(value, 0);
      R.window_handle = h > 0 ? static_cast<uint64_t>(h) : 0;
    } else if (SameKey(key, "offset")) {
      StrictPair(value, ',', R.x_off, R.y_off);
    } else if (SameKey(key, "framesize")) {
      StrictPair(value, ',', R.width, R.height);
    } else if (SameKey(key, "framerate")) {
      int32_t n = 0, d = 0;
      StrictPair(value, '/', n, d);
      R.time_base_num = d;  // frames per second N/D is a time base of D/N
      R.time_base_den = n;
    } else if (SameKey(key, "showframe")) {
      R.show_frame = StrToIntDef(value, 1);
    } else if (SameKey(key, "client")) {
      R.client = StrToIntDef(value, 1);
    } else if (SameKey(key, "cursor")) {
      R.cursor = StrToIntDef(value, 1);
    }
    return true;
  });
}

void ParseWaveCaptureOptions(std::string_view AOptions, TWaveCaptureOptions& R) {
  ForEachItem(AOptions, [&R](std::string_view key, std::string_view value, std::string_view) {
    if (SameKey(key, "i")) R.device = StrToIntDef(value, -1);
    else if (SameKey(key, "r")) R.sample_rate = StrToIntDef(value, 44100);
    else if (SameKey(key, "c")) R.channels = StrToIntDef(value, 2);
    else if (SameKey(key, "f")) R.bits = StrToIntDef(value, 16);
    else if (SameKey(key, "bufsize")) R.buffer_size = StrToIntDef(value, 4096);
    else if (SameKey(key, "pause_pointer")) R.pause_pointer = StrToInt64Def(value, 0);
    return true;
  });
}

}  // namespace capture
