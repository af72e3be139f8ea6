#include "json/json_writer.h"

#include <charconv>
#include <cmath>

#include "json/float_text.h"

namespace tarnvex::json {
namespace {

// Bytes that need an escape: quote, backslash and every control character.
struct EscapeTable {
  bool escape[256] = {};
  constexpr EscapeTable() {
    for (int i = 0; i < 0x20; ++i) escape[i] = true;
    escape[static_cast<unsigned char>('"')] = true;
    escape[static_cast<unsigned char>('\\')] = true;
  }
};
constexpr EscapeTable kEscapes;

template <typename Int>
void AppendInteger(std::string& out, Int value) {
  char buffer[24];
  const auto result = std::to_chars(buffer, buffer + sizeof buffer, value);
  out.append(buffer, result.ptr);
}

}  // namespace

std::string JsonWriter::Write(const TJsonBaseObject& root, bool compact) {
  std::string out;
  JsonWriter writer(out, compact);
  writer.WriteContainer(root, 0);
  if (!compact) out += '\n';
  return out;
}

void JsonWriter::WriteContainer(const TJsonBaseObject& container, int indent) {
  if (const auto* object = dynamic_cast<const TJsonObject*>(&container)) {
    WriteObject(*object, indent);
  } else {
    WriteArray(static_cast<const TJsonArray&>(container), indent);
  }
}

void JsonWriter::NewLine(int indent) {
  if (compact_) return;
  out_ += '\n';
  out_.append(static_cast<size_t>(indent), '\t');
}

void JsonWriter::WriteObject(const TJsonObject& object, int indent) {
  if (object.members_.empty()) {
    out_ += "{}";
    return;
  }
  out_ += '{';
  bool first = true;
  for (const TJsonObject::Member& member : object.members_) {
    if (!first) out_ += ',';
    first = false;
    NewLine(indent + 1);
    WriteString(member.name);
    out_ += compact_ ? ":" : ": ";
    WriteValue(member.value, indent + 1);
  }
  NewLine(indent);
  out_ += '}';
}

void JsonWriter::WriteArray(const TJsonArray& array, int indent) {
  if (array.items_.empty()) {
    out_ += "[]";
    return;
  }
  out_ += '[';
  bool first = true;
  for (const TJsonDataValue& item : array.items_) {
    if (!first) out_ += ',';
    first = false;
    NewLine(indent + 1);
    WriteValue(item, indent + 1);
  }
  NewLine(indent);
  out_ += ']';
}

void JsonWriter::WriteValue(const TJsonDataValue& value, int indent) {
  switch (value.type_) {
    case jdtNone: out_ += "null"; break;
    case jdtString: WriteString(value.string_); break;
    case jdtInt: AppendInteger(out_, value.int_); break;
    case jdtLong: AppendInteger(out_, value.long_); break;
    case jdtULong: AppendInteger(out_, value.ulong_); break;
    case jdtFloat:
    case jdtDateTime:
    case jdtUtcDateTime:
      // NaN and infinities have no JSON form; null keeps the text readable.
      out_ += std::isfinite(value.float_) ? FloatToText(value.float_) : "null";
      break;
    case jdtBool: out_ += value.bool_ ? "true" : "false"; break;
    case jdtArray:
      if (value.array_) {
        WriteArray(*value.array_, indent);
      } else {
        out_ += "[]";
      }
      break;
    case jdtObject:
      if (value.object_) {
        WriteObject(*value.object_, indent);
      } else {
        out_ += "null";
      }
      break;
  }
}

void JsonWriter::WriteString(const std::string& text) {
  static constexpr char kHex[] = "0123456789abcdef";
  out_.reserve(out_.size() + text.size() + 2);
  out_ += '"';
  const char* p = text.data();
  const char* const end = p + text.size();
  while (p < end) {
    const char* run = p;
    while (p < end && !kEscapes.escape[static_cast<unsigned char>(*p)]) ++p;
    out_.append(run, static_cast<size_t>(p - run));
    if (p == end) break;
    const char c = *p++;
    switch (c) {
      case '"': out_ += "\\\""; break;
      case '\\': out_ += "\\\\"; break;
      case '\b': out_ += "\\b"; break;
      case '\t': out_ += "\\t"; break;
      case '\n': out_ += "\\n"; break;
      case '\f': out_ += "\\f"; break;
      case '\r': out_ += "\\r"; break;
      default: {
        const char escape[] = {'\\', 'u', '0', '0', kHex[(c >> 4) & 0xF], kHex[c & 0xF]};
        out_.append(escape, sizeof escape);
      }
    }
  }
  out_ += '"';
}

}  // namespace tarnvex::json
