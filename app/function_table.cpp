#include "app/function_table.h"

#include <exception>
#include <string_view>

#include "app/embedded_resources.h"
#include "platform/files.h"
#include "webdriver/web_driver.h"
#include "webdriver/web_element.h"

namespace tarnvex::app {
namespace {

using webdriver::TWebDriver;
using webdriver::TWebElement;
using webdriver::TWebElements;

struct Context {
  TWebDriver& driver;
  FunctionCall& call;
  const TypingEnvironment& environment;
};

// Single element: its reference is the result; clicked on request.
void ClickSingle(Context& c, TWebElement element) {
  c.call.data = element.ElementData;
  if (c.call.to_click) element.Click();
}

// An element found by tag name is entered as a frame before the click.
void ClickTag(Context& c, TWebElement element) {
  c.call.data = element.ElementData;
  if (!c.call.to_click) return;
  if (!element.ElementData.empty()) c.driver.SwitchToFrame(element.ElementID(), true);
  element.Click();
}

// A list: all references are the result; one of them is clicked on request,
// the one at `index` or, for -1, one drawn at random.
void ClickListed(Context& c, const TWebElements& elements) {
  c.call.data = elements.ElementsData;
  if (!c.call.to_click) return;
  const int index = c.call.index == -1 ? c.environment.draw(elements.Count()) : c.call.index;
  elements.Items(index).Click();
}

void PrepareScreenShotFile(const std::string& path) {
  if (!files::FileExists(path)) return;
  // A read-only file must not keep the new image out.
  files::MakeWritable(path);
  files::DeleteFile(path);
}

struct Row {
  std::string_view name;
  void (*run)(Context&);
  // The result is emptied afterwards whatever happened.
  bool empties_data = false;
};

// Compared in this order; the first equal name runs.
const Row kRows[] = {
    {"source", [](Context& c) { c.call.data = c.driver.GetDocument(); }},
    {"refresh", [](Context& c) { c.driver.Refresh(""); }},
    {"openurl",
     [](Context& c) {
       c.call.data = WithUrlScheme(c.call.data);
       c.driver.GetURL(c.call.data, false);
     }},
    {"click", [](Context& c) { c.driver.GetURL(c.call.data, false); }},
    {"SwitchToFrame", [](Context& c) { c.driver.SwitchToFrame(c.call.data, false); }},
    {"sendKeys", [](Context& c) { c.driver.SendKeys(c.call.data, c.call.data2); }, true},
    {"getAttribute",
     [](Context& c) {
       const std::string script = LoadResource("SCRIPT");
       c.call.data = c.driver.getAttribute(script, c.call.data);
     }},
    {"findElementByID", [](Context& c) { ClickSingle(c, c.driver.FindElementByID(c.call.data)); }},
    {"findElementByTag", [](Context& c) { ClickTag(c, c.driver.FindElementByTag(c.call.data)); }},
    {"findElementByClassName",
     [](Context& c) { ClickSingle(c, c.driver.FindElementByClassName(c.call.data)); }},
    {"findElementByLinkText",
     [](Context& c) { ClickSingle(c, c.driver.FindElementByLinkText(c.call.data)); }},
    {"findElementByXPath", [](Context& c) { ClickSingle(c, c.driver.FindElementByXPath(c.call.data)); }},
    {"findElementsByID", [](Context& c) { ClickListed(c, c.driver.FindElementsByID(c.call.data)); }},
    {"findElementsByTag", [](Context& c) { ClickListed(c, c.driver.FindElementsByTag(c.call.data)); }},
    {"findElementsByClassName",
     [](Context& c) { ClickListed(c, c.driver.FindElementsByClassName(c.call.data)); }},
    {"findElementsByLinkText",
     [](Context& c) { ClickListed(c, c.driver.FindElementsByLinkText(c.call.data)); }},
    {"findElementsByXPath",
     [](Context& c) { ClickListed(c, c.driver.FindElementsByXPath(c.call.data)); }},
    {"findElementByName", [](Context& c) { ClickSingle(c, c.driver.FindElementByName(c.call.data)); }},
    {"ExecuteScript",
     [](Context& c) {
       if (!c.call.data.empty()) c.driver.ExecuteScript(c.call.data, "[]");
     }},
    {"ScreenShot",
     [](Context& c) {
       PrepareScreenShotFile(c.call.data);
       if (!c.call.data.empty()) c.driver.ScreenShot(c.call.data);
     }},
    {"paste",
     [](Context& c) {
       TypeClipboardHumanLike(c.driver, c.call.profile_id, c.call.plugin_sleep, c.environment);
     }},
};

}  // namespace

std::string WithUrlScheme(const std::string& url) {
  if (url.starts_with("http") || url.starts_with("chrome://")) return url;
  return "http://" + url;
}

void RunFunction(TWebDriver& driver, FunctionCall& call, const TypingEnvironment& environment) {
  for (const Row& row : kRows) {
    if (row.name != call.name) continue;
    Context context{driver, call, environment};
    try {
      row.run(context);
    } catch (const EResNotFound&) {
      // A program built without its script cannot give a result; the caller
      // still stops the server.
      throw;
    } catch (...) {
      // Every other failure ends the function quietly.
    }
    if (row.empties_data) call.data.clear();
    return;
  }
}

}  // namespace tarnvex::app
