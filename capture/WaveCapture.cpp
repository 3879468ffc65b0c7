// read_header, read_packet and read_close of "wavecapture", the callback of
// the wave-in device, and the device's registration.
#include "capture/WaveCapture.h"

#include <chrono>
#include <cstring>
#include <new>

#include "capture/CaptureOptions.h"
#include "media/FFBindings.h"

namespace capture {

void PacketFree::operator()(AVPacket* p) const { ff::av_packet_free(&p); }

namespace {

constexpr auto kReadWait = std::chrono::milliseconds(1000);

Twavein_grab& Grab(AVFormatContext* s) { return *static_cast<Twavein_grab*>(s->priv_data); }

void LogWaveError(AVFormatContext* s, Twavein_grab& g, int ACode) {
  DeviceLog(s, AV_LOG_ERROR, "%s\n", g.wave->ErrorText(ACode).c_str());
}

// Wakes a waiting reader: the queue or the stopped flag changed.
void SignalReady(Twavein_grab& g) {
  {
    std::lock_guard l(g.lock);
    g.packet_ready = true;
  }
  g.packet_ready_cv.notify_all();
}

// Hands buffer `current` to the device; the buffers alternate.
bool QueueBuffer(Twavein_grab& g) {
  AVFormatContext* s = g.log_context.load();
  if (!g.wave_open) {
    DeviceLog(s, AV_LOG_DEBUG, "WaveHandle is invalid.\n");
    return false;
  }
  const int32_t i = g.current.load();
  if (const int r = g.wave->AddBuffer(&g.headers[i])) {
    LogWaveError(s, g, r);
    g.stopped = 1;
    SignalReady(g);
    return false;
  }
  g.current = 1 - i;
  return true;
}

// Releases the device, the buffers and the queue. Safe to repeat.
void CloseDevice(Twavein_grab& g) {
  g.log_context = nullptr;
  g.stopped = 1;  // the callback ignores everything from here on
  if (g.wave) {
    if (g.wave_open) {
      g.wave->Reset();  // hands back both buffers, which the callback ignores
      g.wave->Close();
      g.wave_open = false;
    }
    g.wave.reset();  // ends the backend's thread
  }
  for (auto& b : g.buffers) std::vector<uint8_t>().swap(b);
  g.headers = {};
  std::lock_guard l(g.lock);
  g.packets.clear();
  g.packet_ready = false;
}

// Opens the wave-in device and starts it with both buffers queued.
bool OpenAndStart(AVFormatContext* s, Twavein_grab& g) {
  if (g.wave->NumDevs() <= 0) {
    DeviceLog(s, AV_LOG_ERROR, "No wave audio recording devices found.\n");
    return false;
  }
  g.format.SampleRate = g.sample_rate;
  g.format.Channels = g.channels;
  g.format.Bits = g.bits;
  const int align = g.format.BlockAlign();
  const int32_t size = g.buffer_size > 0 ? g.buffer_size - g.buffer_size % align : 0;
  try {
    if (size <= 0) throw std::bad_alloc();
    for (size_t i = 0; i < 2; ++i) {
      g.buffers[i].assign(static_cast<size_t>(size), 0);
      g.headers[i] = platform::TWaveBuffer{g.buffers[i].data(), static_cast<size_t>(size), 0};
    }
  } catch (const std::bad_alloc&) {
    DeviceLog(s, AV_LOG_ERROR, "Error allocating wave buffer memory.\n");
    return false;
  }
  g.frame_size = size / align;

  if (const int r = g.wave->QueryFormat(g.device, g.format)) {
    LogWaveError(s, g, r);
    return false;
  }
  if (const int r = g.wave->Open(g.device, g.format, static_cast<size_t>(size), &g)) {
    LogWaveError(s, g, r);
    return false;
  }
  g.wave_open = true;
  g.current = 0;
  if (!QueueBuffer(g)) return false;
  if (const int r = g.wave->Start()) {
    LogWaveError(s, g, r);
    return false;
  }
  return QueueBuffer(g);
}

int ReadHeader(AVFormatContext* s, const TFormatParameters* ap) {
  return WaveCaptureReadHeader(s, ap, platform::CreatePulseWaveIn());
}

const TCaptureDevice kWaveCapture{
    "wavecapture",           "Wave capture using waveIn functions",
    &MakePrivData<Twavein_grab>, &ReadHeader,
    &WaveCaptureReadPacket,  &WaveCaptureReadClose,
    &WaveCaptureReadPause,   &WaveCaptureReadPlay,
};

}  // namespace

Twavein_grab::~Twavein_grab() { CloseDevice(*this); }

void Twavein_grab::WaveInProc(platform::TWaveInMsg AMsg, platform::TWaveBuffer* ABuffer) {
  if (stopped) return;
  AVFormatContext* s = log_context.load();
  switch (AMsg) {
    case platform::TWaveInMsg::Opened:
      DeviceLog(s, AV_LOG_INFO, "waveIn device opened.\n");
      return;
    case platform::TWaveInMsg::Closed:
      DeviceLog(s, AV_LOG_INFO, "waveIn device closed.\n");
      // Not asked for (read_close sets stopped first): the server went away
      // or dropped the stream. The picture goes on; say that the sound ends.
      DeviceLog(s, AV_LOG_ERROR, "The sound server ended the recording stream; the recording goes on without sound.\n");
      wave_open = false;
      stopped = 1;
      SignalReady(*this);
      return;
    case platform::TWaveInMsg::Data:
      break;
  }
  const size_t n = ABuffer ? ABuffer->Recorded : 0;
  const int align = format.BlockAlign();
  const int64_t frames = align > 0 ? static_cast<int64_t>(n) / align : 0;
  if (frames == 0) {
    QueueBuffer(*this);
    return;
  }
  const int64_t index0 = timeline->Captured(clock->Now(), frames);
  if (!started) {
    // Held until the first read: the recording's zero may lie before it
    // (the picture started first), and then this sound belongs to it.
    try {
      early.push_back({index0, frames, std::vector<uint8_t>(ABuffer->Data, ABuffer->Data + frames * align)});
      early_bytes += static_cast<size_t>(frames * align);
    } catch (const std::bad_alloc&) {
      DeviceLog(s, AV_LOG_DEBUG, "not started, skip wave data %d bytes\n", static_cast<int>(n));
    }
    while (early_bytes > static_cast<size_t>(kEarlySeconds * sample_rate * align)) {
      DeviceLog(s, AV_LOG_DEBUG, "not started, skip wave data %d bytes\n", static_cast<int>(early.front().data.size()));
      early_bytes -= early.front().data.size();
      early.pop_front();
    }
    QueueBuffer(*this);
    return;
  }
  // The held sound goes first, cut at the recording's zero.
  std::deque<TEarlyBuffer> held;
  held.swap(early);
  early_bytes = 0;
  std::vector<std::pair<const uint8_t*, std::vector<TWavePiece>>> runs;
  for (const TEarlyBuffer& e : held) runs.emplace_back(e.data.data(), timeline->Place(e.index0, e.frames));
  // The caller's pause flag drops whole buffers; while the engine holds
  // reading the timeline cuts the paused time out at the sample instead.
  const bool flagged = pause_flag && pause_flag->load() != 0 && !timeline->Paused();
  runs.emplace_back(ABuffer->Data, timeline->Place(index0, frames, flagged));
  bool failed = false;
  {
    std::lock_guard l(lock);
    for (const auto& [data, pieces] : runs) {
      for (const TWavePiece& p : pieces) {
        TPacketPtr pkt(ff::av_packet_alloc());
        if (!pkt) {
          DeviceLog(s, AV_LOG_ERROR, "av_mallocz() error\n");
          failed = true;
          break;
        }
        if (ff::av_new_packet(pkt.get(), static_cast<int>((p.Count + p.Slip) * align)) < 0) {
          DeviceLog(s, AV_LOG_ERROR, "av_new_packet() error\n");
          failed = true;
          break;
        }
        CopyWithSlip(data + p.First * align, p.Count, align, p.Slip, pkt->data);
        if (p.Stamp >= 0) {
          pkt->pts = ff::av_rescale(p.Stamp, 1000000, sample_rate);
          DeviceLog(s, AV_LOG_VERBOSE, "sound captured from %lld us on\n", static_cast<long long>(pkt->pts));
        }
        packets.push_back(std::move(pkt));
      }
      if (failed) break;
    }
    if (failed) stopped = 1;
    packet_ready = true;
  }
  packet_ready_cv.notify_all();
  if (!failed) QueueBuffer(*this);  // after a failure capture has stopped
}

int WaveCaptureReadHeader(AVFormatContext* s, const TFormatParameters* ap, std::unique_ptr<platform::TWaveIn> AWaveIn,
                          TPaceClock& AClock) {
  Twavein_grab& g = Grab(s);
  g.log_context = s;
  g.wave = std::move(AWaveIn);
  g.clock = &AClock;
  if (ap) g.recording_start = ap->recording_start;

  TWaveCaptureOptions o;
  ParseWaveCaptureOptions(s->url ? s->url : "", o);
  g.device = o.device;
  g.sample_rate = o.sample_rate;
  g.channels = o.channels;
  g.bits = o.bits;
  g.buffer_size = o.buffer_size;
  g.pause_flag = FindWavePauseFlag(o.pause_pointer);
  if (o.pause_pointer != 0 && !g.pause_flag)
    DeviceLog(s, AV_LOG_WARNING, "Pause pointer %lld is not a registered pause flag, ignored\n",
              static_cast<long long>(o.pause_pointer));

  if (g.sample_rate <= 0) {
    DeviceLog(s, AV_LOG_ERROR, "Bad sample rate %d\n", g.sample_rate);
    return AVERROR(EIO);
  }
  if (g.channels != 1 && g.channels != 2) {
    DeviceLog(s, AV_LOG_ERROR, "Bad channels number %d\n", g.channels);
    return AVERROR(EIO);
  }
  if (g.bits == 8) {
    g.sample_fmt = AV_SAMPLE_FMT_U8;
    g.codec_id = AV_CODEC_ID_PCM_U8;
  } else if (g.bits == 16) {
    g.sample_fmt = AV_SAMPLE_FMT_S16;
    g.codec_id = AV_CODEC_ID_PCM_S16LE;
  } else {
    DeviceLog(s, AV_LOG_ERROR, "Bad sample format %d\n", g.bits);
    return AVERROR(EIO);
  }
  g.timeline = std::make_unique<TWaveTimeline>(g.sample_rate);
  if (!g.wave || !OpenAndStart(s, g)) {
    CloseDevice(g);
    return AVERROR(EIO);
  }

  AVStream* st = ff::avformat_new_stream(s, nullptr);
  if (!st) {
    DeviceLog(s, AV_LOG_ERROR, "Cannot add stream.\n");
    CloseDevice(g);
    return AVERROR(ENOMEM);
  }
  st->id = 0;
  AVCodecParameters* par = st->codecpar;
  par->codec_type = AVMEDIA_TYPE_AUDIO;
  par->codec_id = g.codec_id;
  ff::av_channel_layout_default(&par->ch_layout, g.channels);
  par->sample_rate = g.sample_rate;
  par->block_align = g.format.BlockAlign();
  par->format = g.sample_fmt;
  par->bit_rate = static_cast<int64_t>(g.sample_rate) * g.channels * g.bits;
  // One full buffer per packet: the frame size is the buffer's sample frames.
  par->frame_size = g.frame_size;
  par->bits_per_coded_sample = g.bits;

  st->pts_wrap_bits = 64;
  st->time_base = AVRational{1, 1000000};
  st->start_time = 0;
  s->flags |= AVFMT_FLAG_NOPARSE;
  s->probesize = 0;
  DeviceLog(s, AV_LOG_INFO, "ready for recording...\n");
  return 0;
}

int WaveCaptureReadPacket(AVFormatContext* s, AVPacket* pkt) {
  Twavein_grab& g = Grab(s);
  if (!g.started) {
    // Sound counts from the recording's time zero: the picture's first
    // frame when the screen was read first.
    const int64_t now = g.clock->Now();
    g.timeline->Start(g.recording_start ? g.recording_start->Claim(now) : now);
    g.started = 1;  // from now on the callback queues data
  }
  std::unique_lock l(g.lock);
  for (;;) {
    if (!g.packets.empty()) {
      // Packets captured before capture stopped are still delivered.
      TPacketPtr head = std::move(g.packets.front());
      g.packets.pop_front();
      g.packet_ready = false;
      l.unlock();
      ff::av_packet_move_ref(pkt, head.get());
      pkt->stream_index = 0;
      return pkt->size;
    }
    if (g.stopped) return AVERROR_EOF;
    g.packet_ready = false;
    if (s->flags & AVFMT_FLAG_NONBLOCK) {
      l.unlock();
      DeviceLog(s, AV_LOG_DEBUG, "non-block, need read again\n");
      return AVERROR(EAGAIN);
    }
    if (!g.packet_ready_cv.wait_for(l, kReadWait, [&g] { return g.packet_ready; })) {
      l.unlock();
      DeviceLog(s, AV_LOG_DEBUG, "wait timeout, need read again\n");
      return AVERROR(EAGAIN);
    }
  }
}

int WaveCaptureReadPause(AVFormatContext* s) {
  Twavein_grab& g = Grab(s);
  if (g.timeline) g.timeline->Pause(g.clock->Now());
  return 0;
}

int WaveCaptureReadPlay(AVFormatContext* s) {
  Twavein_grab& g = Grab(s);
  if (g.timeline) g.timeline->Resume(g.clock->Now());
  return 0;
}

int WaveCaptureReadClose(AVFormatContext* s) {
  CloseDevice(Grab(s));
  return 0;
}

const TCaptureDevice& WaveCaptureDevice() { return kWaveCapture; }

void RegisterWaveCapture() { RegisterInputFormat(kWaveCapture); }

}  // namespace capture
