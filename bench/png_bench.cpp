// The screenshot path: a 1920 x 1080 page-like PNG from its base64 text to a
// raster image and back to a PNG file, step by step, next to libpng doing the
// same decode and encode (deflate level 7, default strategy, filter Sub).
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <functional>
#include <random>
#include <string>
#include <vector>

#include "platform/base64.h"
#include "tests/webdriver/png_test_files.h"
#include "webdriver/png_decoder.h"
#include "webdriver/png_encoder.h"

namespace {

using tarnvex::testing::LibpngImage;
using tarnvex::webdriver::TBitmap;

constexpr int kWidth = 1920, kHeight = 1080, kRuns = 15;

void Fill(std::vector<uint8_t>& rgb, int x0, int y0, int w, int h, uint8_t r, uint8_t g, uint8_t b) {
  for (int y = y0; y < std::min(kHeight, y0 + h); ++y) {
    for (int x = x0; x < std::min(kWidth, x0 + w); ++x) {
      uint8_t* p = &rgb[(size_t(y) * kWidth + x) * 3];
      p[0] = r, p[1] = g, p[2] = b;
    }
  }
}

// White page, a coloured header bar, a grey side bar, boxes, a photo-like
// gradient with noise, and many lines of anti-aliased "text".
std::vector<uint8_t> PageLikeImage() {
  std::vector<uint8_t> rgb(size_t(kWidth) * kHeight * 3, 255);
  std::mt19937 gen(42);
  Fill(rgb, 0, 0, kWidth, 64, 32, 90, 160);
  Fill(rgb, 0, 64, 280, kHeight - 64, 242, 243, 245);
  for (int i = 0; i < 6; ++i) Fill(rgb, 320 + i * 260, 100, 230, 120, 250, 236 - i * 10, 200 + i * 8);
  for (int y = 260; y < 560; ++y) {
    for (int x = 1300; x < 1860; ++x) {
      uint8_t* p = &rgb[(size_t(y) * kWidth + x) * 3];
      const int n = int(gen() % 24);
      p[0] = uint8_t(std::min(255, x / 9 + n)), p[1] = uint8_t(std::min(255, y / 3 + n)), p[2] = uint8_t(120 + n);
    }
  }
  const uint8_t shades[] = {255, 220, 160, 90, 40};
  for (int line = 0; line < 46; ++line) {
    const int top = 250 + line * 18, left = line % 7 == 0 ? 320 : 340;
    const bool link = line % 5 == 2;
    int x = left;
    while (x < 1260) {
      const int word = 3 + int(gen() % 9);
      for (int c = 0; c < word && x < 1260; ++c, x += 8) {
        for (int gy = 0; gy < 11; ++gy) {
          for (int gx = 0; gx < 7; ++gx) {
            if (gen() % 3 != 0) continue;
            const uint8_t s = shades[gen() % 5];
            uint8_t* p = &rgb[(size_t(top + gy) * kWidth + x + gx) * 3];
            p[0] = link ? uint8_t(s / 4) : s, p[1] = link ? uint8_t(s / 3) : s, p[2] = link ? 230 : s;
          }
        }
      }
      x += 8;
    }
  }
  return rgb;
}

double Median(std::vector<double> ms) {
  std::sort(ms.begin(), ms.end());
  return ms[ms.size() / 2];
}

// Runs the steps round after round, so that ours and libpng's see the same
// load on a shared machine; the median of each step's times.
std::vector<double> MedianMs(const std::vector<std::function<void()>>& steps) {
  std::vector<std::vector<double>> ms(steps.size());
  for (int run = 0; run < kRuns; ++run) {
    for (size_t i = 0; i < steps.size(); ++i) {
      const auto start = std::chrono::steady_clock::now();
      steps[i]();
      ms[i].push_back(std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count());
    }
  }
  std::vector<double> medians;
  for (auto& times : ms) medians.push_back(Median(times));
  return medians;
}

}  // namespace

int main() {
  LibpngImage page;
  page.width = kWidth;
  page.height = kHeight;
  page.rows = PageLikeImage();
  page.filters = PNG_ALL_FILTERS;  // a screenshot as a browser writes it: adaptive filters
  const std::string screenshot = tarnvex::testing::WriteWithLibpng(page);
  const std::string pic = tarnvex::base64::Encode(tarnvex::testing::Bytes(screenshot));

  std::vector<uint8_t> bytes;
  TBitmap bmp;
  std::string ours_png;
  tarnvex::testing::RgbImage decoded;
  std::string libpng_png;
  LibpngImage out = page;
  out.filters = PNG_FILTER_SUB;
  const std::vector<double> ms = MedianMs({
      [&] { bytes = tarnvex::base64::Decode(pic); },
      [&] { bmp = tarnvex::webdriver::DecodePng(bytes); },
      [&] { ours_png = tarnvex::webdriver::EncodePng(bmp); },
      [&] { decoded = tarnvex::testing::ReadWithLibpng(bytes); },
      [&] { libpng_png = tarnvex::testing::WriteWithLibpng(out, 7, Z_DEFAULT_STRATEGY); },
  });
  const double base64_ms = ms[0], decode_ms = ms[1], encode_ms = ms[2];
  const double libpng_decode_ms = ms[3], libpng_encode_ms = ms[4];

  bool same = decoded.rgb.size() == bmp.RowBytes() * kHeight;
  for (int y = 0; same && y < kHeight; ++y) {
    same = std::equal(bmp.Row(y), bmp.Row(y) + bmp.RowBytes(), decoded.rgb.begin() + y * bmp.RowBytes());
  }

  std::printf("PNG %d x %d page-like screenshot: %zu bytes PNG, %zu bytes base64 (median of %d runs)\n", kWidth,
              kHeight, screenshot.size(), pic.size(), kRuns);
  std::printf("%-22s %10s %10s\n", "step", "ours ms", "libpng ms");
  std::printf("%-22s %10.2f %10s\n", "base64 decode", base64_ms, "-");
  std::printf("%-22s %10.2f %10.2f\n", "PNG decode", decode_ms, libpng_decode_ms);
  std::printf("%-22s %10.2f %10.2f\n", "PNG encode (7, Sub)", encode_ms, libpng_encode_ms);
  std::printf("%-22s %10.2f %10.2f  ratio %.2f (target <= 1.20)\n", "decode + encode", decode_ms + encode_ms,
              libpng_decode_ms + libpng_encode_ms, (decode_ms + encode_ms) / (libpng_decode_ms + libpng_encode_ms));
  std::printf("written: ours %zu bytes, libpng %zu bytes; pixels equal to libpng's: %s\n", ours_png.size(),
              libpng_png.size(), same ? "yes" : "NO");
  return same ? 0 : 1;
}
