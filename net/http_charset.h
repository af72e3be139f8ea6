#pragma once
// The charset of a response and the decoding of its body into UTF-8 text.
#include <string>
#include <string_view>

namespace tarnvex::net {

struct TContentType {
  std::string MediaType;  // the Content-Type value without its charset parameter
  std::string CharSet;    // the charset parameter, or the text/* default, or empty
};

// Splits a Content-Type value. Without a charset parameter, text/xml-like
// types get "us-ascii" and every other text type "ISO-8859-1".
TContentType ParseContentType(std::string_view value);

// Decodes body bytes with a charset (UTF-8, ISO-8859-1, US-ASCII, UTF-16LE/BE
// and their common aliases); invalid sequences become U+FFFD. With no charset
// or an unknown one each byte becomes the character of the same code.
std::string DecodeBody(std::string_view bytes, std::string_view charset);

}  // namespace tarnvex::net
