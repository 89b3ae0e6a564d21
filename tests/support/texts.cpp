#include "support/texts.hpp"

#include <regex>

std::string InstallPrompt(const std::string& start) {
  return "\nEnter pathname to install directory: [" + start + "] ";
}

std::string Pad(const std::string& description) {
  std::string padded = description;
  padded.resize(54, ' ');
  return padded;
}

std::string MaskSpace(const std::string& out) {
  return std::regex_replace(out, std::regex("Available space in megabytes: [0-9.]+"),
                            "Available space in megabytes: N");
}

int Count(const std::string& text, const std::string& what) {
  int n = 0;
  for (size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1)) ++n;
  return n;
}

bool EndsWith(const std::string& text, const std::string& end) {
  return text.size() >= end.size() && text.compare(text.size() - end.size(), end.size(), end) == 0;
}
