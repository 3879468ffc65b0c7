// bench_convert: cost of the picture converter per 1920x1080 frame, the
// path the engine takes for every hooked or previewed picture: YUV 4:2:0 to
// a 32-bit image and back, and a BGRA picture that needs no conversion.
#include <chrono>
#include <cstdio>
#include <vector>

#include "BenchSupport.h"
#include "media/FFBindings.h"
#include "media/FFUtilsConverter.h"

namespace {

template <typename F>
double MsPerFrame(int AFrames, F&& AStep) {
  AStep();  // warm-up: contexts and buffers
  const auto start = std::chrono::steady_clock::now();
  for (int i = 0; i < AFrames; ++i) AStep();
  const std::chrono::duration<double, std::milli> spent = std::chrono::steady_clock::now() - start;
  return spent.count() / AFrames;
}

}  // namespace

int main() {
  if (!bench::LoadLibrariesQuietly("bench_convert")) return 1;
  constexpr int W = 1920, H = 1080, kFrames = 100;
  std::vector<uint8_t> y(W * H, 120), u(W * H / 4, 100), v(W * H / 4, 160), bgra(W * H * 4, 90);
  TAVPicture yuv{{y.data(), u.data(), v.data(), nullptr}, {W, W / 2, W / 2, 0}};
  TAVPicture packed{{bgra.data(), nullptr, nullptr, nullptr}, {W * 4, 0, 0, 0}};

  media::TFormatConverter conv;
  conv.SetBitsPixel(32);
  const double toImage = MsPerFrame(kFrames, [&] { conv.PictureToRGB(yuv, AV_PIX_FMT_YUV420P, true, H, W); });
  const double back = MsPerFrame(kFrames, [&] {
    conv.BitmapToRGB();
    conv.RGBToPicture(yuv, AV_PIX_FMT_YUV420P, H, W);
  });
  const double same = MsPerFrame(kFrames, [&] { conv.PictureToRGB(packed, AV_PIX_FMT_BGRA, true, H, W); });
  std::printf("1920x1080, %d frames each\n", kFrames);
  std::printf("  yuv420p -> 32-bit image:        %7.2f ms/frame\n", toImage);
  std::printf("  32-bit image -> yuv420p:        %7.2f ms/frame\n", back);
  std::printf("  bgra picture -> image (copy):   %7.2f ms/frame\n", same);
  return 0;
}
