#pragma once
// Test media written with the bound libraries: a short video whose pictures
// carry their frame index (16 bright or dark blocks across the top, most
// significant bit first) and, optionally, a sine tone.

#include <string>
#include <vector>

#include "media/FFBindings.h"

namespace testmedia {

struct TMediaSpec {
  std::string path;            // the extension picks the container
  int width = 160;
  int height = 120;
  AVRational rate{10, 1};
  AVRational sar{1, 1};
  int frames = 20;
  std::string video_codec = "mpeg4";
  bool audio = true;
  int sample_rate = 44100;
  int channels = 2;
  double tone_hz = 440.0;
};

// Writes the file; false with the reason in AError.
bool WriteTestMedia(const TMediaSpec& ASpec, std::string& AError);

// The frame index a decoded picture carries (-1 when it is not readable).
int ReadFrameIndex(const AVFrame* AFrame);

// Decodes the video of a file and returns the index of each picture.
std::vector<int> DecodeFrameIndexes(const std::string& APath, std::string& AError);

// A fresh directory under the system's temporary directory, removed with
// its contents by the destructor.
class TTempDir {
 public:
  TTempDir();
  ~TTempDir();
  TTempDir(const TTempDir&) = delete;
  TTempDir& operator=(const TTempDir&) = delete;
  std::string Path(const std::string& AName) const { return FDir + "/" + AName; }

 private:
  std::string FDir;
};

}  // namespace testmedia
