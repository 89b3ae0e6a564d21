// One stream read by two programs: what one child writes into a pipe, the
// kernel hands on to two others, without copying it through the installer.
#pragma once

// Passes everything that comes through the pipe `from` into both the pipes
// `first` and `second`, until `from` ends or a reader of either is gone.
// False when it stopped before the end of `from`.
bool PassToBoth(int from, int first, int second);
