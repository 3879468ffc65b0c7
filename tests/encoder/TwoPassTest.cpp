// Two-pass encoding through the encoder: the first pass writes the
// statistics log, the second reads it; a missing log fails the task.
#include <filesystem>

#include "encoder/FFEncode.h"
#include "engine/EngineTestSupport.h"
#include "engine/FFmpegPassLog.h"

namespace enginetest {
using namespace encoder;

class TwoPass : public EngineTest {
 protected:
  // Runs one pass synchronously; the task's termination record.
  TTerminateInfo RunPass(int APass, const std::string& APrefix, const std::string& AOut) {
    TTerminateInfo result;
    TFFEncoder enc;
    enc.OnTerminate = [&](void*, const TTerminateInfo& AInfo) {
      if (AInfo.TaskIndex == 0) result = AInfo;
    };
    const int task = enc.AddTask(VideoFile(), "");
    EXPECT_EQ(task, 0) << enc.LastErrMsg();
    const std::string options = "vcodec=mpeg4\nb=100000\npass=" + std::to_string(APass) +
                                "\npasslogfile=" + APrefix;
    EXPECT_TRUE(enc.SetOutputFile(task, AOut, options)) << enc.LastErrMsg();
    enc.Start(0);
    return result;
  }
};

TEST_F(TwoPass, FirstPassWritesTheLogAndTheSecondReadsIt) {
  const std::string prefix = Out("stats");
  const TTerminateInfo first = RunPass(1, prefix, Out("pass1.avi"));
  ASSERT_TRUE(first.Finished) << first.ExceptionMsg;
  const std::string log = engine::TPassLog::FileName(prefix, 0);
  EXPECT_EQ(log, prefix + "-0.log");
  ASSERT_TRUE(std::filesystem::exists(log));
  EXPECT_GT(std::filesystem::file_size(log), 75u * 20) << "one statistics line per picture";

  const TTerminateInfo second = RunPass(2, prefix, Out("pass2.avi"));
  ASSERT_TRUE(second.Finished) << second.ExceptionMsg;
  std::string err;
  EXPECT_EQ(testmedia::DecodeFrameIndexes(Out("pass2.avi"), err).size(), 75u) << err;
}

TEST_F(TwoPass, SecondPassWithoutLogFails) {
  const std::string prefix = Out("nolog");
  const TTerminateInfo second = RunPass(2, prefix, Out("nolog.avi"));
  EXPECT_FALSE(second.Finished);
  EXPECT_TRUE(second.Exception);
  EXPECT_EQ(second.ExceptionMsg, "Cannot read file: Error reading log file \"" + prefix +
                                     "-0.log\" for pass-2 encoding");
}

}  // namespace enginetest
