#pragma once
// Media for the conversion tests: files with pictures at chosen times and
// sound that starts late, runs fast or is coded as float (written by the
// TestMedia generator), and a full decode of a converted file (sizes,
// timestamps, pictures, samples, packets, chapters).

#include <string>
#include <vector>

#include "TestMedia.h"
#include "media/FFBindings.h"

namespace convtest {

struct TCustomSpec {
  std::string path;  // the extension picks the container
  int width = 160, height = 120;
  std::vector<int64_t> video_ms;  // presentation time of each picture
  bool audio = true;
  std::string audio_codec = "pcm_s16le";
  int sample_rate = 44100, channels = 2;
  double tone_hz = 440.0, amplitude = 0.25;
  double audio_start = 0.0, audio_seconds = 2.0;
  double audio_clock = 1.0;  // > 1: the sound clock runs fast
  bool interlaced = false;   // combed pictures
  std::vector<testmedia::TChapterSpec> chapters;
};

// Writes the file (mpeg4 pictures carrying their index as in TestMedia).
bool WriteCustomMedia(const TCustomSpec& ASpec, std::string& AError);

struct TPacketInfo {
  int stream;
  double pts, dts;  // seconds
  int size;
  bool key;
};

struct TDecoded {
  bool ok = false;
  std::string error;
  // Video.
  int width = 0, height = 0, frames = 0;
  double video_start = -1, video_end = -1;  // first pts, last pts + one frame
  std::vector<int> indexes;
  std::vector<uint8_t> first_luma;  // luma of the first picture, row by row
  // Audio.
  int sample_rate = 0, channels = 0;
  int64_t samples = 0;
  double audio_start = -1, audio_end = -1;
  std::vector<float> left;  // first channel as float
  std::vector<TPacketInfo> packets;
  struct TChapter {
    double start, end;  // seconds
    std::string title;
  };
  std::vector<TChapter> chapters;
};

TDecoded DecodeAll(const std::string& APath);

// Tone frequency from the zero crossings of a range of samples.
double ToneFrequency(const std::vector<float>& ASamples, int ARate, size_t AFrom, size_t ATo);
// Largest absolute sample in a range.
float Peak(const std::vector<float>& ASamples, size_t AFrom, size_t ATo);

}  // namespace convtest
