#include "common/numbers.hpp"

#include <cctype>
#include <climits>

int IsNumber(std::string_view s) {
  if (s.empty()) return 0;
  for (char c : s) {
    if (!std::isdigit(static_cast<unsigned char>(c))) return 0;
  }
  return 1;
}

bool ReadLeadingInteger(std::string_view text, long long& value) {
  size_t i = 0;
  while (i < text.size() && std::isspace(static_cast<unsigned char>(text[i]))) ++i;
  bool negative = false;
  if (i < text.size() && (text[i] == '+' || text[i] == '-')) negative = text[i++] == '-';
  if (i >= text.size() || !std::isdigit(static_cast<unsigned char>(text[i]))) return false;
  // Counted towards the negative limit, which is the larger one.
  long long sum = 0;
  for (; i < text.size() && std::isdigit(static_cast<unsigned char>(text[i])); ++i) {
    int digit = text[i] - '0';
    sum = sum < (LLONG_MIN + digit) / 10 ? LLONG_MIN : sum * 10 - digit;
  }
  value = negative ? sum : sum == LLONG_MIN ? LLONG_MAX : -sum;
  return true;
}
