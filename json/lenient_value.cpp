#include "json/lenient_value.h"

#include <charconv>
#include <cmath>

#include "json/float_text.h"
#include "json/string_scan.h"
#include "platform/text.h"

namespace tarnvex::json {
namespace {

// The code point of the UTF-8 sequence at p and its length; an invalid
// sequence is U+FFFD of length 1.
char32_t DecodeAt(const char* p, const char* end, size_t& length) {
  const auto lead = static_cast<unsigned char>(*p);
  length = lead < 0x80 ? 1 : scan::ValidUtf8Length(p, end);
  if (length == 0) {
    length = 1;
    return 0xFFFD;
  }
  if (length == 1) return lead;
  char32_t cp = lead & (0xFF >> (length + 1));
  for (size_t i = 1; i < length; ++i) cp = (cp << 6) | (static_cast<unsigned char>(p[i]) & 0x3F);
  return cp;
}

// Calls `unit` for each UTF-16 code unit of UTF-8 text.
template <typename F>
void ForEachUnit(std::string_view text, F&& unit) {
  const char* p = text.data();
  const char* const end = p + text.size();
  while (p < end) {
    size_t length = 0;
    const char32_t cp = DecodeAt(p, end, length);
    p += length;
    if (cp < 0x10000) {
      unit(static_cast<char16_t>(cp));
    } else {
      unit(static_cast<char16_t>(0xD800 + ((cp - 0x10000) >> 10)));
      unit(static_cast<char16_t>(0xDC00 + ((cp - 0x10000) & 0x3FF)));
    }
  }
}

}  // namespace

uint32_t LenientNameHash(std::string_view name) {
  uint32_t hash = 0;
  ForEachUnit(name, [&](char16_t unit) { hash = hash * 129 + unit + 0x9E370001u; });
  return hash;
}

bool TLenientValue::MemberOrder::operator()(const MemberKey& a, const MemberKey& b) const {
  if (a.hash != b.hash) return a.hash > b.hash;
  if (a.name == b.name) return false;
  // Equal hashes: ascending ordinal order of the UTF-16 code units.
  return text::Utf8ToUtf16(a.name) < text::Utf8ToUtf16(b.name);
}

// ---- TLenientArray ----

ILenientValue TLenientArray::Items(int index) const {
  if (index < 0 || index >= Count()) return nullptr;
  return items_[static_cast<size_t>(index)];
}

void TLenientArray::Add(std::string_view text) { items_.push_back(TLenientValue::CreateString(text)); }

void TLenientArray::Add(ILenientValue value) { items_.push_back(std::move(value)); }

// ---- TLenientValue ----

TLenientValue::TLenientValue(TLenientType type) : type_(type) {
  if (type == stArray) array_ = std::make_unique<TLenientArray>();
  if (type == stObject) members_ = std::make_unique<std::map<MemberKey, ILenientValue, MemberOrder>>();
}

ILenientValue TLenientValue::CreateString(std::string_view text) {
  auto value = std::make_shared<TLenientValue>(stString);
  value->string_ = scan::ValidUtf8(text);
  return value;
}

ILenientValue TLenientValue::CreateBool(bool flag) {
  auto value = std::make_shared<TLenientValue>(stBoolean);
  value->bool_ = flag;
  return value;
}

ILenientValue TLenientValue::GetO(std::string_view name) const {
  if (!members_) return nullptr;
  const auto found = members_->find(MemberKey{LenientNameHash(name), std::string(name)});
  return found == members_->end() ? nullptr : found->second;
}

void TLenientValue::PutO(std::string_view name, ILenientValue value) {
  if (!members_) return;
  (*members_)[MemberKey{LenientNameHash(name), std::string(name)}] = std::move(value);
}

void TLenientValue::PutS(std::string_view name, std::string_view text) { PutO(name, CreateString(text)); }

void TLenientValue::PutB(std::string_view name, bool value) { PutO(name, CreateBool(value)); }

TLenientArray* TLenientValue::GetA(std::string_view name) const {
  const ILenientValue member = GetO(name);
  return member ? member->AsArray() : nullptr;
}

std::vector<std::string> TLenientValue::Names() const {
  std::vector<std::string> names;
  if (members_) {
    for (const auto& [key, value] : *members_) names.push_back(key.name);
  }
  return names;
}

TLenientArray* TLenientValue::AsArray() { return array_.get(); }

const TLenientArray* TLenientValue::AsArray() const { return array_.get(); }

int64_t TLenientValue::AsInteger() const {
  switch (type_) {
    case stInt: return int_;
    case stBoolean: return bool_ ? 1 : 0;
    case stDouble: {
      // Round half to even; NaN gives 0 and values beyond the range saturate.
      if (std::isnan(double_)) return 0;
      const double rounded = std::nearbyint(double_);
      if (rounded >= 9223372036854775807.0) return INT64_MAX;
      if (rounded <= -9223372036854775808.0) return INT64_MIN;
      return static_cast<int64_t>(rounded);
    }
    case stString: {
      int64_t value = 0;
      const char* end = string_.data() + string_.size();
      const auto result = std::from_chars(string_.data(), end, value);
      return result.ec == std::errc() && result.ptr == end ? value : 0;
    }
    default: return 0;
  }
}

std::string TLenientValue::AsString() const {
  if (type_ == stNull) return {};
  if (type_ == stString) return string_;
  return AsJson(false, false);
}

// ---- writing ----

class LenientWriter {
 public:
  LenientWriter(std::string& out, bool indent, bool escape) : out_(out), indent_(indent), escape_(escape) {}

  void WriteValue(const TLenientValue& value, int depth) {
    switch (value.type_) {
      case stNull:
      case stMethod: out_ += "null"; break;
      case stBoolean: out_ += value.bool_ ? "true" : "false"; break;
      case stDouble:
      case stCurrency:
        out_ += std::isfinite(value.double_) ? FloatToText(value.double_) : "null";
        break;
      case stInt: out_ += std::to_string(value.int_); break;
      case stString: WriteString(value.string_); break;
      case stArray: WriteArray(*value.array_, depth); break;
      case stObject: WriteObject(value, depth); break;
    }
  }

 private:
  void NewLine(int depth) {
    if (!indent_) return;
    out_ += '\n';
    out_.append(static_cast<size_t>(depth), '\t');
  }

  void WriteObject(const TLenientValue& object, int depth) {
    if (object.members_->empty()) {
      out_ += "{}";
      return;
    }
    out_ += '{';
    bool first = true;
    for (const auto& [key, member] : *object.members_) {
      if (!first) out_ += ',';
      first = false;
      NewLine(depth + 1);
      WriteString(key.name);
      out_ += indent_ ? ": " : ":";
      WriteMember(member, depth + 1);
    }
    NewLine(depth);
    out_ += '}';
  }

  void WriteArray(const TLenientArray& array, int depth) {
    if (array.items_.empty()) {
      out_ += "[]";
      return;
    }
    out_ += '[';
    bool first = true;
    for (const ILenientValue& item : array.items_) {
      if (!first) out_ += ',';
      first = false;
      NewLine(depth + 1);
      WriteMember(item, depth + 1);
    }
    NewLine(depth);
    out_ += ']';
  }

  void WriteMember(const ILenientValue& value, int depth) {
    if (value) {
      WriteValue(*value, depth);
    } else {
      out_ += "null";
    }
  }

  void AppendUnitEscape(char16_t unit) {
    static constexpr char kHex[] = "0123456789abcdef";
    const char escape[] = {'\\', 'u', kHex[unit >> 12], kHex[(unit >> 8) & 0xF], kHex[(unit >> 4) & 0xF],
                           kHex[unit & 0xF]};
    out_.append(escape, sizeof escape);
  }

  void WriteString(const std::string& text) {
    out_ += '"';
    const char* p = text.data();
    const char* const end = p + text.size();
    while (p < end) {
      const char* run = p;
      while (p < end && !NeedsEscape(static_cast<unsigned char>(*p))) ++p;
      out_.append(run, static_cast<size_t>(p - run));
      if (p == end) break;
      const char c = *p;
      if (c == '"' || c == '\\') {
        out_ += '\\';
        out_ += c;
        ++p;
      } else if (c == '\0') {
        out_ += "\\u0000";
        ++p;
      } else if (c == '/') {
        out_ += "\\/";
        ++p;
      } else {
        size_t length = 0;
        const char32_t cp = DecodeAt(p, end, length);
        p += length;
        EscapeCodePoint(cp);
      }
    }
    out_ += '"';
  }

  // Only called with escaping on, for control characters and from U+0080 up.
  void EscapeCodePoint(char32_t cp) {
    switch (cp) {
      case '\b': out_ += "\\b"; return;
      case '\t': out_ += "\\t"; return;
      case '\n': out_ += "\\n"; return;
      case '\f': out_ += "\\f"; return;
      case '\r': out_ += "\\r"; return;
      default: break;
    }
    if (cp < 0x10000) {
      AppendUnitEscape(static_cast<char16_t>(cp));
    } else {
      AppendUnitEscape(static_cast<char16_t>(0xD800 + ((cp - 0x10000) >> 10)));
      AppendUnitEscape(static_cast<char16_t>(0xDC00 + ((cp - 0x10000) & 0x3FF)));
    }
  }

  bool NeedsEscape(unsigned char c) const {
    if (c == '"' || c == '\\' || c == '\0') return true;
    return escape_ && (c < 0x20 || c >= 0x80 || c == '/');
  }

  std::string& out_;
  bool indent_;
  bool escape_;
};

std::string TLenientValue::AsJson(bool indent, bool escape) const {
  std::string out;
  LenientWriter(out, indent, escape).WriteValue(*this, 0);
  return out;
}

}  // namespace tarnvex::json
