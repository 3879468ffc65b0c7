#pragma once
// Test media written with the bound libraries: a short video whose pictures
// carry their frame index (16 bright or dark blocks across the top, most
// significant bit first) and, optionally, a sine tone and chapters.

#include <cstdint>
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

struct TChapterSpec {
  int64_t start_ms = 0, end_ms = 0;
  std::string title;
};

// Everything the generator can write; TMediaSpec and the conversion tests'
// media are particular cases of it.
struct TGenSpec {
  std::string path;  // the extension picks the container
  int width = 160, height = 120;
  std::string video_codec = "mpeg4";
  AVRational time_base{1, 10};  // of the pictures' timestamps
  AVRational rate{0, 1};        // the stream's frame rate, when steady
  AVRational sar{1, 1};
  std::vector<int64_t> video_pts;  // one picture per entry, in time_base
  bool moving_background = true;   // the background shifts with the index
  // Even and odd rows of the background from different moments: even rows
  // dark and odd rows bright on even pictures, the other way round on odd
  // ones, as a moving interlaced source combs.
  bool interlaced = false;
  bool audio = true;
  std::string audio_codec = "pcm_s16le";
  int sample_rate = 44100, channels = 2;
  double tone_hz = 440.0, amplitude = 12000.0 / 32767.0;
  double audio_start = 0.0;     // seconds
  double audio_seconds = -1.0;  // < 0: as long as the pictures
  // Samples the sound clock delivers per second of timestamps, relative to
  // the sample rate (1.005: the sound device runs 0.5 % fast).
  double audio_clock = 1.0;
  std::vector<TChapterSpec> chapters;
};

bool WriteMedia(const TGenSpec& ASpec, std::string& AError);

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
