// Output geometry: the resolution text and the crop, pad and scale chain.
#include "app/OutputGeometry.h"

#include <cfenv>
#include <cmath>
#include <cstdint>
#include <limits>

namespace app {

namespace {

constexpr int kMinSide = 64;
constexpr int kMaxWidth = 1920;
constexpr int kMaxHeight = 1280;

QString IntegerOrMinusOne(const QString& APart) {
  bool ok = false;
  const int value = APart.toInt(&ok, 10);
  return ok ? QString::number(value) : QStringLiteral("-1");
}

// Nearest integer, an exact half to the even neighbour, whatever rounding
// mode the thread has set.
long double RoundHalfEven(long double AValue) {
  const int mode = std::fegetround();
  std::fesetround(FE_TONEAREST);
  const long double rounded = std::nearbyintl(AValue);
  std::fesetround(mode);
  return rounded;
}

// The bar on each side along one direction: AOut * ASrc / (2 * t) - ASrc / 2
// with t = ASrc * AOutOther / ASrcOther as a double, the rest in extended
// precision.
int Bar(int64_t AOut, int64_t ASrc, int64_t AOutOther, int64_t ASrcOther) {
  const double t = static_cast<double>(ASrc * AOutOther) / static_cast<double>(ASrcOther);
  const long double bar = static_cast<long double>(AOut * ASrc) / (2.0L * t) - static_cast<long double>(ASrc) / 2.0L;
  const long double rounded = RoundHalfEven(bar);
  // The padded side (ASrc + 2 * bar) must still be a number the filter takes.
  if (!std::isfinite(rounded) || rounded < 0 ||
      rounded > (static_cast<long double>(std::numeric_limits<int>::max()) - ASrc) / 2) {
    throw TGeometryError("The black bars for a " + std::to_string(ASrc) + " pixel side cannot be computed.");
  }
  return static_cast<int>(rounded);
}

}  // namespace

const char* const kInvalidResolutionText =
    "Please input valid resolution. Both width and height must be multiples of 2, and range from 64*64 to "
    "1920*1280.";

QString ResolutionWidth(const QString& AText) {
  const qsizetype star = AText.indexOf('*');
  return star < 0 ? QStringLiteral("-1") : IntegerOrMinusOne(AText.left(star));
}

QString ResolutionHeight(const QString& AText) {
  const qsizetype star = AText.lastIndexOf('*');
  return star < 0 ? QStringLiteral("-1") : IntegerOrMinusOne(AText.mid(star + 1));
}

std::optional<QSize> CheckResolution(const QString& AText) {
  const int w = ResolutionWidth(AText).toInt();
  const int h = ResolutionHeight(AText).toInt();
  if (w < kMinSide || w > kMaxWidth || h < kMinSide || h > kMaxHeight) return std::nullopt;
  if (w % 2 != 0 || h % 2 != 0) return std::nullopt;
  return QSize(w, h);
}

QString CropFilter(int ASrcW, int ASrcH) { return QStringLiteral("crop=%1:%2:0:0").arg(ASrcW).arg(ASrcH); }

QString PadFilter(int AW, int AH, int APadX, int APadY) {
  return QStringLiteral("pad=%1:%2:%3:%4:black").arg(AW + 2 * APadX).arg(AH + 2 * APadY).arg(APadX).arg(APadY);
}

void AppendFilter(QString& AChain, const QString& AFilter) {
  if (AFilter.isEmpty()) return;
  if (AChain.isEmpty()) {
    AChain = AFilter;
  } else {
    AChain += ',' + AFilter;
  }
}

QSize PadAmounts(int ASrcW, int ASrcH, int AW, int AH) {
  if (ASrcW <= 0 || ASrcH <= 0) {
    throw TGeometryError("The recorded area is empty (" + std::to_string(ASrcW) + "x" + std::to_string(ASrcH) +
                         " pixels): there is no picture to fit into the video.");
  }
  if (AW <= 0 || AH <= 0) {
    throw TGeometryError("The output size " + std::to_string(AW) + "x" + std::to_string(AH) + " is empty.");
  }
  const double outAspect = static_cast<double>(AW) / AH;
  const double srcAspect = static_cast<double>(ASrcW) / ASrcH;
  if (outAspect >= srcAspect) return QSize(Bar(AW, ASrcW, AH, ASrcH), 0);  // bars left and right
  return QSize(0, Bar(AH, ASrcH, AW, ASrcW));                              // bars above and below
}

QString VideoFilterChain(int ASrcW, int ASrcH, int AW, int AH) {
  const QSize pad = PadAmounts(ASrcW, ASrcH, AW, AH);
  QString chain;
  AppendFilter(chain, CropFilter(ASrcW, ASrcH));
  AppendFilter(chain, PadFilter(ASrcW, ASrcH, pad.width(), pad.height()));
  AppendFilter(chain, QStringLiteral("scale=%1:%2").arg(AW).arg(AH));
  return chain;
}

}  // namespace app
