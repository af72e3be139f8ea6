#include "net/uri.h"

namespace tarnvex::net {
namespace {

constexpr auto npos = std::string::npos;

// Backslashes become slashes between the scheme separator and the query or
// bookmark, so that Windows-style paths split like ordinary ones.
void NormalizeSlashes(std::string& s) {
  size_t start = 0;
  if (size_t colon = s.find(':'); colon != npos) {
    start = colon + 1;
    for (int i = 0; i < 2 && start < s.size() && (s[start] == '/' || s[start] == '\\'); ++i) ++start;
  }
  size_t end = s.find_first_of("?#");
  if (end == npos) end = s.size();
  for (size_t i = start; i < end; ++i) {
    if (s[i] == '\\') s[i] = '/';
  }
}

// Removes the protocol and "://" (or a leading "//"); true when the URL has
// an authority. A "://" counts only as the scheme separator, not when it
// appears later in the path or the query.
bool TakeProtocol(std::string& s, std::string& protocol) {
  size_t sep = s.find("://");
  if (sep != npos && s.find_first_of("/?#") == sep + 1) {
    protocol = s.substr(0, sep);
    s.erase(0, sep + 3);
    return true;
  }
  if (s.starts_with("//")) {
    s.erase(0, 2);
    return true;
  }
  return false;
}

}  // namespace

TUri::TUri(std::string_view uri) {
  std::string s(uri);
  NormalizeSlashes(s);
  const bool has_authority = TakeProtocol(s, Protocol);

  // The query ends at the bookmark; a "#" before any "?" starts the bookmark.
  size_t hash = s.find('#');
  size_t question = s.find('?');
  if (question != npos && (hash == npos || question < hash)) {
    Params = s.substr(question + 1);
    s.erase(question);
    if (size_t h = Params.find('#'); h != npos) {
      Bookmark = Params.substr(h + 1);
      Params.erase(h);
    }
  } else if (hash != npos) {
    Bookmark = s.substr(hash + 1);
    s.erase(hash);
  }

  if (!has_authority) {
    size_t last = s.rfind('/');
    Path = last == npos ? "" : s.substr(0, last + 1);
    Document = last == npos ? s : s.substr(last + 1);
    return;
  }

  size_t slash = s.find('/');
  std::string authority = s.substr(0, slash);
  std::string path_part = slash == npos ? "" : s.substr(slash + 1);

  if (size_t at = authority.rfind('@'); at != npos) {
    std::string user_info = authority.substr(0, at);
    size_t colon = user_info.find(':');
    Username = user_info.substr(0, colon);
    if (colon != npos) Password = user_info.substr(colon + 1);
    authority.erase(0, at + 1);
  }
  if (authority.starts_with('[')) {
    IPVersion = TIPVersion::IPv6;
    size_t close = authority.find(']');
    Host = authority.substr(1, close == npos ? npos : close - 1);
    if (close != npos && close + 1 < authority.size() && authority[close + 1] == ':') {
      Port = authority.substr(close + 2);
    }
  } else {
    size_t colon = authority.find(':');
    Host = authority.substr(0, colon);
    if (colon != npos) Port = authority.substr(colon + 1);
  }

  size_t last = path_part.rfind('/');
  if (last == npos) {
    Path = "/";
    Document = path_part;
  } else {
    Path = "/" + path_part.substr(0, last + 1);
    Document = path_part.substr(last + 1);
  }
}

std::string TUri::GetPathAndParams() const {
  std::string target = Path + Document;
  if (!Params.empty()) target += "?" + Params;
  return target;
}

}  // namespace tarnvex::net
