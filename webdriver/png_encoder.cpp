#include "webdriver/png_encoder.h"

#include <zlib.h>

#include <algorithm>
#include <cstring>
#include <vector>

#include "webdriver/png_format.h"

namespace tarnvex::webdriver {
namespace {

constexpr int kDeflateLevel = 7;
constexpr size_t kIdatPiece = 65535;
// Filtered rows go to deflate in batches of about this many bytes, so that a
// large image never needs a second full-size buffer.
constexpr size_t kFilterBatch = size_t{1} << 18;

class ChunkWriter {
 public:
  explicit ChunkWriter(std::string& out) : out_(out) {}

  void Write(uint32_t type, const uint8_t* data, size_t length) {
    uint8_t head[8];
    png::WriteBigEndian32(head, uint32_t(length));
    png::WriteBigEndian32(head + 4, type);
    uLong crc = crc32(0, head + 4, 4);
    if (length > 0) crc = crc32(crc, data, uInt(length));
    uint8_t tail[4];
    png::WriteBigEndian32(tail, uint32_t(crc));
    out_.append(reinterpret_cast<const char*>(head), sizeof head);
    out_.append(reinterpret_cast<const char*>(data), length);
    out_.append(reinterpret_cast<const char*>(tail), sizeof tail);
  }

 private:
  std::string& out_;
};

// Filter type 1 (Sub): each byte minus the byte one pixel (3 bytes) to its
// left, modulo 256; the first pixel stays as it is.
void FilterSub(const uint8_t* row, size_t bytes, uint8_t* out) {
  *out++ = 1;
  const size_t first = bytes < 3 ? bytes : 3;
  std::memcpy(out, row, first);
  for (size_t i = first; i < bytes; ++i) out[i] = uint8_t(row[i] - row[i - 3]);
}

// One zlib stream over the filtered rows, cut into IDAT chunks as it comes out.
class IdatStream {
 public:
  explicit IdatStream(ChunkWriter& chunks) : chunks_(chunks), piece_(kIdatPiece) {
    if (deflateInit2(&z_, kDeflateLevel, Z_DEFLATED, MAX_WBITS, 8, Z_DEFAULT_STRATEGY) != Z_OK) {
      throw EImageError("Cannot start the PNG compressor");
    }
    Reset();
  }
  ~IdatStream() { deflateEnd(&z_); }
  IdatStream(const IdatStream&) = delete;
  IdatStream& operator=(const IdatStream&) = delete;

  void Compress(const uint8_t* data, size_t bytes, bool last) {
    z_.next_in = const_cast<Bytef*>(data);
    z_.avail_in = uInt(bytes);
    const int flush = last ? Z_FINISH : Z_NO_FLUSH;
    for (;;) {
      const int result = deflate(&z_, flush);
      if (result == Z_STREAM_ERROR) throw EImageError("PNG compression failed");
      const bool done = last ? result == Z_STREAM_END : z_.avail_in == 0 && z_.avail_out > 0;
      if (z_.avail_out == 0) {
        chunks_.Write(png::kIDAT, piece_.data(), piece_.size());
        Reset();
      }
      if (done) break;
    }
    if (last && z_.avail_out < piece_.size()) {
      chunks_.Write(png::kIDAT, piece_.data(), piece_.size() - z_.avail_out);
    }
  }

 private:
  void Reset() {
    z_.next_out = piece_.data();
    z_.avail_out = uInt(piece_.size());
  }

  ChunkWriter& chunks_;
  std::vector<uint8_t> piece_;
  z_stream z_{};
};

}  // namespace

std::string EncodePng(const TBitmap& bmp) {
  if (bmp.Empty()) throw EImageError("Cannot write an empty image as PNG");
  std::string out(png::kSignature.begin(), png::kSignature.end());
  ChunkWriter chunks(out);

  uint8_t ihdr[13];
  png::WriteBigEndian32(ihdr, uint32_t(bmp.Width()));
  png::WriteBigEndian32(ihdr + 4, uint32_t(bmp.Height()));
  ihdr[8] = 8;    // bit depth
  ihdr[9] = 2;    // colour type: truecolour
  ihdr[10] = 0;   // compression method
  ihdr[11] = 0;   // filter method
  ihdr[12] = 0;   // interlace method: none
  chunks.Write(png::kIHDR, ihdr, sizeof ihdr);

  const size_t row_bytes = bmp.RowBytes();
  const size_t line = row_bytes + 1;
  const int rows_per_batch = int(std::max<size_t>(1, kFilterBatch / line));
  std::vector<uint8_t> batch(size_t(std::min(rows_per_batch, bmp.Height())) * line);
  IdatStream idat(chunks);
  for (int y = 0; y < bmp.Height(); y += rows_per_batch) {
    const int rows = std::min(rows_per_batch, bmp.Height() - y);
    for (int r = 0; r < rows; ++r) FilterSub(bmp.Row(y + r), row_bytes, batch.data() + r * line);
    idat.Compress(batch.data(), size_t(rows) * line, y + rows == bmp.Height());
  }

  chunks.Write(png::kIEND, nullptr, 0);
  return out;
}

}  // namespace tarnvex::webdriver
