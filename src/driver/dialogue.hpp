// The question sequence, the selection summary and the final questions.
#pragma once

#include "driver/runstate.hpp"

// Leads the operator from the mount-point question to the end of the run;
// always ends through exite().
[[noreturn]] void RunDialogue(RunState& state);
