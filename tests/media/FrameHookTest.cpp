// Frame hook modules, with the drawbox module built beside the tests.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "media/FFLog.h"
#include "media/FrameHook.h"

extern "C" {
#include <libavutil/error.h>
#include <libavutil/pixfmt.h>
}

using namespace media;

namespace {

class FrameHookTest : public ::testing::Test {
 protected:
  void SetUp() override {
    GetFFLogger().SetTriggerEventInMainThread(false);
    GetFFLogger().SetOnLog([this](void*, platform::ThreadId, TLogLevel ALevel, const std::string& AMsg) {
      if (ALevel == llError) Errors.push_back(AMsg);
    });
  }
  void TearDown() override { GetFFLogger().SetOnLog(nullptr); }
  std::vector<std::string> Errors;
};

// A packed picture of one colour.
struct TPacked {
  TPacked(int AWidth, int AHeight, int ABpp, int AStride)
      : Width(AWidth), Height(AHeight), Bpp(ABpp), Bytes(static_cast<size_t>(AStride) * AHeight, 7) {
    Picture.data[0] = Bytes.data();
    Picture.linesize[0] = AStride;
  }
  const uint8_t* At(int x, int y) const { return Bytes.data() + y * Picture.linesize[0] + x * Bpp; }
  int Width, Height, Bpp;
  std::vector<uint8_t> Bytes;
  TAVPicture Picture{};
};

}  // namespace

TEST_F(FrameHookTest, DrawboxChangesExactlyTheBox) {
  TFrameHookChain chain;
  // A bare name: found beside the program (bin/hooks/drawbox.so).
  ASSERT_EQ(chain.Add({"drawbox", "-x", "2", "-y", "1", "-w", "3", "-h", "2", "-c", "102030"}), 0)
      << chain.LastErrMsg();
  EXPECT_EQ(chain.Count(), 1u);

  TPacked bgr(7, 5, 3, 24);  // stride wider than the row
  chain.Process(&bgr.Picture, AV_PIX_FMT_BGR24, bgr.Width, bgr.Height, 0);
  for (int y = 0; y < bgr.Height; ++y)
    for (int x = 0; x < bgr.Width; ++x) {
      const bool inside = x >= 2 && x < 5 && y >= 1 && y < 3;
      const uint8_t* p = bgr.At(x, y);
      EXPECT_EQ(p[0], inside ? 0x30 : 7) << x << "," << y;  // blue first
      EXPECT_EQ(p[1], inside ? 0x20 : 7);
      EXPECT_EQ(p[2], inside ? 0x10 : 7);
    }
  // Padding past the row is never touched.
  for (int y = 0; y < bgr.Height; ++y)
    for (int i = 21; i < 24; ++i) EXPECT_EQ(bgr.Bytes[y * 24 + i], 7);

  // A box running over the edge is clipped; YUV 4:2:0 gets Y, U and V.
  TFrameHookChain yuvChain;
  ASSERT_EQ(yuvChain.Add({"drawbox", "-x", "2", "-y", "2", "-w", "100", "-h", "100", "-c", "ff0000"}), 0);
  std::vector<uint8_t> y(8 * 6, 0), u(4 * 3, 128), v(4 * 3, 128);
  TAVPicture yuv{{y.data(), u.data(), v.data(), nullptr}, {8, 4, 4, 0}};
  yuvChain.Process(&yuv, AV_PIX_FMT_YUV420P, 8, 6, 0);
  EXPECT_EQ(y[2 * 8 + 2], 82);  // red, limited range
  EXPECT_EQ(y[5 * 8 + 7], 82);
  EXPECT_EQ(y[1 * 8 + 7], 0);
  EXPECT_EQ(y[5 * 8 + 1], 0);
  EXPECT_EQ(u[1 * 4 + 1], 90);
  EXPECT_EQ(v[2 * 4 + 3], 240);
  EXPECT_EQ(u[0], 128);
  EXPECT_EQ(v[1 * 4 + 0], 128);
}

TEST_F(FrameHookTest, ModulesLoadOnceAndChainsKeepTheirOwnHooks) {
  TFrameHookChain first, second;
  ASSERT_EQ(first.Add({"drawbox", "-c", "ff0000"}), 0) << first.LastErrMsg();
  const size_t loaded = LoadedHookModuleCount();
  ASSERT_EQ(second.Add({"drawbox", "-c", "0000ff"}), 0);
  EXPECT_EQ(LoadedHookModuleCount(), loaded);  // from the cache

  TPacked a(16, 16, 4, 64), b(16, 16, 4, 64);
  first.Process(&a.Picture, AV_PIX_FMT_BGRA, 16, 16, 0);
  second.Process(&b.Picture, AV_PIX_FMT_BGRA, 16, 16, 0);
  EXPECT_EQ(a.At(12, 12)[2], 0xff);  // red from the first chain's hook
  EXPECT_EQ(a.At(12, 12)[0], 0);
  EXPECT_EQ(b.At(12, 12)[0], 0xff);  // blue from the second's
  EXPECT_EQ(b.At(12, 12)[2], 0);

  first.Release();
  EXPECT_TRUE(first.Empty());
  TPacked c(16, 16, 4, 64);
  first.Process(&c.Picture, AV_PIX_FMT_BGRA, 16, 16, 0);  // nothing left to run
  EXPECT_EQ(c.At(12, 12)[2], 7);
}

TEST_F(FrameHookTest, FailuresAreReportedAndLeaveTheChainAlone) {
  TFrameHookChain chain;
  EXPECT_EQ(chain.Add({}), AVERROR(ENOENT));

  EXPECT_EQ(chain.Add({"no_such_hook_module"}), -1);
  EXPECT_NE(chain.LastErrMsg().find("cannot open shared object file"), std::string::npos)
      << chain.LastErrMsg();
  ASSERT_FALSE(Errors.empty());
  EXPECT_EQ(Errors.back(), chain.LastErrMsg() + "\n");

  // A library without the entry points.
  EXPECT_EQ(chain.Add({"libm.so.6"}), AVERROR(ENOENT));
  EXPECT_EQ(chain.LastErrMsg(), "Failed to find Process entrypoint in libm.so.6");

  // Arguments the module refuses.
  EXPECT_EQ(chain.Add({"drawbox", "-w", "wide"}), AVERROR(EINVAL));
  EXPECT_EQ(chain.LastErrMsg(), "Failed to Configure drawbox");
  EXPECT_EQ(chain.Add({"drawbox", "-x"}), AVERROR(EINVAL));
  EXPECT_TRUE(chain.Empty());
}
