// JSON parse and write throughput on the two reply shapes that carry the most
// data: a WebDriver screenshot reply (5 MB of base64 in "value") and a page
// source reply (2 MB of HTML with quotes, line breaks and non-ASCII text).
// MB/s are of the UTF-8 document size, median of several runs. Time is the
// thread's CPU time, so other work on the shared machine does not count.
#include <algorithm>
#include <ctime>
#include <cstdio>
#include <functional>
#include <string>
#include <vector>

#include "json/json_document.h"
#include "json/lenient_value.h"
#include "platform/base64.h"
#include "platform/random.h"
#include "platform/text.h"

namespace {

using tarnvex::json::TJsonObject;

constexpr int kRuns = 15;

std::string ScreenshotReply() {
  std::vector<uint8_t> image(5 * 1000 * 1000 * 3 / 4);
  tarnvex::Random random;
  for (auto& byte : image) byte = static_cast<uint8_t>(random.Draw(256));
  TJsonObject reply;
  reply.SetString("value", tarnvex::base64::Encode(image));
  return reply.ToJSON();
}

std::string PageSourceReply() {
  const std::string chunk =
      "<div class=\"row\" data-id='42'>\n\t<a href=\"/caf\xC3\xA9?q=1&amp;r=2\">Caf\xC3\xA9 \xE4\xB8\xAD\xE6\x96\x87 "
      "\"quoted\" \\ back</a>\r\n\t<p>Gr\xC3\xBC\xC3\x9F"
      "e \xF0\x9F\x98\x80 \xE2\x80\x94 plain ascii text that makes up most of a real page.</p>\n</div>\n";
  std::string page = "<!DOCTYPE html><html><head><title>Bench</title></head><body>\n";
  while (page.size() < 2 * 1000 * 1000) page += chunk;
  page += "</body></html>";
  TJsonObject reply;
  reply.SetString("value", page);
  return reply.ToJSON();
}

double CpuSeconds() {
  timespec now{};
  clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
  return static_cast<double>(now.tv_sec) + static_cast<double>(now.tv_nsec) / 1e9;
}

double MedianMBs(size_t bytes, const std::function<void()>& action) {
  std::vector<double> rates;
  for (int i = 0; i < kRuns; ++i) {
    const double start = CpuSeconds();
    action();
    rates.push_back(static_cast<double>(bytes) / 1e6 / (CpuSeconds() - start));
  }
  std::sort(rates.begin(), rates.end());
  return rates[rates.size() / 2];
}

void Measure(const char* shape, const std::string& text) {
  const std::u16string text16 = tarnvex::text::Utf8ToUtf16(text);
  TJsonObject object;
  object.FromUtf8JSON(text);
  std::printf("%s (%.2f MB)\n", shape, static_cast<double>(text.size()) / 1e6);
  std::printf("  byte reader (FromUtf8JSON)        %8.0f MB/s\n",
              MedianMBs(text.size(), [&] { TJsonObject o; o.FromUtf8JSON(text); }));
  std::printf("  text reader (FromJSON, UTF-16)    %8.0f MB/s\n",
              MedianMBs(text.size(), [&] { TJsonObject o; o.FromJSON(text16); }));
  std::printf("  text reader (FromJSON, UTF-8)     %8.0f MB/s\n",
              MedianMBs(text.size(), [&] { TJsonObject o; o.FromJSON(std::string_view(text)); }));
  std::printf("  compact writer (ToJSON)           %8.0f MB/s\n",
              MedianMBs(text.size(), [&] { volatile size_t n = object.ToJSON().size(); (void)n; }));
  std::printf("  lenient parser (ParseString)      %8.0f MB/s\n",
              MedianMBs(text.size(), [&] { auto v = tarnvex::json::TLenientValue::ParseString(text); }));
}

}  // namespace

int main() {
  Measure("WebDriver screenshot reply", ScreenshotReply());
  Measure("page source reply", PageSourceReply());
  return 0;
}
