// qsr-record: records the screen, the sound and files into a video file
// without the window, for scripts, servers and tests. One task of the
// encoder component; a progress line on standard error about once
// a second; ends at --duration, on SIGINT or SIGTERM, always with a finished
// file. SIGUSR1 pauses the recording and the next SIGUSR1 resumes it; the
// paused time is left out of picture and sound. Exit status: 0 when the
// task ended without an error, 1 when it failed, 2 for bad arguments.
#include <csignal>
#include <cstdio>
#include <string>
#include <vector>

#include "RecordArgs.h"
#include "capture/CaptureDevices.h"
#include "capture/WavePauseFlags.h"
#include "encoder/FFEncode.h"
#include "media/FFLoad.h"
#include "media/FFLog.h"

namespace {

volatile std::sig_atomic_t gSignal = 0;
volatile std::sig_atomic_t gPauseToggles = 0;

void OnSignal(int ASignal) { gSignal = ASignal; }
void OnPauseSignal(int) { gPauseToggles = gPauseToggles + 1; }

void InstallSignals() {
  struct sigaction sa {};
  sa.sa_handler = OnSignal;
  sigemptyset(&sa.sa_mask);
  sigaction(SIGINT, &sa, nullptr);
  sigaction(SIGTERM, &sa, nullptr);
  sa.sa_handler = OnPauseSignal;
  sigaction(SIGUSR1, &sa, nullptr);
}

int Fail(const std::string& AMessage) {
  std::fprintf(stderr, "qsr-record: %s\n", AMessage.c_str());
  return 1;
}

// The output's option lines ("name=value", one a line).
std::string OutputOptions(const qsrrecord::TRecordArgs& AArgs) {
  std::string text;
  auto add = [&](const std::string& AName, const std::string& AValue) { text += AName + "=" + AValue + "\n"; };
  if (!AArgs.vcodec.empty()) add("vcodec", AArgs.vcodec);
  if (!AArgs.acodec.empty()) add("acodec", AArgs.acodec);
  if (AArgs.vbitrate > 0) add("b", std::to_string(AArgs.vbitrate));
  if (AArgs.abitrate > 0) add("ab", std::to_string(AArgs.abitrate));
  if (!AArgs.filters.empty()) add("vf", AArgs.filters);
  if (AArgs.duration > 0) add("t", std::to_string(AArgs.duration));
  bool preset = false;
  for (const auto& [name, value] : AArgs.options) {
    add(name, value);
    preset = preset || name == "vpre";
  }
  // As the main window does: libx264 gets the libx264-default preset unless
  // another is asked for.
  if (AArgs.vcodec == "libx264" && !preset) add("vpre", "libx264-default");
  return text;
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
        // Errors; the fatal one (quiet level) comes with the final line.
        if (ALevel > media::llQuiet && ALevel <= media::llError) std::fprintf(stderr, "qsr-record: %s\n", AMsg.c_str());
      });
  capture::RegisterScreenCapture();
  capture::RegisterWaveCapture();

  // The sound device drops what it captures while this flag is set.
  capture::TWavePauseFlag wavePause{0};
  capture::TWavePauseFlagRegistration wavePauseRegistration(&wavePause);
  if (!args.audio.empty() && args.audio.find("pause_pointer") == std::string::npos)
    args.audio += ";pause_pointer=" + std::to_string(capture::WavePauseFlagAddress(&wavePause));

  // One task: the inputs in order, then the output.
  encoder::TFFEncoder enc;
  int32_t task = -1;
  auto addInput = [&](const std::string& AName, const std::string& AOptions) {
    if (task < 0) {
      task = enc.AddTask(AName, AOptions);
      return task >= 0;
    }
    return enc.AddInputFile(task, AName, AOptions);
  };
  if (!args.screen.empty() && !addInput(args.screen, "f=screencapture")) return Fail("screen: " + enc.LastErrMsg());
  if (!args.audio.empty() && !addInput(args.audio, "f=wavecapture")) return Fail("audio: " + enc.LastErrMsg());
  for (const std::string& in : args.inputs)
    if (!addInput(in, "")) return Fail(enc.LastErrMsg());
  if (!enc.SetOutputFile(task, args.output, OutputOptions(args))) return Fail(enc.LastErrMsg());

  // Events come on the conversion thread (there is no UI thread here).
  // About once a second: elapsed time, frames, fps, size, dup and drop.
  enc.SetTriggerEventInMainThread(false);
  const int64_t started = ff::av_gettime_relative();
  int64_t lastLine = started;
  int32_t frames = 0, dup = 0, drop = 0;
  enc.OnProgress = [&](void*, encoder::TProgressInfo* AInfo) {
    if (AInfo->FrameNumber > 0) frames = AInfo->FrameNumber;
    if (const engine::TCustomFFmpeg* t = enc.Task(AInfo->TaskIndex)) {
      dup = t->Fnb_frames_dup;
      drop = t->Fnb_frames_drop;
    }
    const int64_t now = ff::av_gettime_relative();
    if (now - lastLine < 1000000) return;
    lastLine = now;
    std::fprintf(stderr, "time=%.1fs frames=%d fps=%d size=%lldkB dup=%d drop=%d\n",
                 static_cast<double>(now - started) / 1000000.0, frames, AInfo->FPS < 0 ? 0 : AInfo->FPS,
                 static_cast<long long>(AInfo->CurrentSize / 1024), dup, drop);
  };
  encoder::TTerminateInfo info;
  platform::TEvent ended(false);
  enc.OnTerminate = [&](void*, const encoder::TTerminateInfo& AInfo) {
    if (AInfo.TaskIndex >= 0)
      info = AInfo;
    else
      ended.Set();
  };
  enc.Start(1);
  bool stopping = false;
  std::sig_atomic_t pauseToggles = 0;
  while (!ended.Wait(20)) {
    while (pauseToggles != gPauseToggles && !stopping) {
      ++pauseToggles;
      if (!enc.Paused()) {
        enc.Pause();
        wavePause = 1;
        std::fprintf(stderr, "qsr-record: paused\n");
      } else {
        wavePause = 0;
        enc.Resume();
        std::fprintf(stderr, "qsr-record: resumed\n");
      }
    }
    if (gSignal && !stopping) {
      stopping = true;
      std::fprintf(stderr, "qsr-record: stopping (signal %d)\n", static_cast<int>(gSignal));
      enc.Stop(false);
    }
  }

  // The task's termination information.
  const double seconds = static_cast<double>(ff::av_gettime_relative() - started) / 1000000.0;
  std::fprintf(stderr, "qsr-record: %s after %.1fs: frames=%d dup=%d drop=%d%s%s\n",
               info.Exception ? "failed" : info.Finished ? "finished" : "stopped", seconds, frames, dup, drop,
               info.Exception ? ": " : "", info.Exception ? info.ExceptionMsg.c_str() : "");
  media::GetFFLogger().SetOnLog(nullptr);
  return info.Exception ? 1 : 0;
}
