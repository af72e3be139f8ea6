#include "webdriver/image.h"

#include <gtest/gtest.h>

#include <climits>

#include "platform/base64.h"
#include "platform/files.h"
#include "tests/support/process.h"
#include "tests/webdriver/png_test_files.h"

namespace tarnvex::webdriver {
namespace {

using testing::Bytes;
using Rgb = TBitmap::Rgb;

// A width x height image whose every pixel tells its own coordinates.
TBitmap Numbered(int width, int height) {
  TBitmap bmp(width, height);
  for (int y = 0; y < height; ++y)
    for (int x = 0; x < width; ++x) bmp.SetPixel(x, y, {uint8_t(x + 1), uint8_t(y + 1), 200});
  return bmp;
}

// A 2 x 2 RGBA PNG, written by libpng, with its colour channels.
struct RgbaSample {
  std::string file;
  Rgb colours[4];
};
RgbaSample Rgba2x2() {
  testing::LibpngImage image;
  image.width = image.height = 2;
  image.colour_type = PNG_COLOR_TYPE_RGB_ALPHA;
  image.rows = {255, 0, 0, 255, 0, 255, 0, 128, 0, 0, 255, 0, 10, 20, 30, 40};
  return {testing::WriteWithLibpng(image), {{255, 0, 0}, {0, 255, 0}, {0, 0, 255}, {10, 20, 30}}};
}

std::string Base64Of(const std::string& bytes) { return base64::Encode(Bytes(bytes)); }

TEST(Bitmap, SetSizeMakesEveryPixelBlack) {
  TBitmap bmp = Numbered(4, 3);
  bmp.SetSize(3, 4);
  ASSERT_EQ(bmp.Width(), 3);
  ASSERT_EQ(bmp.Height(), 4);
  for (int y = 0; y < 4; ++y)
    for (int x = 0; x < 3; ++x) EXPECT_EQ(bmp.Pixel(x, y), Rgb{}) << x << "," << y;
}

TEST(Bitmap, SizesOutOfRangeAreErrors) {
  for (const auto& [width, height] : {std::pair{-1, 1}, {1, -1}, {16385, 1}, {1, 16385}, {INT_MIN, INT_MIN}}) {
    TBitmap bmp;
    EXPECT_THROW(bmp.SetSize(width, height), EImageError) << width << " x " << height;
  }
  EXPECT_NO_THROW(TBitmap(16384, 1));
}

TEST(Bitmap, CopyRectIsBlackOutsideTheSource) {
  const TBitmap source = Numbered(5, 4);
  struct Case {
    int x, y, width, height;
  };
  const Case cases[] = {
      {1, 1, 2, 2},              // inside
      {3, 2, 4, 4},              // reaching past the right and bottom edges
      {-2, -1, 4, 3},            // starting above and left of the image
      {-1, -1, 7, 6},            // larger than the image on every side
      {6, 0, 2, 2},              // wholly outside
      {INT_MAX - 1, 0, 3, 1},    // x + width beyond the int range
      {2, 2, 0, 0},              // empty
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(::testing::Message() << c.x << "," << c.y << " " << c.width << " x " << c.height);
    TBitmap target = Numbered(2, 2);
    target.CopyRect(source, c.x, c.y, c.width, c.height);
    ASSERT_EQ(target.Width(), c.width);
    ASSERT_EQ(target.Height(), c.height);
    for (int ty = 0; ty < c.height; ++ty) {
      for (int tx = 0; tx < c.width; ++tx) {
        const int64_t sx = int64_t{c.x} + tx, sy = int64_t{c.y} + ty;
        const bool inside = sx >= 0 && sy >= 0 && sx < source.Width() && sy < source.Height();
        EXPECT_EQ(target.Pixel(tx, ty), inside ? source.Pixel(int(sx), int(sy)) : Rgb{}) << tx << "," << ty;
      }
    }
  }
}

TEST(Bitmap, CopyRectFromItself) {
  TBitmap bmp = Numbered(4, 4);
  bmp.CopyRect(bmp, 1, 2, 2, 2);
  EXPECT_EQ(bmp.Pixel(0, 0), (Rgb{2, 3, 200}));
  EXPECT_EQ(bmp.Pixel(1, 1), (Rgb{3, 4, 200}));
}

TEST(ImagePipeline, Base64ToBmpDropsAlpha) {
  const RgbaSample sample = Rgba2x2();
  TBitmap bmp;
  // Line breaks inside the base64 text are skipped.
  std::string pic = Base64Of(sample.file);
  pic.insert(10, "\r\n");
  Base64ToBmp(pic, bmp);
  ASSERT_EQ(bmp.Width(), 2);
  ASSERT_EQ(bmp.Height(), 2);
  for (int i = 0; i < 4; ++i) EXPECT_EQ(bmp.Pixel(i % 2, i / 2), sample.colours[i]) << i;
}

TEST(ImagePipeline, InvalidPicturesAreImageErrors) {
  const std::string good = Base64Of(Rgba2x2().file);
  for (const std::string& pic : {std::string(), std::string("not base64!"), good.substr(0, good.size() / 2),
                                 Base64Of("plain text, not a PNG")}) {
    TBitmap bmp;
    EXPECT_THROW(Base64ToBmp(pic, bmp), EImageError) << pic;
    EXPECT_THROW(CutImage(pic, 0, 0, 1, 1, bmp), EImageError) << pic;
  }
}

TEST(ImagePipeline, CutImageReachingPastTheImage) {
  const RgbaSample sample = Rgba2x2();
  TBitmap bmp;
  CutImage(Base64Of(sample.file), 1, 0, 3, 2, bmp);
  ASSERT_EQ(bmp.Width(), 3);
  ASSERT_EQ(bmp.Height(), 2);
  EXPECT_EQ(bmp.Pixel(0, 0), sample.colours[1]);
  EXPECT_EQ(bmp.Pixel(0, 1), sample.colours[3]);
  for (int y = 0; y < 2; ++y)
    for (int x = 1; x < 3; ++x) EXPECT_EQ(bmp.Pixel(x, y), Rgb{}) << x << "," << y;
}

TEST(ImagePipeline, BmpToPngWritesAnRgbFileReplacingTheOldOne) {
  testing::TempDir dir;
  const std::string path = dir.File("shot.png");
  testing::WriteFile(path, std::string(100000, 'x'));
  const RgbaSample sample = Rgba2x2();
  TBitmap bmp;
  Base64ToBmp(Base64Of(sample.file), bmp);
  BmpToPng(bmp, path);

  const std::string file = testing::ReadFile(path);
  const auto chunks = testing::ChunksOf(file);
  ASSERT_FALSE(chunks.empty());
  EXPECT_EQ(chunks.front().data, testing::IhdrData(2, 2, 8, 2));
  const testing::RgbImage read = testing::ReadWithLibpng(Bytes(file));
  const std::vector<uint8_t> expected = {255, 0, 0, 0, 255, 0, 0, 0, 255, 10, 20, 30};
  EXPECT_EQ(read.rgb, expected);
}

TEST(ImagePipeline, BmpToPngErrors) {
  testing::TempDir dir;
  EXPECT_THROW(BmpToPng(TBitmap(2, 2), dir.File("missing/shot.png")), files::EFCreateError);
  EXPECT_THROW(BmpToPng(TBitmap(), dir.File("empty.png")), EImageError);
  EXPECT_FALSE(testing::PathExists(dir.File("empty.png")));
}

}  // namespace
}  // namespace tarnvex::webdriver
