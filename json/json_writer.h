#pragma once
// The document model's writer: compact or indented (TAB, LF) UTF-8 text.
#include <string>

#include "json/json_document.h"

namespace tarnvex::json {

class JsonWriter {
 public:
  static std::string Write(const TJsonBaseObject& root, bool compact);

 private:
  JsonWriter(std::string& out, bool compact) : out_(out), compact_(compact) {}
  void WriteContainer(const TJsonBaseObject& container, int indent);
  void WriteObject(const TJsonObject& object, int indent);
  void WriteArray(const TJsonArray& array, int indent);
  void WriteValue(const TJsonDataValue& value, int indent);
  void WriteString(const std::string& text);
  void NewLine(int indent);

  std::string& out_;
  bool compact_;
};

}  // namespace tarnvex::json
