// The text of an entry path of the table of contents, relative to the
// installation directory.
#pragma once

#include <string_view>
#include <vector>

// The path without the '/' characters that end it ("/" stays "/").
std::string_view WithoutTrailingSlashes(std::string_view path);

// The '/'-separated components of the path in order, without empty ones
// and ".": what a walk from directory to directory steps through.
std::vector<std::string_view> PathComponents(std::string_view path);

// True when one of the '/'-separated components of the path is "..".
bool HasDotDot(std::string_view path);
