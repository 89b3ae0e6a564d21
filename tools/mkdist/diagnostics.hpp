// Collects the errors of one build, each naming the manifest and its line,
// so that the person who wrote the manifest sees all of them at once.
#pragma once

#include <string>
#include <vector>

class Diagnostics {
 public:
  explicit Diagnostics(std::string manifest) : manifest_(std::move(manifest)) {}

  // An error at a line of the manifest ("FILE:LINE: text").
  void At(int line, const std::string& text);
  // An error of the manifest as a whole ("FILE: text").
  void Whole(const std::string& text);
  // An error that is not the manifest's, given in full ("mkdist: ...").
  void Plain(const std::string& text) { messages_.push_back(text); }

  bool Empty() const { return messages_.empty(); }
  const std::vector<std::string>& Messages() const { return messages_; }

 private:
  std::string manifest_;
  std::vector<std::string> messages_;
};
