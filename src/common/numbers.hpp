// Reading decimal numbers from text: answers, catalogue lines and the size
// field of the table of contents.
#pragma once

#include <string>
#include <string_view>

// 1 when `s` is not empty and made of decimal digits only, else 0.
int IsNumber(std::string_view s);

// The integer at the start of `text` as "%lld" reads it: optional white
// space, an optional sign, then digits; a value beyond the range of long
// long is held at its limit instead of overflowing. False when no digit
// follows.
bool ReadLeadingInteger(std::string_view text, long long& value);
