#include "webdriver/png_encoder.h"

#include <gtest/gtest.h>

#include <random>

#include "tests/webdriver/png_test_files.h"

namespace tarnvex::webdriver {
namespace {

using testing::Bytes;

// Noise for data that does not compress; a flat background with a few
// stripes for data that does.
TBitmap MakeImage(int width, int height, bool noise) {
  TBitmap bmp(width, height);
  std::mt19937 gen(uint32_t(width * 31 + height));
  for (int y = 0; y < height; ++y) {
    uint8_t* row = bmp.Row(y);
    for (size_t i = 0; i < bmp.RowBytes(); ++i) {
      row[i] = noise ? uint8_t(gen()) : uint8_t(y % 16 == 0 ? i * 7 : 240);
    }
  }
  return bmp;
}

std::string InflateAll(const std::string& z) {
  std::string out;
  z_stream stream{};
  inflateInit(&stream);
  stream.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(z.data()));
  stream.avail_in = uInt(z.size());
  char buffer[65536];
  int result;
  do {
    stream.next_out = reinterpret_cast<Bytef*>(buffer);
    stream.avail_out = sizeof buffer;
    result = inflate(&stream, Z_NO_FLUSH);
    out.append(buffer, sizeof buffer - stream.avail_out);
  } while (result == Z_OK);
  inflateEnd(&stream);
  EXPECT_EQ(result, Z_STREAM_END);
  EXPECT_EQ(stream.avail_in, 0u);
  return out;
}

std::string DeflateLevel7(const std::string& raw) {
  z_stream stream{};
  deflateInit2(&stream, 7, Z_DEFLATED, 15, 8, Z_DEFAULT_STRATEGY);
  std::string out(deflateBound(&stream, uLong(raw.size())), '\0');
  stream.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(raw.data()));
  stream.avail_in = uInt(raw.size());
  stream.next_out = reinterpret_cast<Bytef*>(out.data());
  stream.avail_out = uInt(out.size());
  EXPECT_EQ(deflate(&stream, Z_FINISH), Z_STREAM_END);
  out.resize(out.size() - stream.avail_out);
  deflateEnd(&stream);
  return out;
}

// The scanlines the file must hold: filter byte 1, then each byte minus the
// byte 3 positions to its left.
std::string SubFiltered(const TBitmap& bmp) {
  std::string raw;
  for (int y = 0; y < bmp.Height(); ++y) {
    raw += '\1';
    const uint8_t* row = bmp.Row(y);
    for (size_t i = 0; i < bmp.RowBytes(); ++i) raw += char(i < 3 ? row[i] : uint8_t(row[i] - row[i - 3]));
  }
  return raw;
}

TEST(PngEncoder, WritesTheFileLayout) {
  struct Case {
    int width, height;
    bool noise;
    size_t min_idat_chunks;
  };
  const Case cases[] = {
      {1, 1, false, 1}, {2, 2, true, 1}, {1, 40, true, 1}, {800, 600, false, 1},
      {300, 300, true, 5},  // 270 kB of noise: several full IDAT pieces
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(::testing::Message() << c.width << " x " << c.height << (c.noise ? " noise" : " flat"));
    const TBitmap bmp = MakeImage(c.width, c.height, c.noise);
    const std::string file = EncodePng(bmp);
    ASSERT_EQ(file.substr(0, 8), testing::kSignature);

    const auto chunks = testing::ChunksOf(file);
    ASSERT_GE(chunks.size(), 3u);
    size_t end = 8;
    for (const auto& chunk : chunks) {
      const std::string body = chunk.type + chunk.data;
      EXPECT_EQ(chunk.stored_crc, crc32(0, reinterpret_cast<const Bytef*>(body.data()), uInt(body.size())))
          << chunk.type;
      end = chunk.offset + 12 + chunk.data.size();
    }
    EXPECT_EQ(end, file.size());
    EXPECT_EQ(chunks.front().type, "IHDR");
    EXPECT_EQ(chunks.front().data, testing::IhdrData(c.width, c.height, 8, 2));
    EXPECT_EQ(chunks.back().type, "IEND");
    EXPECT_EQ(chunks.back().data, "");

    std::string z;
    const size_t idats = chunks.size() - 2;
    EXPECT_GE(idats, c.min_idat_chunks);
    for (size_t i = 1; i + 1 < chunks.size(); ++i) {
      EXPECT_EQ(chunks[i].type, "IDAT");
      if (i + 2 < chunks.size()) {
        EXPECT_EQ(chunks[i].data.size(), 65535u) << "IDAT " << i;
      }
      EXPECT_GT(chunks[i].data.size(), 0u);
      z += chunks[i].data;
    }
    // One zlib stream of the Sub-filtered rows, exactly as deflate level 7
    // with the default window and memory makes it.
    const std::string expected_raw = SubFiltered(bmp);
    EXPECT_EQ(InflateAll(z), expected_raw);
    EXPECT_EQ(z, DeflateLevel7(expected_raw));
  }
}

TEST(PngEncoder, LibpngReadsBackTheSamePixels) {
  for (const auto& [width, height] : {std::pair{1, 1}, {3, 7}, {257, 33}, {1000, 70}}) {
    SCOPED_TRACE(::testing::Message() << width << " x " << height);
    const TBitmap bmp = MakeImage(width, height, true);
    const testing::RgbImage read = testing::ReadWithLibpng(Bytes(EncodePng(bmp)));
    ASSERT_EQ(read.width, width);
    ASSERT_EQ(read.height, height);
    for (int y = 0; y < height; ++y) {
      ASSERT_TRUE(std::equal(bmp.Row(y), bmp.Row(y) + bmp.RowBytes(), read.rgb.begin() + y * bmp.RowBytes()))
          << "row " << y;
    }
  }
}

TEST(PngEncoder, EmptyImageIsAnError) {
  for (const auto& [width, height] : {std::pair{0, 0}, {5, 0}, {0, 5}}) {
    EXPECT_THROW(EncodePng(TBitmap(width, height)), EImageError) << width << " x " << height;
  }
}

}  // namespace
}  // namespace tarnvex::webdriver
