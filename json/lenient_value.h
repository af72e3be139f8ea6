#pragma once
// The lenient JSON value model: reference-counted values whose parser never
// raises, whose objects hold one member per name enumerated in descending
// hash order, and whose writer has its own escaping. Texts are UTF-8.
#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace tarnvex::json {

enum TLenientType {
  stNull,
  stBoolean,
  stDouble,
  stCurrency,
  stInt,
  stObject,
  stArray,
  stString,
  stMethod,
};

class TLenientValue;
// A value lives as long as a reference exists; a null reference is "none".
using ILenientValue = std::shared_ptr<TLenientValue>;

// Deepest nesting the parser accepts; deeper text parses as none.
inline constexpr int kMaxLenientDepth = 1000;

// The member-order hash: h = h * 129 + unit + 0x9E370001 over UTF-16 units.
uint32_t LenientNameHash(std::string_view name);

class TLenientArray {
 public:
  int Count() const { return static_cast<int>(items_.size()); }
  // Item by index; null (none) outside 0..Count-1.
  ILenientValue Items(int index) const;
  void Add(std::string_view text);  // a new stString value
  void Add(ILenientValue value);

 private:
  friend class LenientWriter;
  std::vector<ILenientValue> items_;
};

class TLenientValue {
 public:
  // An empty value of the kind: stArray an empty array, stObject an empty
  // object, stString the empty text, numbers 0, stBoolean false.
  explicit TLenientValue(TLenientType type);
  static ILenientValue Create(TLenientType type) { return std::make_shared<TLenientValue>(type); }
  // Invalid UTF-8 in `text` is stored with each bad sequence as U+FFFD.
  static ILenientValue CreateString(std::string_view text);
  static ILenientValue CreateBool(bool value);

  // The value the text holds, or none when it is not valid JSON. With
  // `partial`, text after the first complete value is ignored; `strict`
  // refuses comments. Never raises.
  static ILenientValue ParseString(std::string_view text, bool strict = false, bool partial = true);

  TLenientType DataType() const { return type_; }
  bool IsType(TLenientType type) const { return type_ == type; }

  // Members of an object (none / no effect on other kinds).
  ILenientValue GetO(std::string_view name) const;
  void PutO(std::string_view name, ILenientValue value);
  void PutS(std::string_view name, std::string_view text);
  void PutB(std::string_view name, bool value);
  TLenientArray* GetA(std::string_view name) const;
  // Member names in enumeration order.
  std::vector<std::string> Names() const;

  // The array of an stArray value, else null.
  TLenientArray* AsArray();
  const TLenientArray* AsArray() const;

  int64_t AsInteger() const;  // doubles rounded half to even
  std::string AsString() const;
  std::string AsJson(bool indent = false, bool escape = true) const;

 private:
  struct MemberKey {
    uint32_t hash;
    std::string name;
  };
  struct MemberOrder {
    bool operator()(const MemberKey& a, const MemberKey& b) const;
  };
  friend class LenientWriter;
  friend class LenientParser;

  TLenientType type_;
  bool bool_ = false;
  int64_t int_ = 0;
  double double_ = 0;
  std::string string_;
  std::unique_ptr<TLenientArray> array_;
  std::unique_ptr<std::map<MemberKey, ILenientValue, MemberOrder>> members_;
};

}  // namespace tarnvex::json
