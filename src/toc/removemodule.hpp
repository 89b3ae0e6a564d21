// Taking a category's lines back out of the selection (a step back).
#pragma once

#include <string>

// Removes every line of category `category` from the selection file (PAK),
// through `scratch` (TMP3).
void RemoveModule(const std::string& selection, int category, const std::string& scratch);
