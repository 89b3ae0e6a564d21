// Entry routine, working files and the one exit path of the installer.
#pragma once

#include <string>

// Full paths of the five working files, inside a private directory made at
// start-up. Empty until the names are made.
extern std::string TMP;
extern std::string MOD;
extern std::string TMP2;
extern std::string TMP3;
extern std::string PAK;

// Thrown by exite() and caught by RunInstaller(), so that every end of a
// run after start-up takes the same path and destructors still run.
struct ExitRequest {
  int status;
};

// Makes the private working directory and the five names. Returns false
// (after reporting why on standard error) when the directory cannot be made.
bool MakeWorkingFiles();

// Path of a further scratch file in the private working directory; it is
// removed by exite() like the five working files.
std::string ScratchFile(const std::string& name);

// Removes the working files and the private directory. Safe to call from a
// signal handler once the names exist (uses only unlink and rmdir).
void RemoveWorkingFiles();

// Ends the run: removes the working files, prints a line end and the
// farewell message, releases the catalogue and ends with the status.
[[noreturn]] void exite(int status);

// The whole run of the program; returns the exit status.
int RunInstaller(int argc, char** argv);
