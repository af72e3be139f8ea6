#pragma once
// PNG files for the codec tests: written and read by libpng (the oracle), or
// assembled chunk by chunk for broken and hostile files.
#include <png.h>
#include <zlib.h>

#include <cstdint>
#include <cstring>
#include <random>
#include <span>
#include <stdexcept>
#include <string>
#include <vector>

namespace tarnvex::testing {

inline std::span<const uint8_t> Bytes(const std::string& s) {
  return {reinterpret_cast<const uint8_t*>(s.data()), s.size()};
}

// --- libpng ------------------------------------------------------------------

struct LibpngImage {
  int width = 0;
  int height = 0;
  int colour_type = PNG_COLOR_TYPE_RGB;
  int depth = 8;
  bool interlaced = false;
  int filters = PNG_FILTER_NONE;  // PNG_FILTER_* flags libpng may choose from
  std::vector<uint8_t> palette;   // R, G, B per entry
  std::vector<uint8_t> rows;      // packed scanlines in PNG sample layout, no filter bytes
  bool with_trns = false;
  bool with_text = false;

  int Channels() const {
    switch (colour_type) {
      case PNG_COLOR_TYPE_RGB: return 3;
      case PNG_COLOR_TYPE_GRAY_ALPHA: return 2;
      case PNG_COLOR_TYPE_RGB_ALPHA: return 4;
      default: return 1;
    }
  }
  size_t RowBytes() const { return (size_t(width) * Channels() * depth + 7) / 8; }

  // Random samples; palette images get `entries` random colours and indices below it.
  void FillRandom(uint32_t seed, int entries = 0) {
    std::mt19937 gen(seed);
    rows.resize(RowBytes() * height);
    for (auto& b : rows) b = uint8_t(gen());
    if (colour_type != PNG_COLOR_TYPE_PALETTE) return;
    palette.resize(size_t(entries) * 3);
    for (auto& b : palette) b = uint8_t(gen());
    const int per_byte = 8 / depth;
    for (int y = 0; y < height; ++y) {
      uint8_t* row = rows.data() + RowBytes() * y;
      std::memset(row, 0, RowBytes());
      for (int x = 0; x < width; ++x) {
        const unsigned index = gen() % entries;
        row[x / per_byte] |= uint8_t(index << (8 - depth * (1 + x % per_byte)));
      }
    }
  }
};

namespace libpng_detail {
inline void Append(png_structp png, png_bytep data, size_t length) {
  static_cast<std::string*>(png_get_io_ptr(png))->append(reinterpret_cast<char*>(data), length);
}
inline void Flush(png_structp) {}
struct Source {
  std::span<const uint8_t> bytes;
  size_t pos = 0;
};
inline void Take(png_structp png, png_bytep data, size_t length) {
  auto* source = static_cast<Source*>(png_get_io_ptr(png));
  if (source->bytes.size() - source->pos < length) png_error(png, "read past the end");
  std::memcpy(data, source->bytes.data() + source->pos, length);
  source->pos += length;
}
}  // namespace libpng_detail

// Encodes with libpng. Deflate settings may be given to match other encoders.
inline std::string WriteWithLibpng(const LibpngImage& image, int level = Z_DEFAULT_COMPRESSION,
                                   int strategy = Z_FILTERED) {
  std::string out;
  png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
  png_infop info = png_create_info_struct(png);
  std::vector<png_bytep> rows(image.height);
  for (int y = 0; y < image.height; ++y) {
    rows[y] = const_cast<png_bytep>(image.rows.data() + image.RowBytes() * y);
  }
  std::vector<png_byte> alpha(image.palette.size() / 3, 128);
  png_color_16 colour_key{};
  char key[] = "Comment", text[] = "written by the test";
  png_text text_chunk{};
  volatile bool failed = false;
  if (setjmp(png_jmpbuf(png))) {
    failed = true;
  } else {
    png_set_write_fn(png, &out, libpng_detail::Append, libpng_detail::Flush);
    png_set_IHDR(png, info, image.width, image.height, image.depth, image.colour_type,
                 image.interlaced ? PNG_INTERLACE_ADAM7 : PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT,
                 PNG_FILTER_TYPE_DEFAULT);
    if (!image.palette.empty()) {
      png_set_PLTE(png, info, reinterpret_cast<png_colorp>(const_cast<uint8_t*>(image.palette.data())),
                   int(image.palette.size() / 3));
    }
    if (image.with_trns) {
      if (image.colour_type == PNG_COLOR_TYPE_PALETTE) {
        png_set_tRNS(png, info, alpha.data(), int(alpha.size()), nullptr);
      } else {
        colour_key.gray = colour_key.red = 1;
        png_set_tRNS(png, info, nullptr, 0, &colour_key);
      }
    }
    if (image.with_text) {
      text_chunk.compression = PNG_TEXT_COMPRESSION_NONE;
      text_chunk.key = key;
      text_chunk.text = text;
      png_set_text(png, info, &text_chunk, 1);
      png_set_gAMA(png, info, 0.45455);
    }
    png_set_filter(png, PNG_FILTER_TYPE_BASE, image.filters);
    png_set_compression_level(png, level);
    png_set_compression_strategy(png, strategy);
    png_write_info(png, info);
    png_write_image(png, rows.data());
    png_write_end(png, nullptr);
  }
  png_destroy_write_struct(&png, &info);
  if (failed) throw std::runtime_error("libpng could not write the image");
  return out;
}

// What libpng decodes to with expansion, 16-to-8 stripping, alpha stripping
// and grey-to-RGB: 8-bit RGB rows.
struct RgbImage {
  int width = 0;
  int height = 0;
  std::vector<uint8_t> rgb;
};

inline RgbImage ReadWithLibpng(std::span<const uint8_t> bytes) {
  RgbImage image;
  libpng_detail::Source source{bytes};
  png_structp png = png_create_read_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
  png_infop info = png_create_info_struct(png);
  std::vector<png_bytep> rows;
  volatile bool failed = false;
  if (setjmp(png_jmpbuf(png))) {
    failed = true;
  } else {
    png_set_read_fn(png, &source, libpng_detail::Take);
    png_read_info(png, info);
    png_set_expand(png);
    png_set_strip_16(png);
    png_set_strip_alpha(png);
    png_set_gray_to_rgb(png);
    png_set_interlace_handling(png);
    png_read_update_info(png, info);
    image.width = int(png_get_image_width(png, info));
    image.height = int(png_get_image_height(png, info));
    if (png_get_rowbytes(png, info) != size_t(image.width) * 3) png_error(png, "not 8-bit RGB");
    image.rgb.resize(size_t(image.width) * 3 * image.height);
    rows.resize(image.height);
    for (int y = 0; y < image.height; ++y) rows[y] = image.rgb.data() + size_t(image.width) * 3 * y;
    png_read_image(png, rows.data());
    png_read_end(png, nullptr);
  }
  png_destroy_read_struct(&png, &info, nullptr);
  if (failed) throw std::runtime_error("libpng could not read the image");
  return image;
}

// --- Hand-made files ---------------------------------------------------------

inline void PutBigEndian32(std::string& out, uint32_t v) {
  for (int shift = 24; shift >= 0; shift -= 8) out += char(uint8_t(v >> shift));
}

inline std::string Chunk(const std::string& type, const std::string& data) {
  std::string out;
  PutBigEndian32(out, uint32_t(data.size()));
  const std::string body = type + data;
  out += body;
  PutBigEndian32(out, uint32_t(crc32(0, reinterpret_cast<const Bytef*>(body.data()), uInt(body.size()))));
  return out;
}

inline std::string IhdrData(uint32_t width, uint32_t height, uint8_t depth, uint8_t colour,
                            uint8_t compression = 0, uint8_t filter = 0, uint8_t interlace = 0) {
  std::string data;
  PutBigEndian32(data, width);
  PutBigEndian32(data, height);
  data += char(depth);
  data += char(colour);
  data += char(compression);
  data += char(filter);
  data += char(interlace);
  return data;
}

inline std::string Zlib(const std::string& raw) {
  uLongf size = compressBound(uLong(raw.size()));
  std::string out(size, '\0');
  compress2(reinterpret_cast<Bytef*>(out.data()), &size, reinterpret_cast<const Bytef*>(raw.data()),
            uLong(raw.size()), 6);
  out.resize(size);
  return out;
}

inline const std::string kSignature = "\x89PNG\r\n\x1A\n";

// Signature, IHDR, the given chunks, IEND.
inline std::string PngOf(const std::string& ihdr, const std::string& chunks) {
  return kSignature + Chunk("IHDR", ihdr) + chunks + Chunk("IEND", "");
}

struct PngChunk {
  std::string type;
  std::string data;
  size_t offset = 0;  // of the length field
  uint32_t stored_crc = 0;
};

// Splits a PNG file into its chunks (no checks beyond staying in bounds).
inline std::vector<PngChunk> ChunksOf(const std::string& file) {
  std::vector<PngChunk> chunks;
  size_t pos = 8;
  auto be32 = [&](size_t at) {
    return uint32_t(uint8_t(file[at])) << 24 | uint32_t(uint8_t(file[at + 1])) << 16 |
           uint32_t(uint8_t(file[at + 2])) << 8 | uint32_t(uint8_t(file[at + 3]));
  };
  while (pos + 12 <= file.size()) {
    const uint32_t length = be32(pos);
    if (file.size() - pos - 12 < length) break;
    chunks.push_back({file.substr(pos + 4, 4), file.substr(pos + 8, length), pos, be32(pos + 8 + length)});
    pos += 12 + length;
  }
  return chunks;
}

}  // namespace tarnvex::testing
