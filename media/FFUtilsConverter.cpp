#include "media/FFUtilsConverter.h"

#include <cstring>
#include <stdexcept>

#include "media/FFBindings.h"

namespace media {

namespace {

struct TFormatInfo {
  int BitsPixel;
  AVPixelFormat PixFmt;
  QImage::Format Image;
};

TFormatInfo Info(TBMPPixelFormat AFormat) {
  switch (AFormat) {
    case TBMPPixelFormat::pf8bit: return {8, AV_PIX_FMT_BGR8, QImage::Format_Indexed8};
    case TBMPPixelFormat::pf15bit: return {16, AV_PIX_FMT_RGB555LE, QImage::Format_RGB555};
    case TBMPPixelFormat::pf16bit: return {16, AV_PIX_FMT_RGB565LE, QImage::Format_RGB16};
    case TBMPPixelFormat::pf24bit: return {24, AV_PIX_FMT_BGR24, QImage::Format_BGR888};
    case TBMPPixelFormat::pf32bit: break;
  }
  return {32, AV_PIX_FMT_BGRA, QImage::Format_RGB32};
}

// The colours of BGR8: (msb) 2 bits blue, 3 green, 3 red (lsb).
QList<QRgb> Bgr8ColourTable() {
  QList<QRgb> table(256);
  for (int i = 0; i < 256; ++i)
    table[i] = qRgb((i & 7) * 255 / 7, ((i >> 3) & 7) * 255 / 7, (i >> 6) * 255 / 3);
  return table;
}

// Copies AHeight rows of ARowBytes bytes, each side stepping by its own stride.
void CopyRows(uint8_t* ADst, qsizetype ADstStride, const uint8_t* ASrc, qsizetype ASrcStride,
              qsizetype ARowBytes, int AHeight) {
  for (int y = 0; y < AHeight; ++y) std::memcpy(ADst + y * ADstStride, ASrc + y * ASrcStride, ARowBytes);
}

}  // namespace

void TFormatConverter::TAVFree::operator()(void* p) const { ff::av_free(p); }
void TFormatConverter::TSwsFree::operator()(SwsContext* p) const { ff::sws_freeContext(p); }

TFormatConverter::TFormatConverter() { Reset(); }
TFormatConverter::~TFormatConverter() = default;

QImage::Format TFormatConverter::ImageFormat() const { return Info(FBMPPixFmt).Image; }

void TFormatConverter::Reset() {
  FRGBPicture = {};
  FRGBPictureRef = {};
  FHasRef = false;
  FConverted = false;
  const TFormatInfo info = Info(FBMPPixFmt);
  FBitsPixel = info.BitsPixel;
  FAVPixFmt = info.PixFmt;
  if (!FBitmap.isNull() && FBitmap.format() != info.Image)
    FBitmap = QImage(FBitmap.size(), info.Image);
  if (info.Image == QImage::Format_Indexed8 && !FBitmap.isNull()) FBitmap.setColorTable(Bgr8ColourTable());
}

void TFormatConverter::SetBMPPixFmt(TBMPPixelFormat AValue) {
  if (AValue == FBMPPixFmt) return;
  FBMPPixFmt = AValue;
  Reset();
}

void TFormatConverter::SetBitsPixel(int AValue) {
  if (AValue == FBitsPixel) return;
  switch (AValue) {
    case 8: FBMPPixFmt = TBMPPixelFormat::pf8bit; break;
    case 15: FBMPPixFmt = TBMPPixelFormat::pf15bit; break;
    case 16: FBMPPixFmt = TBMPPixelFormat::pf16bit; break;
    case 24: FBMPPixFmt = TBMPPixelFormat::pf24bit; break;
    case 32: FBMPPixFmt = TBMPPixelFormat::pf32bit; break;
    default: throw std::invalid_argument("Invalid BitsPixel " + std::to_string(AValue));
  }
  Reset();
}

void TFormatConverter::RequireRef(const char* AWhat) const {
  if (!FHasRef)
    throw std::logic_error(std::string("Assertion failed: ") + AWhat +
                           " without an RGB picture (FFUtils)");
}

bool TFormatConverter::PictureToRGB(const TAVPicture& APicture, AVPixelFormat APixFmt,
                                    bool AUpdateBitmap, int AHeight, int AWidth) {
  FHasRef = false;
  if (AWidth <= 0 || AHeight <= 0 || ff::av_image_check_size(AWidth, AHeight, 0, nullptr) < 0) {
    FLastErrMsg = "Invalid picture size " + std::to_string(AWidth) + "x" + std::to_string(AHeight);
    return false;
  }
  const QImage::Format format = Info(FBMPPixFmt).Image;
  if (FBitmap.width() != AWidth || FBitmap.height() != AHeight || FBitmap.format() != format) {
    FBitmap = QImage(AWidth, AHeight, format);
    if (FBitmap.isNull()) {
      FLastErrMsg = "Cannot allocate the bitmap";
      return false;
    }
    if (format == QImage::Format_Indexed8) FBitmap.setColorTable(Bgr8ColourTable());
  }

  const bool needed = APixFmt != FAVPixFmt || (AWidth & 1) || (AHeight & 1) ||
                      FBitmap.bytesPerLine() != APicture.linesize[0];
  if (needed) {
    const int size = ff::av_image_get_buffer_size(FAVPixFmt, AWidth, AHeight, 4);
    if (size < 0) {
      FLastErrMsg = "Cannot initialize the toRGB conversion context";
      return false;
    }
    if (!FRGBBuffer || FRGBBufSize < static_cast<size_t>(size)) {
      FRGBBuffer.reset(static_cast<uint8_t*>(ff::av_malloc(size)));
      FRGBBufSize = FRGBBuffer ? size : 0;
      if (!FRGBBuffer) {
        FLastErrMsg = "Cannot allocate the RGB picture buffer";
        return false;
      }
    }
    FRGBPicture = {};
    ff::av_image_fill_arrays(FRGBPicture.data, FRGBPicture.linesize, FRGBBuffer.get(), FAVPixFmt,
                             AWidth, AHeight, 4);
    if (APixFmt == FAVPixFmt) {
      // Same layout, other strides or sizes: a plain copy keeps every bit.
      ff::av_image_copy(FRGBPicture.data, FRGBPicture.linesize, const_cast<const uint8_t**>(APicture.data),
                        APicture.linesize, APixFmt, AWidth, AHeight);
    } else {
      FtoRGB_convert_ctx.reset(ff::sws_getCachedContext(FtoRGB_convert_ctx.release(), AWidth, AHeight,
                                                        APixFmt, AWidth, AHeight, FAVPixFmt,
                                                        SWS_BICUBIC, nullptr, nullptr, nullptr));
      if (!FtoRGB_convert_ctx) {
        FLastErrMsg = "Cannot initialize the toRGB conversion context";
        return false;
      }
      if (ff::sws_scale(FtoRGB_convert_ctx.get(), APicture.data, APicture.linesize, 0, AHeight,
                        FRGBPicture.data, FRGBPicture.linesize) < 0) {
        FLastErrMsg = "Cannot convert the picture to RGB";
        return false;
      }
    }
    FRGBPictureRef = FRGBPicture;
  } else {
    FRGBPictureRef = APicture;
  }
  FHasRef = true;
  FConverted = needed;
  FRefWidth = AWidth;
  FRefHeight = AHeight;
  if (AUpdateBitmap) RGBToBitmap();
  return true;
}

void TFormatConverter::RGBToBitmap() {
  RequireRef("RGBToBitmap");
  const qsizetype rowBytes = static_cast<qsizetype>(FRefWidth) * FBitmap.depth() / 8;
  CopyRows(FBitmap.bits(), FBitmap.bytesPerLine(), FRGBPictureRef.data[0], FRGBPictureRef.linesize[0],
           rowBytes, FRefHeight);
}

void TFormatConverter::BitmapToRGB() {
  RequireRef("BitmapToRGB");
  const qsizetype rowBytes = static_cast<qsizetype>(FRefWidth) * FBitmap.depth() / 8;
  CopyRows(FRGBPictureRef.data[0], FRGBPictureRef.linesize[0], FBitmap.constBits(), FBitmap.bytesPerLine(),
           rowBytes, FRefHeight);
}

bool TFormatConverter::RGBToPicture(const TAVPicture& APicture, AVPixelFormat APixFmt, int AHeight,
                                    int AWidth) {
  RequireRef("RGBToPicture");
  if (AWidth != FRefWidth || AHeight != FRefHeight) {
    FLastErrMsg = "Cannot initialize the fromRGB conversion context";
    return false;
  }
  if (APixFmt == FAVPixFmt) {
    // Without a conversion the image was copied straight into this picture.
    if (FRGBPictureRef.data[0] == APicture.data[0]) return true;
    ff::av_image_copy(const_cast<uint8_t**>(APicture.data), const_cast<int*>(APicture.linesize),
                      const_cast<const uint8_t**>(FRGBPictureRef.data), FRGBPictureRef.linesize, APixFmt,
                      AWidth, AHeight);
    return true;
  }
  FfromRGB_convert_ctx.reset(ff::sws_getCachedContext(FfromRGB_convert_ctx.release(), AWidth, AHeight,
                                                      FAVPixFmt, AWidth, AHeight, APixFmt, SWS_BICUBIC,
                                                      nullptr, nullptr, nullptr));
  if (!FfromRGB_convert_ctx) {
    FLastErrMsg = "Cannot initialize the fromRGB conversion context";
    return false;
  }
  if (ff::sws_scale(FfromRGB_convert_ctx.get(), FRGBPictureRef.data, FRGBPictureRef.linesize, 0, AHeight,
                    APicture.data, APicture.linesize) < 0) {
    FLastErrMsg = "Cannot convert the picture from RGB";
    return false;
  }
  return true;
}

}  // namespace media
