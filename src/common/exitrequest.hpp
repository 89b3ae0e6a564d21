// The one way a run ends once it has started: exite() raises a request that
// the top of the program catches, says farewell for and returns as the exit
// status. Low units end the run without knowing what the farewell is.
#pragma once

// Raised by exite() and caught at the top of the run, so that destructors
// still run and tests can catch it.
struct ExitRequest {
  int status;
};

// Ends the run with `status`.
[[noreturn]] void exite(int status);
