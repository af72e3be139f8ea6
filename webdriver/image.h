#pragma once
// The screenshot image pipeline: an 8-bit RGB raster image, and the steps
// from the server's base64 PNG text to a raster image and from a raster image
// to a PNG file. The PNG codec itself is in png_decoder.h and png_encoder.h.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "platform/exception.h"

namespace tarnvex::webdriver {

// Every invalid image: broken or hostile PNG data, base64 text that is not
// base64, an image size out of range.
TARNVEX_EXCEPTION(EImageError, Exception);

// Largest image accepted, so that a hostile size cannot exhaust memory:
// 16384 pixels a side and 256 Mpixels (= 16384 * 16384) in all.
inline constexpr int kMaxImageSide = 16384;
inline constexpr int64_t kMaxImagePixels = int64_t{kMaxImageSide} * kMaxImageSide;

// A true-colour raster image without alpha: rows of R, G, B bytes, top row
// first, 3 * Width() bytes per row, rows contiguous.
class TBitmap {
 public:
  struct Rgb {
    uint8_t r = 0, g = 0, b = 0;
    friend bool operator==(const Rgb&, const Rgb&) = default;
  };

  TBitmap() = default;
  TBitmap(int width, int height) { SetSize(width, height); }

  int Width() const { return width_; }
  int Height() const { return height_; }
  bool Empty() const { return width_ == 0 || height_ == 0; }
  size_t RowBytes() const { return size_t(width_) * 3; }

  // Resizes the image; every pixel becomes black. A negative size, or one
  // over kMaxImageSide / kMaxImagePixels, raises EImageError.
  void SetSize(int width, int height);

  uint8_t* Row(int y) { return pixels_.data() + size_t(y) * RowBytes(); }
  const uint8_t* Row(int y) const { return pixels_.data() + size_t(y) * RowBytes(); }
  Rgb Pixel(int x, int y) const;
  void SetPixel(int x, int y, Rgb colour);

  // This image becomes `width` x `height` pixels holding the rectangle of
  // `source` with corner (x, y); the parts of the rectangle outside `source`
  // are black. The rectangle may lie partly or wholly outside `source`.
  void CopyRect(const TBitmap& source, int x, int y, int width, int height);

 private:
  int width_ = 0;
  int height_ = 0;
  std::vector<uint8_t> pixels_;
};

// bmp becomes the image of `pic`, the base64 text of a PNG file. Raises
// EImageError for text that is not base64 and for an invalid PNG.
void Base64ToBmp(std::string_view pic, TBitmap& bmp);
// bmp becomes the rectangle (x, y, width, height) of the image of `pic`;
// pixels outside the decoded image are black.
void CutImage(std::string_view pic, int x, int y, int width, int height, TBitmap& bmp);
// Writes bmp to `file_name` as a PNG file, replacing the file atomically.
// EImageError for an empty image (PNG has no zero-sized images); the file
// layer's EFCreateError when the file cannot be written.
void BmpToPng(const TBitmap& bmp, const std::string& file_name);

}  // namespace tarnvex::webdriver
