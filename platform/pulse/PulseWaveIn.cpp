// Wave-in on PulseAudio: the asynchronous API with a threaded main loop.
//
// One main loop thread per device plays the part of the platform's callback
// thread: the stream's read callback fills the queued buffers in order and
// reports each full one. Every touch of the stream and the buffer queue
// happens under the main loop's lock (held by the loop thread while it runs
// callbacks), so Reset and Close guarantee that no callback runs afterwards.

#include <pulse/pulseaudio.h>
#include <pulse/rtclock.h>

#include <algorithm>
#include <cstring>
#include <deque>
#include <memory>
#include <string>
#include <vector>

#include "platform/WaveIn.h"

namespace platform {

namespace {

// Longest wait for the server's answer: a server that accepts the connection
// and then hangs must not hang the recorder.
constexpr pa_usec_t kServerTimeout = 5 * PA_USEC_PER_SEC;

struct MainLoopFree {
  void operator()(pa_threaded_mainloop* m) const { pa_threaded_mainloop_free(m); }
};
struct ContextUnref {
  void operator()(pa_context* c) const { pa_context_unref(c); }
};
struct StreamUnref {
  void operator()(pa_stream* s) const { pa_stream_unref(s); }
};

// Holds the main loop's lock unless the caller is the loop thread, which
// holds it already while it runs callbacks.
class TLoopLock {
 public:
  explicit TLoopLock(pa_threaded_mainloop* m) : FLoop(m), FOwn(m && !pa_threaded_mainloop_in_thread(m)) {
    if (FOwn) pa_threaded_mainloop_lock(FLoop);
  }
  ~TLoopLock() {
    if (FOwn) pa_threaded_mainloop_unlock(FLoop);
  }
  TLoopLock(const TLoopLock&) = delete;
  TLoopLock& operator=(const TLoopLock&) = delete;

 private:
  pa_threaded_mainloop* FLoop;
  bool FOwn;
};

class TPulseWaveIn final : public TWaveIn {
 public:
  ~TPulseWaveIn() override {
    Close();
    if (FLoop) pa_threaded_mainloop_stop(FLoop.get());  // joins the loop thread
    if (FContext) pa_context_disconnect(FContext.get());
    FContext.reset();
    FLoop.reset();
  }

  int NumDevs() override {
    if (Connect() != 0) return 0;
    return RefreshSources() == 0 ? static_cast<int>(FSources.size()) : 0;
  }

  int QueryFormat(int ADevice, const TWaveFormat& AFormat) override {
    pa_sample_spec spec;
    if (int r = SampleSpec(AFormat, spec)) return r;
    if (ADevice < -1) return PA_ERR_NOENTITY;
    if (ADevice >= 0 && ADevice >= NumDevs()) return PA_ERR_NOENTITY;
    return 0;
  }

  int Open(int ADevice, const TWaveFormat& AFormat, size_t AFragmentBytes, TWaveInCallback* ACallback) override {
    if (FStream) return PA_ERR_EXIST;
    pa_sample_spec spec;
    if (int r = SampleSpec(AFormat, spec)) return r;
    if (int r = Connect()) return r;
    std::string source = "@DEFAULT_MONITOR@";  // the sound the computer plays
    if (ADevice >= 0) {
      if (int r = RefreshSources()) return r;
      if (ADevice >= static_cast<int>(FSources.size())) return PA_ERR_NOENTITY;
      source = FSources[ADevice];
    }

    if (int r = ConnectStream(source, spec, AFragmentBytes, ACallback)) return r;
    FSilence = AFormat.Bits == 8 ? 0x80 : 0;
    // Reported here, on the caller's thread, and not from the loop while the
    // caller waits for it: a callback that hands its log line to the UI
    // thread would otherwise wait for a UI thread that waits for the loop.
    if (ACallback) ACallback->WaveInProc(TWaveInMsg::Opened, nullptr);
    return 0;
  }

  int AddBuffer(TWaveBuffer* ABuffer) override {
    if (!ABuffer || !ABuffer->Data || ABuffer->Length == 0) return PA_ERR_INVALID;
    TLoopLock lock(FLoop.get());
    if (!FStream) return PA_ERR_BADSTATE;
    ABuffer->Recorded = 0;
    FQueue.push_back(ABuffer);
    return 0;
  }

  int Start() override { return Cork(false); }

  int Reset() override {
    int r = Cork(true);
    TLoopLock lock(FLoop.get());
    while (!FQueue.empty()) {
      TWaveBuffer* b = FQueue.front();
      FQueue.pop_front();
      if (FCallback) FCallback->WaveInProc(TWaveInMsg::Data, b);
    }
    return r;
  }

  int Close() override {
    if (!FLoop) return 0;
    TLoopLock lock(FLoop.get());
    FCallback = nullptr;  // nothing reaches the owner from here on
    FQueue.clear();
    if (FStream) {
      pa_stream_set_state_callback(FStream.get(), nullptr, nullptr);
      pa_stream_set_read_callback(FStream.get(), nullptr, nullptr);
      pa_stream_disconnect(FStream.get());
      FStream.reset();
    }
    return 0;
  }

  std::string ErrorText(int ACode) override {
    const char* text = pa_strerror(ACode);
    return text ? text : "Unknown error " + std::to_string(ACode);
  }

 private:
  static int SampleSpec(const TWaveFormat& AFormat, pa_sample_spec& ASpec) {
    if (AFormat.Bits == 8) ASpec.format = PA_SAMPLE_U8;
    else if (AFormat.Bits == 16) ASpec.format = PA_SAMPLE_S16LE;
    else return PA_ERR_NOTSUPPORTED;
    if (AFormat.Channels != 1 && AFormat.Channels != 2) return PA_ERR_NOTSUPPORTED;
    if (AFormat.SampleRate <= 0) return PA_ERR_INVALID;
    ASpec.channels = static_cast<uint8_t>(AFormat.Channels);
    ASpec.rate = static_cast<uint32_t>(AFormat.SampleRate);
    return pa_sample_spec_valid(&ASpec) ? 0 : PA_ERR_NOTSUPPORTED;
  }

  // Connects to the server once; 0 or the error. A lost connection stays
  // lost: the device ends and the next recording makes a new backend.
  int Connect() {
    if (FContext) {
      TLoopLock lock(FLoop.get());
      if (pa_context_get_state(FContext.get()) == PA_CONTEXT_READY) return 0;
      if (!FConnectError) FConnectError = pa_context_errno(FContext.get());
      return FConnectError ? FConnectError : PA_ERR_CONNECTIONTERMINATED;
    }
    FLoop.reset(pa_threaded_mainloop_new());
    if (!FLoop) return PA_ERR_INTERNAL;
    FContext.reset(pa_context_new(pa_threaded_mainloop_get_api(FLoop.get()), "Quorvane Screen Recorder"));
    if (!FContext) return PA_ERR_INTERNAL;
    pa_context_set_state_callback(FContext.get(), &TPulseWaveIn::ContextState, this);
    if (pa_context_connect(FContext.get(), nullptr, PA_CONTEXT_NOAUTOSPAWN, nullptr) < 0)
      return FConnectError = pa_context_errno(FContext.get());
    if (pa_threaded_mainloop_start(FLoop.get()) < 0) return FConnectError = PA_ERR_INTERNAL;
    TLoopLock lock(FLoop.get());
    const bool answered = WaitFor([this] {
      const pa_context_state_t st = pa_context_get_state(FContext.get());
      return st == PA_CONTEXT_READY || !PA_CONTEXT_IS_GOOD(st);
    });
    if (!answered) {
      pa_context_disconnect(FContext.get());
      return FConnectError = PA_ERR_TIMEOUT;
    }
    if (pa_context_get_state(FContext.get()) == PA_CONTEXT_READY) return 0;
    return FConnectError = pa_context_errno(FContext.get());
  }

  // Creates the record stream on ASource and waits until it is ready.
  int ConnectStream(const std::string& ASource, const pa_sample_spec& ASpec, size_t AFragmentBytes,
                    TWaveInCallback* ACallback) {
    TLoopLock lock(FLoop.get());
    FStream.reset(pa_stream_new(FContext.get(), "Recording", &ASpec, nullptr));
    if (!FStream) return pa_context_errno(FContext.get());
    FCallback = ACallback;
    FOpened = false;
    FEnded = false;
    pa_stream_set_state_callback(FStream.get(), &TPulseWaveIn::StreamState, this);
    pa_stream_set_read_callback(FStream.get(), &TPulseWaveIn::StreamRead, this);
    pa_buffer_attr attr;
    std::memset(&attr, 0xff, sizeof attr);  // the server's defaults, but for the fragment size
    attr.fragsize = static_cast<uint32_t>(AFragmentBytes);
    const auto flags = static_cast<pa_stream_flags_t>(PA_STREAM_START_CORKED | PA_STREAM_ADJUST_LATENCY);
    if (pa_stream_connect_record(FStream.get(), ASource.c_str(), &attr, flags) < 0) return DropStream();
    const bool answered = WaitFor([this] {
      const pa_stream_state_t st = pa_stream_get_state(FStream.get());
      return st == PA_STREAM_READY || !PA_STREAM_IS_GOOD(st);
    });
    if (!answered) {
      DropStream();
      return PA_ERR_TIMEOUT;
    }
    if (pa_stream_get_state(FStream.get()) != PA_STREAM_READY) return DropStream();
    FOpened = true;
    return 0;
  }

  // Waits on the loop (lock held, not the loop thread) until ADone() holds;
  // false when the server has not answered in time.
  template <typename F>
  bool WaitFor(F ADone) {
    if (ADone()) return true;
    FTimedOut = false;
    pa_time_event* timer =
        pa_context_rttime_new(FContext.get(), pa_rtclock_now() + kServerTimeout, &TPulseWaveIn::Timeout, this);
    bool done;
    while (!(done = ADone()) && !FTimedOut) pa_threaded_mainloop_wait(FLoop.get());
    if (timer) pa_threaded_mainloop_get_api(FLoop.get())->time_free(timer);
    return done;
  }

  // Reads the server's capture sources into FSources (their order is the
  // device index).
  int RefreshSources() {
    TLoopLock lock(FLoop.get());
    FSources.clear();
    pa_operation* op = pa_context_get_source_info_list(FContext.get(), &TPulseWaveIn::SourceInfo, this);
    return Await(op);
  }

  int Cork(bool ACork) {
    if (!FLoop) return PA_ERR_BADSTATE;
    TLoopLock lock(FLoop.get());
    if (!FStream) return PA_ERR_BADSTATE;
    if (pa_stream_get_state(FStream.get()) != PA_STREAM_READY) return PA_ERR_BADSTATE;
    return Await(pa_stream_cork(FStream.get(), ACork ? 1 : 0, &TPulseWaveIn::Success, this));
  }

  // Waits for an operation under the lock (not on the loop thread).
  int Await(pa_operation* AOp) {
    if (!AOp) return pa_context_errno(FContext.get());
    if (pa_threaded_mainloop_in_thread(FLoop.get())) {  // cannot wait here; let it run
      pa_operation_unref(AOp);
      return 0;
    }
    if (!WaitFor([AOp] { return pa_operation_get_state(AOp) != PA_OPERATION_RUNNING; })) {
      pa_operation_cancel(AOp);
      pa_operation_unref(AOp);
      return PA_ERR_TIMEOUT;
    }
    const bool done = pa_operation_get_state(AOp) == PA_OPERATION_DONE;
    pa_operation_unref(AOp);
    return done ? 0 : pa_context_errno(FContext.get());
  }

  int DropStream() {
    const int r = pa_context_errno(FContext.get());
    pa_stream_set_state_callback(FStream.get(), nullptr, nullptr);
    pa_stream_set_read_callback(FStream.get(), nullptr, nullptr);
    pa_stream_disconnect(FStream.get());
    FStream.reset();
    FCallback = nullptr;
    return r ? r : PA_ERR_UNKNOWN;
  }

  // Copies recorded bytes into the queued buffers; a full buffer is reported.
  // Bytes that find no queued buffer are lost, as with any overrun.
  void Feed(const uint8_t* AData, size_t ABytes) {
    while (ABytes > 0 && !FQueue.empty()) {
      TWaveBuffer* b = FQueue.front();
      const size_t n = std::min(ABytes, b->Length - b->Recorded);
      if (AData) std::memcpy(b->Data + b->Recorded, AData, n);
      else std::memset(b->Data + b->Recorded, FSilence, n);  // a hole in the stream
      b->Recorded += n;
      ABytes -= n;
      if (AData) AData += n;
      if (b->Recorded == b->Length) {
        FQueue.pop_front();
        if (FCallback) FCallback->WaveInProc(TWaveInMsg::Data, b);
      }
    }
  }

  static void ContextState(pa_context*, void* AThis) {
    pa_threaded_mainloop_signal(static_cast<TPulseWaveIn*>(AThis)->FLoop.get(), 0);
  }

  static void StreamState(pa_stream* s, void* AThis) {
    auto* self = static_cast<TPulseWaveIn*>(AThis);
    const pa_stream_state_t st = pa_stream_get_state(s);
    // Ready is reported by Open itself; an end after it from here.
    if (!PA_STREAM_IS_GOOD(st) && self->FOpened && !self->FEnded) {
      self->FEnded = true;
      if (self->FCallback) self->FCallback->WaveInProc(TWaveInMsg::Closed, nullptr);
    }
    pa_threaded_mainloop_signal(self->FLoop.get(), 0);
  }

  static void StreamRead(pa_stream* s, size_t, void* AThis) {
    auto* self = static_cast<TPulseWaveIn*>(AThis);
    while (pa_stream_readable_size(s) > 0) {
      const void* data = nullptr;
      size_t bytes = 0;
      if (pa_stream_peek(s, &data, &bytes) < 0 || bytes == 0) return;
      self->Feed(static_cast<const uint8_t*>(data), bytes);
      pa_stream_drop(s);
    }
  }

  static void SourceInfo(pa_context*, const pa_source_info* AInfo, int AEol, void* AThis) {
    auto* self = static_cast<TPulseWaveIn*>(AThis);
    if (AEol == 0 && AInfo) self->FSources.emplace_back(AInfo->name);
    pa_threaded_mainloop_signal(self->FLoop.get(), 0);
  }

  static void Timeout(pa_mainloop_api*, pa_time_event*, const struct timeval*, void* AThis) {
    auto* self = static_cast<TPulseWaveIn*>(AThis);
    self->FTimedOut = true;
    pa_threaded_mainloop_signal(self->FLoop.get(), 0);
  }

  static void Success(pa_stream*, int, void* AThis) {
    pa_threaded_mainloop_signal(static_cast<TPulseWaveIn*>(AThis)->FLoop.get(), 0);
  }

  // Declared in the order of destruction's reverse: the loop outlives the
  // context, which outlives the stream.
  std::unique_ptr<pa_threaded_mainloop, MainLoopFree> FLoop;
  std::unique_ptr<pa_context, ContextUnref> FContext;
  std::unique_ptr<pa_stream, StreamUnref> FStream;
  TWaveInCallback* FCallback = nullptr;
  std::deque<TWaveBuffer*> FQueue;
  std::vector<std::string> FSources;
  int FConnectError = 0;
  bool FTimedOut = false;
  bool FOpened = false;
  bool FEnded = false;
  uint8_t FSilence = 0;
};

}  // namespace

std::unique_ptr<TWaveIn> CreatePulseWaveIn() { return std::make_unique<TPulseWaveIn>(); }

}  // namespace platform
