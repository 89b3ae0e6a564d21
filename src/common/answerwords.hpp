// The words an operator answers with. They stay English whatever catalogue
// is in use, and are compared whole, letter case ignored.
#pragma once

#include <string>

// Equality of an answer with a word, letter case ignored, nothing trimmed;
// 0 when equal, otherwise the sign of the first difference.
int strcmpe(const std::string& a, const std::string& b);

bool IsYes(const std::string& answer);  // "y", "ye", "yes"
bool IsNo(const std::string& answer);   // "n", "no"

// 1 when the answer is a quit word ("q", "qu", "qui", "quit").
int Quit(const std::string& answer);
