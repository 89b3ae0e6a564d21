#include "common/isnumber.hpp"

#include <cctype>

int IsNumber(const std::string& s) {
  if (s.empty()) return 0;
  for (char c : s) {
    if (!std::isdigit(static_cast<unsigned char>(c))) return 0;
  }
  return 1;
}
