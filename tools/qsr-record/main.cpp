// qsr-record: records the screen (and files, and sound once its device
// exists) into a video file without the window, for scripts, servers and
// tests. One conversion task; a progress line on standard error about once
// a second; ends at --duration, on SIGINT or SIGTERM, always with a finished
// file. Exit status: 0 when the task ended without an error, 1 when it
// failed, 2 for bad arguments.
#include <csignal>
#include <cstdio>
#include <string>
#include <vector>

#include "RecordArgs.h"
#include "capture/CaptureDevices.h"
#include "engine/FFmpeg.h"
#include "media/FFLoad.h"
#include "media/FFLog.h"

namespace {

volatile std::sig_atomic_t gSignal = 0;

void OnSignal(int ASignal) { gSignal = ASignal; }

void InstallSignals() {
  struct sigaction sa {};
  sa.sa_handler = OnSignal;
  sigemptyset(&sa.sa_mask);
  sigaction(SIGINT, &sa, nullptr);
  sigaction(SIGTERM, &sa, nullptr);
}

int Fail(const std::string& AMessage) {
  std::fprintf(stderr, "qsr-record: %s\n", AMessage.c_str());
  return 1;
}

// Opens a capture device input of the engine with its option string.
bool OpenDevice(engine::TCustomFFmpeg& AEngine, const char* ADevice, const std::string& AOptions) {
  AEngine.SetExtOption("f", ADevice);
  return AEngine.OpenInput(AOptions);
}

}  // namespace

int main(int argc, char** argv) {
  qsrrecord::TRecordArgs args;
  std::string error;
  if (!qsrrecord::ParseRecordArgs(std::vector<std::string>(argv + 1, argv + argc), args, error)) {
    if (argc < 2)
      std::fprintf(stderr, "%s\n", qsrrecord::RecordUsage());
    else
      std::fprintf(stderr, "qsr-record: %s\n", error.c_str());
    return 2;
  }
  InstallSignals();
  if (!media::FFLoader().Load(media::kEncoderLibraries)) return Fail(media::FFLoader().LastErrMsg());
  media::GetFFLogger().SetOnLog(
      [](void*, platform::ThreadId, media::TLogLevel ALevel, const std::string& AMsg) {
        if (ALevel <= media::llError) std::fprintf(stderr, "qsr-record: %s\n", AMsg.c_str());
      });
  capture::RegisterScreenCapture();
  capture::RegisterWaveCapture();

  engine::TCustomFFmpeg e(8);
  try {
    if (!args.screen.empty() && !OpenDevice(e, "screencapture", args.screen))
      return Fail("screen: " + e.LastErrMsg());
    if (!args.audio.empty() && !OpenDevice(e, "wavecapture", args.audio))
      return Fail("audio: " + e.LastErrMsg());
    for (const std::string& in : args.inputs)
      if (!e.OpenInput(in)) return Fail(e.LastErrMsg());
    // Output settings, then the output file with its streams.
    if (!args.vcodec.empty()) e.SetExtOption("vcodec", args.vcodec);
    if (!args.acodec.empty()) e.SetExtOption("acodec", args.acodec);
    if (args.vbitrate > 0) e.SetExtOption("b", std::to_string(args.vbitrate));
    if (args.abitrate > 0) e.SetExtOption("ab", std::to_string(args.abitrate));
    if (!args.filters.empty()) e.SetExtOption("vf", args.filters);
    if (args.duration > 0) e.SetExtOption("t", std::to_string(args.duration));
    for (const auto& [name, value] : args.options) e.SetExtOption(name, value);
    if (e.OpenOutput(args.output, false) < 0) return Fail(e.LastErrMsg());
  } catch (const std::exception& ex) {
    return Fail(ex.what());
  }

  // About once a second: elapsed time, frames, fps, size, dup and drop.
  const int64_t started = ff::av_gettime_relative();
  int64_t lastLine = started;
  int32_t frames = 0;
  e.ReportInterval = 250000;
  e.SetOnProgress([&](void*, int32_t, int32_t AFrames, int32_t AFps, float, float, int64_t ASize, int64_t,
                      int64_t) {
    if (AFrames > 0) frames = AFrames;
    const int64_t now = ff::av_gettime_relative();
    if (now - lastLine < 1000000) return;
    lastLine = now;
    std::fprintf(stderr, "time=%.1fs frames=%d fps=%d size=%lldkB dup=%d drop=%d\n",
                 static_cast<double>(now - started) / 1000000.0, AFrames < 0 ? 0 : AFrames, AFps < 0 ? 0 : AFps,
                 static_cast<long long>(ASize / 1024), e.Fnb_frames_dup, e.Fnb_frames_drop);
  });
  platform::TEvent ended(false);
  e.SetOnTerminate([&](void*) { ended.Set(); });
  engine::TConvertThread* thread = e.StartConvert(true);
  if (!thread) return Fail(e.FatalMessage().empty() ? "the task did not start" : e.FatalMessage());
  thread->Resume();
  bool stopping = false;
  while (!ended.Wait(100)) {
    if (gSignal && !stopping) {
      stopping = true;
      std::fprintf(stderr, "qsr-record: stopping (signal %d)\n", static_cast<int>(gSignal));
      e.Stop(false);
    }
  }
  e.Stop(true);

  // The task's termination information.
  const double seconds = static_cast<double>(ff::av_gettime_relative() - started) / 1000000.0;
  std::fprintf(stderr, "qsr-record: %s after %.1fs: frames=%d dup=%d drop=%d video=%lldkB audio=%lldkB%s%s\n",
               e.FatalException() ? "failed" : e.Finished() ? "finished" : "stopped", seconds,
               frames, e.Fnb_frames_dup, e.Fnb_frames_drop,
               static_cast<long long>(e.Fvideo_size / 1024), static_cast<long long>(e.Faudio_size / 1024),
               e.FatalException() ? ": " : "", e.FatalException() ? e.FatalMessage().c_str() : "");
  media::GetFFLogger().SetOnLog(nullptr);
  return e.FatalException() ? 1 : 0;
}
