// The line a removal writes for one entry: a warning, or (listed) what
// was deleted.
#pragma once

#include <string>

#include "messages/messagenumber.hpp"

// The message, a blank and the entry path; a success line is indented.
void ReportRemoval(Msg message, const std::string& path, bool success = false);
