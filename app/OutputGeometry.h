#pragma once
// Output geometry: the output size the user typed ("640*480") and the video
// filter chain that fits the whole captured area into it. The picture is
// padded with black bars to the output's aspect ratio and then scaled, so it
// is never cut or distorted.

#include <QSize>
#include <QString>
#include <optional>
#include <stdexcept>

namespace app {

// A capture area the chain cannot be computed for (zero or negative size,
// bars too large to describe).
class TGeometryError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// The part before the first "*" when it is an integer, else "-1".
QString ResolutionWidth(const QString& AText);
// The part after the last "*" when it is an integer, else "-1".
QString ResolutionHeight(const QString& AText);

// The output size of a resolution text when it is valid: both even, width
// 64..1920, height 64..1280 (inclusive).
std::optional<QSize> CheckResolution(const QString& AText);
// The warning shown for a resolution that fails the check.
extern const char* const kInvalidResolutionText;

QString CropFilter(int ASrcW, int ASrcH);
QString PadFilter(int AW, int AH, int APadX, int APadY);
void AppendFilter(QString& AChain, const QString& AFilter);

// The bars on one side: (padX, padY), one of them zero. Throws
// TGeometryError for an empty capture area.
QSize PadAmounts(int ASrcW, int ASrcH, int AW, int AH);

// "crop=...,pad=...:black,scale=W:H" for a capture of ASrcW x ASrcH and an
// output of AW x AH. Throws TGeometryError for an empty capture area.
QString VideoFilterChain(int ASrcW, int ASrcH, int AW, int AH);

}  // namespace app
