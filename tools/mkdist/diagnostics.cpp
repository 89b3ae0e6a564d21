#include "diagnostics.hpp"

void Diagnostics::At(int line, const std::string& text) {
  messages_.push_back(manifest_ + ":" + std::to_string(line) + ": " + text);
}

void Diagnostics::Whole(const std::string& text) { messages_.push_back(manifest_ + ": " + text); }
