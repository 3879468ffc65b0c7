// bench_wave: the audio capture device's cost per completed buffer (copy into
// a packet, queue, read through the adapter) on a fake backend, against the
// time one buffer of sound lasts; with PULSE_SERVER set, also the time from
// opening the device to its first packet and the spacing of packets from the
// server's default monitor.
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <vector>

#include "FakeWaveIn.h"
#include "capture/CaptureInput.h"
#include "capture/WaveCapture.h"
#include "media/FFBindings.h"
#include "media/FFHandles.h"
#include "media/FFLoad.h"

using namespace capture;
using Clock = std::chrono::steady_clock;

namespace {

std::shared_ptr<test::TFakeWaveState> gState;

int FakeHeader(AVFormatContext* s, const TFormatParameters* ap) {
  return WaveCaptureReadHeader(s, ap, std::make_unique<test::TFakeWaveIn>(gState));
}

const TCaptureDevice kFakeWave{"benchwavecapture", "Wave capture on a fake backend", &MakePrivData<Twavein_grab>,
                               &FakeHeader, &WaveCaptureReadPacket, &WaveCaptureReadClose, nullptr, nullptr};

double Ms(Clock::duration d) { return std::chrono::duration<double, std::milli>(d).count(); }

int BenchFake() {
  RegisterInputFormat(kFakeWave);
  constexpr int kBuffers = 20000;
  gState = std::make_shared<test::TFakeWaveState>();
  TDeviceInput in;
  if (in.Open("benchwavecapture", "") < 0) {
    std::fprintf(stderr, "open: %s\n", in.LastErrMsg().c_str());
    return 1;
  }
  media::PacketPtr pkt(ff::av_packet_alloc());
  in.Context()->flags |= AVFMT_FLAG_NONBLOCK;
  in.ReadPacket(pkt.get());  // the first read starts the capture
  const auto t0 = Clock::now();
  for (int i = 0; i < kBuffers; ++i) {
    gState->Complete(static_cast<uint8_t>(i));
    if (in.ReadPacket(pkt.get()) != 4096) {
      std::fprintf(stderr, "read failed at buffer %d\n", i);
      return 1;
    }
  }
  const double perBuffer = Ms(Clock::now() - t0) / kBuffers;

  std::vector<uint8_t> a(4096, 1), b(4096);
  const auto m0 = Clock::now();
  for (int i = 0; i < kBuffers; ++i) {
    a[0] = static_cast<uint8_t>(i);
    std::memcpy(b.data(), a.data(), a.size());
  }
  const double perCopy = Ms(Clock::now() - m0) / kBuffers;
  const double lasts = 1024 * 1000.0 / 44100;
  std::printf("fake backend: %.4f ms per 4096-byte buffer (memcpy %.5f ms); one buffer lasts %.2f ms: %.3f%% of it\n",
              perBuffer, perCopy, lasts, 100 * perBuffer / lasts);
  return 0;
}

int BenchPulse() {
  if (!std::getenv("PULSE_SERVER")) {
    std::printf("PulseAudio: skipped (PULSE_SERVER not set)\n");
    return 0;
  }
  RegisterWaveCapture();
  TDeviceInput in;
  const auto t0 = Clock::now();
  if (in.Open("wavecapture", "") < 0) {
    std::fprintf(stderr, "open: %s\n", in.LastErrMsg().c_str());
    return 1;
  }
  const auto opened = Clock::now();
  media::PacketPtr pkt(ff::av_packet_alloc());
  int r;
  while ((r = in.ReadPacket(pkt.get())) == AVERROR(EAGAIN)) {
  }
  if (r < 0) return 1;
  const auto first = Clock::now();
  std::vector<double> gaps;
  int64_t samples = r / 4;
  auto last = first;
  while (Clock::now() - first < std::chrono::seconds(3)) {
    if ((r = in.ReadPacket(pkt.get())) < 0) continue;
    const auto now = Clock::now();
    gaps.push_back(Ms(now - last));
    last = now;
    samples += r / 4;
  }
  std::sort(gaps.begin(), gaps.end());
  const double span = Ms(last - first) / 1000;
  std::printf("PulseAudio: open %.1f ms, first packet %.1f ms after the open; %zu packets in %.2f s carrying %.3f s"
              " of sound; spacing median %.1f ms, max %.1f ms\n",
              Ms(opened - t0), Ms(first - opened), gaps.size() + 1, span, samples / 44100.0,
              gaps.empty() ? 0 : gaps[gaps.size() / 2], gaps.empty() ? 0 : gaps.back());
  return 0;
}

}  // namespace

int main() {
  if (!media::FFLoader().Load(media::kEncoderLibraries)) {
    std::fprintf(stderr, "%s\n", media::FFLoader().LastErrMsg().c_str());
    return 1;
  }
  if (int r = BenchFake()) return r;
  return BenchPulse();
}
