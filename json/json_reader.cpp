#include "json/json_reader.h"

#include <cfloat>
#include <charconv>
#include <cstdint>
#include <string>

#include "json/string_scan.h"
#include "platform/text.h"

namespace tarnvex::json {

// The reader fills containers directly, moving decoded strings into place.
class JsonReaderAccess {
 public:
  static TJsonDataValue& AppendMember(TJsonObject& object, std::string&& name) {
    object.members_.push_back({std::move(name), TJsonDataValue()});
    return object.members_.back().value;
  }
  static TJsonDataValue& AppendItem(TJsonArray& array) { return array.items_.emplace_back(); }
  static void AssignString(TJsonDataValue& value, std::string&& text) {
    value.SetString({});
    value.string_ = std::move(text);
  }
};

namespace {

enum TJsonTokenKind {
  jtkEof,
  jtkInvalidSymbol,
  jtkLBrace,
  jtkRBrace,
  jtkLBracket,
  jtkRBracket,
  jtkComma,
  jtkColon,
  jtkIdent,
  jtkValue,
  jtkString,
  jtkInt,
  jtkLong,
  jtkULong,
  jtkFloat,
  jtkTrue,
  jtkFalse,
  jtkNull,
};

const char* TokenName(TJsonTokenKind kind) {
  switch (kind) {
    case jtkEof: return "end of file";
    case jtkInvalidSymbol: return "invalid symbol";
    case jtkLBrace: return "\"{\"";
    case jtkRBrace: return "\"}\"";
    case jtkLBracket: return "\"[\"";
    case jtkRBracket: return "\"]\"";
    case jtkComma: return "\",\"";
    case jtkColon: return "\":\"";
    case jtkIdent: return "identifier";
    default: return "value";
  }
}

bool IsDigit(char32_t c) { return c >= '0' && c <= '9'; }
bool IsWordStart(char32_t c) { return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || c == '_' || c == '$'; }
bool IsWordPart(char32_t c) { return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || c == '_' || IsDigit(c); }

// The nearest double of a valid number text whose exponent is at most 308 in
// magnitude; a value beyond the double range becomes the largest finite
// double, one below it zero.
double ToDouble(std::string_view number) {
  double value = 0;
  const auto [end, error] = std::from_chars(number.data(), number.data() + number.size(), value);
  if (error != std::errc::result_out_of_range) return value;
  // Decimal exponent of the leading significant digit decides which side.
  const bool negative = number.front() == '-';
  const size_t exponent_at = number.find_first_of("eE");
  const std::string_view mantissa = number.substr(negative ? 1 : 0, exponent_at - (negative ? 1 : 0));
  const size_t point = std::min(mantissa.find('.'), mantissa.size());
  const size_t first_digit = mantissa.find_first_of("123456789");
  long magnitude = static_cast<long>(point) - static_cast<long>(first_digit) - (first_digit < point ? 1 : 0);
  if (exponent_at != std::string_view::npos) magnitude += std::stol(std::string(number.substr(exponent_at + 1)));
  const double limit = magnitude > 0 ? DBL_MAX : 0.0;
  return negative ? -limit : limit;
}

enum class Rules { kBytes, kText };

template <typename Char, Rules R>
class Reader {
 public:
  Reader(const Char* data, size_t size)
      : begin_(data), p_(data), end_(data + size), line_start_(data) {}

  void ReadRoot(TJsonBaseObject& target) {
    target.Clear();
    Next();
    if (auto* object = dynamic_cast<TJsonObject*>(&target)) {
      Expect(jtkLBrace);
      ReadObjectBody(*object, 1);
    } else {
      Expect(jtkLBracket);
      ReadArrayBody(static_cast<TJsonArray&>(target), 1);
    }
  }

 private:
  static char32_t Unit(Char c) {
    if constexpr (sizeof(Char) == 1) {
      return static_cast<unsigned char>(c);
    } else {
      return c;
    }
  }

  void SkipWhiteSpace() {
    if constexpr (R == Rules::kText) {
      while (p_ < end_ && Unit(*p_) <= 0x20) ++p_;
    } else {
      while (p_ < end_) {
        const Char c = *p_;
        if (c == ' ' || c == '\t') {
          ++p_;
        } else if (c == '\n' || c == '\r') {
          ++p_;
          if (c == '\r' && p_ < end_ && *p_ == '\n') ++p_;
          ++line_;
          line_start_ = p_;
        } else {
          break;
        }
      }
    }
  }

  void Next() {
    SkipWhiteSpace();
    token_start_ = p_;
    if (p_ == end_) {
      kind_ = jtkEof;
      return;
    }
    const char32_t c = Unit(*p_);
    switch (c) {
      case '"': ReadStringToken(); return;
      case ',': kind_ = jtkComma; break;
      case ':': kind_ = jtkColon; break;
      case '[': kind_ = jtkLBracket; break;
      case ']': kind_ = jtkRBracket; break;
      case '{': kind_ = jtkLBrace; break;
      case '}': kind_ = jtkRBrace; break;
      default:
        if (c == '-' || c == '.' || IsDigit(c)) {
          ReadNumber();
        } else if (IsWordStart(c)) {
          ReadWord();
        } else {
          ConsumeInvalidSymbol();
        }
        return;
    }
    ++p_;
  }

  void ConsumeInvalidSymbol() {
    kind_ = jtkInvalidSymbol;
    size_t length = 1;
    if constexpr (sizeof(Char) == 1 && R == Rules::kText) {
      // One character of the text, as the UTF-16 view of it counts.
      if (Unit(*p_) >= 0x80) length = std::max<size_t>(1, scan::ValidUtf8Length(p_, end_));
    }
    p_ += length;
  }

  void ReadStringToken() {
    ++p_;
    text_.clear();
    const auto result = scan::ScanString(p_, end_, text_, false);
    switch (result.status) {
      case scan::StringStatus::kOk:
        kind_ = jtkString;
        return;
      case scan::StringStatus::kNotClosed:
        p_ = end_;
        Fail("String not closed");
      case scan::StringStatus::kLineBreak:
        p_ = result.where + 1;
        Fail("Invalid character in string");
      case scan::StringStatus::kBadHex: {
        std::string bad;
        if constexpr (sizeof(Char) == 1) {
          const size_t length = Unit(*result.where) >= 0x80 ? scan::ValidUtf8Length(result.where, end_) : 1;
          bad = text::SanitizeUtf8(std::string_view(result.where, std::max<size_t>(length, 1)));
        } else {
          bad = text::Utf16ToUtf8(std::u16string_view(result.where, 1));
        }
        p_ = result.where + 1;
        Fail("Invalid hex number \"" + bad + "\"");
      }
    }
  }

  void ReadWord() {
    const Char* start = p_++;
    while (p_ < end_ && IsWordPart(Unit(*p_))) ++p_;
    text_.assign(start, p_);  // ASCII only, narrowed unit by unit
    if (text_ == "true") {
      kind_ = jtkTrue;
    } else if (text_ == "false") {
      kind_ = jtkFalse;
    } else if (text_ == "null") {
      kind_ = jtkNull;
    } else {
      kind_ = jtkIdent;
    }
  }

  size_t SkipDigits() {
    const Char* start = p_;
    while (p_ < end_ && IsDigit(Unit(*p_))) ++p_;
    return static_cast<size_t>(p_ - start);
  }

  bool AtDigit() const { return p_ < end_ && IsDigit(Unit(*p_)); }

  void ReadNumber() {
    const Char* start = p_;
    const bool negative = *p_ == '-';
    if (negative) ++p_;
    if (!AtDigit()) {  // "-" or "." without a valid start
      p_ = start + 1;
      kind_ = jtkInvalidSymbol;
      return;
    }
    const Char* digits_start = p_;
    const size_t digit_count = *p_ == '0' ? (++p_, 1) : SkipDigits();
    bool is_float = false;
    long exponent = 0;
    const Char* exponent_start = nullptr;
    if (p_ < end_ && *p_ == '.') {
      ++p_;
      if (!AtDigit()) {
        kind_ = jtkInvalidSymbol;
        return;
      }
      SkipDigits();
      is_float = true;
    }
    if (p_ < end_ && (*p_ == 'e' || *p_ == 'E')) {
      ++p_;
      const bool negative_exponent = p_ < end_ && *p_ == '-';
      if (p_ < end_ && (*p_ == '-' || *p_ == '+')) ++p_;
      if (!AtDigit()) {
        kind_ = jtkInvalidSymbol;
        return;
      }
      exponent_start = p_;
      for (const Char* q = p_; q < end_ && IsDigit(Unit(*q)); ++q) {
        exponent = std::min(exponent * 10 + static_cast<long>(Unit(*q) - '0'), 100000L);
      }
      if (negative_exponent) exponent = -exponent;
      SkipDigits();
      is_float = true;
    }
    if (!is_float && SetInteger(digits_start, digit_count, negative)) return;

    // Exponents beyond 308 count as 308.
    number_text_.assign(start, exponent_start ? exponent_start : p_);
    if (exponent_start) {
      if (exponent > 308 || exponent < -308) {
        while (number_text_.back() == '-' || number_text_.back() == '+') number_text_.pop_back();
        number_text_ += exponent < 0 ? "-308" : "308";
      } else {
        number_text_.append(exponent_start, p_);
      }
    }
    kind_ = jtkFloat;
    float_ = ToDouble(number_text_);
  }

  // The integer kinds by digit count and value; false when the number is a
  // float after all.
  bool SetInteger(const Char* digits, size_t count, bool negative) {
    if (count > 20 || (negative && count > 19)) return false;
    uint64_t value = 0;
    for (size_t i = 0; i < count; ++i) {
      const uint64_t digit = Unit(digits[i]) - '0';
      if (value > (UINT64_MAX - digit) / 10) return false;  // above 2^64 - 1
      value = value * 10 + digit;
    }
    constexpr uint64_t kTwo31 = uint64_t{1} << 31;
    constexpr uint64_t kTwo63 = uint64_t{1} << 63;
    if (count <= 9 || (negative && value < kTwo31)) {
      kind_ = jtkInt;
      int_ = negative ? -static_cast<int32_t>(value) : static_cast<int32_t>(value);
    } else if (value < kTwo63) {
      kind_ = jtkLong;
      long_ = negative ? -static_cast<int64_t>(value) : static_cast<int64_t>(value);
    } else if (!negative) {
      kind_ = jtkULong;
      ulong_ = value;
    } else {
      return false;
    }
    return true;
  }

  [[noreturn]] void Fail(const std::string& text) {
    const size_t offset = static_cast<size_t>(p_ - begin_);
    if constexpr (R == Rules::kBytes) {
      throw EJsonParserException(text, line_, static_cast<int>(p_ - line_start_) + 1, static_cast<int>(offset));
    } else if constexpr (sizeof(Char) == 1) {
      const int units = static_cast<int>(text::Utf8ToUtf16(std::string_view(begin_, offset)).size());
      throw EJsonParserException(text, 1, units + 1, units);
    } else {
      throw EJsonParserException(text, 1, static_cast<int>(offset) + 1, static_cast<int>(offset));
    }
  }

  [[noreturn]] void Unexpected(TJsonTokenKind expected) {
    if (kind_ == jtkEof) {
      Fail(std::string("Unexpected end of file where ") + TokenName(expected) + " was expected");
    }
    Fail(std::string("Expected ") + TokenName(expected) + " but found " + TokenName(kind_));
  }

  void Expect(TJsonTokenKind kind) {
    if (kind_ != kind) Unexpected(kind);
  }

  std::string TokenText() {
    if (kind_ == jtkString || kind_ == jtkIdent) return std::move(text_);
    return std::string(token_start_, p_);  // numbers and words are ASCII
  }

  // After "{": members up to and including the closing "}".
  void ReadObjectBody(TJsonObject& object, int depth) {
    Next();
    if (kind_ == jtkRBrace) return;
    while (kind_ != jtkEof) {
      if (kind_ < jtkIdent) Unexpected(jtkString);
      TJsonDataValue& value = JsonReaderAccess::AppendMember(object, TokenText());
      Next();
      Expect(jtkColon);
      Next();
      ReadValue(value, depth);
      if (kind_ == jtkRBrace) return;
      Expect(jtkComma);
      Next();
    }
    Expect(jtkRBrace);
  }

  void ReadArrayBody(TJsonArray& array, int depth) {
    Next();
    if (kind_ == jtkRBracket) return;
    while (kind_ != jtkEof) {
      ReadValue(JsonReaderAccess::AppendItem(array), depth);
      if (kind_ == jtkRBracket) return;
      Expect(jtkComma);
      Next();
    }
    Expect(jtkRBracket);
  }

  // Reads the value at the current token and moves on to the next token.
  void ReadValue(TJsonDataValue& value, int depth) {
    switch (kind_) {
      case jtkLBrace:
        if (depth >= kMaxJsonDepth) Fail("Maximum nesting depth exceeded");
        ReadObjectBody(*value.SetObject(), depth + 1);
        break;
      case jtkLBracket:
        if (depth >= kMaxJsonDepth) Fail("Maximum nesting depth exceeded");
        ReadArrayBody(*value.SetArray(), depth + 1);
        break;
      case jtkString:
      case jtkIdent: JsonReaderAccess::AssignString(value, std::move(text_)); break;
      case jtkInt: value.SetInt(int_); break;
      case jtkLong: value.SetLong(long_); break;
      case jtkULong: value.SetULong(ulong_); break;
      case jtkFloat: value.SetFloat(float_); break;
      case jtkTrue: value.SetBool(true); break;
      case jtkFalse: value.SetBool(false); break;
      case jtkNull: value.SetNull(); break;
      default: Unexpected(jtkValue);
    }
    Next();
  }

  const Char* begin_;
  const Char* p_;
  const Char* end_;
  const Char* line_start_;
  const Char* token_start_ = nullptr;
  int line_ = 1;
  TJsonTokenKind kind_ = jtkEof;
  std::string text_;
  std::string number_text_;
  int32_t int_ = 0;
  int64_t long_ = 0;
  uint64_t ulong_ = 0;
  double float_ = 0;
};

}  // namespace

void ReadJsonText(TJsonBaseObject& target, std::u16string_view text) {
  Reader<char16_t, Rules::kText>(text.data(), text.size()).ReadRoot(target);
}

void ReadJsonText(TJsonBaseObject& target, std::string_view utf8) {
  Reader<char, Rules::kText>(utf8.data(), utf8.size()).ReadRoot(target);
}

void ReadJsonBytes(TJsonBaseObject& target, std::string_view bytes) {
  Reader<char, Rules::kBytes>(bytes.data(), bytes.size()).ReadRoot(target);
}

}  // namespace tarnvex::json
