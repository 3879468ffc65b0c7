// The test media generator itself: what the other tests rely on.
#include "EngineTestSupport.h"

namespace enginetest {

class TestMedia : public EngineTest {};

TEST_F(TestMedia, PicturesCarryTheirFrameIndex) {
  std::string err;
  const std::vector<int> indexes = testmedia::DecodeFrameIndexes(AvFile(), err);
  ASSERT_TRUE(err.empty()) << err;
  ASSERT_EQ(indexes.size(), 20u);
  for (int i = 0; i < 20; ++i) EXPECT_EQ(indexes[i], i);
}

}  // namespace enginetest
