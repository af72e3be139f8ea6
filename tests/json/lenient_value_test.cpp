#include "json/lenient_value.h"

#include <gtest/gtest.h>

namespace tarnvex::json {
namespace {

TEST(LenientValue, MembersAreWrittenInDescendingHashOrder) {
  const ILenientValue state = TLenientValue::ParseString("{}");
  ASSERT_TRUE(state && state->IsType(stObject));
  state->PutS("title", "");
  state->PutS("ReadyState", "");
  state->PutS("baseURI", "");
  state->PutB("success", false);
  EXPECT_EQ(state->AsJson(false, true), R"({"success":false,"title":"","baseURI":"","ReadyState":""})");

  const ILenientValue body = TLenientValue::ParseString("{}");
  body->PutS("text", "a");
  body->PutS("id", "e1");
  const ILenientValue keys = TLenientValue::Create(stArray);
  keys->AsArray()->Add("a");
  body->PutO("value", keys);
  EXPECT_EQ(body->AsJson(false, true), R"({"value":["a"],"id":"e1","text":"a"})");
  EXPECT_EQ(body->Names(), (std::vector<std::string>{"value", "id", "text"}));
}

TEST(LenientValue, EqualHashesAreOrderedByTheirCodeUnits) {
  // "BA" and "A\u00c2" share a hash: 66 * 129 + 65 == 65 * 129 + 194.
  ASSERT_EQ(LenientNameHash("BA"), LenientNameHash("A\xC3\x82"));
  const ILenientValue object = TLenientValue::ParseString(R"({"BA":1,"A\u00c2":2})");
  ASSERT_TRUE(object);
  EXPECT_EQ(object->AsJson(false, false), "{\"A\xC3\x82\":2,\"BA\":1}");
  EXPECT_EQ(object->GetO("BA")->AsInteger(), 1);
  EXPECT_EQ(object->GetO("A\xC3\x82")->AsInteger(), 2);
}

TEST(LenientValue, ParseStringNeverRaisesAndGivesNoneForBadText) {
  const char* const malformed[] = {
      "",      "   ",       "not json",   "{",        "{\"a\":}", "{\"a\" 1}", "[1,]",       "[1 2]",
      "{a:1}", "\"open",    "\"\\u12x4\"", "tru",      "-",        "1.",        "1e",         "/* open",
      "{\"a\":1,}",         "[\"a\",",    "\x01",     "1e999",
  };
  for (const char* text : malformed) EXPECT_EQ(TLenientValue::ParseString(text), nullptr) << text;
}

TEST(LenientValue, PartialParseIgnoresWhatFollowsTheFirstValue) {
  const ILenientValue object = TLenientValue::ParseString(R"({"id":1} tail)");
  ASSERT_TRUE(object);
  EXPECT_EQ(object->GetO("id")->AsInteger(), 1);
  EXPECT_EQ(TLenientValue::ParseString(R"({"id":1} tail)", false, false), nullptr);
  EXPECT_NE(TLenientValue::ParseString("{\"id\":1} \n", false, false), nullptr);
}

TEST(LenientValue, CommentsAreSkippedUnlessStrict) {
  const char* text = "/* lead */ {\"a\": // line\n 1, /* mid */ \"b\":[2 /**/]}";
  const ILenientValue object = TLenientValue::ParseString(text);
  ASSERT_TRUE(object);
  EXPECT_EQ(object->AsJson(false, false), R"({"b":[2],"a":1})");
  EXPECT_EQ(TLenientValue::ParseString(text, true), nullptr);
}

TEST(LenientValue, LastDuplicateWinsAndNullIsNotNone) {
  const ILenientValue object = TLenientValue::ParseString(R"({"id":1,"id":2,"value":null})");
  ASSERT_TRUE(object);
  EXPECT_EQ(object->GetO("id")->AsInteger(), 2);
  EXPECT_EQ(object->Names().size(), 2u);
  const ILenientValue value = object->GetO("value");
  ASSERT_TRUE(value);
  EXPECT_TRUE(value->IsType(stNull));
  EXPECT_EQ(value->AsString(), "");
  EXPECT_EQ(object->GetO("missing"), nullptr);
  EXPECT_EQ(TLenientValue::ParseString("{}")->GetO("value"), nullptr);
  object->PutS("id", "three");  // replaces in place
  EXPECT_EQ(object->AsJson(false, false), R"({"value":null,"id":"three"})");
}

TEST(LenientValue, NestedRepliesAndArrays) {
  const ILenientValue reply = TLenientValue::ParseString(
      R"({"id":1,"result":{"result":{"type":"string","value":"caf\u00e9 \"q\""}},"list":[1,2.5,"x"]})");
  ASSERT_TRUE(reply);
  const ILenientValue value = reply->GetO("result")->GetO("result")->GetO("value");
  ASSERT_TRUE(value && value->IsType(stString));
  EXPECT_EQ(value->AsString(), "caf\xC3\xA9 \"q\"");
  TLenientArray* list = reply->GetA("list");
  ASSERT_NE(list, nullptr);
  EXPECT_EQ(list->Count(), 3);
  EXPECT_TRUE(list->Items(0)->IsType(stInt));
  EXPECT_TRUE(list->Items(1)->IsType(stDouble));
  EXPECT_EQ(list->Items(3), nullptr);
  EXPECT_EQ(reply->GetA("id"), nullptr);
}

TEST(LenientValue, NumberKinds) {
  struct Case {
    const char* text;
    TLenientType type;
    const char* written;
  };
  const Case cases[] = {
      {"0", stInt, "0"},
      {"-12", stInt, "-12"},
      {"9223372036854775807", stInt, "9223372036854775807"},
      {"9223372036854775808", stDouble, "9.22337203685478E18"},
      {"3.0", stDouble, "3"},
      {"1e2", stDouble, "100"},
      {"-0.5", stDouble, "-0.5"},
      {"1.5e-7", stDouble, "1.5E-7"},
  };
  for (const Case& c : cases) {
    const ILenientValue value = TLenientValue::ParseString(c.text);
    ASSERT_TRUE(value) << c.text;
    EXPECT_TRUE(value->IsType(c.type)) << c.text;
    EXPECT_EQ(value->AsString(), c.written) << c.text;
  }
}

TEST(LenientValue, AsIntegerRoundsHalfToEvenAndReadsOnlyWholeIntegerText) {
  struct Case {
    const char* json;
    int64_t value;
  };
  const Case cases[] = {
      {"12", 12},         {"\"12\"", 12},   {"\"-7\"", -7},  {"\"12.5\"", 0}, {"\" 12\"", 0},
      {"\"12x\"", 0},     {"\"\"", 0},      {"\"9223372036854775808\"", 0},
      {"2.5", 2},         {"3.5", 4},       {"-2.5", -2},    {"-3.5", -4},    {"2.4999", 2},
      {"1e300", INT64_MAX},                 {"true", 1},     {"false", 0},    {"null", 0},
      {"{\"a\":1}", 0},   {"[1]", 0},
  };
  for (const Case& c : cases) {
    const ILenientValue value = TLenientValue::ParseString(c.json);
    ASSERT_TRUE(value) << c.json;
    EXPECT_EQ(value->AsInteger(), c.value) << c.json;
  }
}

TEST(LenientValue, AsStringGivesTextsRawAndOtherKindsAsMinimallyEscapedJson) {
  EXPECT_EQ(TLenientValue::ParseString("true")->AsString(), "true");
  EXPECT_EQ(TLenientValue::ParseString("\"a/\\u00e9\"")->AsString(), "a/\xC3\xA9");
  EXPECT_EQ(TLenientValue::ParseString("{\"t\":\"\\u00e9/\\n\"}")->AsString(), "{\"t\":\"\xC3\xA9/\n\"}");
  EXPECT_EQ(TLenientValue::ParseString("[1,[],{}]")->AsString(), "[1,[],{}]");
}

TEST(LenientValue, EscapingModes) {
  struct Case {
    std::string text;
    const char* escaped;
    const char* minimal;
  };
  const Case cases[] = {
      {"a/b", R"("a\/b")", R"("a/b")"},
      {"q\"b\\", R"("q\"b\\")", R"("q\"b\\")"},
      {"\b\t\n\f\r", R"("\b\t\n\f\r")", "\"\b\t\n\f\r\""},
      {std::string("\x00\x01\x1f\x7f", 4), R"("\u0000\u0001\u001f)" "\x7f\"", "\"\\u0000\x01\x1f\x7f\""},
      {"\xC3\xA9", R"("\u00e9")", "\"\xC3\xA9\""},
      {"\xC2\x80\xC3\xBF\xC4\x80", R"("\u0080\u00ff\u0100")", "\"\xC2\x80\xC3\xBF\xC4\x80\""},
      {"\xEE\x80\x87", R"("\ue007")", "\"\xEE\x80\x87\""},
      {"\xE4\xB8\xAD", R"("\u4e2d")", "\"\xE4\xB8\xAD\""},
      {"\xF0\x9F\x98\x80", R"("\ud83d\ude00")", "\"\xF0\x9F\x98\x80\""},
  };
  for (const Case& c : cases) {
    const ILenientValue value = TLenientValue::CreateString(c.text);
    EXPECT_EQ(value->AsJson(false, true), c.escaped) << c.escaped;
    EXPECT_EQ(value->AsJson(false, false), c.minimal) << c.escaped;
    // What the escaped form says reads back as the same text.
    EXPECT_EQ(TLenientValue::ParseString(c.escaped)->AsString(), c.text) << c.escaped;
  }
}

TEST(LenientValue, InvalidUtf8IsStoredAsReplacementCharacters) {
  const ILenientValue value = TLenientValue::CreateString("a\xE9" "b");
  EXPECT_EQ(value->AsString(), "a\xEF\xBF\xBD" "b");
  EXPECT_EQ(value->AsJson(false, true), R"("a\ufffdb")");
}

TEST(LenientValue, IndentedForm) {
  const ILenientValue object = TLenientValue::ParseString(R"({"a":[1,{}],"b":"x"})");
  EXPECT_EQ(object->AsJson(true, false), "{\n\t\"b\": \"x\",\n\t\"a\": [\n\t\t1,\n\t\t{}\n\t]\n}");
}

TEST(LenientValue, NestingBeyondTheLimitGivesNone) {
  const auto nested = [](int depth) { return std::string(depth, '[') + std::string(depth, ']'); };
  EXPECT_NE(TLenientValue::ParseString(nested(kMaxLenientDepth)), nullptr);
  EXPECT_EQ(TLenientValue::ParseString(nested(kMaxLenientDepth + 1)), nullptr);
  EXPECT_EQ(TLenientValue::ParseString(std::string(1000000, '[')), nullptr);
}

}  // namespace
}  // namespace tarnvex::json
