#include <charconv>
#include <string>

#include "json/lenient_value.h"
#include "json/string_scan.h"

namespace tarnvex::json {

// Recursive descent over UTF-8 text; every failure gives none.
class LenientParser {
 public:
  LenientParser(std::string_view text, bool strict) : p_(text.data()), end_(text.data() + text.size()), strict_(strict) {}

  ILenientValue ParseDocument(bool partial) {
    ILenientValue value = ParseValue(1);
    if (!value || partial) return value;
    return SkipWhiteSpace() && p_ == end_ ? value : nullptr;
  }

 private:
  // Skips white space and, unless strict, comments; false for an unclosed comment.
  bool SkipWhiteSpace() {
    while (p_ < end_) {
      const auto c = static_cast<unsigned char>(*p_);
      if (c <= 0x20) {
        ++p_;
      } else if (c == '/' && !strict_ && end_ - p_ >= 2 && p_[1] == '/') {
        while (p_ < end_ && *p_ != '\n' && *p_ != '\r') ++p_;
      } else if (c == '/' && !strict_ && end_ - p_ >= 2 && p_[1] == '*') {
        const std::string_view rest(p_ + 2, static_cast<size_t>(end_ - p_ - 2));
        const size_t close = rest.find("*/");
        if (close == std::string_view::npos) return false;
        p_ += 2 + close + 2;
      } else {
        break;
      }
    }
    return true;
  }

  bool Accept(char c) {
    if (!SkipWhiteSpace() || p_ == end_ || *p_ != c) return false;
    ++p_;
    return true;
  }

  bool AcceptWord(std::string_view word) {
    if (static_cast<size_t>(end_ - p_) < word.size() || std::string_view(p_, word.size()) != word) return false;
    p_ += word.size();
    return true;
  }

  ILenientValue ParseValue(int depth) {
    if (!SkipWhiteSpace() || p_ == end_) return nullptr;
    switch (*p_) {
      case '{': return depth > kMaxLenientDepth ? nullptr : ParseObject(depth);
      case '[': return depth > kMaxLenientDepth ? nullptr : ParseArray(depth);
      case '"': {
        auto value = TLenientValue::Create(stString);
        return ParseString(value->string_) ? value : nullptr;
      }
      case 't': return AcceptWord("true") ? TLenientValue::CreateBool(true) : nullptr;
      case 'f': return AcceptWord("false") ? TLenientValue::CreateBool(false) : nullptr;
      case 'n': return AcceptWord("null") ? TLenientValue::Create(stNull) : nullptr;
      default: return ParseNumber();
    }
  }

  bool ParseString(std::string& text) {
    ++p_;
    return scan::ScanString(p_, end_, text, true).status == scan::StringStatus::kOk;
  }

  ILenientValue ParseObject(int depth) {
    ++p_;
    auto object = TLenientValue::Create(stObject);
    if (Accept('}')) return object;
    do {
      std::string name;
      if (!SkipWhiteSpace() || p_ == end_ || *p_ != '"' || !ParseString(name) || !Accept(':')) return nullptr;
      ILenientValue value = ParseValue(depth + 1);
      if (!value) return nullptr;
      object->PutO(name, std::move(value));  // a repeated name keeps the last value
    } while (Accept(','));
    return Accept('}') ? object : nullptr;
  }

  ILenientValue ParseArray(int depth) {
    ++p_;
    auto array = TLenientValue::Create(stArray);
    if (Accept(']')) return array;
    do {
      ILenientValue value = ParseValue(depth + 1);
      if (!value) return nullptr;
      array->AsArray()->Add(std::move(value));
    } while (Accept(','));
    return Accept(']') ? array : nullptr;
  }

  size_t SkipDigits() {
    const char* start = p_;
    while (p_ < end_ && *p_ >= '0' && *p_ <= '9') ++p_;
    return static_cast<size_t>(p_ - start);
  }

  // Standard JSON numbers; a fraction or exponent gives stDouble, others
  // stInt, and an integer beyond 64 bits stDouble. Beyond the double range: none.
  ILenientValue ParseNumber() {
    const char* start = p_;
    if (*p_ == '-') ++p_;
    if (p_ < end_ && *p_ == '0') {
      ++p_;
    } else if (SkipDigits() == 0) {
      return nullptr;
    }
    bool is_double = false;
    if (p_ < end_ && *p_ == '.') {
      ++p_;
      if (SkipDigits() == 0) return nullptr;
      is_double = true;
    }
    if (p_ < end_ && (*p_ == 'e' || *p_ == 'E')) {
      ++p_;
      if (p_ < end_ && (*p_ == '+' || *p_ == '-')) ++p_;
      if (SkipDigits() == 0) return nullptr;
      is_double = true;
    }
    if (!is_double) {
      int64_t integer = 0;
      if (std::from_chars(start, p_, integer).ec == std::errc()) {
        auto value = TLenientValue::Create(stInt);
        value->int_ = integer;
        return value;
      }
    }
    double number = 0;
    if (std::from_chars(start, p_, number).ec != std::errc()) return nullptr;
    auto value = TLenientValue::Create(stDouble);
    value->double_ = number;
    return value;
  }

  const char* p_;
  const char* const end_;
  const bool strict_;
};

ILenientValue TLenientValue::ParseString(std::string_view text, bool strict, bool partial) {
  return LenientParser(text, strict).ParseDocument(partial);
}

}  // namespace tarnvex::json
