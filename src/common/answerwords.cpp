#include "common/answerwords.hpp"

#include <algorithm>
#include <cctype>

int strcmpe(const std::string& a, const std::string& b) {
  size_t n = std::min(a.size(), b.size());
  for (size_t i = 0; i < n; ++i) {
    int ca = std::tolower(static_cast<unsigned char>(a[i]));
    int cb = std::tolower(static_cast<unsigned char>(b[i]));
    if (ca != cb) return ca < cb ? -1 : 1;
  }
  if (a.size() == b.size()) return 0;
  return a.size() < b.size() ? -1 : 1;
}

bool IsYes(const std::string& answer) {
  return strcmpe(answer, "y") == 0 || strcmpe(answer, "ye") == 0 || strcmpe(answer, "yes") == 0;
}

bool IsNo(const std::string& answer) {
  return strcmpe(answer, "n") == 0 || strcmpe(answer, "no") == 0;
}

int Quit(const std::string& answer) {
  for (const char* word : {"q", "qu", "qui", "quit"}) {
    if (strcmpe(answer, word) == 0) return 1;
  }
  return 0;
}
