#pragma once
// File names between the program and the media libraries.
//
// Linux file names are bytes and the program keeps its names in UTF-8, so a
// name reaches the libraries unchanged; the library's own file protocol
// opens it. The "unicode:utf8:" URL form is still understood: callers that
// hand such a URL get the file it names, because EncodeFileName turns it
// into the plain path before the library sees it.
//
// Every function returns an owned string; all are thread-safe.

#include <stdexcept>
#include <string>
#include <string_view>

namespace media {

// Thrown by EncodeFileName for a name that cannot name a file.
class EFileNameError : public std::invalid_argument {
 public:
  using std::invalid_argument::invalid_argument;
};

// The URL prefix of the unicode form.
inline constexpr std::string_view kUnicodeURLPrefix = "unicode:utf8:";

// True when the name must travel as a unicode URL. Never on Linux: every
// valid name travels as it is.
bool NeedsUnicodeURL(std::string_view AName);

// True when the name starts with one of the protocols the libraries reach by
// URL ("http:", "udp:", "pipe:", ...) or is a unicode URL; such names are
// handed over as they are.
bool IsProtocolURL(std::string_view AName);

// "unicode:utf8:" followed by the name.
std::string MakeUnicodeURL(std::string_view AName);

// True when the 8-bit name is at least 14 bytes long and starts with
// "unicode:utf8:".
bool IsUnicodeURL(std::string_view AName8);

// The name without its first two "xxx:" parts ("unicode:utf8:/a/b" -> "/a/b").
std::string DecodeUnicodeURL(std::string_view AName8);

// The 8-bit name to hand to the libraries for a UTF-8 name. A unicode URL
// becomes its plain path. Throws EFileNameError for a name that holds a NUL
// byte or an encoded UTF-16 surrogate (no file can be named so).
std::string EncodeFileName(std::string_view AName);
// The same for a UTF-16 name (QString::utf16(), std::u16string); unpaired
// surrogates are refused with EFileNameError.
std::string EncodeFileName(std::u16string_view AName);

// The program's name for an 8-bit name read back from a library context.
std::string DecodeFileName(std::string_view AName8);

// Kept for the loader's start-up sequence: the libraries' file protocol
// reaches every name, so there is nothing to register.
void RegisterUnicodeProtocol();

}  // namespace media
