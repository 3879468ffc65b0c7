#pragma once
// A wave-in backend for the audio device's tests. The test plays the
// platform's callback thread: Complete fills the oldest queued buffer and
// reports it, End reports that the stream ended. Its clock runs with the
// sound: each completed buffer advances it by the buffer's duration, so
// buffers arrive just as they are captured unless the test delays them. The state is shared so the
// test can still look at it after the device has destroyed the backend.

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <deque>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "FakeClock.h"
#include "platform/WaveIn.h"

namespace capture::test {

struct TFakeWaveState {
  // Set by the test before the open.
  int Devices = 1;
  int QueryError = 0;
  int OpenError = 0;
  int AddErrorAfter = -1;  // AddBuffer fails once this many buffers were queued
  // Seen by the test.
  int Device = -2;
  platform::TWaveFormat Format;
  size_t Fragment = 0;
  bool Started = false;
  bool Reset = false;
  bool Closed = false;
  int Added = 0;
  std::vector<const uint8_t*> Completed;  // the buffers in the order they completed
  TFakeClock Clock;
  int64_t FramesDone = 0;

  std::mutex Lock;
  std::deque<platform::TWaveBuffer*> Queue;
  platform::TWaveInCallback* Callback = nullptr;

  // Fills the oldest queued buffer with ABytes bytes of AValue (at most its
  // length) and reports it; false when no buffer is queued.
  bool Complete(uint8_t AValue, size_t ABytes = SIZE_MAX) {
    platform::TWaveBuffer* b;
    platform::TWaveInCallback* cb;
    {
      std::lock_guard l(Lock);
      if (Queue.empty() || !Callback) return false;
      b = Queue.front();
      Queue.pop_front();
      cb = Callback;
      Completed.push_back(b->Data);
    }
    b->Recorded = std::min(ABytes, b->Length);
    std::memset(b->Data, AValue, b->Recorded);
    AdvanceClock(static_cast<int64_t>(b->Recorded));
    cb->WaveInProc(platform::TWaveInMsg::Data, b);
    return true;
  }
  // The clock moves on by the duration of ABytes of sound, counted from the
  // first buffer so that rounding does not add up.
  void AdvanceClock(int64_t ABytes) {
    const int64_t align = Format.BlockAlign(), rate = Format.SampleRate;
    if (align <= 0 || rate <= 0) return;
    const int64_t before = (FramesDone * 1000000 + rate / 2) / rate;
    FramesDone += ABytes / align;
    Clock.Advance((FramesDone * 1000000 + rate / 2) / rate - before);
  }
  size_t Queued() {
    std::lock_guard l(Lock);
    return Queue.size();
  }
  void End() {
    platform::TWaveInCallback* cb;
    {
      std::lock_guard l(Lock);
      cb = Callback;
    }
    if (cb) cb->WaveInProc(platform::TWaveInMsg::Closed, nullptr);
  }
};

class TFakeWaveIn final : public platform::TWaveIn {
 public:
  explicit TFakeWaveIn(std::shared_ptr<TFakeWaveState> AState) : S(std::move(AState)) {}

  int NumDevs() override { return S->Devices; }
  int QueryFormat(int, const platform::TWaveFormat&) override { return S->QueryError; }
  int Open(int ADevice, const platform::TWaveFormat& AFormat, size_t AFragment,
           platform::TWaveInCallback* ACallback) override {
    if (S->OpenError) return S->OpenError;
    S->Device = ADevice;
    S->Format = AFormat;
    S->Fragment = AFragment;
    std::lock_guard l(S->Lock);
    S->Callback = ACallback;
    return 0;
  }
  int AddBuffer(platform::TWaveBuffer* ABuffer) override {
    std::lock_guard l(S->Lock);
    if (S->AddErrorAfter >= 0 && S->Added >= S->AddErrorAfter) return 5;
    ++S->Added;
    ABuffer->Recorded = 0;
    S->Queue.push_back(ABuffer);
    return 0;
  }
  int Start() override {
    S->Started = true;
    return 0;
  }
  int Reset() override {
    std::deque<platform::TWaveBuffer*> back;
    platform::TWaveInCallback* cb;
    {
      std::lock_guard l(S->Lock);
      back.swap(S->Queue);
      cb = S->Callback;
      S->Reset = true;
    }
    for (auto* b : back)
      if (cb) cb->WaveInProc(platform::TWaveInMsg::Data, b);
    return 0;
  }
  int Close() override {
    std::lock_guard l(S->Lock);
    S->Callback = nullptr;
    S->Closed = true;
    return 0;
  }
  std::string ErrorText(int ACode) override { return "Fake wave error " + std::to_string(ACode); }

 private:
  std::shared_ptr<TFakeWaveState> S;
};

}  // namespace capture::test
