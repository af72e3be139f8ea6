#include "webdriver/png_decoder.h"

#include <zlib.h>

#include <algorithm>
#include <array>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "webdriver/png_format.h"

// Conversions to 8-bit RGB:
// - palette images: each index is looked up in PLTE; an index past the
//   palette's last entry is an error;
// - grey samples are replicated into R, G and B;
// - samples under 8 bits are scaled to 0..255 (v * 255 / (2^depth - 1));
// - 16-bit samples are reduced to their high byte;
// - alpha channels (and tRNS) are dropped, not blended.

namespace tarnvex::webdriver {
namespace {

[[noreturn]] void Fail(const std::string& reason) {
  throw EImageError("Invalid PNG image: " + reason);
}

enum ColourType : uint8_t { kGrey = 0, kRgb = 2, kPalette = 3, kGreyAlpha = 4, kRgba = 6 };

struct Header {
  uint32_t width = 0;
  uint32_t height = 0;
  uint8_t depth = 0;
  uint8_t colour = 0;
  bool interlaced = false;

  int Channels() const {
    switch (colour) {
      case kRgb: return 3;
      case kGreyAlpha: return 2;
      case kRgba: return 4;
      default: return 1;
    }
  }
  int BitsPerPixel() const { return Channels() * depth; }
  // The distance the filters look to the left: one whole pixel, at least a byte.
  int FilterStep() const { return std::max(1, BitsPerPixel() / 8); }
  size_t RowBytes(uint32_t pixels) const { return (size_t(pixels) * BitsPerPixel() + 7) / 8; }
};

struct Palette {
  std::array<uint8_t, 256 * 3> rgb{};
  int entries = 0;
};

// The chunks that matter for decoding, checked for structure, CRC and order.
struct PngFile {
  Header header;
  Palette palette;
  std::vector<std::span<const uint8_t>> idat;
  uint64_t idat_bytes = 0;
};

bool AllowedDepth(uint8_t colour, uint8_t depth) {
  switch (colour) {
    case kGrey: return depth == 1 || depth == 2 || depth == 4 || depth == 8 || depth == 16;
    case kPalette: return depth == 1 || depth == 2 || depth == 4 || depth == 8;
    case kRgb:
    case kGreyAlpha:
    case kRgba: return depth == 8 || depth == 16;
    default: return false;
  }
}

Header ParseHeader(std::span<const uint8_t> data) {
  if (data.size() != 13) Fail("IHDR has the wrong length");
  Header h;
  h.width = png::ReadBigEndian32(data.data());
  h.height = png::ReadBigEndian32(data.data() + 4);
  h.depth = data[8];
  h.colour = data[9];
  if (h.width == 0 || h.height == 0) Fail("zero image width or height");
  if (h.width > png::kMaxChunkLength || h.height > png::kMaxChunkLength) Fail("image size out of range");
  if (h.width > uint32_t(kMaxImageSide) || h.height > uint32_t(kMaxImageSide) ||
      uint64_t{h.width} * h.height > uint64_t(kMaxImagePixels)) {
    Fail("image of " + std::to_string(h.width) + " x " + std::to_string(h.height) +
         " pixels is larger than supported");
  }
  if (!AllowedDepth(h.colour, h.depth)) Fail("colour type and bit depth not allowed");
  if (data[10] != 0) Fail("unknown compression method");
  if (data[11] != 0) Fail("unknown filter method");
  if (data[12] > 1) Fail("unknown interlace method");
  h.interlaced = data[12] == 1;
  return h;
}

void ParsePalette(std::span<const uint8_t> data, const Header& header, Palette& palette) {
  if (header.colour == kGrey || header.colour == kGreyAlpha) Fail("PLTE in a greyscale image");
  if (data.empty() || data.size() % 3 != 0 || data.size() > palette.rgb.size()) {
    Fail("PLTE has the wrong length");
  }
  palette.entries = int(data.size() / 3);
  if (header.colour == kPalette && palette.entries > (1 << header.depth)) {
    Fail("PLTE has more entries than the bit depth allows");
  }
  std::memcpy(palette.rgb.data(), data.data(), data.size());
}

bool IsCritical(uint32_t type) { return (type & 0x20000000) == 0; }

bool ValidChunkType(const uint8_t* type) {
  return std::all_of(type, type + 4, [](uint8_t c) { return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z'); });
}

PngFile ParseChunks(std::span<const uint8_t> bytes) {
  if (bytes.size() < png::kSignature.size() ||
      !std::equal(png::kSignature.begin(), png::kSignature.end(), bytes.begin())) {
    Fail("no PNG signature");
  }
  PngFile file;
  bool have_header = false, have_palette = false, idat_ended = false;
  size_t pos = png::kSignature.size();
  for (;;) {
    if (bytes.size() - pos < png::kChunkOverhead) Fail("file truncated");
    const uint8_t* head = bytes.data() + pos;
    const uint32_t length = png::ReadBigEndian32(head);
    if (length > png::kMaxChunkLength) Fail("chunk length out of range");
    if (bytes.size() - pos - png::kChunkOverhead < length) Fail("file truncated");
    if (!ValidChunkType(head + 4)) Fail("invalid chunk type");
    const uint32_t type = png::ReadBigEndian32(head + 4);
    const std::span<const uint8_t> data(head + 8, length);
    const uint32_t crc = uint32_t(crc32(crc32(0, head + 4, 4), data.data(), uInt(length)));
    if (crc != png::ReadBigEndian32(head + 8 + length)) Fail("chunk CRC mismatch");
    pos += png::kChunkOverhead + length;

    if (!have_header) {
      if (type != png::kIHDR) Fail("IHDR is not the first chunk");
      file.header = ParseHeader(data);
      have_header = true;
      continue;
    }
    if (!file.idat.empty() && type != png::kIDAT) idat_ended = true;
    if (type == png::kIEND) break;
    if (type == png::kIDAT) {
      if (idat_ended) Fail("IDAT chunks are not consecutive");
      file.idat.push_back(data);
      file.idat_bytes += length;
    } else if (type == png::kPLTE) {
      if (have_palette) Fail("more than one PLTE");
      if (!file.idat.empty()) Fail("PLTE after the image data");
      ParsePalette(data, file.header, file.palette);
      have_palette = true;
    } else if (type == png::kIHDR) {
      Fail("more than one IHDR");
    } else if (IsCritical(type)) {
      Fail("unknown critical chunk");
    }
    // Ancillary chunks (tRNS, gAMA, text, ...) do not change the RGB pixels.
  }
  if (file.idat.empty()) Fail("no image data");
  if (file.header.colour == kPalette && !have_palette) Fail("palette image without PLTE");
  return file;
}

// Inflates the IDAT pieces straight into the caller's scanline buffers.
class ImageDataStream {
 public:
  explicit ImageDataStream(const std::vector<std::span<const uint8_t>>& pieces) : pieces_(pieces) {
    if (inflateInit(&z_) != Z_OK) throw EImageError("Cannot start the PNG decompressor");
  }
  ~ImageDataStream() { inflateEnd(&z_); }
  ImageDataStream(const ImageDataStream&) = delete;
  ImageDataStream& operator=(const ImageDataStream&) = delete;

  // Fills exactly `size` bytes.
  void Read(uint8_t* out, size_t size) {
    z_.next_out = out;
    z_.avail_out = uInt(size);
    while (z_.avail_out > 0) {
      if (ended_) Fail("image data truncated");
      Step();
    }
  }

  // The stream must end right after the last scanline, and nothing may follow it.
  void Finish() {
    uint8_t spare;
    while (!ended_) {
      z_.next_out = &spare;
      z_.avail_out = 1;
      Step();
      if (z_.avail_out == 0) Fail("too much image data");
    }
    if (z_.avail_in > 0 || std::any_of(pieces_.begin() + long(next_piece_), pieces_.end(),
                                       [](auto piece) { return !piece.empty(); })) {
      Fail("data after the end of the image data");
    }
  }

 private:
  void Step() {
    if (z_.avail_in == 0 && next_piece_ < pieces_.size()) {
      const auto piece = pieces_[next_piece_++];
      z_.next_in = const_cast<Bytef*>(piece.data());
      z_.avail_in = uInt(piece.size());
    }
    const int result = inflate(&z_, Z_NO_FLUSH);
    if (result == Z_STREAM_END) {
      ended_ = true;
    } else if (result == Z_BUF_ERROR) {
      // No progress: only possible when the input is used up.
      if (next_piece_ == pieces_.size()) Fail("image data truncated");
    } else if (result != Z_OK) {
      Fail(std::string("corrupt image data (") + (z_.msg ? z_.msg : "zlib error") + ")");
    }
  }

  const std::vector<std::span<const uint8_t>>& pieces_;
  size_t next_piece_ = 0;
  z_stream z_{};
  bool ended_ = false;
};

// --- Unfiltering -----------------------------------------------------------

inline uint8_t Paeth(int a, int b, int c) {
  const int pa = std::abs(b - c);
  const int pb = std::abs(a - c);
  const int pc = std::abs(a + b - 2 * c);
  if (pa <= pb && pa <= pc) return uint8_t(a);
  return uint8_t(pb <= pc ? b : c);
}

// Undoes the row's filter in place; `prev` is the unfiltered row above (zeros
// for the first row of a pass). Step is the filter's left distance in bytes.
template <int Step>
void Unfilter(uint8_t filter, uint8_t* cur, const uint8_t* prev, size_t n) {
  switch (filter) {
    case 0:
      return;
    case 1:
      for (size_t i = Step; i < n; ++i) cur[i] = uint8_t(cur[i] + cur[i - Step]);
      return;
    case 2:
      for (size_t i = 0; i < n; ++i) cur[i] = uint8_t(cur[i] + prev[i]);
      return;
    case 3:
      for (size_t i = 0; i < Step; ++i) cur[i] = uint8_t(cur[i] + (prev[i] >> 1));
      for (size_t i = Step; i < n; ++i) cur[i] = uint8_t(cur[i] + ((cur[i - Step] + prev[i]) >> 1));
      return;
    case 4:
      for (size_t i = 0; i < Step; ++i) cur[i] = uint8_t(cur[i] + prev[i]);
      for (size_t i = Step; i < n; ++i) cur[i] = uint8_t(cur[i] + Paeth(cur[i - Step], prev[i], prev[i - Step]));
      return;
    default:
      Fail("unknown filter type " + std::to_string(filter));
  }
}

using UnfilterFn = void (*)(uint8_t, uint8_t*, const uint8_t*, size_t);

UnfilterFn UnfilterFor(int step) {
  switch (step) {
    case 1: return Unfilter<1>;
    case 2: return Unfilter<2>;
    case 3: return Unfilter<3>;
    case 4: return Unfilter<4>;
    case 6: return Unfilter<6>;
    default: return Unfilter<8>;
  }
}

// --- Conversion of one unfiltered row to RGB ---------------------------------

using ConvertFn = void (*)(const uint8_t* src, uint32_t width, uint8_t* rgb, const Palette&);

// Grey or grey+alpha, 8 or 16 bits: the high byte of the grey sample.
template <int Stride>
void ConvertGrey(const uint8_t* src, uint32_t width, uint8_t* rgb, const Palette&) {
  for (uint32_t x = 0; x < width; ++x, src += Stride, rgb += 3) rgb[0] = rgb[1] = rgb[2] = src[0];
}

// RGB or RGBA, 8 or 16 bits: the high bytes of R, G and B.
template <int Stride, int SampleBytes>
void ConvertColour(const uint8_t* src, uint32_t width, uint8_t* rgb, const Palette&) {
  for (uint32_t x = 0; x < width; ++x, src += Stride, rgb += 3) {
    rgb[0] = src[0];
    rgb[1] = src[SampleBytes];
    rgb[2] = src[2 * SampleBytes];
  }
}

void ConvertRgb8(const uint8_t* src, uint32_t width, uint8_t* rgb, const Palette&) {
  std::memcpy(rgb, src, size_t(width) * 3);
}

// The Depth-bit sample x of a packed row (1, 2 or 4 bits, leftmost pixel in
// the high bits).
template <int Depth>
inline unsigned PackedSample(const uint8_t* src, uint32_t x) {
  constexpr unsigned kPerByte = 8 / Depth;
  const unsigned shift = 8 - Depth * (1 + x % kPerByte);
  return (src[x / kPerByte] >> shift) & ((1u << Depth) - 1);
}

template <int Depth>
void ConvertPackedGrey(const uint8_t* src, uint32_t width, uint8_t* rgb, const Palette&) {
  constexpr unsigned kScale = 255 / ((1u << Depth) - 1);
  for (uint32_t x = 0; x < width; ++x, rgb += 3) {
    rgb[0] = rgb[1] = rgb[2] = uint8_t(PackedSample<Depth>(src, x) * kScale);
  }
}

template <int Depth>
void ConvertPalette(const uint8_t* src, uint32_t width, uint8_t* rgb, const Palette& palette) {
  unsigned highest = 0;
  for (uint32_t x = 0; x < width; ++x, rgb += 3) {
    const unsigned index = Depth == 8 ? src[x] : PackedSample<Depth>(src, x);
    highest = std::max(highest, index);
    std::memcpy(rgb, &palette.rgb[index * 3], 3);
  }
  if (highest >= unsigned(palette.entries)) Fail("palette index out of range");
}

ConvertFn ConverterFor(const Header& h) {
  const bool wide = h.depth == 16;
  switch (h.colour) {
    case kGrey:
      switch (h.depth) {
        case 1: return ConvertPackedGrey<1>;
        case 2: return ConvertPackedGrey<2>;
        case 4: return ConvertPackedGrey<4>;
        case 8: return ConvertGrey<1>;
        default: return ConvertGrey<2>;
      }
    case kGreyAlpha: return wide ? ConvertGrey<4> : ConvertGrey<2>;
    case kRgb: return wide ? ConvertColour<6, 2> : ConvertRgb8;
    case kRgba: return wide ? ConvertColour<8, 2> : ConvertColour<4, 1>;
    default:
      switch (h.depth) {
        case 1: return ConvertPalette<1>;
        case 2: return ConvertPalette<2>;
        case 4: return ConvertPalette<4>;
        default: return ConvertPalette<8>;
      }
  }
}

// --- Passes ------------------------------------------------------------------

struct Pass {
  uint32_t x0, y0, dx, dy;
};
constexpr Pass kWholeImage[] = {{0, 0, 1, 1}};
constexpr Pass kAdam7[] = {{0, 0, 8, 8}, {4, 0, 8, 8}, {0, 4, 4, 8}, {2, 0, 4, 4},
                           {0, 2, 2, 4}, {1, 0, 2, 2}, {0, 1, 1, 2}};

uint32_t PassExtent(uint32_t size, uint32_t start, uint32_t step) {
  return size > start ? (size - start + step - 1) / step : 0;
}

std::span<const Pass> PassesOf(const Header& h) {
  if (h.interlaced) return kAdam7;
  return kWholeImage;
}

// The number of bytes the zlib stream must hold: every pass's scanlines, each
// with its filter byte.
uint64_t ImageDataSize(const Header& h) {
  uint64_t total = 0;
  for (const Pass& p : PassesOf(h)) {
    const uint32_t w = PassExtent(h.width, p.x0, p.dx), rows = PassExtent(h.height, p.y0, p.dy);
    if (w > 0) total += uint64_t{rows} * (1 + h.RowBytes(w));
  }
  return total;
}

// Deflate cannot expand by more than 1032:1 (a 258-byte match in two bits), so
// a few bytes that claim a huge image are refused before it is allocated.
constexpr uint64_t kMaxInflateRatio = 1032;

void DecodePasses(const PngFile& file, ImageDataStream& stream, TBitmap& bmp) {
  const Header& h = file.header;
  const UnfilterFn unfilter = UnfilterFor(h.FilterStep());
  const ConvertFn convert = ConverterFor(h);
  const size_t max_row = h.RowBytes(h.width);
  // Two scanlines, each with room for its filter byte in front.
  std::vector<uint8_t> lines(2 * (max_row + 1));
  std::vector<uint8_t> rgb(h.interlaced ? size_t(h.width) * 3 : 0);
  for (const Pass& p : PassesOf(h)) {
    const uint32_t width = PassExtent(h.width, p.x0, p.dx), rows = PassExtent(h.height, p.y0, p.dy);
    if (width == 0 || rows == 0) continue;  // an empty pass has no scanlines at all
    const size_t row_bytes = h.RowBytes(width);
    uint8_t* cur = lines.data();
    uint8_t* prev = lines.data() + max_row + 1;
    std::memset(prev, 0, row_bytes + 1);
    for (uint32_t r = 0; r < rows; ++r) {
      stream.Read(cur, row_bytes + 1);
      unfilter(cur[0], cur + 1, prev + 1, row_bytes);
      uint8_t* out = bmp.Row(int(p.y0 + r * p.dy));
      if (!h.interlaced) {
        convert(cur + 1, width, out, file.palette);
      } else {
        convert(cur + 1, width, rgb.data(), file.palette);
        for (uint32_t x = 0; x < width; ++x) std::memcpy(out + (p.x0 + x * p.dx) * 3, &rgb[x * 3], 3);
      }
      std::swap(cur, prev);
    }
  }
}

}  // namespace

TBitmap DecodePng(std::span<const uint8_t> bytes) {
  const PngFile file = ParseChunks(bytes);
  if (ImageDataSize(file.header) / kMaxInflateRatio > file.idat_bytes + 64) {
    Fail("image data too short for the image size");
  }
  TBitmap bmp(int(file.header.width), int(file.header.height));
  ImageDataStream stream(file.idat);
  DecodePasses(file, stream, bmp);
  stream.Finish();
  return bmp;
}

}  // namespace tarnvex::webdriver
