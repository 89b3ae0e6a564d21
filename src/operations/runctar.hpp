#pragma once

#include <string>

// Extracts every entry of `pak` from the archives in `dist` into the current
// directory: one tar process per run of lines with one archive code. A
// failed batch prints message 59 and ends the run with status 1.
void RunTAR(const std::string& dist, const std::string& pak, int variant, int list_files);
