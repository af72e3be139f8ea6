#include "net/http_header_list.h"

#include <gtest/gtest.h>

namespace tarnvex::net {
namespace {

THeaderList Lines(std::initializer_list<const char*> lines) {
  THeaderList list;
  for (const char* line : lines) list.Add(line);
  return list;
}

TEST(HeaderListTest, LookupIgnoresCaseTrimsAndTakesTheFirstLine) {
  THeaderList list = Lines({"Content-Type:   application/json  ", "X-Twice: first", "x-twice: second"});
  EXPECT_EQ(list.Values("content-type"), "application/json");
  EXPECT_EQ(list.Values("X-TWICE"), "first");
  EXPECT_EQ(list.AllValues("x-twice"), (std::vector<std::string>{"first", "second"}));
  EXPECT_EQ(list.Values("Missing"), "");
  EXPECT_FALSE(list.Has("Missing"));
}

TEST(HeaderListTest, ContinuationLinesJoinWithOneSpace) {
  THeaderList list = Lines({"X-Long: part one", "   part two", "\tpart three", "Next: value", " not-a-continuation-of-x"});
  EXPECT_EQ(list.Values("X-Long"), "part one part two part three");
  EXPECT_EQ(list.Values("Next"), "value not-a-continuation-of-x");
  // A continuation line is never taken for a header of its own.
  EXPECT_FALSE(Lines({"A: 1", " B: 2"}).Has("B"));
}

TEST(HeaderListTest, ValueKeepsColonsAfterTheFirst) {
  EXPECT_EQ(Lines({"Location: http://127.0.0.1:9222/json"}).Values("Location"), "http://127.0.0.1:9222/json");
}

TEST(HeaderListTest, SetValueReplacesInPlaceOrAppends) {
  THeaderList list = Lines({"A: 1", "B: old", " continued", "C: 3"});
  list.SetValue("b", "new");
  list.SetValue("D", "4");
  EXPECT_EQ(list.Lines(), (std::vector<std::string>{"A: 1", "b: new", "C: 3", "D: 4"}));
}

}  // namespace
}  // namespace tarnvex::net
