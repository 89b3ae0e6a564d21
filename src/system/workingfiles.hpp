// The private working directory of a run and the working files in it. The
// names are registered with the interrupt handler, which removes the files
// when a signal ends the run.
#pragma once

#include <string>

// Full paths of the five working files, inside a private directory made at
// start-up. Empty until the names are made and after they are released.
extern std::string TMP;
extern std::string MOD;
extern std::string TMP2;
extern std::string TMP3;
extern std::string PAK;

// Makes the private working directory and the five names. Returns false
// (after reporting why on standard error) when the directory cannot be made.
bool MakeWorkingFiles();

// Path of a further working file in the private working directory; it is
// removed with the five.
std::string ScratchFile(const std::string& name);

// Removes the working files and the private directory. Safe in a signal
// handler once the names exist (uses only unlink and rmdir).
void RemoveWorkingFiles();

// Removes the working files and forgets their names, at the end of a run.
void ReleaseWorkingFiles();
