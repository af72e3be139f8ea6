// Any text as a URL: the splitter never fails, and its request target is made
// only of the parts it split off.
#include <cstdint>
#include <cstdlib>
#include <string>

#include "net/uri.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string text(reinterpret_cast<const char*>(data), size);
  const tarnvex::net::TUri uri(text);
  const std::string target = uri.GetPathAndParams();
  const size_t parts = uri.Path.size() + uri.Document.size() + uri.Params.size();
  if (target.size() != parts && target.size() != parts + 1) std::abort();
  if (uri.Protocol.size() + uri.Username.size() + uri.Password.size() + uri.Host.size() + uri.Port.size() +
          uri.Bookmark.size() + parts > size + 1) {
    std::abort();  // nothing invented beyond a leading "/"
  }
  return 0;
}
