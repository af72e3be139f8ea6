// Any bytes as the server's answer to a GET: status line, headers, counted,
// chunked or close-delimited bodies. The client either returns a body no
// larger than its limit or raises one of its exceptions; nothing else.
#include <cstdint>
#include <cstdlib>
#include <string>

#include "net/http_client.h"
#include "tests/fuzz/loopback_peer.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace tarnvex;
  static fuzzing::LoopbackPeer peer;
  const std::string answer(reinterpret_cast<const char*>(data), size);
  peer.SetAnswer([answer](const std::string&) { return answer; });
  const std::string url = "http://127.0.0.1:" + std::to_string(peer.port()) + "/json/list";
  net::THttpClient client;
  client.SetConnectTimeout(2000);
  client.SetReadTimeout(500);  // the peer always ends its side; this only bounds a stuck case
  try {
    const std::string body = client.Get(url);
    if (static_cast<int64_t>(body.size()) > client.MaxBodySize * 4) std::abort();
    // A kept-alive connection meets the closed peer and must recover or raise.
    client.Get(url);
  } catch (const Exception&) {
  }
  return 0;
}
