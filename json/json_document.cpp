#include "json/json_document.h"

#include <charconv>
#include <cmath>

#include "json/float_text.h"
#include "json/json_reader.h"
#include "json/json_writer.h"
#include "json/string_scan.h"
#include "platform/files.h"
#include "platform/text.h"

namespace tarnvex::json {
namespace {

[[noreturn]] void ThrowCast(TJsonDataType from, TJsonDataType to) {
  throw EJsonCastException(std::string("Cannot cast ") + JsonDataTypeName(from) + " into " + JsonDataTypeName(to));
}

[[noreturn]] void ThrowIndex(int index) {
  throw EListError("List index out of bounds (" + std::to_string(index) + ")");
}

// Truncation toward zero; values beyond the 64-bit range saturate, NaN is 0.
int64_t TruncateToLong(double value) {
  if (std::isnan(value)) return 0;
  if (value >= 9223372036854775807.0) return INT64_MAX;
  if (value <= -9223372036854775808.0) return INT64_MIN;
  return static_cast<int64_t>(value);
}

int32_t LowBits(int64_t value) { return static_cast<int32_t>(static_cast<uint32_t>(static_cast<uint64_t>(value))); }

// A decimal number in plain or exponent notation: an optional sign, digits
// with at most one point, and an optional exponent; raises EConvertError else.
double TextToFloat(const std::string& text) {
  std::string_view s = text;
  if (!s.empty() && s.front() == '+') s.remove_prefix(1);
  const size_t first = !s.empty() && s.front() == '-' ? 1 : 0;
  double value = 0;
  if (s.size() > first && (s[first] == '.' || (s[first] >= '0' && s[first] <= '9'))) {
    const auto [end, error] = std::from_chars(s.data(), s.data() + s.size(), value, std::chars_format::general);
    if (error == std::errc() && end == s.data() + s.size()) return value;
  }
  throw EConvertError("'" + text + "' is not a valid floating point value");
}

template <typename Int>
bool TextToInt(const std::string& text, Int& value) {
  std::string_view s = text;
  if (!s.empty() && s.front() == '+') s.remove_prefix(1);
  const auto [end, error] = std::from_chars(s.data(), s.data() + s.size(), value);
  return !s.empty() && error == std::errc() && end == s.data() + s.size();
}

}  // namespace

EJsonParserException::EJsonParserException(const std::string& text, int line, int column, int position)
    : EJsonException(text + " (" + std::to_string(line) + ", " + std::to_string(column) + ")"),
      FLineNum(line),
      FColumn(column),
      FPosition(position) {}

const char* JsonDataTypeName(TJsonDataType type) {
  switch (type) {
    case jdtNone: return "null";
    case jdtString: return "String";
    case jdtInt: return "Integer";
    case jdtLong: return "Long";
    case jdtULong: return "ULong";
    case jdtFloat: return "Float";
    case jdtDateTime: return "DateTime";
    case jdtUtcDateTime: return "UTC-DateTime";
    case jdtBool: return "Bool";
    case jdtArray: return "Array";
    case jdtObject: return "Object";
  }
  return "null";
}

// ---- TJsonDataValue ----

TJsonDataValue::TJsonDataValue(TJsonDataValue&& other) noexcept
    : type_(other.type_), long_(other.long_), string_(std::move(other.string_)) {
  other.type_ = jdtNone;
}

TJsonDataValue& TJsonDataValue::operator=(TJsonDataValue&& other) noexcept {
  if (this != &other) {
    Reset();
    type_ = other.type_;
    long_ = other.long_;
    string_ = std::move(other.string_);
    other.type_ = jdtNone;
  }
  return *this;
}

TJsonDataValue::~TJsonDataValue() { Reset(); }

void TJsonDataValue::Reset() {
  if (type_ == jdtObject) delete object_;
  if (type_ == jdtArray) delete array_;
  type_ = jdtNone;
  long_ = 0;
  string_.clear();
}

bool TJsonDataValue::IsNull() const { return type_ == jdtObject && object_ == nullptr; }

std::string TJsonDataValue::GetString() const {
  switch (type_) {
    case jdtNone: return {};
    case jdtString: return string_;
    case jdtInt: return std::to_string(int_);
    case jdtLong: return std::to_string(long_);
    case jdtULong: return std::to_string(ulong_);
    case jdtFloat:
    case jdtDateTime:
    case jdtUtcDateTime: return FloatToText(float_);
    case jdtBool: return bool_ ? "true" : "false";
    default: ThrowCast(type_, jdtString);
  }
}

int64_t TJsonDataValue::GetLong() const {
  switch (type_) {
    case jdtNone: return 0;
    case jdtString: {
      int64_t value = 0;
      return TextToInt(string_, value) ? value : TruncateToLong(TextToFloat(string_));
    }
    case jdtInt: return int_;
    case jdtLong: return long_;
    case jdtULong: return static_cast<int64_t>(ulong_);
    case jdtFloat:
    case jdtDateTime:
    case jdtUtcDateTime: return TruncateToLong(float_);
    case jdtBool: return bool_ ? 1 : 0;
    default: ThrowCast(type_, jdtLong);
  }
}

int32_t TJsonDataValue::GetInt() const {
  if (type_ == jdtString) {
    int32_t value = 0;
    if (TextToInt(string_, value)) return value;
    return LowBits(TruncateToLong(TextToFloat(string_)));
  }
  if (type_ == jdtObject || type_ == jdtArray) ThrowCast(type_, jdtInt);
  return LowBits(GetLong());
}

uint64_t TJsonDataValue::GetULong() const {
  if (type_ == jdtULong) return ulong_;
  if (type_ == jdtString) {
    uint64_t value = 0;
    if (TextToInt(string_, value)) return value;
  }
  if (type_ == jdtObject || type_ == jdtArray) ThrowCast(type_, jdtULong);
  return static_cast<uint64_t>(GetLong());
}

double TJsonDataValue::GetFloat() const {
  switch (type_) {
    case jdtNone: return 0;
    case jdtString: return TextToFloat(string_);
    case jdtInt: return int_;
    case jdtLong: return static_cast<double>(long_);
    case jdtULong: return static_cast<double>(ulong_);
    case jdtFloat:
    case jdtDateTime:
    case jdtUtcDateTime: return float_;
    case jdtBool: return bool_ ? 1 : 0;
    default: ThrowCast(type_, jdtFloat);
  }
}

bool TJsonDataValue::GetBool() const {
  switch (type_) {
    case jdtNone: return false;
    case jdtString: return string_ == "true";
    case jdtInt: return int_ != 0;
    case jdtLong: return long_ != 0;
    case jdtULong: return ulong_ != 0;
    case jdtFloat:
    case jdtDateTime:
    case jdtUtcDateTime: return float_ != 0;  // NaN too
    case jdtBool: return bool_;
    default: ThrowCast(type_, jdtBool);
  }
}

TJsonObject* TJsonDataValue::GetObject() const {
  if (type_ == jdtObject) return object_;
  if (type_ == jdtNone) return nullptr;
  ThrowCast(type_, jdtObject);
}

TJsonArray* TJsonDataValue::GetArray() const {
  if (type_ == jdtArray) return array_;
  if (type_ == jdtNone) return nullptr;
  ThrowCast(type_, jdtArray);
}

void TJsonDataValue::SetString(std::string_view value) {
  Reset();
  type_ = jdtString;
  string_ = scan::ValidUtf8(value);
}

void TJsonDataValue::SetInt(int32_t value) {
  Reset();
  type_ = jdtInt;
  int_ = value;
}

void TJsonDataValue::SetLong(int64_t value) {
  Reset();
  type_ = jdtLong;
  long_ = value;
}

void TJsonDataValue::SetULong(uint64_t value) {
  Reset();
  type_ = jdtULong;
  ulong_ = value;
}

void TJsonDataValue::SetFloat(double value) {
  Reset();
  type_ = jdtFloat;
  float_ = value;
}

void TJsonDataValue::SetBool(bool value) {
  Reset();
  type_ = jdtBool;
  bool_ = value;
}

void TJsonDataValue::SetNull() {
  Reset();
  type_ = jdtObject;
  object_ = nullptr;
}

TJsonObject* TJsonDataValue::SetObject() {
  auto* object = new TJsonObject();
  Reset();
  type_ = jdtObject;
  object_ = object;
  return object;
}

TJsonArray* TJsonDataValue::SetArray() {
  auto* array = new TJsonArray();
  Reset();
  type_ = jdtArray;
  array_ = array;
  return array;
}

// ---- TJsonBaseObject ----

void TJsonBaseObject::FromJSON(std::u16string_view text) { ReadJsonText(*this, text); }

void TJsonBaseObject::FromJSON(std::string_view utf8) { ReadJsonText(*this, utf8); }

void TJsonBaseObject::FromUtf8JSON(const char* data, size_t size) { ReadJsonBytes(*this, std::string_view(data, size)); }

namespace {

template <typename View>
std::unique_ptr<TJsonBaseObject> ParseAny(View text) {
  size_t i = 0;
  while (i < text.size() && static_cast<uint32_t>(static_cast<std::make_unsigned_t<typename View::value_type>>(text[i])) <= 0x20) ++i;
  if (i == text.size()) return nullptr;
  std::unique_ptr<TJsonBaseObject> result;
  if (text[i] == '[') {
    result = std::make_unique<TJsonArray>();
  } else {
    result = std::make_unique<TJsonObject>();
  }
  ReadJsonText(*result, text);
  return result;
}

// UTF-16 code units from bytes in the given byte order; an odd last byte is dropped.
std::u16string DecodeUtf16(std::string_view bytes, bool big_endian) {
  std::u16string text(bytes.size() / 2, u'\0');
  for (size_t i = 0; i < text.size(); ++i) {
    const auto first = static_cast<unsigned char>(bytes[2 * i]);
    const auto second = static_cast<unsigned char>(bytes[2 * i + 1]);
    text[i] = static_cast<char16_t>(big_endian ? (first << 8) | second : (second << 8) | first);
  }
  return text;
}

}  // namespace

std::unique_ptr<TJsonBaseObject> TJsonBaseObject::Parse(std::u16string_view text) { return ParseAny(text); }

std::unique_ptr<TJsonBaseObject> TJsonBaseObject::Parse(std::string_view utf8) { return ParseAny(utf8); }

void TJsonBaseObject::LoadFromFile(const std::string& path, bool Utf8WithoutBOM) {
  const std::string bytes = files::ReadAllBytes(path);
  const std::string_view view = bytes;
  const auto starts = [&](std::string_view mark) { return view.substr(0, mark.size()) == mark; };
  if (starts("\xEF\xBB\xBF")) {
    ReadJsonBytes(*this, view.substr(3));
  } else if (starts(std::string_view("\xFF\xFE\0\0", 4)) || starts(std::string_view("\0\0\xFE\xFF", 4))) {
    throw EJsonException("File encoding is not supported");
  } else if (starts("\xFF\xFE")) {
    ReadJsonText(*this, DecodeUtf16(view.substr(2), false));
  } else if (starts("\xFE\xFF")) {
    ReadJsonText(*this, DecodeUtf16(view.substr(2), true));
  } else if (Utf8WithoutBOM) {
    ReadJsonBytes(*this, view);
  } else {
    // Without a mark and without the UTF-8 default the bytes are 8-bit text
    // of the system's code page, which is UTF-8 here as well.
    ReadJsonText(*this, view);
  }
}

std::string TJsonBaseObject::ToJSON(bool Compact) const { return JsonWriter::Write(*this, Compact); }

void TJsonBaseObject::SaveToFile(const std::string& path, bool Compact) const {
  files::WriteFileAtomic(path, ToJSON(Compact));
}

// ---- TJsonObject ----

TJsonObject::~TJsonObject() = default;

void TJsonObject::Clear() { members_.clear(); }

const std::string& TJsonObject::Names(int index) const {
  if (index < 0 || index >= Count()) ThrowIndex(index);
  return members_[static_cast<size_t>(index)].name;
}

const TJsonDataValue& TJsonObject::Items(int index) const {
  if (index < 0 || index >= Count()) ThrowIndex(index);
  return members_[static_cast<size_t>(index)].value;
}

const TJsonDataValue* TJsonObject::Find(std::string_view name) const {
  for (const Member& member : members_) {
    if (member.name == name) return &member.value;
  }
  return nullptr;
}

TJsonDataValue& TJsonObject::FindOrAdd(std::string_view name) {
  if (const TJsonDataValue* found = Find(name)) return const_cast<TJsonDataValue&>(*found);
  members_.push_back({std::string(name), TJsonDataValue()});
  return members_.back().value;
}

bool TJsonObject::Contains(std::string_view name) const { return Find(name) != nullptr; }

TJsonDataType TJsonObject::GetType(std::string_view name) const {
  const TJsonDataValue* value = Find(name);
  return value ? value->Type() : jdtNone;
}

std::string TJsonObject::GetString(std::string_view name) const {
  const TJsonDataValue* value = Find(name);
  return value ? value->GetString() : std::string();
}

int32_t TJsonObject::GetInt(std::string_view name) const {
  const TJsonDataValue* value = Find(name);
  return value ? value->GetInt() : 0;
}

int64_t TJsonObject::GetLong(std::string_view name) const {
  const TJsonDataValue* value = Find(name);
  return value ? value->GetLong() : 0;
}

double TJsonObject::GetFloat(std::string_view name) const {
  const TJsonDataValue* value = Find(name);
  return value ? value->GetFloat() : 0;
}

bool TJsonObject::GetBool(std::string_view name) const {
  const TJsonDataValue* value = Find(name);
  return value && value->GetBool();
}

TJsonObject* TJsonObject::GetObject(std::string_view name) {
  if (const TJsonDataValue* value = Find(name)) return value->GetObject();
  return FindOrAdd(name).SetObject();
}

TJsonArray* TJsonObject::GetArray(std::string_view name) {
  if (const TJsonDataValue* value = Find(name)) return value->GetArray();
  return FindOrAdd(name).SetArray();
}

void TJsonObject::SetString(std::string_view name, std::string_view value) { FindOrAdd(name).SetString(value); }
void TJsonObject::SetInt(std::string_view name, int32_t value) { FindOrAdd(name).SetInt(value); }
void TJsonObject::SetLong(std::string_view name, int64_t value) { FindOrAdd(name).SetLong(value); }
void TJsonObject::SetFloat(std::string_view name, double value) { FindOrAdd(name).SetFloat(value); }
void TJsonObject::SetBool(std::string_view name, bool value) { FindOrAdd(name).SetBool(value); }
void TJsonObject::SetNull(std::string_view name) { FindOrAdd(name).SetNull(); }
TJsonObject* TJsonObject::SetObject(std::string_view name) { return FindOrAdd(name).SetObject(); }
TJsonArray* TJsonObject::SetArray(std::string_view name) { return FindOrAdd(name).SetArray(); }

// ---- TJsonArray ----

TJsonArray::~TJsonArray() = default;

void TJsonArray::Clear() { items_.clear(); }

const TJsonDataValue& TJsonArray::At(int index) const {
  if (index < 0 || index >= Count()) ThrowIndex(index);
  return items_[static_cast<size_t>(index)];
}

const TJsonDataValue& TJsonArray::Items(int index) const { return At(index); }
TJsonDataType TJsonArray::GetType(int index) const { return At(index).Type(); }
std::string TJsonArray::GetString(int index) const { return At(index).GetString(); }
int32_t TJsonArray::GetInt(int index) const { return At(index).GetInt(); }
int64_t TJsonArray::GetLong(int index) const { return At(index).GetLong(); }
double TJsonArray::GetFloat(int index) const { return At(index).GetFloat(); }
bool TJsonArray::GetBool(int index) const { return At(index).GetBool(); }
TJsonObject* TJsonArray::GetObject(int index) const { return At(index).GetObject(); }
TJsonArray* TJsonArray::GetArray(int index) const { return At(index).GetArray(); }

void TJsonArray::Add(std::string_view value) { items_.emplace_back().SetString(value); }
void TJsonArray::AddInt(int32_t value) { items_.emplace_back().SetInt(value); }
void TJsonArray::AddLong(int64_t value) { items_.emplace_back().SetLong(value); }
void TJsonArray::AddFloat(double value) { items_.emplace_back().SetFloat(value); }
void TJsonArray::AddBool(bool value) { items_.emplace_back().SetBool(value); }
void TJsonArray::AddNull() { items_.emplace_back().SetNull(); }
TJsonObject* TJsonArray::AddObject() { return items_.emplace_back().SetObject(); }
TJsonArray* TJsonArray::AddArray() { return items_.emplace_back().SetArray(); }

}  // namespace tarnvex::json
