#pragma once
// PNG decoding into an 8-bit RGB raster image.
#include <cstdint>
#include <span>

#include "webdriver/image.h"

namespace tarnvex::webdriver {

// Decodes a PNG file of any colour type, bit depth and interlace method the
// PNG standard allows. Every fault (signature, chunk structure or CRC, IHDR
// values, palette, image data too short or too long, filter types, sizes over
// kMaxImageSide / kMaxImagePixels) raises EImageError; the size checks come
// before the image is allocated.
TBitmap DecodePng(std::span<const uint8_t> bytes);

}  // namespace tarnvex::webdriver
