#pragma once
// The "wavecapture" device: PCM audio from a wave-in device (by default the
// sound the computer plays) as one audio stream.
//
// The platform fills two capture buffers in turn and reports each full one
// on its own thread; the device copies it into a packet at the tail of a
// queue and hands the buffer back. The engine's reads take packets from the
// head. Sound captured before the first read, while the engine held reading
// or while the caller's pause flag is non-zero is left out, so that paused
// time vanishes from the recording.

#include <array>
#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <memory>
#include <mutex>
#include <vector>

#include "capture/CaptureClock.h"
#include "capture/CaptureDevices.h"
#include "capture/WavePauseFlags.h"
#include "capture/WaveTimeline.h"
#include "platform/WaveIn.h"

namespace capture {

struct PacketFree {
  void operator()(AVPacket* p) const;
};
using TPacketPtr = std::unique_ptr<AVPacket, PacketFree>;

// The device's private record (created value-initialised by the adapter).
// It is also the platform's callback: completed buffers arrive in
// WaveInProc. Its destructor releases whatever an open left behind.
struct Twavein_grab final : platform::TWaveInCallback {
  ~Twavein_grab() override;
  void WaveInProc(platform::TWaveInMsg AMsg, platform::TWaveBuffer* ABuffer) override;

  int32_t device = -1;  // -1: the sound the computer plays
  int32_t sample_rate = 0;
  int32_t channels = 0;
  int32_t bits = 0;
  AVSampleFormat sample_fmt = AV_SAMPLE_FMT_NONE;
  AVCodecID codec_id = AV_CODEC_ID_NONE;
  int32_t buffer_size = 0;  // requested bytes per buffer
  int32_t frame_size = 0;   // sample frames of one full buffer
  platform::TWaveFormat format;
  std::unique_ptr<platform::TWaveIn> wave;  // the backend
  std::atomic<bool> wave_open{false};       // the device is open (wave_handle)
  std::array<platform::TWaveBuffer, 2> headers{};
  std::array<std::vector<uint8_t>, 2> buffers;
  std::atomic<int32_t> current{0};  // buffer queued next and completing next
  std::atomic<int32_t> started{0};  // the engine has read
  // Where each buffer's sound goes on the recording (created by the open);
  // keeps the sound on the clock the picture follows.
  std::unique_ptr<TWaveTimeline> timeline;
  TPaceClock* clock = nullptr;
  std::shared_ptr<TRecordingStart> recording_start;  // shared with the run's other devices, or null
  // Buffers that completed before the engine's first read, at most
  // kEarlySeconds of them (callback thread only).
  struct TEarlyBuffer {
    int64_t index0 = 0;
    int64_t frames = 0;
    std::vector<uint8_t> data;
  };
  static constexpr int kEarlySeconds = 10;
  std::deque<TEarlyBuffer> early;
  size_t early_bytes = 0;
  std::atomic<int32_t> stopped{0};  // capture ended; never returns to 0
  TWavePauseFlag* pause_flag = nullptr;
  std::mutex lock;                        // guards packets and packet_ready
  std::condition_variable packet_ready_cv;
  bool packet_ready = false;              // the queue may have changed
  std::deque<TPacketPtr> packets;         // oldest first
  std::atomic<AVFormatContext*> log_context{nullptr};
};

// The device record of "wavecapture".
const TCaptureDevice& WaveCaptureDevice();

// read_header with the given backend and clock (the device's own uses
// PulseAudio and the monotonic clock; tests hand in fakes). The format
// context's priv_data is a Twavein_grab.
int WaveCaptureReadHeader(AVFormatContext* s, const TFormatParameters* ap,
                          std::unique_ptr<platform::TWaveIn> AWaveIn, TPaceClock& AClock = MonotonicClock());
int WaveCaptureReadPacket(AVFormatContext* s, AVPacket* pkt);
int WaveCaptureReadClose(AVFormatContext* s);
// The engine holds reading / reads again.
int WaveCaptureReadPause(AVFormatContext* s);
int WaveCaptureReadPlay(AVFormatContext* s);

}  // namespace capture
