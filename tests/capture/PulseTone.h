#pragma once
// A 1 kHz sine played into a PulseAudio sink (the private null sink of the
// test run) from a thread of its own, until destroyed.
#include <gtest/gtest.h>
#include <pulse/error.h>
#include <pulse/simple.h>

#include <atomic>
#include <cmath>
#include <cstdint>
#include <string>
#include <thread>
#include <vector>

namespace pulsetest {

class TTone {
 public:
  explicit TTone(std::string ASink = "qsr_null") : FSink(std::move(ASink)) {
    FThread = std::thread([this] { Play(); });
  }
  ~TTone() {
    FStop = true;
    FThread.join();
  }
  TTone(const TTone&) = delete;
  TTone& operator=(const TTone&) = delete;

 private:
  void Play() {
    const pa_sample_spec spec{PA_SAMPLE_S16LE, 44100, 2};
    int error = 0;
    pa_simple* s = pa_simple_new(nullptr, "qsr-test", PA_STREAM_PLAYBACK, FSink.c_str(), "tone", &spec, nullptr,
                                 nullptr, &error);
    if (!s) {
      ADD_FAILURE() << "cannot play: " << pa_strerror(error);
      return;
    }
    std::vector<int16_t> chunk(441 * 2);  // 10 ms
    long n = 0;
    while (!FStop) {
      for (size_t i = 0; i < chunk.size(); i += 2, ++n)
        chunk[i] = chunk[i + 1] = static_cast<int16_t>(12000 * std::sin(2 * M_PI * 1000 * n / 44100.0));
      if (pa_simple_write(s, chunk.data(), chunk.size() * 2, &error) < 0) break;
    }
    pa_simple_free(s);
  }
  const std::string FSink;
  std::atomic<bool> FStop{false};
  std::thread FThread;
};

}  // namespace pulsetest
