#pragma once
// THeaderList: the header lines of a request or a response, one entry per
// line ("Name: value"), with lookups that honour continuation lines.
#include <string>
#include <string_view>
#include <vector>

namespace tarnvex::net {

class THeaderList {
 public:
  // Appends one line as it was read (a continuation line included).
  void Add(std::string line) { lines_.push_back(std::move(line)); }
  // Appends "name: value".
  void AddValue(std::string_view name, std::string_view value);
  // The value of the first line with this name (letter case ignored), white
  // space trimmed, following continuation lines joined with one space; empty
  // when there is no such line.
  std::string Values(std::string_view name) const;
  // Every value of this name, in order (for Set-Cookie).
  std::vector<std::string> AllValues(std::string_view name) const;
  bool Has(std::string_view name) const { return Find(name) != lines_.size(); }
  // Replaces the first line of this name (and its continuation lines) in
  // place, or appends a line when there is none.
  void SetValue(std::string_view name, std::string_view value);

  void Clear() { lines_.clear(); }
  size_t Count() const { return lines_.size(); }
  const std::vector<std::string>& Lines() const { return lines_; }

 private:
  size_t Find(std::string_view name, size_t from = 0) const;
  size_t ContinuationEnd(size_t index) const;
  std::string ValueAt(size_t index) const;

  std::vector<std::string> lines_;
};

}  // namespace tarnvex::net
