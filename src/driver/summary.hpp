// The selection summary, the final questions and the hand-over to one
// operation.
#pragma once

#include "driver/runstate.hpp"

enum class Back { kCategories, kInstallDirectory };

// Shows the selection and asks the final questions. Returns where the
// operator went back to; a confirmed selection runs the operation and ends
// the run.
Back ConfirmAndRun(RunState& state);
