// Text that comes from a medium (descriptions, titles, paths, catalogue
// records) shown so that it cannot move the cursor or rewrite the screen:
// control characters other than tab and newline, and DEL, in caret
// notation (ESC as "^[", CR as "^M", DEL as "^?"). Bytes of 128 and above
// pass unchanged, so UTF-8 text is untouched.
#pragma once

#include <cstdio>
#include <string>
#include <string_view>

std::string Visible(std::string_view text);

// Writes Visible(text) to `out`.
void PutVisible(std::string_view text, std::FILE* out = stdout);
