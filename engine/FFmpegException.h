#pragma once
// The exceptions of the conversion engine and its option layer.
//
// FFmpegException carries a fixed, user-readable message; the encoder turns
// it into a failed call or into the termination information of a task.
// EFFmpegAssertion reports a broken internal rule (source "FFmpeg" and a
// line); inside a conversion it ends the run like any other error.

#include <stdexcept>
#include <string>

namespace engine {

class FFmpegException : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

class EFFmpegAssertion : public std::logic_error {
 public:
  EFFmpegAssertion(const std::string& AMessage, int ALine)
      : std::logic_error(AMessage + " (FFmpeg, line " + std::to_string(ALine) + ")"),
        FLine(ALine) {}
  int Line() const { return FLine; }

 private:
  int FLine;
};

// A value of an option that cannot be converted to the option's type.
class EConvertError : public std::invalid_argument {
 public:
  using std::invalid_argument::invalid_argument;
};

// printf-style formatting into a std::string for the engine's messages.
std::string Format(const char* AFormat, ...) __attribute__((format(printf, 1, 2)));

}  // namespace engine
