#pragma once
// Format profiles: what the "Record to:" lists offer for one kind of output
// file, read once at start-up from Profiles/Formats.dat beside the program.

#include <QSize>
#include <QString>
#include <QStringList>
#include <optional>
#include <stdexcept>
#include <vector>

namespace app {

// One profile: 21 strings in file order of the fields.
struct TFormat {
  QString FormatExt;               // format_ext, with its leading dot
  QString Title;                   // name
  QString Resolutions;             // resolutions (labels only)
  QString FrameRates;              // frame_rates
  QString VideoBitRates;           // video_bitrates
  QString AudioBitRates;           // audio_bitrates
  QString SampleRates;             // sample_rates
  QString Channels;                // channels
  QString VideoCodecs;             // video_codecs: encoder name $ label
  QString AudioCodecs;             // audio_codecs: encoder name $ label
  QString VideoCodecName;          // video_codec_name: default value
  QString Width;                   // width
  QString Height;                  // height
  QString KeepOriginalResolution;  // keep_ori_resolution: "1" = screen size
  QString FrameRate;               // frame_rate
  QString VideoBitRate;            // video_bitrate
  QString AudioCodecName;          // audio_codec_name
  QString SampleRate;              // sample_rate
  QString AudioBitRate;            // audio_bitrate
  QString Channel;                 // channel
  QString ExtraParam;              // extra_param: kept, unused
};

using TFormats = std::vector<TFormat>;

// A profile file that cannot be opened or read, or that ends early.
class TFormatsError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// Fills AFormat from one profile line. AScreen is the screen's size, used
// when the profile asks for the original resolution.
void ParseFormatLine(const QString& ALine, TFormat& AFormat, QSize AScreen);

// Reads the profiles of the file into AFormats (appending). Lines 1 to 3 are
// skipped; each following line is one profile until the line "</ROWDATA>".
// Throws TFormatsError on a failed open or read and on a file that ends
// without "</ROWDATA>"; the profiles read before stay in AFormats.
void LoadFormats(const QString& AFileName, TFormats& AFormats, QSize AScreen);

// Splits a list attribute "value$label,value$label": the values when
// AWantValues, the labels otherwise. Labels always hold at least one entry.
QStringList SplitList(const QString& AText, bool AWantValues);

// The value of the entry at AItemIndex of a list attribute; nothing when no
// entry is selected or the entry has no value.
std::optional<QString> ListValue(const QString& AAttribute, int AItemIndex);

// Index of ADefault among the values of AAttribute, ignoring letter case;
// -1 when absent.
int DefaultIndex(const QString& AAttribute, const QString& ADefault);

}  // namespace app
