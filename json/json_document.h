#pragma once
// The JSON document model: an ordered tree of objects and arrays through which
// the request file, the response files, the DevTools endpoint replies and the
// WebDriver bodies pass. Every text at this interface is UTF-8; the text
// reader also takes UTF-16 text because its positions count UTF-16 code units.
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "platform/exception.h"

namespace tarnvex::json {

// Encoding failures of files.
TARNVEX_EXCEPTION(EJsonException, Exception);
// A value that cannot be converted to the kind asked for: "Cannot cast %s into %s".
TARNVEX_EXCEPTION(EJsonCastException, EJsonException);

// Malformed JSON text. The message ends with " (line, column)".
class EJsonParserException : public EJsonException {
 public:
  EJsonParserException(const std::string& text, int line, int column, int position);
  std::string TypeName() const override { return "EJsonParserException"; }

  int32_t FLineNum;
  int32_t FColumn;
  int32_t FPosition;  // offset from the start of the text (code units or bytes)
};

// Deepest nesting of containers a reader accepts; deeper text raises
// "Maximum nesting depth exceeded" instead of exhausting the stack.
inline constexpr int kMaxJsonDepth = 1000;

enum TJsonDataType {
  jdtNone,
  jdtString,
  jdtInt,
  jdtLong,
  jdtULong,
  jdtFloat,
  jdtDateTime,
  jdtUtcDateTime,
  jdtBool,
  jdtArray,
  jdtObject,
};

// The kind name used in conversion messages ("null", "String", "Integer", ...).
const char* JsonDataTypeName(TJsonDataType type);

class TJsonObject;
class TJsonArray;

// One member or item: a kind and its payload. A JSON null is kind jdtObject
// without object. Containers are owned by the value that holds them.
class TJsonDataValue {
 public:
  TJsonDataValue() = default;
  TJsonDataValue(TJsonDataValue&&) noexcept;
  TJsonDataValue& operator=(TJsonDataValue&&) noexcept;
  ~TJsonDataValue();

  TJsonDataType Type() const { return type_; }
  bool IsNull() const;  // jdtObject without object

  // Conversions; a kind that cannot give the result raises EJsonCastException,
  // a string that is no number read as integer raises EConvertError.
  std::string GetString() const;
  int32_t GetInt() const;
  int64_t GetLong() const;
  uint64_t GetULong() const;
  double GetFloat() const;
  bool GetBool() const;
  // jdtObject gives its object (null for a JSON null), jdtNone gives null,
  // any other kind raises "Cannot cast %s into Object".
  TJsonObject* GetObject() const;
  // jdtArray gives its array, jdtNone gives null, others raise.
  TJsonArray* GetArray() const;

  // Invalid UTF-8 is stored with each bad sequence as U+FFFD, so every
  // document written is valid UTF-8.
  void SetString(std::string_view value);
  void SetInt(int32_t value);
  void SetLong(int64_t value);
  void SetULong(uint64_t value);
  void SetFloat(double value);
  void SetBool(bool value);
  void SetNull();
  TJsonObject* SetObject();  // a new empty object, returned
  TJsonArray* SetArray();    // a new empty array, returned

 private:
  friend class JsonWriter;
  friend class JsonReaderAccess;
  void Reset();

  TJsonDataType type_ = jdtNone;
  union {
    int32_t int_;
    int64_t long_ = 0;
    uint64_t ulong_;
    double float_;
    bool bool_;
    TJsonObject* object_;
    TJsonArray* array_;
  };
  std::string string_;
};

// The abstract base: reading, loading, saving and writing of either container.
class TJsonBaseObject {
 public:
  virtual ~TJsonBaseObject() = default;
  TJsonBaseObject(const TJsonBaseObject&) = delete;
  TJsonBaseObject& operator=(const TJsonBaseObject&) = delete;

  // Text reader: replaces the content with the document the text holds, which
  // must be a container of the receiver's class. Positions count UTF-16 code
  // units (the UTF-8 overload counts them as well), the line is always 1.
  void FromJSON(std::u16string_view text);
  void FromJSON(std::string_view utf8);
  // Byte reader: the same for UTF-8 bytes; positions count bytes and lines.
  void FromUtf8JSON(const char* data, size_t size);
  void FromUtf8JSON(std::string_view bytes) { FromUtf8JSON(bytes.data(), bytes.size()); }

  // A new TJsonArray when the first character above U+0020 is "[", otherwise a
  // TJsonObject; null for a text of only characters up to U+0020.
  static std::unique_ptr<TJsonBaseObject> Parse(std::u16string_view text);
  static std::unique_ptr<TJsonBaseObject> Parse(std::string_view utf8);

  // Reads a file, choosing the encoding by its byte-order mark.
  void LoadFromFile(const std::string& path, bool Utf8WithoutBOM = true);

  // The document as UTF-8 text, compact or indented (TAB, LF).
  std::string ToJSON(bool Compact = true) const;
  // Replaces the file atomically with the document, UTF-8 without byte-order
  // mark. Only the compact form is asked for by the system.
  void SaveToFile(const std::string& path, bool Compact = true) const;

  virtual void Clear() = 0;
  virtual int Count() const = 0;

 protected:
  TJsonBaseObject() = default;

 private:
  friend class JsonWriter;
  friend class JsonReaderAccess;
};

class TJsonObject : public TJsonBaseObject {
 public:
  TJsonObject() = default;
  ~TJsonObject() override;

  void Clear() override;
  int Count() const override { return static_cast<int>(members_.size()); }

  // Member by index; an index outside 0..Count-1 raises EListError.
  const std::string& Names(int index) const;
  const TJsonDataValue& Items(int index) const;

  // Lookups find the first member of the name (exact, case-sensitive).
  bool Contains(std::string_view name) const;
  TJsonDataType GetType(std::string_view name) const;  // missing: jdtNone
  std::string GetString(std::string_view name) const;  // missing: ""
  int32_t GetInt(std::string_view name) const;         // missing: 0
  int64_t GetLong(std::string_view name) const;        // missing: 0
  double GetFloat(std::string_view name) const;        // missing: 0
  bool GetBool(std::string_view name) const;           // missing: false
  // A missing member is appended as a new empty container and returned.
  TJsonObject* GetObject(std::string_view name);
  TJsonArray* GetArray(std::string_view name);

  // Setters change the first member of the name in place or append one.
  void SetString(std::string_view name, std::string_view value);
  void SetInt(std::string_view name, int32_t value);
  void SetLong(std::string_view name, int64_t value);
  void SetFloat(std::string_view name, double value);
  void SetBool(std::string_view name, bool value);
  void SetNull(std::string_view name);
  TJsonObject* SetObject(std::string_view name);  // replaced by a new empty object
  TJsonArray* SetArray(std::string_view name);    // replaced by a new empty array

 private:
  friend class JsonWriter;
  friend class JsonReaderAccess;
  struct Member {
    std::string name;
    TJsonDataValue value;
  };
  const TJsonDataValue* Find(std::string_view name) const;
  TJsonDataValue& FindOrAdd(std::string_view name);

  std::vector<Member> members_;
};

class TJsonArray : public TJsonBaseObject {
 public:
  TJsonArray() = default;
  ~TJsonArray() override;

  void Clear() override;
  int Count() const override { return static_cast<int>(items_.size()); }

  // Items by index; an index outside 0..Count-1 raises EListError.
  const TJsonDataValue& Items(int index) const;
  TJsonDataType GetType(int index) const;
  std::string GetString(int index) const;
  int32_t GetInt(int index) const;
  int64_t GetLong(int index) const;
  double GetFloat(int index) const;
  bool GetBool(int index) const;
  TJsonObject* GetObject(int index) const;
  TJsonArray* GetArray(int index) const;

  void Add(std::string_view value);
  void AddInt(int32_t value);
  void AddLong(int64_t value);
  void AddFloat(double value);
  void AddBool(bool value);
  void AddNull();
  TJsonObject* AddObject();
  TJsonArray* AddArray();

 private:
  friend class JsonWriter;
  friend class JsonReaderAccess;
  const TJsonDataValue& At(int index) const;

  std::vector<TJsonDataValue> items_;
};

}  // namespace tarnvex::json
