#pragma once
// The functions of action 1, chosen by name: read the source, navigate, find
// elements and click one, enter a frame, type, run a script, read an
// attribute, save a screenshot or type the clipboard text.
#include <string>

#include "app/human_typing.h"

namespace tarnvex::webdriver {
class TWebDriver;
}

namespace tarnvex::app {

// The worker's fields one function works with.
struct FunctionCall {
  std::string name;         // `function`, compared exactly and case-sensitively
  std::string data;         // `args`: the function's input and afterwards its result
  std::string data2;        // `args2`
  bool to_click = false;    // `click`
  int index = 0;            // `index`; -1 picks a found element at random
  std::string profile_id;   // sets the typing rhythm
  int plugin_sleep = 0;     // `sleep`: base pause between typed keys, ms
};

// Runs the function `call.name` on `driver`; a name in no row runs nothing.
// A failure inside a function ends it silently and `call.data` keeps what it
// held at that moment. Only a missing embedded resource (EResNotFound) passes.
// `environment` gives the random draws (the index -1 pick), the pauses and
// the clipboard of "paste".
void RunFunction(webdriver::TWebDriver& driver, FunctionCall& call,
                 const TypingEnvironment& environment);

// "http://" in front of a text that starts neither with "http" nor with
// "chrome://" (both case-sensitive), as "openurl" sends it.
std::string WithUrlScheme(const std::string& url);

}  // namespace tarnvex::app
