// The private working directory of a run and the working files in it. The
// directory is held from the moment it is made: the file functions of common
// reach the working files through its descriptor, never through its path.
// The names are registered with the interrupt handler, which removes the
// files when a signal ends the run.
#pragma once

#include <string>

// Full paths of the five working files, inside a private directory made at
// start-up. Empty until the names are made and after they are released.
extern std::string TMP;
extern std::string MOD;
extern std::string TMP2;
extern std::string TMP3;
extern std::string PAK;

// Makes the private working directory and the five names: in `tmpdir`
// (TMPDIR) when it is an absolute path of a directory in which no user but
// root and the running one can rename or replace what the run makes (its
// owner is one of them, and it is sticky or writable by its owner alone),
// else in /tmp.
// Returns false (after reporting why on standard error) when the directory
// cannot be made.
bool MakeWorkingFiles(const std::string& tmpdir);

// The private working directory, held (O_PATH): -1 before it is made.
int WorkingDirectoryFd();
// Its full path; empty before it is made.
const std::string& WorkingDirectoryPath();

// Full path of a further working file (or empty directory) in the private
// working directory, for a child that is given its name; it is removed with
// the five.
std::string ScratchFile(const std::string& name);

// Removes the working files and the private directory, through the held
// descriptors. Safe in a signal handler once the names exist.
void RemoveWorkingFiles();

// Removes the working files and forgets their names, at the end of a run.
void ReleaseWorkingFiles();
