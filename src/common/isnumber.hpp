#pragma once

#include <string>

// 1 when `s` is not empty and made of decimal digits only, else 0.
int IsNumber(const std::string& s);
