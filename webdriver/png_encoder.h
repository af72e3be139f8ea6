#pragma once
// PNG encoding of an 8-bit RGB raster image.
#include <string>

#include "webdriver/image.h"

namespace tarnvex::webdriver {

// The bytes of a PNG file holding `bmp`: IHDR (8-bit truecolour, no
// interlace), the image data as IDAT chunks of 65535 bytes (the last one
// shorter or equal), IEND. Every row is filtered with Sub; the rows form one
// zlib stream at level 7 with zlib's default window and memory. An empty
// image raises EImageError.
std::string EncodePng(const TBitmap& bmp);

}  // namespace tarnvex::webdriver
