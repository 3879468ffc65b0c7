#include "media/UnicodeProtocol.h"

#include <cstdint>

namespace media {

namespace {

// Protocols whose URLs travel unchanged, as one ":"-delimited list.
constexpr std::string_view kProtocolPrefixes = ":unicode:stream:gopher:http:pipe:rtp:tcp:udp:";

// The name as it may appear in a message: control characters as \xNN,
// encoded surrogates as U+FFFD, everything else as it is.
std::string ShownName(std::string_view AName) {
  static constexpr char kHex[] = "0123456789ABCDEF";
  std::string shown;
  for (size_t i = 0; i < AName.size(); ++i) {
    const auto c = static_cast<unsigned char>(AName[i]);
    if (c < 0x20 || c == 0x7f) {
      shown += "\\x";
      shown += kHex[c >> 4];
      shown += kHex[c & 15];
    } else if (c == 0xED && i + 2 < AName.size() &&
               (static_cast<unsigned char>(AName[i + 1]) & 0xE0) == 0xA0) {
      shown += "\xEF\xBF\xBD";
      i += 2;
    } else {
      shown += static_cast<char>(c);
    }
  }
  return shown;
}

void AppendUtf8(std::string& AOut, char32_t ACode) {
  if (ACode < 0x80) {
    AOut += static_cast<char>(ACode);
  } else if (ACode < 0x800) {
    AOut += static_cast<char>(0xC0 | (ACode >> 6));
    AOut += static_cast<char>(0x80 | (ACode & 0x3F));
  } else if (ACode < 0x10000) {
    AOut += static_cast<char>(0xE0 | (ACode >> 12));
    AOut += static_cast<char>(0x80 | ((ACode >> 6) & 0x3F));
    AOut += static_cast<char>(0x80 | (ACode & 0x3F));
  } else {
    AOut += static_cast<char>(0xF0 | (ACode >> 18));
    AOut += static_cast<char>(0x80 | ((ACode >> 12) & 0x3F));
    AOut += static_cast<char>(0x80 | ((ACode >> 6) & 0x3F));
    AOut += static_cast<char>(0x80 | (ACode & 0x3F));
  }
}

}  // namespace

bool NeedsUnicodeURL(std::string_view) { return false; }

bool IsProtocolURL(std::string_view AName) {
  const auto colon = AName.find(':');
  if (colon == std::string_view::npos) return false;
  std::string probe = ":";
  probe += AName.substr(0, colon);
  probe += ':';
  return kProtocolPrefixes.find(probe) != std::string_view::npos;
}

std::string MakeUnicodeURL(std::string_view AName) {
  std::string url(kUnicodeURLPrefix);
  url += AName;
  return url;
}

bool IsUnicodeURL(std::string_view AName8) {
  return AName8.size() > kUnicodeURLPrefix.size() && AName8.starts_with(kUnicodeURLPrefix);
}

std::string DecodeUnicodeURL(std::string_view AName8) {
  for (int part = 0; part < 2; ++part) {
    const auto colon = AName8.find(':');
    if (colon == std::string_view::npos) break;
    AName8.remove_prefix(colon + 1);
  }
  return std::string(AName8);
}

std::string EncodeFileName(std::string_view AName) {
  std::string name = IsUnicodeURL(AName) ? DecodeUnicodeURL(AName) : std::string(AName);
  for (size_t i = 0; i < name.size(); ++i) {
    const auto c = static_cast<unsigned char>(name[i]);
    if (c == 0)
      throw EFileNameError("Invalid file name \"" + ShownName(name) + "\": it contains a NUL character");
    // ED A0..BF xx is a UTF-16 surrogate written as UTF-8: never a valid name.
    if (c == 0xED && i + 1 < name.size() && (static_cast<unsigned char>(name[i + 1]) & 0xE0) == 0xA0)
      throw EFileNameError("Invalid file name \"" + ShownName(name) +
                           "\": it contains an unpaired surrogate character");
  }
  return name;
}

std::string EncodeFileName(std::u16string_view AName) {
  std::string utf8;
  utf8.reserve(AName.size() * 3);
  for (size_t i = 0; i < AName.size(); ++i) {
    const char16_t c = AName[i];
    if (c >= 0xD800 && c <= 0xDBFF && i + 1 < AName.size() && AName[i + 1] >= 0xDC00 &&
        AName[i + 1] <= 0xDFFF) {
      AppendUtf8(utf8, 0x10000 + ((char32_t(c) - 0xD800) << 10) + (char32_t(AName[i + 1]) - 0xDC00));
      ++i;
    } else if (c >= 0xD800 && c <= 0xDFFF) {
      char hex[8];
      static constexpr char kHex[] = "0123456789ABCDEF";
      hex[0] = kHex[(c >> 12) & 15];
      hex[1] = kHex[(c >> 8) & 15];
      hex[2] = kHex[(c >> 4) & 15];
      hex[3] = kHex[c & 15];
      hex[4] = 0;
      throw EFileNameError("Invalid file name \"" + ShownName(utf8) + "...\": unpaired surrogate U+" +
                           hex + " at position " + std::to_string(i));
    } else {
      AppendUtf8(utf8, c);
    }
  }
  return EncodeFileName(std::string_view(utf8));
}

std::string DecodeFileName(std::string_view AName8) {
  return IsUnicodeURL(AName8) ? DecodeUnicodeURL(AName8) : std::string(AName8);
}

void RegisterUnicodeProtocol() {}

}  // namespace media
