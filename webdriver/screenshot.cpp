// The screenshot operations of TWebDriver and TWebElement. The reply's "value"
// is read directly, not through ProcResponse: an error reply's object value
// raises the JSON model's cast error.
#include "json/json_document.h"
#include "webdriver/image.h"
#include "webdriver/web_driver.h"

namespace tarnvex::webdriver {
namespace {

// The base64 PNG text of a screenshot reply.
std::string ScreenshotValue(TWebDriver& driver, const std::string& url) {
  const std::string reply = driver.ExecuteCommand(cGet, url);
  json::TJsonObject document;
  document.FromJSON(std::string_view(reply));
  return driver.HasError() ? std::string() : document.GetString("value");
}

}  // namespace

void TWebDriver::Base64ToBmp(const std::string& pic, TBitmap& bmp) { webdriver::Base64ToBmp(pic, bmp); }

void TWebDriver::CutImage(const std::string& pic, int x, int y, int width, int height, TBitmap& bmp) {
  webdriver::CutImage(pic, x, y, width, height, bmp);
}

void TWebDriver::BmpToPng(const TBitmap& bmp, const std::string& file_name) {
  webdriver::BmpToPng(bmp, file_name);
}

void TWebDriver::ScreenShot(TBitmap& bmp) {
  const std::string pic = ScreenshotValue(*this, SessionUrl("/screenshot"));
  if (!HasError()) Base64ToBmp(pic, bmp);
}

void TWebDriver::ScreenShot(const std::string& file_name) {
  TBitmap image;
  ScreenShot(image);
  BmpToPng(image, file_name);
}

void TWebElement::ScreenShot(TBitmap& bmp) const {
  if (!FWebDriver) return;
  const std::string pic =
      ScreenshotValue(*FWebDriver, FWebDriver->GetHost() + "/session/" + FWebDriver->SessionID() + "/screenshot");
  if (FWebDriver->HasError()) return;
  json::TJsonObject location;
  location.FromJSON(std::string_view(Location()));
  json::TJsonObject size;
  size.FromJSON(std::string_view(Size()));
  FWebDriver->CutImage(pic, location.GetInt("x"), location.GetInt("y"), size.GetInt("width"),
                       size.GetInt("height"), bmp);
}

void TWebElement::ScreenShot(const std::string& file_name) const {
  if (!FWebDriver) return;
  TBitmap image;
  ScreenShot(image);
  FWebDriver->BmpToPng(image, file_name);
}

void TWebElement::ScreenShot2(TBitmap& bmp) const {
  if (!FWebDriver) return;
  const std::string pic = ScreenshotValue(*FWebDriver, ElementUrl(ElementID(), "/screenshot"));
  if (!FWebDriver->HasError()) FWebDriver->Base64ToBmp(pic, bmp);
}

}  // namespace tarnvex::webdriver
