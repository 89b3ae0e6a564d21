// The names one tar run extracts: a run of lines of the selection with one
// archive code, written NUL-separated to a list file that tar reads.
#pragma once

#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <unordered_set>

#include "common/lineio.hpp"

class TarBatch {
 public:
  explicit TarBatch(std::string list_path) : list_path_(std::move(list_path)) {}

  // Begins the batch of archive code `code`, with an empty list.
  void Start(std::string_view code);

  const std::string& code() const { return code_; }
  // The names listed; each is numbered in the order listed, from 0.
  size_t count() const { return count_; }
  // The number of the listed name `name` (without trailing '/'); npos when
  // it is not listed.
  size_t NumberOf(std::string_view name) const {
    auto found = given_.find(name);
    return found == given_.end() ? std::string_view::npos : found->second;
  }

  // Adds an entry path. tar fails on a name that matches nothing new, so a
  // name that equals or lies below one already listed is left out:
  // extracting the earlier one brings it. False when it was left out.
  bool Add(std::string_view name);

  // Whether tar extracts the archive member `member` for this list: it
  // equals a listed name or lies below one.
  bool Selects(std::string_view member) const;

  // Calls `f` with each listed name, without trailing '/'.
  template <typename F>
  void ForEachName(F f) const {
    for (const auto& [name, number] : given_) f(std::string_view(name));
  }

  // Completes the list file; returns its path.
  const std::string& Finish();

 private:
  // Lets the set of given names be searched with a string_view.
  struct NameHash {
    using is_transparent = void;
    size_t operator()(std::string_view name) const { return std::hash<std::string_view>{}(name); }
  };

  std::string list_path_;
  std::string code_;
  // The names listed, without trailing '/', and their numbers.
  std::unordered_map<std::string, size_t, NameHash, std::equal_to<>> given_;
  // Whether a listed name equals `directory` or lies above it.
  bool SelectsDirectory(std::string_view directory) const;
  // The directory of the member Selects() was asked about last, and the
  // answer for what lies in it; none after the list changes.
  mutable std::optional<std::string> selecting_in_;
  mutable bool directory_selected_ = false;
  mutable bool directory_holds_ = false;  // a listed name lies in it
  // The directories that listed names lie in.
  std::unordered_set<std::string, NameHash, std::equal_to<>> holding_;
  size_t count_ = 0;
  std::optional<LineWriter> list_;
};
