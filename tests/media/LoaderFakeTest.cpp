// The loader against look-alike libraries built from the entry-point lists:
// loading from the private folder, optional and missing entry points, and
// the rollback of a set. Runs in a process of its own that never loads the
// real media libraries.
#include <gtest/gtest.h>

#include <dlfcn.h>

#include "media/FFBindings.h"
#include "media/FFLoad.h"

using namespace media;

namespace {
const TLibraries kFakeSet{avUtil, avCore, swScale, avCodec, avFormat, avFilter};

struct FakeLoader : ::testing::Test {
  void TearDown() override {
    FFLoader().Unload(kAllLibraries);
    for (int i = 0; i < kLibraryCount; ++i) SetLibraryFileName(static_cast<TLibrary>(i), "");
    FFLoader().SetLibraryPath("");
  }
};
}  // namespace

TEST_F(FakeLoader, LoadsFromThePrivateFolderAndLeavesOptionalEntriesEmpty) {
  FFLoader().SetLibraryPath(QSR_FAKE_LIBAV_COMPLETE);
  ASSERT_TRUE(FFLoader().Load(kFakeSet)) << FFLoader().LastErrMsg();
  EXPECT_TRUE(FFLoader().Loaded(kFakeSet));
  // Bound from the look-alikes, not from the system.
  EXPECT_NE(ff::av_malloc, nullptr);
  EXPECT_NE(ff::avio_open2, nullptr);
  EXPECT_EQ(ff::av_get_channel_layout_nb_channels, nullptr);  // optional, absent
  EXPECT_EQ(ff::swr_alloc_set_opts, nullptr);                 // optional, absent
  Dl_info info{};
  ASSERT_NE(dladdr(reinterpret_cast<void*>(ff::av_malloc), &info), 0);
  EXPECT_NE(std::string(info.dli_fname).find("fakelibav/complete/libavutil.so.57"), std::string::npos)
      << info.dli_fname;
}

TEST_F(FakeLoader, MissingRequiredEntryPointFailsAndUnloads) {
  SetLibraryFileName(avUtil, QSR_FAKE_LIBAV_COMPLETE "/libavutil.so.57");
  SetLibraryFileName(avFormat, QSR_FAKE_LIBAV_BROKEN "/libavformat.so.59");
  ASSERT_TRUE(FFLoader().Load(avUtil)) << FFLoader().LastErrMsg();
  EXPECT_FALSE(FFLoader().Load(avFormat));
  const std::string msg = FFLoader().LastErrMsg();
  const std::string expected =
      "Load function avio_open2@" QSR_FAKE_LIBAV_BROKEN "/libavformat.so.59 error: ";
  EXPECT_EQ(msg.rfind(expected, 0), 0u) << msg;
  EXPECT_FALSE(FFLoader().Loaded(avFormat));
  // The half-bound library's variables are empty again.
  EXPECT_EQ(ff::avformat_alloc_context, nullptr);
  EXPECT_EQ(ff::avio_open, nullptr);
  EXPECT_TRUE(FFLoader().Loaded(avUtil));
}

TEST_F(FakeLoader, AFailureInASetUnloadsTheLibrariesLoadedBefore) {
  FFLoader().SetLibraryPath(QSR_FAKE_LIBAV_COMPLETE);
  SetLibraryFileName(avFormat, QSR_FAKE_LIBAV_BROKEN "/libavformat.so.59");
  EXPECT_FALSE(FFLoader().Load(kFakeSet));
  EXPECT_NE(FFLoader().LastErrMsg().find("avio_open2"), std::string::npos);
  for (TLibrary lib : {avUtil, avCore, swScale, avCodec, avFormat, avFilter})
    EXPECT_FALSE(FFLoader().Loaded(lib)) << lib;
  EXPECT_EQ(ff::av_malloc, nullptr);
  EXPECT_EQ(ff::avcodec_open2, nullptr);
}

TEST_F(FakeLoader, AMissingFileNamesTheDirectoryAndTheSystemMessage) {
  // Not in its folder: the system's search is tried, and finds nothing.
  SetLibraryFileName(avFilter, "/nonexistent/dir/libavfilter-missing.so.8");
  EXPECT_FALSE(FFLoader().Load(avFilter));
  const std::string msg = FFLoader().LastErrMsg();
  EXPECT_EQ(msg.rfind("Load library /nonexistent/dir/libavfilter-missing.so.8 error: ", 0), 0u) << msg;
  EXPECT_NE(msg.find("No such file"), std::string::npos) << msg;
}

TEST_F(FakeLoader, LoadLibraryInDirPrefersTheFolder) {
  std::string error;
  void* h = LoadLibraryInDir(QSR_FAKE_LIBAV_COMPLETE, "libswscale.so.6", error);
  ASSERT_NE(h, nullptr) << error;
  EXPECT_NE(dlsym(h, "sws_scale"), nullptr);
  dlclose(h);
  EXPECT_EQ(LoadLibraryInDir("", "libdoesnotexist.so.1", error), nullptr);
  EXPECT_FALSE(error.empty());
}
