// The picture converter: library pictures to QImage and back.
#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "media/FFBindings.h"
#include "media/FFLoad.h"
#include "media/FFUtilsConverter.h"

using namespace media;

namespace {

struct TCase {
  TBMPPixelFormat Format;
  AVPixelFormat PixFmt;
  int Bpp;                    // bytes per pixel
  std::vector<uint8_t> Red;   // one red pixel in the format's memory layout
};

const std::vector<TCase>& Cases() {
  static const std::vector<TCase> cases = {
      {TBMPPixelFormat::pf8bit, AV_PIX_FMT_BGR8, 1, {0x07}},
      {TBMPPixelFormat::pf15bit, AV_PIX_FMT_RGB555LE, 2, {0x00, 0x7C}},
      {TBMPPixelFormat::pf16bit, AV_PIX_FMT_RGB565LE, 2, {0x00, 0xF8}},
      {TBMPPixelFormat::pf24bit, AV_PIX_FMT_BGR24, 3, {0x00, 0x00, 0xFF}},
      {TBMPPixelFormat::pf32bit, AV_PIX_FMT_BGRA, 4, {0x00, 0x00, 0xFF, 0xFF}},
  };
  return cases;
}

// A picture in the caller's memory with a guard byte pattern past each row.
struct TPicture {
  TPicture(int AWidth, int AHeight, int ABpp, int AStride)
      : RowBytes(AWidth * ABpp), Bytes(static_cast<size_t>(AStride) * AHeight, 0xEE) {
    Picture.data[0] = Bytes.data();
    Picture.linesize[0] = AStride;
  }
  uint8_t* Row(int y) { return Bytes.data() + y * Picture.linesize[0]; }
  int RowBytes;
  std::vector<uint8_t> Bytes;
  TAVPicture Picture{};
};

class ConverterTest : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_TRUE(FFLoader().Load(kEncoderLibraries)) << FFLoader().LastErrMsg(); }
};

}  // namespace

TEST_F(ConverterTest, RoundTripsEveryBitmapFormat) {
  struct TSize {
    int Width, Height, Stride;  // Stride 0: packed rows
  };
  // Even sizes with the image's own row size, odd sizes, widths of the
  // form 4k + 2 (24-bit rows not a multiple of 4) and wide strides.
  const TSize sizes[] = {{8, 4, -1}, {7, 5, 0}, {6, 4, 0}, {10, 3, 0}, {6, 4, 64}};
  for (const TCase& c : Cases()) {
    for (const TSize& s : sizes) {
      SCOPED_TRACE("bpp " + std::to_string(c.Bpp) + " size " + std::to_string(s.Width) + "x" +
                   std::to_string(s.Height) + " stride " + std::to_string(s.Stride));
      TFormatConverter conv;
      conv.SetBMPPixFmt(c.Format);
      ASSERT_EQ(conv.AVPixFmt(), c.PixFmt);
      const int imageStride = (s.Width * c.Bpp + 3) & ~3;
      const int stride = s.Stride < 0 ? imageStride : s.Stride > 0 ? s.Stride : s.Width * c.Bpp;
      TPicture pic(s.Width, s.Height, c.Bpp, stride);
      for (int y = 0; y < s.Height; ++y)
        for (int i = 0; i < pic.RowBytes; ++i) pic.Row(y)[i] = static_cast<uint8_t>(y * 31 + i * 7 + 1);
      std::memcpy(pic.Row(1) + c.Bpp, c.Red.data(), c.Bpp);  // (1,1) is red

      ASSERT_TRUE(conv.PictureToRGB(pic.Picture, c.PixFmt, true, s.Height, s.Width)) << conv.LastErrMsg();
      const QImage& image = conv.Bitmap();
      ASSERT_EQ(image.width(), s.Width);
      ASSERT_EQ(image.height(), s.Height);
      ASSERT_EQ(image.format(), conv.ImageFormat());
      // Same memory layout: every byte arrives, and the image reads red.
      for (int y = 0; y < s.Height; ++y)
        ASSERT_EQ(std::memcmp(image.constScanLine(y), pic.Row(y), pic.RowBytes), 0) << "row " << y;
      EXPECT_EQ(image.pixel(1, 1), qRgb(255, 0, 0));
      const bool sameLayout = stride == imageStride && !(s.Width & 1) && !(s.Height & 1);
      EXPECT_EQ(conv.Converted(), !sameLayout);
      if (sameLayout) {
        EXPECT_EQ(conv.RGBPictureRef()->data[0], pic.Picture.data[0]);
      }

      // Change the image and bring it back into the caller's picture.
      QImage& edit = conv.Bitmap();
      for (int y = 0; y < s.Height; ++y)
        for (int i = 0; i < pic.RowBytes; ++i) edit.scanLine(y)[i] = static_cast<uint8_t>(255 - y - i);
      conv.BitmapToRGB();
      if (conv.Converted()) {
        ASSERT_TRUE(conv.RGBToPicture(pic.Picture, c.PixFmt, s.Height, s.Width)) << conv.LastErrMsg();
      }
      for (int y = 0; y < s.Height; ++y) {
        ASSERT_EQ(std::memcmp(pic.Row(y), edit.constScanLine(y), pic.RowBytes), 0) << "row " << y;
        for (int i = pic.RowBytes; i < stride; ++i) ASSERT_EQ(pic.Row(y)[i], 0xEE) << "padding written";
      }
    }
  }
}

TEST_F(ConverterTest, ConvertsYuvAndKeepsItsBuffer) {
  TFormatConverter conv;  // 24-bit
  std::vector<uint8_t> y(640 * 480, 235), u(320 * 240, 128), v(320 * 240, 128);
  TAVPicture yuv{{y.data(), u.data(), v.data(), nullptr}, {640, 320, 320, 0}};
  ASSERT_TRUE(conv.PictureToRGB(yuv, AV_PIX_FMT_YUV420P, true, 480, 640)) << conv.LastErrMsg();
  EXPECT_TRUE(conv.Converted());
  EXPECT_EQ(conv.RGBPictureRef()->data[0], conv.RGBPicture().data[0]);
  EXPECT_EQ(conv.RGBBufSize(), 640u * 480 * 3);
  EXPECT_GE(qGray(conv.Bitmap().pixel(320, 240)), 250);  // white

  const uint8_t* buffer = conv.RGBPicture().data[0];
  ASSERT_TRUE(conv.PictureToRGB(yuv, AV_PIX_FMT_YUV420P, false, 480, 640));
  EXPECT_EQ(conv.RGBPicture().data[0], buffer);  // not reallocated

  // Paint the left half black and take it back to YUV.
  conv.Bitmap().fill(Qt::white);
  for (int row = 0; row < 480; ++row) std::memset(conv.Bitmap().scanLine(row), 0, 320 * 3);
  conv.BitmapToRGB();
  ASSERT_TRUE(conv.RGBToPicture(yuv, AV_PIX_FMT_YUV420P, 480, 640)) << conv.LastErrMsg();
  EXPECT_NEAR(y[100 * 640 + 100], 16, 3);
  EXPECT_NEAR(y[100 * 640 + 500], 235, 3);
  EXPECT_NEAR(u[50 * 320 + 40], 128, 3);

  std::vector<uint8_t> big(1280 * 720 * 4, 0);
  TAVPicture bgra{{big.data(), nullptr, nullptr, nullptr}, {1280 * 4, 0, 0, 0}};
  ASSERT_TRUE(conv.PictureToRGB(bgra, AV_PIX_FMT_BGRA, false, 720, 1280));
  EXPECT_EQ(conv.RGBBufSize(), 1280u * 720 * 3);
}

TEST_F(ConverterTest, FormatSelectionAndMisuse) {
  TFormatConverter conv;
  EXPECT_EQ(conv.BitsPixel(), 24);
  EXPECT_EQ(conv.BMPPixFmt(), TBMPPixelFormat::pf24bit);
  conv.SetBitsPixel(15);
  EXPECT_EQ(conv.BMPPixFmt(), TBMPPixelFormat::pf15bit);
  EXPECT_EQ(conv.BitsPixel(), 16);
  conv.SetBitsPixel(16);  // 16 bits per pixel already: stays 15-bit
  EXPECT_EQ(conv.BMPPixFmt(), TBMPPixelFormat::pf15bit);
  conv.SetBitsPixel(32);
  EXPECT_EQ(conv.AVPixFmt(), AV_PIX_FMT_BGRA);
  try {
    conv.SetBitsPixel(12);
    FAIL();
  } catch (const std::invalid_argument& e) {
    EXPECT_STREQ(e.what(), "Invalid BitsPixel 12");
  }
  EXPECT_THROW(conv.RGBToBitmap(), std::logic_error);
  EXPECT_THROW(conv.BitmapToRGB(), std::logic_error);

  std::vector<uint8_t> bytes(16 * 16 * 4);
  TAVPicture pic{{bytes.data(), nullptr, nullptr, nullptr}, {64, 0, 0, 0}};
  EXPECT_FALSE(conv.PictureToRGB(pic, AV_PIX_FMT_BGRA, true, 0, 16));
  EXPECT_EQ(conv.RGBPictureRef(), nullptr);
  // A changed format drops the last picture.
  ASSERT_TRUE(conv.PictureToRGB(pic, AV_PIX_FMT_BGRA, true, 16, 16));
  conv.SetBMPPixFmt(TBMPPixelFormat::pf8bit);
  EXPECT_EQ(conv.RGBPictureRef(), nullptr);
}
