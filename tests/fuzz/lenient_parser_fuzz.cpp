// Any bytes through the lenient parser in each of its modes: it never raises,
// and a value it gives writes a text that parses strictly to the same text.
#include <cstdint>
#include <cstdlib>
#include <string>

#include "json/lenient_value.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace tarnvex::json;
  const std::string_view text(reinterpret_cast<const char*>(data), size);
  for (int mode = 0; mode < 4; ++mode) {
    const ILenientValue value = TLenientValue::ParseString(text, mode & 1, mode & 2);
    if (!value) continue;
    for (const bool escape : {true, false}) {
      const std::string written = value->AsJson(false, escape);
      const ILenientValue again = TLenientValue::ParseString(written, true, false);
      if (!again || again->AsJson(false, escape) != written) std::abort();
      value->AsJson(true, escape);
      value->AsString();
      value->AsInteger();
    }
  }
  return 0;
}
