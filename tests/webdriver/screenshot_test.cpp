#include <gtest/gtest.h>

#include "json/json_document.h"
#include "platform/base64.h"
#include "platform/files.h"
#include "tests/support/process.h"
#include "tests/webdriver/driver_fixture.h"
#include "webdriver/image.h"

namespace tarnvex::webdriver {
namespace {

using tarnvex::testing::TempDir;

// The base64 text of a PNG of `bmp`, as a server sends it.
std::string PngBase64(const TBitmap& bmp) {
  TempDir dir;
  BmpToPng(bmp, dir.File("x.png"));
  const std::string bytes = files::ReadAllBytes(dir.File("x.png"));
  return base64::Encode({reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size()});
}

// A 40 x 30 image whose pixel (x, y) is (x, y, 7).
TBitmap Gradient() {
  TBitmap bmp(40, 30);
  for (int y = 0; y < 30; ++y) {
    for (int x = 0; x < 40; ++x) bmp.SetPixel(x, y, {uint8_t(x), uint8_t(y), 7});
  }
  return bmp;
}

class ScreenShotTest : public DriverTest {
 protected:
  void SetUp() override {
    Attach(true);
    server.Reply("GET", "/session/s1/screenshot", R"({"value":")" + PngBase64(Gradient()) + R"("})");
  }
  TWebElement Element() {
    TWebElement element;
    element.FWebDriver = driver.get();
    element.W3C = true;
    element.ElementData = R"({"element-6066-11e4-a52e-4f735466cecf":"E"})";
    return element;
  }
};

TEST_F(ScreenShotTest, PageScreenshotToBitmapAndToFile) {
  TBitmap bmp;
  driver->ScreenShot(bmp);
  ASSERT_EQ(bmp.Width(), 40);
  ASSERT_EQ(bmp.Height(), 30);
  EXPECT_EQ(bmp.Pixel(39, 29), (TBitmap::Rgb{39, 29, 7}));

  TempDir dir;
  const std::string file = dir.File("shot.png");
  tarnvex::testing::WriteFile(file, "old content");
  driver->ScreenShot(file);
  const std::string bytes = files::ReadAllBytes(file);
  TBitmap read;
  Base64ToBmp(base64::Encode({reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size()}), read);
  EXPECT_EQ(read.Width(), 40);
  EXPECT_EQ(read.Pixel(12, 5), (TBitmap::Rgb{12, 5, 7}));
}

TEST_F(ScreenShotTest, ElementScreenshotCutsTheTruncatedRectangle) {
  server.Reply("GET", "/session/s1/element/E/rect",
               R"({"value":{"x":10.7,"y":3.2,"width":9.9,"height":4.5}})");
  TBitmap bmp;
  Element().ScreenShot(bmp);
  ASSERT_EQ(bmp.Width(), 9);
  ASSERT_EQ(bmp.Height(), 4);
  EXPECT_EQ(bmp.Pixel(0, 0), (TBitmap::Rgb{10, 3, 7}));
  EXPECT_EQ(bmp.Pixel(8, 3), (TBitmap::Rgb{18, 6, 7}));

  // A rectangle reaching past the image: the part outside is black.
  server.Reply("GET", "/session/s1/element/E/rect", R"({"value":{"x":38,"y":0,"width":4,"height":1}})");
  Element().ScreenShot(bmp);
  EXPECT_EQ(bmp.Pixel(1, 0), (TBitmap::Rgb{39, 0, 7}));
  EXPECT_EQ(bmp.Pixel(2, 0), (TBitmap::Rgb{0, 0, 0}));

  TempDir dir;
  Element().ScreenShot(dir.File("element.png"));
  EXPECT_TRUE(files::FileExists(dir.File("element.png")));
}

TEST_F(ScreenShotTest, ServerElementScreenshotAndTheMissingDriver) {
  TBitmap small(2, 2);
  small.SetPixel(1, 1, {255, 0, 0});
  server.Reply("GET", "/session/s1/element/E/screenshot", R"({"value":")" + PngBase64(small) + R"("})");
  TBitmap bmp;
  Element().ScreenShot2(bmp);
  ASSERT_EQ(bmp.Width(), 2);
  EXPECT_EQ(bmp.Pixel(1, 1), (TBitmap::Rgb{255, 0, 0}));

  server.ClearRequests();
  TWebElement orphan;
  orphan.ScreenShot(bmp);
  orphan.ScreenShot2(bmp);
  TempDir dir;
  orphan.ScreenShot(dir.File("none.png"));
  EXPECT_TRUE(server.Requests().empty());
  EXPECT_FALSE(files::FileExists(dir.File("none.png")));
}

TEST_F(ScreenShotTest, FailuresRaiseAndWriteNothing) {
  TempDir dir;
  const std::string file = dir.File("shot.png");
  server.Reply("GET", "/session/s1/screenshot", R"({"value":{"error":"e","message":"m"}})", 500);
  EXPECT_THROW(driver->ScreenShot(file), json::EJsonCastException);
  server.Reply("GET", "/session/s1/screenshot", "");
  EXPECT_THROW(driver->ScreenShot(file), json::EJsonParserException);
  server.Reply("GET", "/session/s1/screenshot", R"({"status":0})");
  EXPECT_THROW(driver->ScreenShot(file), EImageError);
  server.Reply("GET", "/session/s1/screenshot", R"({"value":"bm90IGEgcG5n"})");
  EXPECT_THROW(driver->ScreenShot(file), EImageError);
  EXPECT_FALSE(files::FileExists(file));
}

}  // namespace
}  // namespace tarnvex::webdriver
