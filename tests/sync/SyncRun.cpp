#include "SyncRun.h"

#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <thread>

namespace synctest {
namespace {

using TClock = std::chrono::steady_clock;

TClock::time_point After(TClock::time_point AStart, double ASeconds) {
  return AStart + std::chrono::duration_cast<TClock::duration>(std::chrono::duration<double>(ASeconds));
}

// A child process; killed and reaped by the destructor if still running.
class TChild {
 public:
  TChild(const std::vector<std::string>& AArgs, const std::string& AStderr, const std::string& AStdout = "/dev/null") {
    std::vector<std::string> copy = AArgs;
    std::vector<char*> argv;
    for (auto& a : copy) argv.push_back(a.data());
    argv.push_back(nullptr);
    FPid = fork();
    if (FPid == 0) {
      if (!AStderr.empty() && !std::freopen(AStderr.c_str(), "w", stderr)) _exit(126);
      if (!std::freopen(AStdout.c_str(), "w", stdout)) _exit(126);
      execv(argv[0], argv.data());
      _exit(127);
    }
  }
  ~TChild() {
    if (FPid > 0 && !FReaped) {
      kill(FPid, SIGKILL);
      Wait();
    }
  }
  TChild(const TChild&) = delete;
  TChild& operator=(const TChild&) = delete;
  void Signal(int ASignal) const {
    if (FPid > 0 && !FReaped) kill(FPid, ASignal);
  }
  // Exit status, or -1 when it did not exit normally.
  int Wait() {
    if (FPid <= 0) return -1;
    if (!FReaped) {
      waitpid(FPid, &FStatus, 0);
      FReaped = true;
    }
    return WIFEXITED(FStatus) ? WEXITSTATUS(FStatus) : -1;
  }

 private:
  pid_t FPid = -1;
  int FStatus = 0;
  bool FReaped = false;
};

std::string ReadFile(const std::string& APath) {
  std::ifstream in(APath);
  std::stringstream s;
  s << in.rdbuf();
  return s.str();
}

std::string Milliseconds(const std::vector<double>& ATimes) {
  std::string text;
  for (double t : ATimes) {
    text += ' ';
    text += std::to_string(static_cast<long long>(t * 1000));
  }
  return text;
}

}  // namespace

TSyncResult RecordSyncRun(const TSyncRun& ARun, const std::string& AName) {
  // The source plays silence from the start, so the sink is running; the
  // recorder starts half a second later and the first flash comes two
  // seconds after that, once the recording has surely begun.
  constexpr double kLead = 0.5, kFirstFlash = 2.5;
  const std::string base =
      (std::filesystem::temp_directory_path() / (std::to_string(getpid()) + "-sync-" + AName)).string();
  const std::string out = base + ARun.extension, log = base + ".log", painted = base + ".flashes";
  const TClock::time_point start = TClock::now();
  TChild source({ARun.source_bin, "--area", "0,0," + std::to_string(ARun.width) + "," + std::to_string(ARun.height),
                 "--delay", std::to_string(kFirstFlash), "--period", std::to_string(ARun.period), "--flashes",
                 std::to_string(ARun.flashes)},
                "", painted);
  std::this_thread::sleep_until(After(start, kLead));
  double paused = 0;
  for (size_t i = 0; i + 1 < ARun.pauses.size(); i += 2) paused += ARun.pauses[i + 1] - ARun.pauses[i];
  const double seconds = kFirstFlash - kLead + (ARun.flashes - 1) * ARun.period + 0.6 - paused;
  TChild recorder({ARun.record_bin, "--screen",
                   "offset=0,0;framesize=" + std::to_string(ARun.width) + "," + std::to_string(ARun.height) +
                       ";framerate=" + std::to_string(ARun.framerate) + "/1",
                   "--audio", "r=44100;c=2;f=16", "--output", out, "--duration", std::to_string(seconds),
                   "--vcodec", ARun.vcodec, "--vbitrate", "4000000", "--acodec", ARun.acodec},
                  log);
  for (double at : ARun.pauses) {
    std::this_thread::sleep_until(After(start, kFirstFlash + at));
    recorder.Signal(SIGUSR1);
  }
  TSyncResult r;
  r.source_status = source.Wait();
  r.record_status = recorder.Wait();
  r.log = ReadFile(log);
  r.events = FindSyncEvents(out);
  // The source's lines "flash K SECONDS": when flash K was on the screen.
  std::istringstream lines(ReadFile(painted));
  std::string word;
  int k = 0;
  double at = 0;
  while (lines >> word >> k >> at)
    if (word == "flash" && k == static_cast<int>(r.flash_late.size()))
      r.flash_late.push_back(at - (kFirstFlash + k * ARun.period));
  std::filesystem::remove(out);
  std::filesystem::remove(log);
  std::filesystem::remove(painted);
  r.pairs = PairEvents(r.events.flashes, r.events.clicks, ARun.period / 2);
  // With every flash found, the k-th found is the source's k-th.
  const bool matched = r.events.flashes.size() == r.flash_late.size();
  for (size_t i = 0; i < r.pairs.offsets.size(); ++i)
    r.recorder_offsets.push_back(r.pairs.offsets[i] + (matched ? r.flash_late[r.pairs.flash_index[i]] : 0.0));
  return r;
}

std::string DescribeSyncResult(const std::string& AName, const TSyncResult& AResult) {
  const TSyncEvents& e = AResult.events;
  char line[512];
  std::snprintf(line, sizeof line,
                "[sync] %s: %d pictures of %.1f ms, %.2f s of sound (peak %.2f), %zu flashes, %zu clicks, "
                "%zu pairs, largest offset %.1f ms\n",
                AName.c_str(), e.frames, e.frame_duration * 1000, e.audio_seconds, e.peak, e.flashes.size(),
                e.clicks.size(), AResult.pairs.offsets.size(), AResult.pairs.largest * 1000);
  std::string text = line;
  text += "[sync] " + AName + ": click - flash, ms:" + Milliseconds(AResult.pairs.offsets) + "\n";
  text += "[sync] " + AName + ": flashes shown late by the source, ms:" + Milliseconds(AResult.flash_late) +
          "; so the recorder's offsets, ms:" + Milliseconds(AResult.recorder_offsets) + "\n";
  text += "[sync] " + AName + ": flashes at ms:" + Milliseconds(e.flashes) + "; clicks at ms:" +
          Milliseconds(e.clicks) + "\n";
  const size_t last = AResult.log.rfind("qsr-record: ");
  if (last != std::string::npos) text += "[sync] " + AResult.log.substr(last);
  return text;
}

}  // namespace synctest
