// Reading and splitting format profiles: see Formats.h.
#include "app/Formats.h"

#include <QFile>
#include <array>

namespace app {

namespace {

// The keys in the order they are searched; the first occurrence in the line
// wins, so a key that is the tail of another (name=" in video_codec_name=")
// must come first in the line. frame_rate carries a leading blank.
struct TKey {
  const char* Text;
  QString TFormat::*Field;
};

const std::array<TKey, 21> kKeys{{
    {"name=\"", &TFormat::Title},
    {"format_ext=\"", &TFormat::FormatExt},
    {"video_codec_name=\"", &TFormat::VideoCodecName},
    {"width=\"", &TFormat::Width},
    {"height=\"", &TFormat::Height},
    {"keep_ori_resolution=\"", &TFormat::KeepOriginalResolution},
    {" frame_rate=\"", &TFormat::FrameRate},
    {"video_bitrate=\"", &TFormat::VideoBitRate},
    {"audio_codec_name=\"", &TFormat::AudioCodecName},
    {"sample_rate=\"", &TFormat::SampleRate},
    {"channel=\"", &TFormat::Channel},
    {"audio_bitrate=\"", &TFormat::AudioBitRate},
    {"extra_param=\"", &TFormat::ExtraParam},
    {"video_codecs=\"", &TFormat::VideoCodecs},
    {"resolutions=\"", &TFormat::Resolutions},
    {"frame_rates=\"", &TFormat::FrameRates},
    {"video_bitrates=\"", &TFormat::VideoBitRates},
    {"audio_codecs=\"", &TFormat::AudioCodecs},
    {"sample_rates=\"", &TFormat::SampleRates},
    {"channels=\"", &TFormat::Channels},
    {"audio_bitrates=\"", &TFormat::AudioBitRates},
}};

QString AttributeValue(const QString& ALine, const QString& AKey) {
  const qsizetype keyPos = ALine.indexOf(AKey);
  if (keyPos < 0) return {};
  const qsizetype start = keyPos + AKey.size();
  const qsizetype end = ALine.indexOf('"', start);
  if (end <= start) return {};  // no closing quote, or an empty value
  return ALine.mid(start, end - start);
}

// One line without its line break; false at the end of the file.
bool ReadLine(QFile& AFile, QString& ALine) {
  if (AFile.atEnd()) return false;
  QByteArray bytes = AFile.readLine();
  if (bytes.isEmpty() && AFile.error() != QFileDevice::NoError) {
    throw TFormatsError("Cannot read " + AFile.fileName().toStdString() + ": " +
                        AFile.errorString().toStdString());
  }
  while (bytes.endsWith('\n') || bytes.endsWith('\r')) bytes.chop(1);
  ALine = QString::fromUtf8(bytes);
  return true;
}

}  // namespace

void ParseFormatLine(const QString& ALine, TFormat& AFormat, QSize AScreen) {
  for (const TKey& key : kKeys) {
    QString& field = AFormat.*key.Field;
    field = AttributeValue(ALine, QString::fromLatin1(key.Text));
    if (key.Field == &TFormat::KeepOriginalResolution && field == "1") {
      AFormat.Width = QString::number(AScreen.width());
      AFormat.Height = QString::number(AScreen.height());
    } else if (key.Field == &TFormat::Resolutions && AFormat.KeepOriginalResolution == "1") {
      field += "," + AFormat.Width + "*" + AFormat.Height;
    }
  }
}

void LoadFormats(const QString& AFileName, TFormats& AFormats, QSize AScreen) {
  QFile file(AFileName);
  if (!file.open(QIODevice::ReadOnly)) {
    throw TFormatsError("Cannot open " + AFileName.toStdString() + ": " +
                        file.errorString().toStdString());
  }
  QString line;
  for (int i = 0; i < 4; ++i) {
    if (!ReadLine(file, line)) throw TFormatsError("The profile file ends before its profiles");
  }
  while (line != "</ROWDATA>") {
    AFormats.emplace_back();
    ParseFormatLine(line, AFormats.back(), AScreen);
    if (!ReadLine(file, line)) throw TFormatsError("The profile file ends without </ROWDATA>");
  }
}

QStringList SplitList(const QString& AText, bool AWantValues) {
  QStringList values;
  QStringList labels;
  QString accumulator;
  for (const QChar c : AText) {
    if (c == '$') {
      values.append(accumulator);
      accumulator.clear();
    } else if (c == ',') {
      labels.append(accumulator);
      accumulator.clear();
    } else {
      accumulator += c;
    }
  }
  labels.append(accumulator);
  return AWantValues ? values : labels;
}

std::optional<QString> ListValue(const QString& AAttribute, int AItemIndex) {
  const QStringList values = SplitList(AAttribute, true);
  if (AItemIndex < 0 || AItemIndex >= values.size()) return std::nullopt;
  return values[AItemIndex];
}

int DefaultIndex(const QString& AAttribute, const QString& ADefault) {
  const QStringList values = SplitList(AAttribute, true);
  for (qsizetype i = 0; i < values.size(); ++i) {
    if (values[i].compare(ADefault, Qt::CaseInsensitive) == 0) return static_cast<int>(i);
  }
  return -1;
}

}  // namespace app
