// Output geometry: resolution texts, their check, and the filter chain for
// the worked sizes, half-way bars, equal aspects and empty capture areas.
#include <gtest/gtest.h>

#include <cfenv>

#include "app/OutputGeometry.h"

using namespace app;

TEST(OutputGeometry, ResolutionPartsTakeFirstAndLastStar) {
  EXPECT_EQ(ResolutionWidth("640*480"), "640");
  EXPECT_EQ(ResolutionHeight("640*480"), "480");
  EXPECT_EQ(ResolutionWidth("640*0*480"), "640");
  EXPECT_EQ(ResolutionHeight("640*0*480"), "480");
  EXPECT_EQ(ResolutionWidth("640x480"), "-1");
  EXPECT_EQ(ResolutionHeight("640x480"), "-1");
  EXPECT_EQ(ResolutionWidth("abc*480"), "-1");
  EXPECT_EQ(ResolutionHeight("640*"), "-1");
  EXPECT_EQ(ResolutionWidth("99999999999*2"), "-1");  // beyond a 32-bit integer
}

TEST(OutputGeometry, ResolutionCheckLimitsAreInclusiveAndEven) {
  EXPECT_EQ(CheckResolution("1920*1280"), QSize(1920, 1280));
  EXPECT_EQ(CheckResolution("64*64"), QSize(64, 64));
  for (const char* bad : {"1920*1282", "1922*1280", "62*64", "64*62", "641*480", "640*481", "640", "", "-640*-480",
                          "0*0", "a*b"}) {
    EXPECT_FALSE(CheckResolution(bad).has_value()) << bad;
  }
}

TEST(OutputGeometry, WorkedExamples) {
  struct {
    int sw, sh, w, h;
    const char* chain;
  } rows[] = {
      {1920, 1080, 640, 480, "crop=1920:1080:0:0,pad=1920:1440:0:180:black,scale=640:480"},
      {1280, 1024, 640, 480, "crop=1280:1024:0:0,pad=1366:1024:43:0:black,scale=640:480"},
      {1366, 768, 640, 480, "crop=1366:768:0:0,pad=1366:1024:0:128:black,scale=640:480"},
      {1920, 1080, 1280, 720, "crop=1920:1080:0:0,pad=1920:1080:0:0:black,scale=1280:720"},
      {1024, 768, 1920, 1080, "crop=1024:768:0:0,pad=1366:768:171:0:black,scale=1920:1080"},
      {103, 100, 200, 100, "crop=103:100:0:0,pad=199:100:48:0:black,scale=200:100"},
  };
  for (const auto& r : rows) EXPECT_EQ(VideoFilterChain(r.sw, r.sh, r.w, r.h), r.chain) << r.sw << "x" << r.sh;
}

TEST(OutputGeometry, HalfWayBarsRoundToEvenInAnyRoundingMode) {
  // 105x100 into 200x100: 47.5 goes to 48; 103x100: 48.5 goes to 48.
  const int saved = std::fegetround();
  std::fesetround(FE_UPWARD);
  EXPECT_EQ(PadAmounts(105, 100, 200, 100), QSize(48, 0));
  EXPECT_EQ(PadAmounts(103, 100, 200, 100), QSize(48, 0));
  // Vertical bars: 100x103 into 100x200.
  EXPECT_EQ(PadAmounts(100, 103, 100, 200), QSize(0, 48));
  EXPECT_EQ(std::fegetround(), FE_UPWARD);
  std::fesetround(saved);
}

TEST(OutputGeometry, EmptyCaptureAreaRaisesItsOwnError) {
  for (auto [w, h] : {std::pair{0, 480}, {640, 0}, {0, 0}, {-5, 480}}) {
    try {
      VideoFilterChain(w, h, 640, 480);
      ADD_FAILURE() << w << "x" << h << " did not raise";
    } catch (const TGeometryError& e) {
      EXPECT_NE(std::string(e.what()).find("empty"), std::string::npos) << e.what();
    }
  }
}

TEST(OutputGeometry, AppendFilterSkipsEmptyAndJoinsWithComma) {
  QString chain;
  AppendFilter(chain, "");
  EXPECT_EQ(chain, "");
  AppendFilter(chain, "a");
  AppendFilter(chain, "");
  AppendFilter(chain, "b");
  EXPECT_EQ(chain, "a,b");
}
