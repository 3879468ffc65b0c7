#pragma once
// What the audio capture device needs from the sound system: wave-in
// recording into buffers that the caller hands to the device one at a time,
// completed buffers reported through a callback on the backend's own thread.
// The PulseAudio backend lives in platform/pulse; tests use a fake.
//
// Results are 0 for success or a backend error code whose text ErrorText
// gives.

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

namespace platform {

// PCM format of a capture: unsigned 8-bit or signed 16-bit little-endian.
struct TWaveFormat {
  int SampleRate = 0;
  int Channels = 0;
  int Bits = 0;
  // Bytes of one sample frame (all channels), at least 1.
  int BlockAlign() const {
    const int a = Channels * Bits / 8;
    return a > 0 ? a : 1;
  }
};

// One capture buffer, owned by the caller. The backend fills Data up to
// Length and sets Recorded to the bytes it holds when it reports it.
struct TWaveBuffer {
  uint8_t* Data = nullptr;
  size_t Length = 0;
  size_t Recorded = 0;
};

// Messages of the callback: Opened comes from Open on the caller's thread
// once the stream is ready (so an opener that waits cannot deadlock with its
// own callback); the others from the backend's thread.
enum class TWaveInMsg {
  Opened,  // the stream is ready
  Closed,  // the stream ended (closed, failed, or the server went away)
  Data,    // a buffer completed; it is no longer queued
};

class TWaveInCallback {
 public:
  virtual ~TWaveInCallback() = default;
  // ABuffer is set for Data only. May call AddBuffer.
  virtual void WaveInProc(TWaveInMsg AMsg, TWaveBuffer* ABuffer) = 0;
};

class TWaveIn {
 public:
  virtual ~TWaveIn() = default;

  // Number of capture devices; 0 when there is no server or no source.
  virtual int NumDevs() = 0;
  // Whether device ADevice (-1: the sound the computer plays) can record
  // AFormat as it is.
  virtual int QueryFormat(int ADevice, const TWaveFormat& AFormat) = 0;
  // Opens the device, recording in fragments of AFragmentBytes; reports to
  // ACallback (which must outlive the open device). Recording starts with
  // Start; until then nothing arrives.
  virtual int Open(int ADevice, const TWaveFormat& AFormat, size_t AFragmentBytes,
                   TWaveInCallback* ACallback) = 0;
  // Queues a buffer; buffers complete in the order they were queued.
  virtual int AddBuffer(TWaveBuffer* ABuffer) = 0;
  virtual int Start() = 0;
  // Stops recording and hands back every queued buffer (Data messages with
  // what they hold). No callback runs after Close returns.
  virtual int Reset() = 0;
  virtual int Close() = 0;
  virtual std::string ErrorText(int ACode) = 0;
};

// The PulseAudio backend (works with PipeWire's PulseAudio server too). The
// server is the one libpulse finds ($PULSE_SERVER, the user's session).
std::unique_ptr<TWaveIn> CreatePulseWaveIn();

}  // namespace platform
