// The loader against the system's media libraries.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "media/FFBindings.h"
#include "media/FFLoad.h"
#include "media/FFLog.h"

using namespace media;

TEST(LoaderSystem, FileNamesFollowTheSonames) {
  EXPECT_EQ(LibraryFileName(avCodec), "libavcodec.so.59");
  EXPECT_EQ(LibraryFileName(avCore), "libswresample.so.4");
  EXPECT_EQ(LibraryFileName(avDevice), "libavdevice.so.59");
  EXPECT_EQ(LibraryFileName(avFilter), "libavfilter.so.8");
  EXPECT_EQ(LibraryFileName(avFormat), "libavformat.so.59");
  EXPECT_EQ(LibraryFileName(avUtil), "libavutil.so.57");
  EXPECT_EQ(LibraryFileName(swScale), "libswscale.so.6");
  EXPECT_EQ(LibraryFileName(myUtil), "libc.so.6");
}

TEST(LoaderSystem, LoadsBindsAndUnloadsTheEncoderSet) {
  TFFLoader& loader = FFLoader();
  // An empty private folder: every library falls back to the system's search.
  loader.SetLibraryPath("/nonexistent/LibAV");
  ASSERT_TRUE(loader.Load(kEncoderLibraries)) << loader.LastErrMsg();
  EXPECT_TRUE(loader.Loaded(kEncoderLibraries));
  EXPECT_FALSE(loader.Loaded(avDevice));
  ASSERT_NE(ff::avcodec_version, nullptr);
  EXPECT_EQ(ff::avcodec_version() >> 16, 59u);
  EXPECT_EQ(ff::avformat_version() >> 16, 59u);
  EXPECT_EQ(ff::avutil_version() >> 16, 57u);
  EXPECT_EQ(ff::swresample_version() >> 16, 4u);
  // The C library binds like the others.
  char buf[16];
  ff::snprintf(buf, sizeof buf, "%d-%s", 42, "x");
  EXPECT_STREQ(buf, "42-x");
  // Wrappers over header macros work on the bound functions.
  EXPECT_FALSE(ff::err2str(AVERROR(ENOENT)).empty());
  EXPECT_NE(ff::avcodec_find_encoder_by_name("mpeg4"), nullptr);

  loader.Unload(kEncoderLibraries);
  EXPECT_FALSE(loader.Loaded(avCodec));
  EXPECT_FALSE(loader.Loaded(myUtil));
  EXPECT_EQ(ff::avcodec_version, nullptr);
  EXPECT_EQ(ff::av_log_set_callback, nullptr);

  // And loads again.
  ASSERT_TRUE(loader.Load(kEncoderLibraries)) << loader.LastErrMsg();
  EXPECT_EQ(ff::avcodec_version() >> 16, 59u);
  loader.SetLibraryPath("");
}

TEST(LoaderSystem, AMissingMemberUnloadsTheWholeSet) {
  TFFLoader& loader = FFLoader();
  ASSERT_TRUE(loader.Load(kEncoderLibraries)) << loader.LastErrMsg();
  SetLibraryFileName(avFilter, "/nonexistent/libavfilter-missing.so.8");
  loader.Unload(avFilter);
  EXPECT_FALSE(loader.Load(kEncoderLibraries));
  EXPECT_EQ(loader.LastErrMsg().rfind("Load library /nonexistent/libavfilter-missing.so.8 error: ", 0), 0u)
      << loader.LastErrMsg();
  // Those loaded before, in this call or earlier, are unloaded again.
  for (TLibrary lib : {avCodec, avCore, avFormat, avUtil, swScale, myUtil}) EXPECT_FALSE(loader.Loaded(lib));
  EXPECT_EQ(ff::avcodec_open2, nullptr);
  SetLibraryFileName(avFilter, "");
  ASSERT_TRUE(loader.Load(kEncoderLibraries)) << loader.LastErrMsg();
}

TEST(LoaderSystem, EmptySetIsAProgrammingError) {
  EXPECT_THROW(FFLoader().Load(TLibraries{}), std::logic_error);
  EXPECT_THROW(FFLoader().Unload(TLibraries{}), std::logic_error);
}

TEST(LoaderSystem, LibraryMessagesReachTheLoggerAsWholeLines) {
  TFFLoader& loader = FFLoader();
  ASSERT_TRUE(loader.Load(kEncoderLibraries)) << loader.LastErrMsg();
  TFFLogger& logger = GetFFLogger();
  std::vector<std::string> lines;
  std::vector<TLogLevel> levels;
  logger.SetOnLog([&](void*, platform::ThreadId, TLogLevel level, const std::string& msg) {
    lines.push_back(msg);
    levels.push_back(level);
  });
  ff::av_log(nullptr, AV_LOG_ERROR, "part one, ");
  ff::av_log(nullptr, AV_LOG_ERROR, "part %d\n", 2);
  logger.SetOnLog(nullptr);
  ASSERT_EQ(lines.size(), 1u);
  EXPECT_EQ(lines[0], "part one, part 2");
  EXPECT_EQ(levels[0], llError);
}

TEST(LoaderSystem, ContextPrefixNamesTheContext) {
  ASSERT_TRUE(FFLoader().Load(kEncoderLibraries)) << FFLoader().LastErrMsg();
  AVFormatContext* ctx = ff::avformat_alloc_context();
  ASSERT_NE(ctx, nullptr);
  std::vector<std::string> lines;
  GetFFLogger().SetOnLog(
      [&](void*, platform::ThreadId, TLogLevel, const std::string& msg) { lines.push_back(msg); });
  ff::av_log(ctx, AV_LOG_ERROR, "hello\n");
  GetFFLogger().SetOnLog(nullptr);
  ff::avformat_free_context(ctx);
  ASSERT_EQ(lines.size(), 1u);
  char expected[64];
  std::snprintf(expected, sizeof expected, "[NULL @ %p]hello", static_cast<void*>(ctx));
  EXPECT_EQ(lines[0], expected);
}
