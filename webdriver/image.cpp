#include "webdriver/image.h"

#include <algorithm>
#include <cstring>

#include "platform/base64.h"
#include "platform/files.h"
#include "webdriver/png_decoder.h"
#include "webdriver/png_encoder.h"

namespace tarnvex::webdriver {

void TBitmap::SetSize(int width, int height) {
  if (width < 0 || height < 0 || width > kMaxImageSide || height > kMaxImageSide ||
      int64_t{width} * height > kMaxImagePixels) {
    throw EImageError("Image size out of range: " + std::to_string(width) + " x " +
                      std::to_string(height));
  }
  // assign() rather than resize(): every pixel must become black, not only new ones.
  pixels_.assign(size_t(width) * size_t(height) * 3, 0);
  width_ = width;
  height_ = height;
}

TBitmap::Rgb TBitmap::Pixel(int x, int y) const {
  const uint8_t* p = Row(y) + size_t(x) * 3;
  return {p[0], p[1], p[2]};
}

void TBitmap::SetPixel(int x, int y, Rgb colour) {
  uint8_t* p = Row(y) + size_t(x) * 3;
  p[0] = colour.r;
  p[1] = colour.g;
  p[2] = colour.b;
}

void TBitmap::CopyRect(const TBitmap& source, int x, int y, int width, int height) {
  TBitmap target(width, height);
  // The overlap of the rectangle with the source, in source coordinates; 64-bit
  // because x + width may pass the int range.
  const int64_t left = std::max<int64_t>(x, 0);
  const int64_t top = std::max<int64_t>(y, 0);
  const int64_t right = std::min<int64_t>(int64_t{x} + width, source.Width());
  const int64_t bottom = std::min<int64_t>(int64_t{y} + height, source.Height());
  if (left < right && top < bottom) {
    const size_t bytes = size_t(right - left) * 3;
    for (int64_t sy = top; sy < bottom; ++sy) {
      std::memcpy(target.Row(int(sy - y)) + size_t(left - x) * 3,
                  source.Row(int(sy)) + size_t(left) * 3, bytes);
    }
  }
  *this = std::move(target);
}

namespace {

TBitmap DecodeBase64Png(std::string_view pic) {
  std::vector<uint8_t> bytes;
  try {
    bytes = base64::Decode(pic);
  } catch (const base64::EBase64Error&) {
    // One error type for every image that cannot be read.
    throw EImageError("The image text is not valid base64");
  }
  return DecodePng(bytes);
}

}  // namespace

void Base64ToBmp(std::string_view pic, TBitmap& bmp) { bmp = DecodeBase64Png(pic); }

void CutImage(std::string_view pic, int x, int y, int width, int height, TBitmap& bmp) {
  bmp.CopyRect(DecodeBase64Png(pic), x, y, width, height);
}

void BmpToPng(const TBitmap& bmp, const std::string& file_name) {
  files::WriteFileAtomic(file_name, EncodePng(bmp));
}

}  // namespace tarnvex::webdriver
