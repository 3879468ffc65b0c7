#pragma once
// Picture-and-sound sync of a recording of the flashing sync source: the
// instants the picture turns bright (flashes) and the instants a click
// starts in the sound (clicks), both on the file's own timeline, and the
// offsets between the pairs of them.

#include <string>
#include <vector>

namespace synctest {

struct TSyncEvents {
  bool ok = false;
  std::string error;
  std::vector<double> flashes;  // seconds: between the last dark picture and the first bright one
  std::vector<double> flash_spans;  // half the time between those two pictures (the flash's uncertainty)
  std::vector<double> clicks;   // seconds: first loud sample after a quiet stretch
  double frame_duration = 0;    // seconds per picture of the video stream
  int frames = 0;               // pictures decoded
  double audio_seconds = 0;     // sound decoded
  float peak = 0;               // largest absolute sample
};

// Decodes the file with the bound libraries (load them first).
TSyncEvents FindSyncEvents(const std::string& APath);

// Flash and click detection on decoded values, for the decoder above and
// for tests of the detection itself.
// ALuma: mean luma (0..255) of each picture at ATimes.
// AHalfSpans (optional) receives each flash's uncertainty.
std::vector<double> FindFlashes(const std::vector<double>& ATimes, const std::vector<double>& ALuma,
                                std::vector<double>* AHalfSpans = nullptr);
// ASamples: one channel in -1..1; ATimes: the time of each sample.
std::vector<double> FindClicks(const std::vector<float>& ASamples, const std::vector<double>& ATimes);

struct TSyncPairs {
  std::vector<double> offsets;  // click - flash of each pair, seconds
  std::vector<size_t> flash_index;  // the flash of each pair
  int unpaired_flashes = 0;
  int unpaired_clicks = 0;
  double largest = 0;  // largest absolute offset
};

// Pairs each flash with the nearest click within AWindow seconds (each
// click pairs once).
TSyncPairs PairEvents(const std::vector<double>& AFlashes, const std::vector<double>& AClicks, double AWindow);

}  // namespace synctest
