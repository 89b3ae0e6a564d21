// The line a removal writes for one entry: a warning, or (listed) what
// was deleted.
#pragma once

#include <string>

#include "messages/messagenumber.hpp"

// The message, a blank and the entry path; a success line is indented.
// Every outcome goes into the run's report; the line is printed only when
// `shown` (what was deleted is listed only when the operator asked).
void ReportRemoval(Msg message, const std::string& path, bool success = false, bool shown = true);
