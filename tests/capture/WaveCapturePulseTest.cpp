// The audio capture device against a private PulseAudio server with a null
// sink (PULSE_SERVER, as ./test.sh starts it): a tone played into the sink
// is recorded from its monitor, pauses drop their time, a suspended sink
// makes the reader ask again, and failures give their messages.
#include <gtest/gtest.h>
#include <pulse/error.h>
#include <pulse/simple.h>
#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <functional>
#include <memory>
#include <thread>
#include <vector>

#include "CaptureTestSupport.h"
#include "PulseTone.h"
#include "capture/CaptureInput.h"
#include "capture/WaveCapture.h"
#include "media/FFBindings.h"

using namespace capture;
using Clock = std::chrono::steady_clock;

namespace {

constexpr char kSink[] = "qsr_null";

using pulsetest::TTone;

// A PulseAudio server of the test's own, which the test can kill.
class TOwnServer {
 public:
  TOwnServer() {
    char dir[] = "/tmp/qsr-pulse-XXXXXX";
    if (!mkdtemp(dir)) return;
    FDir = dir;
    const std::string socket = FDir + "/native";
    const std::string home = "HOME=" + FDir, runtime = "XDG_RUNTIME_DIR=" + FDir;
    const std::string sink = "module-null-sink sink_name=qsr_own";
    const std::string proto = "module-native-protocol-unix socket=" + socket + " auth-anonymous=1";
    const char* argv[] = {"pulseaudio", "-n", "--daemonize=no", "--exit-idle-time=-1", "--disallow-exit",
                          "--use-pid-file=no", "-L", sink.c_str(), "-L", proto.c_str(), nullptr};
    const char* envp[] = {home.c_str(), runtime.c_str(), "PATH=/usr/bin:/bin", nullptr};
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
    if (posix_spawnp(&FPid, "pulseaudio", &actions, nullptr, const_cast<char* const*>(argv),
                     const_cast<char* const*>(envp)) != 0)
      FPid = 0;
    posix_spawn_file_actions_destroy(&actions);
    for (int i = 0; i < 100 && FPid && !std::filesystem::exists(socket); ++i)
      std::this_thread::sleep_for(std::chrono::milliseconds(50));
    if (FPid && std::filesystem::exists(socket)) Server = "unix:" + socket;
  }
  ~TOwnServer() {
    Kill();
    if (!FDir.empty()) std::filesystem::remove_all(FDir);
  }
  void Kill() {
    if (FPid <= 0) return;
    kill(FPid, SIGKILL);
    waitpid(FPid, nullptr, 0);
    FPid = 0;
  }
  std::string Server;  // empty when the server did not start

 private:
  std::string FDir;
  pid_t FPid = 0;
};

struct PacketDel {
  void operator()(AVPacket* p) const { ff::av_packet_free(&p); }
};

struct WavePulse : ::testing::Test {
  static void SetUpTestSuite() {
    test::LoadMediaLibraries();
    RegisterWaveCapture();
  }
  void SetUp() override {
    if (!std::getenv("PULSE_SERVER")) GTEST_SKIP() << "no private PulseAudio server (PULSE_SERVER)";
    log = std::make_unique<test::TLogLines>();
    pkt.reset(ff::av_packet_alloc());
  }
  int Open(const std::string& AOptions) { return in.Open("wavecapture", AOptions); }
  // Reads for AFor of wall time from the first packet; returns the samples
  // of channel 0 (16-bit) of every packet. AAt runs on a thread of its own
  // with the time since the first packet, every 10 ms.
  std::vector<int16_t> ReadFor(Clock::duration AFor, const std::function<void(Clock::duration)>& AAt = {}) {
    std::vector<int16_t> samples;
    std::atomic<bool> done{false};
    std::atomic<Clock::rep> first{0};
    std::thread ui;
    if (AAt)
      ui = std::thread([&] {
        while (!done) {
          if (const auto f = first.load()) AAt(Clock::now() - Clock::time_point(Clock::duration(f)));
          std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
      });
    for (;;) {
      const auto f = first.load();
      if (f && Clock::now() - Clock::time_point(Clock::duration(f)) >= AFor) break;
      const int r = in.ReadPacket(pkt.get());
      if (r == AVERROR(EAGAIN)) continue;
      if (r < 0) {
        ADD_FAILURE() << "read failed: " << ff::err2str(r);
        break;
      }
      if (!f) first = Clock::now().time_since_epoch().count();
      const auto* p = reinterpret_cast<const int16_t*>(pkt->data);
      for (int i = 0; i + 1 < r / 2; i += 2) samples.push_back(p[i]);
    }
    done = true;
    if (ui.joinable()) ui.join();
    return samples;
  }

  std::unique_ptr<test::TLogLines> log;
  std::unique_ptr<AVPacket, PacketDel> pkt;
  TDeviceInput in;
};

TEST_F(WavePulse, APlayedToneIsRecordedWithSignal) {
  TTone tone;
  ASSERT_EQ(Open(""), 0) << in.LastErrMsg();
  EXPECT_TRUE(log->Has("waveIn device opened."));
  const auto samples = ReadFor(std::chrono::milliseconds(2000));
  ASSERT_GT(samples.size(), 44100u);
  // The loudest 100 ms: the tone reaches the sink a moment after it starts.
  double loudest = 0;
  for (size_t from = 0; from + 4410 <= samples.size(); from += 4410) {
    double sum = 0;
    for (size_t i = from; i < from + 4410; ++i) sum += double(samples[i]) * samples[i];
    loudest = std::max(loudest, std::sqrt(sum / 4410));
  }
  EXPECT_GT(loudest, 5000) << "the monitor of the sink should carry the tone (amplitude 12000)";
  in.Close();
  EXPECT_FALSE(log->Has("waveIn device closed."));  // our own close is silent
}

TEST_F(WavePulse, AHalfSecondPauseGivesHalfASecondLessSound) {
  TWavePauseFlag flag{0};
  TWavePauseFlagRegistration reg(&flag);
  ASSERT_EQ(Open("pause_pointer=" + std::to_string(WavePauseFlagAddress(&flag))), 0) << in.LastErrMsg();
  using std::chrono::milliseconds;
  const auto samples = ReadFor(milliseconds(2500), [&flag](Clock::duration t) {
    flag = t >= milliseconds(1000) && t < milliseconds(1500) ? 1 : 0;
  });
  const double seconds = samples.size() / 44100.0;
  EXPECT_NEAR(seconds, 2.0, 0.1) << "2.5 s read, 0.5 s of it paused";
}

TEST_F(WavePulse, ASuspendedSinkMakesTheReaderAskAgainAfterOneSecond) {
  ASSERT_EQ(Open("r=22050;c=1;f=8;bufsize=2205"), 0) << in.LastErrMsg();
  ASSERT_EQ(in.ReadPacket(pkt.get()), 2205);  // 8-bit mono works as well
  ASSERT_EQ(std::system((std::string("pactl suspend-sink ") + kSink + " 1").c_str()), 0);
  bool timedOut = false;
  for (int i = 0; i < 20 && !timedOut; ++i) {
    const auto t0 = Clock::now();
    const int r = in.ReadPacket(pkt.get());
    if (r == AVERROR(EAGAIN)) {
      EXPECT_GE(Clock::now() - t0, std::chrono::milliseconds(990));
      timedOut = true;
    } else {
      ASSERT_GT(r, 0) << ff::err2str(r);  // what was captured before the suspension
    }
  }
  EXPECT_TRUE(timedOut);
  EXPECT_TRUE(log->Has("wait timeout, need read again"));
  ASSERT_EQ(std::system((std::string("pactl suspend-sink ") + kSink + " 0").c_str()), 0);
  int r;
  for (int i = 0; i < 5; ++i)
    if ((r = in.ReadPacket(pkt.get())) != AVERROR(EAGAIN)) break;
  EXPECT_EQ(r, 2205) << "capture goes on once the sink runs again";
}

TEST_F(WavePulse, BadOptionsAndMissingSourcesGiveTheirMessages) {
  EXPECT_EQ(Open("r=0"), AVERROR(EIO));
  EXPECT_EQ(in.LastErrMsg(), "Bad sample rate 0");
  EXPECT_EQ(Open("f=24"), AVERROR(EIO));
  EXPECT_EQ(in.LastErrMsg(), "Bad sample format 24");
  EXPECT_EQ(Open("r=8000;c=1;f=8;bufsize=0"), AVERROR(EIO));
  EXPECT_EQ(in.LastErrMsg(), "Error allocating wave buffer memory.");
  EXPECT_EQ(Open("i=99"), AVERROR(EIO));
  EXPECT_EQ(in.LastErrMsg(), "No such entity");
  // The first source of the server (the null sink's monitor) by index.
  EXPECT_EQ(Open("i=0;bufsize=1000"), 0) << in.LastErrMsg();
  EXPECT_EQ(in.ReadPacket(pkt.get()), 1000);
}

TEST_F(WavePulse, AServerThatGoesAwayEndsCaptureAfterWhatWasRecorded) {
  TOwnServer server;
  ASSERT_FALSE(server.Server.empty()) << "cannot start a PulseAudio server of the test's own";
  const std::string saved = std::getenv("PULSE_SERVER");
  setenv("PULSE_SERVER", server.Server.c_str(), 1);
  const int opened = Open("");
  setenv("PULSE_SERVER", saved.c_str(), 1);
  ASSERT_EQ(opened, 0) << in.LastErrMsg();
  int r;
  while ((r = in.ReadPacket(pkt.get())) == AVERROR(EAGAIN)) {
  }
  ASSERT_EQ(r, 4096);
  std::this_thread::sleep_for(std::chrono::milliseconds(200));  // more is captured meanwhile
  server.Kill();
  int delivered = 0;
  const auto t0 = Clock::now();
  while ((r = in.ReadPacket(pkt.get())) == 4096 || r == AVERROR(EAGAIN)) {
    if (r > 0) ++delivered;
    ASSERT_LT(Clock::now() - t0, std::chrono::seconds(10)) << "capture does not end";
  }
  EXPECT_EQ(r, AVERROR_EOF) << ff::err2str(r);
  EXPECT_GT(delivered, 0) << "what was captured before the server went is delivered";
  EXPECT_TRUE(log->Has("waveIn device closed."));
  EXPECT_EQ(in.ReadPacket(pkt.get()), AVERROR_EOF);
}

TEST_F(WavePulse, NoServerMeansNoDevices) {
  const std::string saved = std::getenv("PULSE_SERVER");
  setenv("PULSE_SERVER", "unix:/nonexistent/qsr-no-server", 1);
  const int r = Open("");
  setenv("PULSE_SERVER", saved.c_str(), 1);
  EXPECT_EQ(r, AVERROR(EIO));
  EXPECT_EQ(in.LastErrMsg(), "No wave audio recording devices found.");
}

TEST_F(WavePulse, AServerThatNeverAnswersFailsTheOpenInsteadOfHanging) {
  // A socket that takes connections into its backlog and never speaks.
  const std::string path = std::filesystem::temp_directory_path() / ("qsr-mute-" + std::to_string(getpid()));
  const int fd = socket(AF_UNIX, SOCK_STREAM, 0);
  ASSERT_GE(fd, 0);
  sockaddr_un addr{};
  addr.sun_family = AF_UNIX;
  std::strncpy(addr.sun_path, path.c_str(), sizeof addr.sun_path - 1);
  unlink(path.c_str());
  ASSERT_EQ(bind(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr), 0);
  ASSERT_EQ(listen(fd, 4), 0);
  const std::string saved = std::getenv("PULSE_SERVER");
  setenv("PULSE_SERVER", ("unix:" + path).c_str(), 1);
  const auto t0 = Clock::now();
  const int r = Open("");
  setenv("PULSE_SERVER", saved.c_str(), 1);
  close(fd);
  unlink(path.c_str());
  EXPECT_EQ(r, AVERROR(EIO));
  EXPECT_EQ(in.LastErrMsg(), "No wave audio recording devices found.");
  EXPECT_LT(Clock::now() - t0, std::chrono::seconds(8));
}

}  // namespace
