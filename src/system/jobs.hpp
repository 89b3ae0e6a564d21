// How many extractions a load may run side by side.
#pragma once

// The most at a time, whatever the machine or the operator says.
inline constexpr int kMostJobs = 16;

// `asked` (ZULJOBS) when it is from 1 up, else the processors this
// process may run on; at most kMostJobs. 1 extracts one batch after
// another.
int WantedJobs(int asked);
