#pragma once
// The picture converter: turns a picture of the media libraries (any pixel
// format) into a QImage the program's UI can show or draw on and, after the
// image has been changed, turns it back into the library picture.
//
// The image formats are those whose memory layout equals a library pixel
// format: Indexed8 with the BGR 3:3:2 colour table (BGR8), RGB555
// (RGB555LE), RGB16 (RGB565LE), BGR888 (BGR24) and RGB32 (BGRA). Rows are
// copied by each side's own stride. One converter serves one stream; it
// keeps its buffer and scaling contexts from frame to frame.

#include <memory>
#include <string>

#include <QImage>

#include "media/FFPicture.h"

extern "C" {
#include <libavutil/pixfmt.h>
}

struct SwsContext;

namespace media {

enum class TBMPPixelFormat { pf8bit, pf15bit, pf16bit, pf24bit, pf32bit };

class TFormatConverter {
 public:
  TFormatConverter();  // 24-bit
  ~TFormatConverter();
  TFormatConverter(const TFormatConverter&) = delete;
  TFormatConverter& operator=(const TFormatConverter&) = delete;

  TBMPPixelFormat BMPPixFmt() const { return FBMPPixFmt; }
  void SetBMPPixFmt(TBMPPixelFormat AValue);
  // Storage bits per pixel: 8, 16 (15- and 16-bit formats), 24 or 32.
  int BitsPixel() const { return FBitsPixel; }
  // 8, 15, 16, 24 or 32 select a format (16 keeps a selected 15-bit format);
  // anything else throws std::invalid_argument("Invalid BitsPixel %d").
  void SetBitsPixel(int AValue);
  AVPixelFormat AVPixFmt() const { return FAVPixFmt; }
  QImage::Format ImageFormat() const;

  // Makes the RGB picture of APicture (AWidth x AHeight in APixFmt): the
  // caller's picture itself when it already has the image's layout, else a
  // conversion into the converter's own buffer. With AUpdateBitmap the image
  // is filled as well. False with LastErrMsg when the conversion cannot be made.
  bool PictureToRGB(const TAVPicture& APicture, AVPixelFormat APixFmt, bool AUpdateBitmap,
                    int AHeight, int AWidth);
  // Copies the RGB picture into the image, or the image back into the RGB
  // picture (straight into the caller's picture when no conversion was
  // needed). Both require a successful PictureToRGB (std::logic_error).
  void RGBToBitmap();
  void BitmapToRGB();
  // Converts the RGB picture back into the caller's APicture.
  bool RGBToPicture(const TAVPicture& APicture, AVPixelFormat APixFmt, int AHeight, int AWidth);

  QImage& Bitmap() { return FBitmap; }
  const TAVPicture& RGBPicture() const { return FRGBPicture; }
  // The picture in image layout that PictureToRGB produced last, or null.
  const TAVPicture* RGBPictureRef() const { return FHasRef ? &FRGBPictureRef : nullptr; }
  // True when the last PictureToRGB had to convert (RGBPictureRef is RGBPicture).
  bool Converted() const { return FHasRef && FConverted; }
  size_t RGBBufSize() const { return FRGBBufSize; }
  const std::string& LastErrMsg() const { return FLastErrMsg; }

 private:
  struct TAVFree {
    void operator()(void* p) const;
  };
  struct TSwsFree {
    void operator()(SwsContext* p) const;
  };

  void Reset();
  void RequireRef(const char* AWhat) const;

  int FBitsPixel = 24;
  AVPixelFormat FAVPixFmt = AV_PIX_FMT_BGR24;
  TBMPPixelFormat FBMPPixFmt = TBMPPixelFormat::pf24bit;
  QImage FBitmap;
  std::unique_ptr<uint8_t, TAVFree> FRGBBuffer;
  size_t FRGBBufSize = 0;
  TAVPicture FRGBPicture{};
  TAVPicture FRGBPictureRef{};
  bool FHasRef = false;
  bool FConverted = false;
  int FRefWidth = 0;
  int FRefHeight = 0;
  std::unique_ptr<SwsContext, TSwsFree> FtoRGB_convert_ctx;
  std::unique_ptr<SwsContext, TSwsFree> FfromRGB_convert_ctx;
  std::string FLastErrMsg;
};

}  // namespace media
