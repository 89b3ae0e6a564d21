// The three standard descriptors, as a run needs them.
#pragma once

// Opens /dev/null on each of descriptors 0-2 that is closed, so that no file
// the run opens takes the place of standard input, output or error (and a
// child's output never lands in a working file).
void OpenClosedStandardDescriptors();

// Ignores SIGPIPE and SIGXFSZ: a write to a closed reader or beyond the file
// size limit then fails like any other write and the run ends through the
// exit routine, which removes the working files, instead of being killed.
void IgnoreWriteSignals();
