// Any bytes: they encode and decode back unchanged; as text they either raise
// EBase64Error or decode to bytes whose encoding decodes to the same bytes.
#include <cstdint>
#include <cstdlib>
#include <span>
#include <string>
#include <vector>

#include "platform/base64.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace tarnvex::base64;
  const std::span<const uint8_t> bytes(data, size);
  const std::string encoded = Encode(bytes);
  if (encoded.size() != (size + 2) / 3 * 4) std::abort();
  const std::vector<uint8_t> decoded = Decode(encoded);
  if (decoded.size() != size || !std::equal(decoded.begin(), decoded.end(), data)) std::abort();
  try {
    const std::vector<uint8_t> from_text = Decode(std::string_view(reinterpret_cast<const char*>(data), size));
    if (from_text.size() * 4 > size * 3 + 3) std::abort();
    if (Decode(Encode(from_text)) != from_text) std::abort();
  } catch (const EBase64Error&) {
  }
  return 0;
}
