#include "json/float_text.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>

namespace tarnvex::json {

std::string FloatToText(double value) {
  if (std::isnan(value)) return "NAN";
  if (std::isinf(value)) return value > 0 ? "INF" : "-INF";

  // "%.14e" rounds correctly to 15 significant digits: "-d.dddddddddddddde+X".
  char buffer[40];
  std::snprintf(buffer, sizeof buffer, "%.14e", value);
  const char* p = buffer;
  const bool negative = *p == '-';
  if (negative) ++p;
  std::string digits;
  for (; *p != 'e'; ++p) {
    if (*p != '.') digits += *p;
  }
  const int exponent = std::atoi(p + 1);
  while (digits.size() > 1 && digits.back() == '0') digits.pop_back();
  if (digits == "0") return "0";

  std::string out = negative ? "-" : "";
  if (exponent >= -4 && exponent < 15) {
    if (exponent < 0) {
      out += "0.";
      out.append(static_cast<size_t>(-exponent - 1), '0');
      out += digits;
    } else {
      const size_t integer_digits = static_cast<size_t>(exponent) + 1;
      if (digits.size() <= integer_digits) {
        out += digits;
        out.append(integer_digits - digits.size(), '0');
      } else {
        out.append(digits, 0, integer_digits);
        out += '.';
        out.append(digits, integer_digits);
      }
    }
    return out;
  }
  out += digits[0];
  if (digits.size() > 1) {
    out += '.';
    out.append(digits, 1);
  }
  out += 'E';
  if (exponent < 0) out += '-';
  out += std::to_string(std::abs(exponent));
  return out;
}

}  // namespace tarnvex::json
