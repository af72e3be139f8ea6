// Any bytes: DecodePng either raises EImageError or returns an image that
// survives a write and a second read unchanged.
#include <cstdint>
#include <cstdlib>
#include <span>
#include <string>

#include "webdriver/png_decoder.h"
#include "webdriver/png_encoder.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace tarnvex::webdriver;
  TBitmap bmp;
  try {
    bmp = DecodePng(std::span<const uint8_t>(data, size));
  } catch (const EImageError&) {
    return 0;
  }
  const std::string file = EncodePng(bmp);
  const TBitmap again = DecodePng(std::span<const uint8_t>(reinterpret_cast<const uint8_t*>(file.data()), file.size()));
  if (again.Width() != bmp.Width() || again.Height() != bmp.Height()) std::abort();
  for (int y = 0; y < bmp.Height(); ++y) {
    for (size_t i = 0; i < bmp.RowBytes(); ++i) {
      if (again.Row(y)[i] != bmp.Row(y)[i]) std::abort();
    }
  }
  return 0;
}
