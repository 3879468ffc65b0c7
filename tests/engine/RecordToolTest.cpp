// qsr-record: its command line, and recordings of the private X server
// (a window of known colour over the root window), checked by decoding.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <thread>

#include "ConversionMedia.h"
#include "RecordArgs.h"
#include "media/FFLoad.h"

#include <X11/Xlib.h>  // last: its macros clash with other headers

namespace {
using namespace std::chrono_literals;

TEST(RecordArgs, AcceptsTheDocumentedOptions) {
  qsrrecord::TRecordArgs a;
  std::string err;
  ASSERT_TRUE(qsrrecord::ParseRecordArgs({"--screen", "framerate=10/1", "--input", "a.avi", "--input", "b.wav",
                                          "--output", "o.mp4", "--duration", "2.5", "--vbitrate", "800000",
                                          "--option", "async=1", "--option", "vf=scale=2:2"},
                                         a, err))
      << err;
  EXPECT_EQ(a.screen, "framerate=10/1");
  EXPECT_EQ(a.inputs, (std::vector<std::string>{"a.avi", "b.wav"}));
  EXPECT_DOUBLE_EQ(a.duration, 2.5);
  EXPECT_EQ(a.vbitrate, 800000);
  ASSERT_EQ(a.options.size(), 2u);
  EXPECT_EQ(a.options[1].first, "vf");
  EXPECT_EQ(a.options[1].second, "scale=2:2");
}

TEST(RecordArgs, RejectsBadArgumentsWithOneLine) {
  const std::vector<std::vector<std::string>> bad{
      {"--screen", "x"},                                     // no output
      {"--output", "o.mp4"},                                 // nothing to record
      {"--screen", "x", "--output", "o.mp4", "--duration", "-1"},
      {"--screen", "x", "--output", "o.mp4", "--duration", "5s"},
      {"--screen", "x", "--output", "o.mp4", "--vbitrate", "fast"},
      {"--screen", "x", "--output", "o.mp4", "--option", "novalue"},
      {"--screen", "x", "--output", "o.mp4", "--bogus", "1"},
      {"--screen", "x", "--output"},
  };
  for (const auto& args : bad) {
    qsrrecord::TRecordArgs a;
    std::string err;
    EXPECT_FALSE(qsrrecord::ParseRecordArgs(args, a, err)) << args.back();
    EXPECT_FALSE(err.empty());
    EXPECT_EQ(err.find('\n'), std::string::npos);
  }
}

// Runs qsr-record; with AInterruptAfter > 0 sends SIGINT after that time.
int RunRecorder(const std::vector<std::string>& AArgs, std::chrono::milliseconds AInterruptAfter = 0ms) {
  std::vector<char*> argv;
  std::string bin = QSR_RECORD_BIN;
  argv.push_back(bin.data());
  std::vector<std::string> copy = AArgs;
  for (auto& a : copy) argv.push_back(a.data());
  argv.push_back(nullptr);
  const pid_t pid = fork();
  if (pid == 0) {
    execv(bin.c_str(), argv.data());
    _exit(127);
  }
  if (AInterruptAfter > 0ms) {
    std::this_thread::sleep_for(AInterruptAfter);
    kill(pid, SIGINT);
  }
  int status = 0;
  waitpid(pid, &status, 0);
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

TEST(RecordTool, BadArgumentsExitWithStatus2AndFailuresWith1) {
  EXPECT_EQ(RunRecorder({"--output", "/tmp/never.mp4"}), 2);
  EXPECT_EQ(RunRecorder({"--screen", "framerate=10/1", "--output", "/tmp/never.mp4", "--duration", "x"}), 2);
  EXPECT_EQ(RunRecorder({"--input", "/nonexistent/in.avi", "--output", "/tmp/never.mp4"}), 1);
  EXPECT_FALSE(std::filesystem::exists("/tmp/never.mp4"));
}

class RecordScreen : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(media::FFLoader().Load(media::kEncoderLibraries));
    // A busy server may refuse a connection for a moment.
    for (int i = 0; i < 20 && !FDisplay; ++i) {
      FDisplay = XOpenDisplay(nullptr);
      if (!FDisplay) std::this_thread::sleep_for(100ms);
    }
    if (!FDisplay) GTEST_SKIP() << "no X display";
    // A 24-bit screen: bright green on the left, dark blue on the right.
    const int screen = DefaultScreen(FDisplay);
    const Window root = RootWindow(FDisplay, screen);
    XSetWindowBackground(FDisplay, root, 0x000060);
    XClearWindow(FDisplay, root);
    XSetWindowAttributes attrs{};
    attrs.override_redirect = True;
    attrs.background_pixel = 0x00E000;
    FWindow = XCreateWindow(FDisplay, root, 0, 0, 160, 240, 0, CopyFromParent, InputOutput, CopyFromParent,
                            CWOverrideRedirect | CWBackPixel, &attrs);
    XMapRaised(FDisplay, FWindow);
    XSync(FDisplay, False);
    std::this_thread::sleep_for(200ms);
  }
  void TearDown() override {
    if (!FDisplay) return;
    XDestroyWindow(FDisplay, FWindow);
    XCloseDisplay(FDisplay);
  }
  static std::string OutPath(const char* AName) {
    return (std::filesystem::temp_directory_path() / (std::to_string(getpid()) + AName)).string();
  }

  Display* FDisplay = nullptr;
  Window FWindow = 0;
};

TEST_F(RecordScreen, FiveSecondsAtTenFramesPerSecond) {
  const std::string out = OutPath("-screen5.mp4");
  ASSERT_EQ(RunRecorder({"--screen", "offset=0,0;framesize=320,240;framerate=10/1", "--output", out, "--duration",
                         "5", "--vcodec", "mpeg4", "--vbitrate", "2000000"}),
            0);
  const convtest::TDecoded d = convtest::DecodeAll(out);
  std::filesystem::remove(out);
  ASSERT_TRUE(d.ok) << d.error;
  EXPECT_NEAR(d.frames, 50, 1);
  EXPECT_EQ(d.width, 320);
  EXPECT_EQ(d.height, 240);
  // Luma of 0x00E000 is about 129, of 0x000060 about 26.
  ASSERT_EQ(d.first_luma.size(), 320u * 240u);
  EXPECT_NEAR(d.first_luma[120 * 320 + 80], 129, 12);
  EXPECT_NEAR(d.first_luma[120 * 320 + 240], 26, 12);
}

TEST_F(RecordScreen, InterruptLeavesAPlayableFile) {
  const std::string out = OutPath("-sigint.mp4");
  ASSERT_EQ(RunRecorder({"--screen", "offset=0,0;framesize=320,240;framerate=10/1", "--output", out}, 2000ms), 0);
  const convtest::TDecoded d = convtest::DecodeAll(out);
  std::filesystem::remove(out);
  ASSERT_TRUE(d.ok) << d.error;
  EXPECT_NEAR(d.frames, 20, 4);
  EXPECT_EQ(d.width, 320);
}

// Screen and sound: two live inputs with their own clocks. Neither may
// hold back the other; the streams start and end together.
TEST_F(RecordScreen, ScreenAndSoundStayInStep) {
  if (!std::getenv("PULSE_SERVER")) GTEST_SKIP() << "no private PulseAudio";
  const std::string out = OutPath("-av.mp4");
  ASSERT_EQ(RunRecorder({"--screen", "offset=0,0;framesize=320,240;framerate=10/1", "--audio",
                         "sample_rate=44100;channels=2", "--output", out, "--duration", "3", "--vcodec", "mpeg4",
                         "--acodec", "aac"}),
            0);
  const convtest::TDecoded d = convtest::DecodeAll(out);
  std::filesystem::remove(out);
  ASSERT_TRUE(d.ok) << d.error;
  EXPECT_NEAR(d.frames, 30, 1);
  EXPECT_EQ(d.sample_rate, 44100);
  EXPECT_NEAR(d.video_start, 0.0, 0.05);
  // An idle sound server may deliver its first sound up to about two
  // seconds late on a busy machine: the sound track then starts that much
  // later, never before its time.
  EXPECT_GE(d.audio_start, 0.0);
  EXPECT_LT(d.audio_start, 2.5);
  EXPECT_NEAR(d.audio_end, d.video_end, 0.15);
}

}  // namespace
