#pragma once
// Element references: value records holding the server's reference object (or
// an array of them) as compact JSON text, the locator that found them and the
// driver they belong to. The element id is re-read from the text each time.
#include <string>

namespace tarnvex::webdriver {

class TWebDriver;
class TBitmap;

class TWebElement {
 public:
  // Locator value and strategy sent with the search (after the W3C rewriting).
  std::string FKeyName;
  std::string FUsingName;
  TWebDriver* FWebDriver = nullptr;  // not owned; must outlive the record
  bool W3C = false;
  std::string ElementData;

  bool IsEmpty() const { return ElementData.empty(); }
  // The element id, or empty for an empty or malformed reference.
  std::string ElementID() const;

  // Keyboard input; lets the driver's ProcResponse errors pass. Nothing is
  // sent without a driver.
  void SendKey(const std::string& key) const;
  // Nothing is sent without a driver or an element id; nothing raises.
  void Click() const;
  void Clear() const;
  std::string AttributeValue(const std::string& a_name) const;
  std::string PropertyValue(const std::string& a_name) const;
  // The element's rectangle (W3C) or its location / size (older form), as the
  // reply's compact JSON object.
  std::string Location() const;
  std::string Size() const;

  // The element's rectangle cut from a page screenshot.
  void ScreenShot(TBitmap& bmp) const;
  void ScreenShot(const std::string& file_name) const;
  // The server's own element screenshot.
  void ScreenShot2(TBitmap& bmp) const;

 private:
  // The URL of a command on this element.
  std::string ElementUrl(const std::string& element_id, const std::string& path) const;
  void PostAction(const std::string& path) const;
  std::string GetElementText(const std::string& path, bool need_id) const;
};

class TWebElements {
 public:
  std::string FKeyName;
  std::string FUsingName;
  TWebDriver* FWebDriver = nullptr;
  bool W3C = false;
  std::string ElementsData;

  // Number of references; a text that is not a JSON array raises the JSON
  // model's parse error.
  int Count() const;
  // The reference at `index`; empty outside 0..Count-1.
  TWebElement Items(int index) const;
};

// The keyboard body of the value command: one string per character of `key`
// in "value" (a character outside the BMP stays one string holding its
// surrogate pair), the id and the whole text, written by the lenient model
// with escaping; the line-break marker U+0013 alone becomes the Enter key.
std::string KeyboardBody(const std::string& element_id, const std::string& key);

}  // namespace tarnvex::webdriver
