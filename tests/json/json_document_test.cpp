#include "json/json_document.h"

#include <gtest/gtest.h>

#include <cmath>
#include <functional>
#include <optional>

#include "json/float_text.h"
#include "json/lenient_value.h"
#include "platform/random.h"
#include "platform/text.h"
#include "tests/support/process.h"

namespace tarnvex::json {
namespace {

std::unique_ptr<TJsonObject> ReadObject(std::string_view text) {
  auto object = std::make_unique<TJsonObject>();
  object->FromUtf8JSON(text);
  return object;
}

// The message of the exception `action` raises, prefixed with its type name.
std::string Failure(const std::function<void()>& action) {
  try {
    action();
  } catch (const tarnvex::Exception& e) {
    return e.TypeName() + ": " + e.Message();
  }
  return "no exception";
}

TEST(JsonObject, ReadsRequestStyleMembersAndDefaultsForMissingOnes) {
  const auto request = ReadObject(R"({"api":1,"port":9222,"click":true})");
  EXPECT_EQ(request->GetInt("api"), 1);
  EXPECT_EQ(request->GetInt("port"), 9222);
  EXPECT_EQ(request->GetString("profileId"), "");
  EXPECT_TRUE(request->GetBool("click"));
  EXPECT_FALSE(request->GetBool("index"));
  EXPECT_EQ(request->GetInt("index"), 0);
  EXPECT_EQ(request->GetType("index"), jdtNone);
  EXPECT_FALSE(request->Contains("API"));  // names are case-sensitive
}

// Each stored kind read as text, as integer and as boolean: the value or the
// exception's "Type: message".
TEST(JsonDataValue, ConvertsEveryKindOrRaisesWithTheKindNames) {
  struct Case {
    const char* member;  // the value of member "a" as JSON text
    const char* as_text;
    const char* as_int;
    const char* as_bool;
  };
  const Case cases[] = {
      {R"("abc")", "abc", "EConvertError: 'abc' is not a valid floating point value", "false"},
      {R"("12.9")", "12.9", "12", "false"},
      {R"("-12.9")", "-12.9", "-12", "false"},
      {R"("x")", "x", "EConvertError: 'x' is not a valid floating point value", "false"},
      {R"("")", "", "EConvertError: '' is not a valid floating point value", "false"},
      {R"("TRUE")", "TRUE", "EConvertError: 'TRUE' is not a valid floating point value", "false"},
      {R"("true")", "true", "EConvertError: 'true' is not a valid floating point value", "true"},
      {R"("42")", "42", "42", "false"},
      {R"("1e3")", "1e3", "1000", "false"},
      {R"("4294967297.5")", "4294967297.5", "1", "false"},  // low 32 bits of the truncation
      {"0", "0", "0", "false"},
      {"-7", "-7", "-7", "true"},
      {"4294967297", "4294967297", "1", "true"},
      {"9223372036854775808", "9223372036854775808", "0", "true"},
      {"2.75", "2.75", "2", "true"},
      {"-2.75", "-2.75", "-2", "true"},
      {"0.0", "0", "0", "false"},
      {"true", "true", "1", "true"},
      {"false", "false", "0", "false"},
      {"null", "EJsonCastException: Cannot cast Object into String",
       "EJsonCastException: Cannot cast Object into Integer", "EJsonCastException: Cannot cast Object into Bool"},
      {"{}", "EJsonCastException: Cannot cast Object into String",
       "EJsonCastException: Cannot cast Object into Integer", "EJsonCastException: Cannot cast Object into Bool"},
      {"[1]", "EJsonCastException: Cannot cast Array into String",
       "EJsonCastException: Cannot cast Array into Integer", "EJsonCastException: Cannot cast Array into Bool"},
  };
  for (const Case& c : cases) {
    const auto object = ReadObject(std::string(R"({"a":)") + c.member + "}");
    std::string text, integer, boolean;
    const std::string text_error = Failure([&] { text = object->GetString("a"); });
    const std::string int_error = Failure([&] { integer = std::to_string(object->GetInt("a")); });
    const std::string bool_error = Failure([&] { boolean = object->GetBool("a") ? "true" : "false"; });
    EXPECT_EQ(text_error == "no exception" ? text : text_error, c.as_text) << c.member;
    EXPECT_EQ(int_error == "no exception" ? integer : int_error, c.as_int) << c.member;
    EXPECT_EQ(bool_error == "no exception" ? boolean : bool_error, c.as_bool) << c.member;
  }
}

TEST(JsonDataValue, SetFloatNaNReadsAsTrueAndOutOfRangeFloatsSaturate) {
  TJsonObject object;
  object.SetFloat("nan", std::nan(""));
  object.SetFloat("huge", 1e300);
  EXPECT_TRUE(object.GetBool("nan"));
  EXPECT_EQ(object.GetInt("nan"), 0);
  EXPECT_EQ(object.GetLong("huge"), INT64_MAX);
  // A non-finite float has no JSON form; the document stays valid JSON.
  EXPECT_EQ(object.ToJSON(), R"({"nan":null,"huge":1E300})");
}

TEST(JsonObject, NullMemberIsPresentButHoldsNoObject) {
  auto object = ReadObject(R"({"a":null})");
  EXPECT_TRUE(object->Contains("a"));
  EXPECT_EQ(object->GetType("a"), jdtObject);
  EXPECT_EQ(object->GetObject("a"), nullptr);
  EXPECT_TRUE(object->Items(0).IsNull());
  EXPECT_EQ(Failure([&] { object->GetString("a"); }), "EJsonCastException: Cannot cast Object into String");
  EXPECT_EQ(Failure([&] { object->GetArray("a"); }), "EJsonCastException: Cannot cast Object into Array");
  EXPECT_EQ(object->ToJSON(), R"({"a":null})");
}

TEST(JsonObject, GetObjectAndGetArrayCreateMissingMembers) {
  auto object = ReadObject(R"({"a":1})");
  TJsonObject* b = object->GetObject("b");
  ASSERT_NE(b, nullptr);
  EXPECT_EQ(object->ToJSON(), R"({"a":1,"b":{}})");
  EXPECT_EQ(object->GetObject("b"), b);  // found, not created again
  b->SetString("x", "y");
  object->GetArray("c")->AddInt(5);
  EXPECT_EQ(object->ToJSON(), R"({"a":1,"b":{"x":"y"},"c":[5]})");
  EXPECT_EQ(Failure([&] { object->GetObject("a"); }), "EJsonCastException: Cannot cast Integer into Object");
  EXPECT_EQ(Failure([&] { object->GetArray("b"); }), "EJsonCastException: Cannot cast Object into Array");
  EXPECT_EQ(Failure([&] { object->GetObject("c"); }), "EJsonCastException: Cannot cast Array into Object");
}

TEST(JsonObject, BuildsACommandInMemberOrderAndSettersKeepThePosition) {
  TJsonObject command;
  command.SetInt("id", 1);
  command.SetString("method", "Runtime.evaluate");
  command.GetObject("params")->SetString("expression", "1+1");
  EXPECT_EQ(command.ToJSON(), R"({"id":1,"method":"Runtime.evaluate","params":{"expression":"1+1"}})");
  command.SetString("id", "first");  // replaced in place, the object it held is freed
  command.SetBool("params", false);
  EXPECT_EQ(command.ToJSON(), R"({"id":"first","method":"Runtime.evaluate","params":false})");
  command.Clear();
  EXPECT_EQ(command.Count(), 0);
  EXPECT_EQ(command.ToJSON(), "{}");
}

TEST(JsonObject, DuplicateNamesAreKeptAndTheFirstOneIsFound) {
  const std::string text = R"({"a":1,"a":2})";
  auto object = ReadObject(text);
  EXPECT_EQ(object->Count(), 2);
  EXPECT_EQ(object->GetInt("a"), 1);
  EXPECT_EQ(object->ToJSON(), text);
  object->SetInt("a", 3);
  EXPECT_EQ(object->ToJSON(), R"({"a":3,"a":2})");
}

TEST(JsonObject, IndexedAccessAndItsListIndexError) {
  auto object = ReadObject(R"({"k":"v","n":2})");
  EXPECT_EQ(object->Names(1), "n");
  EXPECT_EQ(object->Items(0).GetString(), "v");
  EXPECT_EQ(Failure([&] { object->Items(2); }), "EListError: List index out of bounds (2)");
  EXPECT_EQ(Failure([&] { object->Names(-1); }), "EListError: List index out of bounds (-1)");

  TJsonArray array;
  array.FromJSON(std::string_view(R"([{"a":1},null,"s",7])"));
  EXPECT_EQ(array.Count(), 4);
  EXPECT_EQ(array.GetObject(0)->GetInt("a"), 1);
  EXPECT_EQ(array.GetObject(1), nullptr);
  EXPECT_EQ(array.GetString(2), "s");
  EXPECT_EQ(array.GetInt(3), 7);
  EXPECT_EQ(Failure([&] { array.GetObject(2); }), "EJsonCastException: Cannot cast String into Object");
  EXPECT_EQ(Failure([&] { array.GetString(4); }), "EListError: List index out of bounds (4)");
}

TEST(JsonReader, NumberKindsAtTheirBoundaries) {
  struct Case {
    const char* number;
    TJsonDataType type;
    const char* text;
  };
  const Case cases[] = {
      {"0", jdtInt, "0"},
      {"-0", jdtInt, "0"},
      {"999999999", jdtInt, "999999999"},
      {"-999999999", jdtInt, "-999999999"},
      {"1234567890", jdtLong, "1234567890"},
      {"-1234567890", jdtInt, "-1234567890"},
      {"-2147483647", jdtInt, "-2147483647"},
      {"-2147483648", jdtLong, "-2147483648"},
      {"9223372036854775807", jdtLong, "9223372036854775807"},
      {"9223372036854775808", jdtULong, "9223372036854775808"},
      {"18446744073709551615", jdtULong, "18446744073709551615"},
      {"18446744073709551616", jdtFloat, "1.84467440737096E19"},
      {"-9223372036854775807", jdtLong, "-9223372036854775807"},
      {"-9223372036854775808", jdtFloat, "-9.22337203685478E18"},
      {"-10000000000000000000", jdtFloat, "-1E19"},
      {"123456789012345678901", jdtFloat, "1.23456789012346E20"},
      {"1.5", jdtFloat, "1.5"},
      {"1E2", jdtFloat, "100"},
      {"1e-2", jdtFloat, "0.01"},
      {"1e400", jdtFloat, "1E308"},
      {"1e-400", jdtFloat, "1E-308"},
      {"-1e400", jdtFloat, "-1E308"},
      {"10e308", jdtFloat, "1.79769313486232E308"},  // beyond the double range
      {"0.1e-330", jdtFloat, "1E-309"},  // the exponent counts as -308
      {"0.30000000000000004", jdtFloat, "0.3"},
  };
  for (const Case& c : cases) {
    TJsonArray array;
    array.FromUtf8JSON(std::string("[") + c.number + "]");
    ASSERT_EQ(array.Count(), 1) << c.number;
    EXPECT_EQ(array.GetType(0), c.type) << c.number;
    EXPECT_EQ(array.GetString(0), c.text) << c.number;
  }
}

TEST(JsonReader, LeadingZeroEndsANumber) {
  TJsonArray array;
  EXPECT_EQ(Failure([&] { array.FromUtf8JSON("[012]"); }),
            "EJsonParserException: Expected \",\" but found value (1, 5)");
}

TEST(FloatToText, FifteenDigitsPlainOrScientific) {
  struct Case {
    double value;
    const char* text;
  };
  const Case cases[] = {
      {0.0, "0"},         {-0.0, "0"},          {1.5, "1.5"},
      {100, "100"},       {0.0001, "0.0001"},   {-2.25, "-2.25"},
      {123456789012345, "123456789012345"},     {1e15, "1E15"},
      {0.00001, "1E-5"},  {1.5e20, "1.5E20"},   {-1.25e-7, "-1.25E-7"},
      {0.1 + 0.2, "0.3"}, {1.0 / 3, "0.333333333333333"},
      {999999999999999.9, "1E15"},  // rounding decides the form
      {0.000099999999999999999, "0.0001"},
      {3.14159265358979, "3.14159265358979"},
  };
  for (const Case& c : cases) EXPECT_EQ(FloatToText(c.value), c.text) << c.value;
}

TEST(JsonReader, DecodesEscapesAndStringContent) {
  struct Case {
    const char* json_string;  // the quoted string as written in the text
    std::string value;        // UTF-8
  };
  const Case cases[] = {
      {R"("a\"b\\c\/d")", "a\"b\\c/d"},
      {R"("\b\f\n\r\t")", "\b\f\n\r\t"},
      {R"("\u00e9\u00E9")", "\xC3\xA9\xC3\xA9"},
      {R"("\u4e2d")", "\xE4\xB8\xAD"},
      {R"("\ud83d\ude00")", "\xF0\x9F\x98\x80"},      // a pair forms one character
      {R"("\ud83dx")", "\xEF\xBF\xBDx"},              // a lone surrogate is replaced
      {R"("\ude00\ud83d")", "\xEF\xBF\xBD\xEF\xBF\xBD"},
      {R"("\q\'")", "q'"},                             // unknown escape: backslash dropped
      {"\"tab\tand\x01\"", "tab\tand\x01"},           // control characters taken as they are
      {"\"\xC3\xA9\xE4\xB8\xAD\"", "\xC3\xA9\xE4\xB8\xAD"},
  };
  for (const Case& c : cases) {
    const std::string text = std::string(R"({"s":)") + c.json_string + "}";
    EXPECT_EQ(ReadObject(text)->GetString("s"), c.value) << c.json_string;
    TJsonObject from_text;
    from_text.FromJSON(std::string_view(text));
    EXPECT_EQ(from_text.GetString("s"), c.value) << c.json_string;
  }
}

// Strings stitched from pieces whose decoded form is known, at every
// alignment against the readers' word-at-a-time scanning.
TEST(JsonReader, RandomStringsDecodeAlikeInAllReaders) {
  struct Piece {
    const char* written;
    const char* decoded;
  };
  const Piece pieces[] = {
      {"abcdefgh", "abcdefgh"}, {"x", "x"},
      {"\\\"", "\""},  {"\\\\", "\\"},  {"\\/\\n\\t", "/\n\t"},
      {"\\u00e9", "\xC3\xA9"},      {"\\ud83d\\ude00", "\xF0\x9F\x98\x80"},
      {"\\ud83d", "\xEF\xBF\xBD"}, {"\\\xE4\xB8\xAD", "\xE4\xB8\xAD"},  // backslash before a CJK character
      {"\xC3\xA9", "\xC3\xA9"},     {"\xE4\xB8\xAD", "\xE4\xB8\xAD"},
      {"\xF0\x9F\x98\x80", "\xF0\x9F\x98\x80"},
      {"\xFF", "\xEF\xBF\xBD"},     {"\x01", "\x01"},
  };
  tarnvex::Random random;
  for (int round = 0; round < 300; ++round) {
    std::string written = "{\"s\":\"";
    std::string decoded;
    const int count = random.Draw(40);
    for (int i = 0; i < count; ++i) {
      const Piece& piece = pieces[random.Draw(static_cast<int>(std::size(pieces)))];
      written += piece.written;
      decoded += piece.decoded;
    }
    written += "\"}";
    EXPECT_EQ(ReadObject(written)->GetString("s"), decoded) << written;
    TJsonObject text_reader;
    text_reader.FromJSON(std::string_view(written));
    EXPECT_EQ(text_reader.GetString("s"), decoded) << written;
    TJsonObject utf16_reader;
    utf16_reader.FromJSON(text::Utf8ToUtf16(written));
    EXPECT_EQ(utf16_reader.GetString("s"), decoded) << written;
    const ILenientValue lenient = TLenientValue::ParseString(written);
    ASSERT_TRUE(lenient) << written;
    EXPECT_EQ(lenient->GetO("s")->AsString(), decoded) << written;
  }
}

TEST(JsonReader, ByteReaderReplacesInvalidUtf8) {
  EXPECT_EQ(ReadObject("{\"s\":\"a\xFF" "b\xC3\"}")->GetString("s"), "a\xEF\xBF\xBD" "b\xEF\xBF\xBD");
  EXPECT_EQ(ReadObject("{\"s\":\"\xED\xA0\x80\"}")->GetString("s"), "\xEF\xBF\xBD\xEF\xBF\xBD\xEF\xBF\xBD");
}

TEST(JsonWriter, InvalidUtf8SetByCallersIsStoredAsReplacementCharacters) {
  TJsonObject object;
  object.SetString("value", "ok \xC3\xA9 bad \xE9 cut \xE4\xB8");
  object.GetArray("list")->Add("\xFF");
  EXPECT_EQ(object.GetString("value"), "ok \xC3\xA9 bad \xEF\xBF\xBD cut \xEF\xBF\xBD\xEF\xBF\xBD");
  EXPECT_EQ(object.ToJSON(), "{\"value\":\"ok \xC3\xA9 bad \xEF\xBF\xBD cut \xEF\xBF\xBD\xEF\xBF\xBD\","
                             "\"list\":[\"\xEF\xBF\xBD\"]}");
}

TEST(JsonReader, Utf16TextReaderKeepsPairsAndReplacesLoneSurrogates) {
  TJsonObject object;
  std::u16string text = u"{\"s\":\"\u00e9\U0001F600";
  text += char16_t(0xD800);
  text += u"\"}";
  object.FromJSON(text);
  EXPECT_EQ(object.GetString("s"), "\xC3\xA9\xF0\x9F\x98\x80\xEF\xBF\xBD");
}

TEST(JsonWriter, EscapesOnlyQuoteBackslashAndControlCharacters) {
  struct Case {
    std::string value;
    const char* written;
  };
  const Case cases[] = {
      {"a\"b\\c", R"("a\"b\\c")"},
      {"\b\t\n\f\r", R"("\b\t\n\f\r")"},
      {std::string("\x00\x01\x1f", 3), R"("\u0000\u0001\u001f")"},
      {"a/b\x7f", "\"a/b\x7f\""},
      {"\xC3\xA9\xF0\x9F\x98\x80", "\"\xC3\xA9\xF0\x9F\x98\x80\""},
  };
  for (const Case& c : cases) {
    TJsonObject object;
    object.SetString("k", c.value);
    EXPECT_EQ(object.ToJSON(), std::string(R"({"k":)") + c.written + "}") << c.written;
  }
  // Names are escaped the same way, and an escaped U+00E9 is written back raw.
  const auto object = ReadObject(R"({"q\"\u00e9":"\u00e9"})");
  EXPECT_EQ(object->ToJSON(), "{\"q\\\"\xC3\xA9\":\"\xC3\xA9\"}");
}

TEST(JsonReader, BareWordsAndOtherTokensAsNames) {
  auto object = ReadObject("{name: bare, $x_1:true, 12:null}");
  EXPECT_EQ(object->GetString("name"), "bare");
  EXPECT_EQ(object->GetType("name"), jdtString);
  EXPECT_TRUE(object->GetBool("$x_1"));
  EXPECT_TRUE(object->Contains("12"));
}

TEST(JsonReader, IgnoresTextAfterTheRoot) {
  EXPECT_EQ(ReadObject(R"({"a":1} trailing [garbage)")->ToJSON(), R"({"a":1})");
  TJsonObject object;
  object.FromJSON(std::string_view(R"( {"a":1}})"));
  EXPECT_EQ(object.GetInt("a"), 1);
}

TEST(JsonReader, ReadingClearsThePreviousContent) {
  auto object = ReadObject(R"({"a":1})");
  object->FromUtf8JSON(R"({"b":2})");
  EXPECT_EQ(object->ToJSON(), R"({"b":2})");
}

enum class Reader { kBytes, kText, kText16 };

// Reads `text` into an object (or an array) and gives the parser error as
// "message|line|column|position".
std::string ParseError(Reader reader, const std::string& text, bool array = false) {
  std::unique_ptr<TJsonBaseObject> target;
  if (array) {
    target = std::make_unique<TJsonArray>();
  } else {
    target = std::make_unique<TJsonObject>();
  }
  try {
    switch (reader) {
      case Reader::kBytes: target->FromUtf8JSON(text); break;
      case Reader::kText: target->FromJSON(std::string_view(text)); break;
      case Reader::kText16: target->FromJSON(text::Utf8ToUtf16(text)); break;
    }
  } catch (const EJsonParserException& e) {
    return e.Message() + "|" + std::to_string(e.FLineNum) + "|" + std::to_string(e.FColumn) + "|" +
           std::to_string(e.FPosition);
  }
  return "parsed";
}

TEST(JsonReader, ErrorsWithMessagesAndPositions) {
  struct Case {
    Reader reader;
    const char* text;
    bool array;
    const char* error;
  };
  const Case cases[] = {
      {Reader::kText, "[1]", false, R"(Expected "{" but found "[" (1, 2)|1|2|1)"},
      {Reader::kBytes, "[1]", false, R"(Expected "{" but found "[" (1, 2)|1|2|1)"},
      {Reader::kText, "[1,2,]", true, R"(Expected value but found "]" (1, 7)|1|7|6)"},
      {Reader::kBytes, "{\"a\":1,}", false, R"(Expected value but found "}" (1, 9)|1|9|8)"},
      {Reader::kText, "", false, R"(Unexpected end of file where "{" was expected (1, 1)|1|1|0)"},
      {Reader::kBytes, "  ", true, R"(Unexpected end of file where "[" was expected (1, 3)|1|3|2)"},
      {Reader::kBytes, "{\"a\":1", false, R"(Unexpected end of file where "," was expected (1, 7)|1|7|6)"},
      {Reader::kBytes, "{\"a\":1,", false, R"(Unexpected end of file where "}" was expected (1, 8)|1|8|7)"},
      {Reader::kBytes, "{\"a\"", false, R"(Unexpected end of file where ":" was expected (1, 5)|1|5|4)"},
      {Reader::kBytes, "{\"a\":", false, R"(Unexpected end of file where value was expected (1, 6)|1|6|5)"},
      {Reader::kBytes, "{\"a\" 1}", false, R"(Expected ":" but found value (1, 7)|1|7|6)"},
      {Reader::kBytes, "{\"a\":1 \"b\":2}", false, R"(Expected "," but found value (1, 11)|1|11|10)"},
      {Reader::kBytes, "{\"a\":#}", false, R"(Expected value but found invalid symbol (1, 7)|1|7|6)"},
      {Reader::kBytes, "{\"a\":-x}", false, R"(Expected value but found invalid symbol (1, 7)|1|7|6)"},
      {Reader::kBytes, "{\"a\":.5}", false, R"(Expected value but found invalid symbol (1, 7)|1|7|6)"},
      {Reader::kBytes, "{\"a\":1.}", false, R"(Expected value but found invalid symbol (1, 8)|1|8|7)"},
      {Reader::kBytes, "{\"a\":1e+}", false, R"(Expected value but found invalid symbol (1, 9)|1|9|8)"},
      {Reader::kBytes, "{:1}", false, R"(Expected value but found ":" (1, 3)|1|3|2)"},
      {Reader::kBytes, "{\"a\":\"x", false, "String not closed (1, 8)|1|8|7"},
      {Reader::kBytes, "{\"a\":\"x\\", false, "String not closed (1, 9)|1|9|8"},
      {Reader::kBytes, "{\"a\":\"x\ny\"}", false, "Invalid character in string (1, 9)|1|9|8"},
      {Reader::kBytes, "{\"a\":\"\\u12G4\"}", false, R"(Invalid hex number "G" (1, 12)|1|12|11)"},
      {Reader::kBytes, "{\"a\":\"\\u12\xC3\xA9\"}", false,
       "Invalid hex number \"\xC3\xA9\" (1, 12)|1|12|11"},
      {Reader::kText16, "{\"a\":\"\\u12\xC3\xA9\"}", false,
       "Invalid hex number \"\xC3\xA9\" (1, 12)|1|12|11"},
      // Lines: the byte reader counts CR LF, CR and LF; the text reader never does.
      {Reader::kBytes, "{\r\n\"a\":1,\r\n\"b\" 2}", false, R"(Expected ":" but found value (3, 6)|3|6|16)"},
      {Reader::kText, "{\r\n\"a\":1,\r\n\"b\" 2}", false, R"(Expected ":" but found value (1, 17)|1|17|16)"},
      {Reader::kText16, "{\r\n\"a\":1,\r\n\"b\" 2}", false, R"(Expected ":" but found value (1, 17)|1|17|16)"},
      {Reader::kBytes, "{\r\r\n\n\"b\" 2}", false, R"(Expected ":" but found value (4, 6)|4|6|10)"},
      // The byte reader's white space is TAB, SPACE, CR and LF only.
      {Reader::kBytes, "{\x01}", false, R"(Expected value but found invalid symbol (1, 3)|1|3|2)"},
      {Reader::kText, "{\x01}", false, "parsed"},
      // Positions of the text reader count UTF-16 code units, also from UTF-8 input.
      {Reader::kText, "{\"\xC3\xA9\xF0\x9F\x98\x80\":1 x}", false,
       R"(Expected "," but found identifier (1, 11)|1|11|10)"},
      {Reader::kText16, "{\"\xC3\xA9\xF0\x9F\x98\x80\":1 x}", false,
       R"(Expected "," but found identifier (1, 11)|1|11|10)"},
      {Reader::kBytes, "{\"\xC3\xA9\xF0\x9F\x98\x80\":1 x}", false,
       R"(Expected "," but found identifier (1, 14)|1|14|13)"},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(ParseError(c.reader, c.text, c.array), c.error) << c.text << " reader " << static_cast<int>(c.reader);
  }
}

TEST(JsonReader, NestingDeeperThanTheLimitRaisesInsteadOfOverflowing) {
  const auto nested = [](int depth) { return std::string(depth, '[') + std::string(depth, ']'); };
  TJsonArray array;
  array.FromUtf8JSON(nested(kMaxJsonDepth));
  EXPECT_EQ(array.ToJSON(), nested(kMaxJsonDepth));
  EXPECT_EQ(ParseError(Reader::kBytes, nested(kMaxJsonDepth + 1), true),
            "Maximum nesting depth exceeded (1, 1002)|1|1002|1001");
  EXPECT_EQ(ParseError(Reader::kText16, std::string(1000000, '['), true),
            "Maximum nesting depth exceeded (1, 1002)|1|1002|1001");
  std::string objects;
  for (int i = 0; i <= kMaxJsonDepth; ++i) objects += "{\"a\":";
  EXPECT_EQ(ParseError(Reader::kText, objects), "Maximum nesting depth exceeded (1, 5002)|1|5002|5001");
  // Read into an object, a million "[" stops at the first one.
  EXPECT_EQ(ParseError(Reader::kBytes, std::string(1000000, '[')), R"(Expected "{" but found "[" (1, 2)|1|2|1)");
}

TEST(JsonBaseObject, ParseChoosesTheContainerByTheFirstCharacter) {
  EXPECT_EQ(TJsonBaseObject::Parse(std::string_view(" \t\r\n")), nullptr);
  EXPECT_EQ(TJsonBaseObject::Parse(std::u16string_view()), nullptr);
  auto array = TJsonBaseObject::Parse(std::string_view("\n [1,\"a\"]"));
  ASSERT_NE(dynamic_cast<TJsonArray*>(array.get()), nullptr);
  EXPECT_EQ(array->ToJSON(), R"([1,"a"])");
  auto object = TJsonBaseObject::Parse(std::u16string_view(u"{\"a\":{}}"));
  ASSERT_NE(dynamic_cast<TJsonObject*>(object.get()), nullptr);
  EXPECT_EQ(object->ToJSON(), R"({"a":{}})");
  EXPECT_EQ(Failure([] { TJsonBaseObject::Parse(std::string_view("x")); }),
            "EJsonParserException: Expected \"{\" but found identifier (1, 2)");
}

TEST(JsonWriter, IndentedFormByteForByte) {
  const auto object = ReadObject(R"({"a":1,"b":[1,2]})");
  EXPECT_EQ(object->ToJSON(false), "{\n\t\"a\": 1,\n\t\"b\": [\n\t\t1,\n\t\t2\n\t]\n}\n");
  const auto nested = ReadObject(R"({"e":{},"f":[],"g":[{"h":null}],"i":"s"})");
  EXPECT_EQ(nested->ToJSON(false),
            "{\n\t\"e\": {},\n\t\"f\": [],\n\t\"g\": [\n\t\t{\n\t\t\t\"h\": null\n\t\t}\n\t],\n\t\"i\": \"s\"\n}\n");
  EXPECT_EQ(TJsonObject().ToJSON(false), "{}\n");
  EXPECT_EQ(TJsonArray().ToJSON(false), "[]\n");
}

// File content and what loading it gives: the compact text or the error.
TEST(JsonBaseObject, LoadFromFileDetectsTheByteOrderMark) {
  struct Case {
    const char* name;
    std::string bytes;
    const char* result;
  };
  const std::string utf16le("\xFF\xFE{\0\"\0\xE9\0\"\0:\0" "1\0}\0", 16);
  const std::string utf16be("\xFE\xFF\0{\0\"\0\xE9\0\"\0:\0" "1\0}", 16);
  const Case cases[] = {
      {"utf8 mark", "\xEF\xBB\xBF{\"\xC3\xA9\":1}", "{\"\xC3\xA9\":1}"},
      {"no mark", "{\"\xC3\xA9\":1}", "{\"\xC3\xA9\":1}"},
      {"utf16le", utf16le, "{\"\xC3\xA9\":1}"},
      {"utf16be", utf16be, "{\"\xC3\xA9\":1}"},
      {"utf32le", std::string("\xFF\xFE\0\0{\0\0\0", 8), "EJsonException: File encoding is not supported"},
      {"utf32be", std::string("\0\0\xFE\xFF\0\0\0{", 8), "EJsonException: File encoding is not supported"},
      {"empty", "", "EJsonParserException: Unexpected end of file where \"{\" was expected (1, 1)"},
      {"one byte", "{", "EJsonParserException: Unexpected end of file where \"}\" was expected (1, 2)"},
      {"mark only", "\xEF\xBB\xBF", "EJsonParserException: Unexpected end of file where \"{\" was expected (1, 1)"},
      {"utf8 lines", "{\n\"a\"\n:\n#}", "EJsonParserException: Expected value but found invalid symbol (4, 2)"},
      {"utf16 lines", std::string("\xFF\xFE{\0\n\0#\0", 8),
       "EJsonParserException: Expected value but found invalid symbol (1, 4)"},
  };
  testing::TempDir dir;
  for (const Case& c : cases) {
    const std::string path = dir.File("request.json");
    testing::WriteFile(path, c.bytes);
    TJsonObject object;
    std::string result;
    const std::string error = Failure([&] {
      object.LoadFromFile(path);
      result = object.ToJSON();
    });
    EXPECT_EQ(error == "no exception" ? result : error, c.result) << c.name;
  }
  TJsonObject object;
  EXPECT_EQ(Failure([&] { object.LoadFromFile(dir.File("missing.json")); }).rfind("EFOpenError: ", 0), 0u);
}

TEST(JsonBaseObject, SaveToFileWritesCompactUtf8WithoutMarkOrLineBreak) {
  testing::TempDir dir;
  const std::string path = dir.File("response.json");
  testing::WriteFile(path, std::string(4096, 'x'));  // a longer previous file is replaced entirely
  TJsonObject response;
  response.SetString("value", "\xC3\xA9 \"quoted\"\n");
  response.SetInt("drv_pid", 0);
  response.SaveToFile(path);
  EXPECT_EQ(testing::ReadFile(path), "{\"value\":\"\xC3\xA9 \\\"quoted\\\"\\n\",\"drv_pid\":0}");

  TJsonObject loaded;
  loaded.LoadFromFile(path);
  EXPECT_EQ(loaded.GetString("value"), "\xC3\xA9 \"quoted\"\n");
}

TEST(JsonReader, LongStringsSurviveARoundTrip) {
  std::string page = "<html lang=\"fr\">\n";
  while (page.size() < 300000) page += "<p class=\"x\">caf\xC3\xA9 \\ \t \xE4\xB8\xAD\xF0\x9F\x98\x80</p>\r\n";
  TJsonObject reply;
  reply.SetString("value", page);
  const std::string text = reply.ToJSON();
  EXPECT_EQ(ReadObject(text)->GetString("value"), page);
  TJsonObject from_text;
  from_text.FromJSON(text::Utf8ToUtf16(text));
  EXPECT_EQ(from_text.GetString("value"), page);
}

}  // namespace
}  // namespace tarnvex::json
