#include "net/http_header_list.h"

#include "platform/text.h"

namespace tarnvex::net {
namespace {

bool IsContinuation(const std::string& line) {
  return !line.empty() && (line[0] == ' ' || line[0] == '\t');
}

}  // namespace

void THeaderList::AddValue(std::string_view name, std::string_view value) {
  lines_.push_back(std::string(name) + ": " + std::string(value));
}

size_t THeaderList::Find(std::string_view name, size_t from) const {
  for (size_t i = from; i < lines_.size(); ++i) {
    const std::string& line = lines_[i];
    if (IsContinuation(line)) continue;
    size_t colon = line.find(':');
    if (colon != std::string::npos &&
        text::EqualsNoCase(text::TrimBlanks(std::string_view(line).substr(0, colon)), name)) {
      return i;
    }
  }
  return lines_.size();
}

size_t THeaderList::ContinuationEnd(size_t index) const {
  size_t end = index + 1;
  while (end < lines_.size() && IsContinuation(lines_[end])) ++end;
  return end;
}

std::string THeaderList::ValueAt(size_t index) const {
  const std::string& line = lines_[index];
  std::string value(text::TrimBlanks(std::string_view(line).substr(line.find(':') + 1)));
  for (size_t i = index + 1; i < ContinuationEnd(index); ++i) {
    std::string_view more = text::TrimBlanks(lines_[i]);
    if (more.empty()) continue;
    if (!value.empty()) value += ' ';
    value += more;
  }
  return value;
}

std::string THeaderList::Values(std::string_view name) const {
  size_t index = Find(name);
  return index == lines_.size() ? std::string() : ValueAt(index);
}

std::vector<std::string> THeaderList::AllValues(std::string_view name) const {
  std::vector<std::string> values;
  for (size_t i = Find(name); i < lines_.size(); i = Find(name, i + 1)) values.push_back(ValueAt(i));
  return values;
}

void THeaderList::SetValue(std::string_view name, std::string_view value) {
  size_t index = Find(name);
  if (index == lines_.size()) {
    AddValue(name, value);
    return;
  }
  lines_.erase(lines_.begin() + index + 1, lines_.begin() + ContinuationEnd(index));
  lines_[index] = std::string(name) + ": " + std::string(value);
}

}  // namespace tarnvex::net
