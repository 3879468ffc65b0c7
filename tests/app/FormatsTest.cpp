// Format profiles: splitting lists, parsing profile lines, loading files,
// and the profile file delivered with the program.
#include <gtest/gtest.h>

#include <QFile>
#include <QTemporaryDir>

#include "app/Formats.h"

using app::TFormat;
using app::TFormats;

namespace {

const QSize kScreen(1280, 1024);

QString WriteFile(const QTemporaryDir& ADir, const QByteArray& AContent) {
  const QString name = ADir.filePath("Formats.dat");
  QFile file(name);
  EXPECT_TRUE(file.open(QIODevice::WriteOnly));
  file.write(AContent);
  return name;
}

TFormat Parse(const QString& ALine) {
  TFormat format;
  app::ParseFormatLine(ALine, format, kScreen);
  return format;
}

}  // namespace

TEST(SplitList, ValuesAndLabels) {
  EXPECT_EQ(app::SplitList("a$first,b$second", true), QStringList({"a", "b"}));
  EXPECT_EQ(app::SplitList("a$first,b$second", false), QStringList({"first", "second"}));
  // Plain labels give no values; an empty text gives one empty label.
  EXPECT_EQ(app::SplitList("640*480,800*600", true), QStringList());
  EXPECT_EQ(app::SplitList("640*480,800*600", false), QStringList({"640*480", "800*600"}));
  EXPECT_EQ(app::SplitList("", false), QStringList({""}));
  EXPECT_EQ(app::SplitList("", true), QStringList());
}

TEST(SplitList, EntryWithoutValueIsNoEntry) {
  // Labels outnumber values: the second entry has no value.
  const QString list = "mpeg4$MPEG-4,plain";
  EXPECT_EQ(app::ListValue(list, 0), QString("mpeg4"));
  EXPECT_EQ(app::ListValue(list, 1), std::nullopt);
  EXPECT_EQ(app::ListValue(list, -1), std::nullopt);
  EXPECT_EQ(app::DefaultIndex("mpeg4$MPEG-4,libx264$H.264", "LIBX264"), 1);
  EXPECT_EQ(app::DefaultIndex("mpeg4$MPEG-4,libx264$H.264", "libx265"), -1);
}

TEST(ParseFormatLine, ReadsEveryAttribute) {
  const TFormat f = Parse(
      R"(<ROW name="MKV" format_ext=".mkv" video_codec_name="libx264" width="640" height="480" )"
      R"(keep_ori_resolution="0" frame_rate="5" video_bitrate="900" audio_codec_name="aac" sample_rate="44100" )"
      R"(channel="2" audio_bitrate="128" extra_param="x" video_codecs="mpeg4$MPEG-4,libx264$H.264" )"
      R"(resolutions="640*480" frame_rates="5$5 fps" video_bitrates="900$900 kbps" audio_codecs="aac$AAC" )"
      R"(sample_rates="44100$44100 Hz" channels="1$Mono,2$Stereo" audio_bitrates="128$128 kbps"/>)");
  EXPECT_EQ(f.Title, "MKV");
  EXPECT_EQ(f.FormatExt, ".mkv");
  EXPECT_EQ(f.VideoCodecName, "libx264");
  EXPECT_EQ(f.AudioCodecName, "aac");
  EXPECT_EQ(f.Width + "*" + f.Height, "640*480");
  EXPECT_EQ(f.FrameRate, "5");
  EXPECT_EQ(f.FrameRates, "5$5 fps");
  EXPECT_EQ(f.SampleRate, "44100");
  EXPECT_EQ(f.Channel, "2");
  EXPECT_EQ(f.Channels, "1$Mono,2$Stereo");
  EXPECT_EQ(f.VideoBitRate, "900");
  EXPECT_EQ(f.AudioBitRate, "128");
  EXPECT_EQ(f.ExtraParam, "x");
  EXPECT_EQ(f.Resolutions, "640*480");
  EXPECT_EQ(f.VideoCodecs, "mpeg4$MPEG-4,libx264$H.264");
}

TEST(ParseFormatLine, KeyOrderAndQuotes) {
  // The first occurrence of name=" wins, even inside video_codec_name.
  EXPECT_EQ(Parse(R"(<ROW video_codec_name="libx264" name="Late"/>)").Title, "libx264");
  // frame_rate needs its leading blank; frame_rates never feeds it.
  EXPECT_EQ(Parse(R"(frame_rate="10" name="x")").FrameRate, "");
  EXPECT_EQ(Parse(R"(<ROW frame_rates="5$5 fps"/>)").FrameRate, "");
  EXPECT_EQ(Parse(R"(<ROW channels="1$Mono"/>)").Channel, "");
  // No closing quote, or an empty value: empty.
  EXPECT_EQ(Parse(R"(<ROW name="Unfinished)").Title, "");
  EXPECT_EQ(Parse(R"(<ROW name="" format_ext=".avi"/>)").Title, "");
  EXPECT_EQ(Parse(R"(<ROW name="" format_ext=".avi"/>)").FormatExt, ".avi");
  // Values are verbatim: no entity decoding.
  EXPECT_EQ(Parse(R"(<ROW name="A &amp; B"/>)").Title, "A &amp; B");
}

TEST(ParseFormatLine, KeepOriginalResolutionUsesTheScreen) {
  const TFormat keep = Parse(R"(<ROW width="640" height="480" keep_ori_resolution="1" resolutions="640*480"/>)");
  EXPECT_EQ(keep.Width, "1280");
  EXPECT_EQ(keep.Height, "1024");
  EXPECT_EQ(app::SplitList(keep.Resolutions, false), QStringList({"640*480", "1280*1024"}));
  const TFormat fixed = Parse(R"(<ROW width="640" height="480" keep_ori_resolution="0" resolutions="640*480"/>)");
  EXPECT_EQ(fixed.Width, "640");
  EXPECT_EQ(fixed.Resolutions, "640*480");
}

TEST(LoadFormats, StopsAtRowDataEnd) {
  QTemporaryDir dir;
  TFormats formats;
  app::LoadFormats(WriteFile(dir, "a\nb\nc\n</ROWDATA>\n<ROW name=\"after\"/>\n"), formats, kScreen);
  EXPECT_TRUE(formats.empty());

  // CR LF line ends; a "</ROWDATA>" with a blank is a profile line.
  app::LoadFormats(WriteFile(dir, "a\r\nb\r\nc\r\n<ROW name=\"one\"/>\r\n<ROW name=\"two\"/>\r\n"
                                  "</ROWDATA>\r\n<ROW name=\"three\"/>\r\n"),
                   formats, kScreen);
  ASSERT_EQ(formats.size(), 2u);
  EXPECT_EQ(formats[1].Title, "two");
}

TEST(LoadFormats, FailuresKeepWhatWasRead) {
  QTemporaryDir dir;
  TFormats formats;
  EXPECT_THROW(app::LoadFormats(dir.filePath("missing.dat"), formats, kScreen), app::TFormatsError);
  EXPECT_THROW(app::LoadFormats(WriteFile(dir, "a\nb\n"), formats, kScreen), app::TFormatsError);
  EXPECT_TRUE(formats.empty());
  EXPECT_THROW(app::LoadFormats(WriteFile(dir, "a\nb\nc\n<ROW name=\"one\"/>\n </ROWDATA>\n"), formats, kScreen),
               app::TFormatsError);
  ASSERT_EQ(formats.size(), 2u);
  EXPECT_EQ(formats[0].Title, "one");
}

TEST(DeliveredProfiles, EveryDefaultIsOffered) {
  TFormats formats;
  ASSERT_NO_THROW(app::LoadFormats(QSR_PROFILES_DIR "/Formats.dat", formats, kScreen));
  ASSERT_GE(formats.size(), 7u);
  EXPECT_EQ(formats[0].FormatExt, ".mkv");
  EXPECT_EQ(formats[0].VideoCodecName, "libx264");
  EXPECT_EQ(formats[0].AudioCodecName, "aac");
  bool divx = false;
  for (const TFormat& f : formats) {
    SCOPED_TRACE(f.Title.toStdString());
    divx = divx || f.Title.contains("DIVX");
    EXPECT_TRUE(f.FormatExt.startsWith('.'));
    const std::pair<QString, QString> lists[] = {
        {f.FrameRates, f.FrameRate},         {f.VideoCodecs, f.VideoCodecName}, {f.VideoBitRates, f.VideoBitRate},
        {f.SampleRates, f.SampleRate},       {f.Channels, f.Channel},           {f.AudioCodecs, f.AudioCodecName},
        {f.AudioBitRates, f.AudioBitRate}};
    for (const auto& [list, value] : lists) {
      EXPECT_GE(app::DefaultIndex(list, value), 0) << list.toStdString() << " lacks " << value.toStdString();
      EXPECT_EQ(app::SplitList(list, true).size(), app::SplitList(list, false).size()) << list.toStdString();
    }
    // The labels the recording controller cuts numbers from.
    for (const QString& label : app::SplitList(f.VideoBitRates, false) + app::SplitList(f.AudioBitRates, false)) {
      EXPECT_TRUE(label.endsWith(" kbps") && label.chopped(5).toInt() > 0) << label.toStdString();
    }
    for (const QString& label : app::SplitList(f.SampleRates, false)) EXPECT_GT(label.chopped(3).toInt(), 0);
    EXPECT_EQ(app::SplitList(f.Channels, false).size(), 2);
    for (const QString& label : app::SplitList(f.Resolutions, false)) {
      EXPECT_EQ(label.split('*').size(), 2) << label.toStdString();
    }
  }
  EXPECT_TRUE(divx);
}
