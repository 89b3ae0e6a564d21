// Taking a category's lines back out of the selection (a step back).
#pragma once

#include <string>

// Removes every line of category `category` from the selection file and
// leaves the result in PAK (through TMP3).
void RemoveModule(const std::string& selection, int category);
