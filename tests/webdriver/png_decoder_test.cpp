#include "webdriver/png_decoder.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "tests/webdriver/png_test_files.h"

namespace tarnvex::webdriver {
namespace {

using testing::Bytes;
using testing::Chunk;
using testing::IhdrData;
using testing::LibpngImage;
using testing::PngOf;
using testing::Zlib;

std::vector<uint8_t> PixelsOf(const TBitmap& bmp) {
  std::vector<uint8_t> out;
  for (int y = 0; y < bmp.Height(); ++y) out.insert(out.end(), bmp.Row(y), bmp.Row(y) + bmp.RowBytes());
  return out;
}

// Our pixels must equal libpng's for the same file.
void ExpectSameAsLibpng(const std::string& file) {
  const testing::RgbImage expected = testing::ReadWithLibpng(Bytes(file));
  const TBitmap bmp = DecodePng(Bytes(file));
  ASSERT_EQ(bmp.Width(), expected.width);
  ASSERT_EQ(bmp.Height(), expected.height);
  EXPECT_EQ(PixelsOf(bmp), expected.rgb);
}

struct Format {
  int colour_type;
  int depth;
};

constexpr Format kFormats[] = {
    {PNG_COLOR_TYPE_GRAY, 1},       {PNG_COLOR_TYPE_GRAY, 2},       {PNG_COLOR_TYPE_GRAY, 4},
    {PNG_COLOR_TYPE_GRAY, 8},       {PNG_COLOR_TYPE_GRAY, 16},      {PNG_COLOR_TYPE_RGB, 8},
    {PNG_COLOR_TYPE_RGB, 16},       {PNG_COLOR_TYPE_PALETTE, 1},    {PNG_COLOR_TYPE_PALETTE, 2},
    {PNG_COLOR_TYPE_PALETTE, 4},    {PNG_COLOR_TYPE_PALETTE, 8},    {PNG_COLOR_TYPE_GRAY_ALPHA, 8},
    {PNG_COLOR_TYPE_GRAY_ALPHA, 16}, {PNG_COLOR_TYPE_RGB_ALPHA, 8}, {PNG_COLOR_TYPE_RGB_ALPHA, 16},
};
constexpr int kFilters[] = {PNG_FILTER_NONE, PNG_FILTER_SUB, PNG_FILTER_UP, PNG_FILTER_AVG, PNG_FILTER_PAETH};
// Sizes that leave Adam7 passes empty or partial, and one large enough for
// several IDAT chunks.
constexpr std::pair<int, int> kSizes[] = {{1, 1}, {5, 3}, {9, 9}, {70, 50}};

LibpngImage CorpusImage(Format format, bool interlaced, int filter, std::pair<int, int> size, uint32_t seed) {
  LibpngImage image;
  image.colour_type = format.colour_type;
  image.depth = format.depth;
  image.interlaced = interlaced;
  image.filters = filter;
  image.width = size.first;
  image.height = size.second;
  // A palette one short of full (for 1 bit: full), so that in-range indices
  // differ from every possible index.
  image.FillRandom(seed, std::max(2, (1 << std::min(format.depth, 8)) - 1));
  return image;
}

TEST(PngDecoder, MatchesLibpngForEveryFormatFilterAndInterlace) {
  uint32_t seed = 1;
  for (const Format format : kFormats) {
    for (const bool interlaced : {false, true}) {
      for (const int filter : kFilters) {
        for (const auto& size : kSizes) {
          SCOPED_TRACE(::testing::Message() << "colour type " << format.colour_type << ", depth " << format.depth
                                            << ", interlaced " << interlaced << ", filter " << filter << ", "
                                            << size.first << " x " << size.second);
          ExpectSameAsLibpng(testing::WriteWithLibpng(CorpusImage(format, interlaced, filter, size, seed++)));
        }
      }
    }
  }
}

TEST(PngDecoder, AncillaryChunksAndTransparencyDoNotChangeColours) {
  for (const Format format : kFormats) {
    if (format.colour_type == PNG_COLOR_TYPE_GRAY_ALPHA || format.colour_type == PNG_COLOR_TYPE_RGB_ALPHA) continue;
    SCOPED_TRACE(::testing::Message() << "colour type " << format.colour_type << ", depth " << format.depth);
    LibpngImage image = CorpusImage(format, false, PNG_ALL_FILTERS, {17, 11}, 99);
    image.with_trns = true;
    image.with_text = true;
    const std::string file = testing::WriteWithLibpng(image);
    ASSERT_NE(file.find("tRNS"), std::string::npos);
    ExpectSameAsLibpng(file);
  }
}

TEST(PngDecoder, StatedConversions) {
  // 2-bit grey 0..3 scales to 0, 85, 170, 255; 16-bit samples keep their high
  // byte; alpha is dropped, not blended.
  struct Case {
    std::string name, ihdr, raw;
    std::vector<uint8_t> rgb;
  };
  const Case cases[] = {
      {"grey 2-bit", IhdrData(4, 1, 2, 0), std::string("\0\x1B", 2), {0, 0, 0, 85, 85, 85, 170, 170, 170, 255, 255, 255}},
      {"rgb 16-bit", IhdrData(1, 1, 16, 2), std::string("\0\x12\x34\x56\x78\x9A\xBC", 7), {0x12, 0x56, 0x9A}},
      {"rgba 8-bit", IhdrData(1, 1, 8, 6), std::string("\0\x10\x20\x30\x00", 5), {0x10, 0x20, 0x30}},
      {"grey+alpha 16-bit", IhdrData(1, 1, 16, 4), std::string("\0\xAB\xCD\x00\x00", 5), {0xAB, 0xAB, 0xAB}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(PixelsOf(DecodePng(Bytes(PngOf(c.ihdr, Chunk("IDAT", Zlib(c.raw)))))), c.rgb);
  }
}

TEST(PngDecoder, AcceptsOddButValidLayouts) {
  const std::string ihdr = IhdrData(2, 1, 8, 2);
  const std::string z = Zlib(std::string("\0\1\2\3\4\5\6", 7));
  struct Case {
    std::string name, file;
  };
  const Case cases[] = {
      {"IDAT split byte by byte, with empty IDATs",
       [&] {
         std::string chunks = Chunk("IDAT", "");
         for (char c : z) chunks += Chunk("IDAT", std::string(1, c)) + Chunk("IDAT", "");
         return PngOf(ihdr, chunks);
       }()},
      {"unknown ancillary chunks before and after the data",
       PngOf(ihdr, Chunk("zzTt", "x") + Chunk("IDAT", z) + Chunk("tEXt", "a\0b"))},
      {"bytes after IEND", PngOf(ihdr, Chunk("IDAT", z)) + "trailing"},
      {"PLTE in a truecolour image", PngOf(ihdr, Chunk("PLTE", "\1\2\3") + Chunk("IDAT", z))},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(PixelsOf(DecodePng(Bytes(c.file))), (std::vector<uint8_t>{1, 2, 3, 4, 5, 6}));
  }
}

std::string Corrupted(std::string file, size_t offset) {
  file[offset] = char(file[offset] ^ 0x40);
  return file;
}

std::string WithoutZlibEnd(const std::string& raw) {
  z_stream z{};
  deflateInit(&z, 6);
  std::string out(raw.size() + 64, '\0');
  z.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(raw.data()));
  z.avail_in = uInt(raw.size());
  z.next_out = reinterpret_cast<Bytef*>(out.data());
  z.avail_out = uInt(out.size());
  deflate(&z, Z_SYNC_FLUSH);  // all data out, but no final block and no checksum
  out.resize(out.size() - z.avail_out);
  deflateEnd(&z);
  return out;
}

TEST(PngDecoder, RejectsBrokenAndHostileFiles) {
  const std::string rgb_ihdr = IhdrData(2, 2, 8, 2);
  const std::string rows("\0\1\2\3\4\5\6\0\7\10\11\12\13\14", 14);
  const std::string idat = Chunk("IDAT", Zlib(rows));
  const std::string good = PngOf(rgb_ihdr, idat);
  ASSERT_NO_THROW(DecodePng(Bytes(good)));
  const std::string tiny_data = Chunk("IDAT", Zlib(std::string(100, '\0')));
  const std::string palette_ihdr = IhdrData(3, 1, 8, 3);
  const std::string palette_idat = Chunk("IDAT", Zlib(std::string("\0\0\1\2", 4)));

  struct Case {
    std::string name, file, reason;
  };
  const Case cases[] = {
      {"empty input", "", "no PNG signature"},
      {"wrong signature", Corrupted(good, 1), "no PNG signature"},
      {"bad IHDR CRC", Corrupted(good, 8 + 8 + 13), "CRC"},
      {"bad IDAT data (CRC)", Corrupted(good, 8 + 25 + 9), "CRC"},
      {"bad ancillary CRC", PngOf(rgb_ihdr, Corrupted(Chunk("tEXt", "a\0b"), 9) + idat), "CRC"},
      {"chunk length over 2^31", PngOf(rgb_ihdr, std::string("\x80\0\0\0IDAT", 8)), "length"},
      {"chunk type not letters", PngOf(rgb_ihdr, Chunk("ID4T", "") + idat), "chunk type"},
      {"no IEND", testing::kSignature + Chunk("IHDR", rgb_ihdr) + idat, "truncated"},
      {"IHDR not first", testing::kSignature + idat + Chunk("IHDR", rgb_ihdr) + Chunk("IEND", ""), "IHDR"},
      {"two IHDR", PngOf(rgb_ihdr, Chunk("IHDR", rgb_ihdr) + idat), "IHDR"},
      {"IHDR too short", PngOf(rgb_ihdr.substr(0, 12), idat), "IHDR"},
      {"zero width", PngOf(IhdrData(0, 2, 8, 2), idat), "zero"},
      {"zero height", PngOf(IhdrData(2, 0, 8, 2), idat), "zero"},
      {"width over 2^31", PngOf(IhdrData(0x80000000u, 1, 8, 2), idat), "range"},
      {"width 16385", PngOf(IhdrData(16385, 1, 8, 2), idat), "larger than supported"},
      {"height 16385", PngOf(IhdrData(1, 16385, 8, 2), idat), "larger than supported"},
      {"16384 x 16384 from a few bytes", PngOf(IhdrData(16384, 16384, 8, 6), tiny_data), "too short for the image size"},
      {"bit depth 3", PngOf(IhdrData(2, 2, 3, 0), idat), "bit depth"},
      {"colour type 1", PngOf(IhdrData(2, 2, 8, 1), idat), "bit depth"},
      {"colour type 7", PngOf(IhdrData(2, 2, 8, 7), idat), "bit depth"},
      {"RGB with 4 bits", PngOf(IhdrData(2, 2, 4, 2), idat), "bit depth"},
      {"palette with 16 bits", PngOf(IhdrData(2, 2, 16, 3), idat), "bit depth"},
      {"compression method 1", PngOf(IhdrData(2, 2, 8, 2, 1), idat), "compression"},
      {"filter method 1", PngOf(IhdrData(2, 2, 8, 2, 0, 1), idat), "filter method"},
      {"interlace method 2", PngOf(IhdrData(2, 2, 8, 2, 0, 0, 2), idat), "interlace"},
      {"unknown critical chunk", PngOf(rgb_ihdr, Chunk("ABCD", "") + idat), "critical"},
      {"no IDAT", PngOf(rgb_ihdr, ""), "no image data"},
      {"IDAT not consecutive", PngOf(rgb_ihdr, Chunk("IDAT", Zlib(rows).substr(0, 5)) + Chunk("tEXt", "a\0b") +
                                                   Chunk("IDAT", Zlib(rows).substr(5))),
       "consecutive"},
      {"filter type 5", PngOf(rgb_ihdr, Chunk("IDAT", Zlib(std::string("\5\1\2\3\4\5\6\0\7\10\11\12\13\14", 14)))),
       "filter type"},
      {"image data one byte short", PngOf(rgb_ihdr, Chunk("IDAT", Zlib(rows.substr(1)))), "truncated"},
      {"image data one byte long", PngOf(rgb_ihdr, Chunk("IDAT", Zlib(rows + '\0'))), "too much"},
      {"bytes after the zlib stream", PngOf(rgb_ihdr, Chunk("IDAT", Zlib(rows) + "x")), "after the end"},
      {"zlib stream without its end", PngOf(rgb_ihdr, Chunk("IDAT", WithoutZlibEnd(rows))), "truncated"},
      {"not a zlib stream", PngOf(rgb_ihdr, Chunk("IDAT", "garbage!")), "corrupt"},
      {"zlib checksum wrong", PngOf(rgb_ihdr, Chunk("IDAT", Corrupted(Zlib(rows), Zlib(rows).size() - 1))),
       "corrupt"},
      {"palette image without PLTE", PngOf(palette_ihdr, palette_idat), "without PLTE"},
      {"palette index past PLTE", PngOf(palette_ihdr, Chunk("PLTE", std::string(6, '\7')) + palette_idat),
       "index out of range"},
      {"1-bit index past a 1-entry PLTE",
       PngOf(IhdrData(8, 1, 1, 3), Chunk("PLTE", "\1\2\3") + Chunk("IDAT", Zlib(std::string("\0\x01", 2)))),
       "index out of range"},
      {"PLTE in a grey image", PngOf(IhdrData(2, 2, 8, 0), Chunk("PLTE", "\1\2\3") + idat), "greyscale"},
      {"PLTE length not a multiple of 3", PngOf(palette_ihdr, Chunk("PLTE", "\1\2\3\4") + palette_idat), "PLTE"},
      {"PLTE with 257 entries", PngOf(palette_ihdr, Chunk("PLTE", std::string(771, '\1')) + palette_idat), "PLTE"},
      {"PLTE larger than the bit depth allows",
       PngOf(IhdrData(3, 1, 1, 3), Chunk("PLTE", std::string(9, '\1')) + palette_idat), "PLTE"},
      {"two PLTE", PngOf(palette_ihdr, Chunk("PLTE", std::string(9, '\1')) + Chunk("PLTE", std::string(9, '\1')) +
                                           palette_idat),
       "PLTE"},
      {"PLTE after IDAT", PngOf(palette_ihdr, palette_idat + Chunk("PLTE", std::string(9, '\1'))), "PLTE"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    try {
      DecodePng(Bytes(c.file));
      ADD_FAILURE() << "decoded without an error";
    } catch (const EImageError& e) {
      EXPECT_THAT(e.Message(), ::testing::HasSubstr(c.reason));
      EXPECT_EQ(e.TypeName(), "EImageError");
    }
  }
}

TEST(PngDecoder, EveryTruncationIsAnError) {
  LibpngImage image = CorpusImage({PNG_COLOR_TYPE_RGB_ALPHA, 8}, true, PNG_ALL_FILTERS, {40, 30}, 7);
  const std::string file = testing::WriteWithLibpng(image);
  const size_t iend = file.size() - 12;
  for (size_t length = 0; length < iend; ++length) {
    EXPECT_THROW(DecodePng(Bytes(file.substr(0, length))), EImageError) << "length " << length;
  }
}

}  // namespace
}  // namespace tarnvex::webdriver
