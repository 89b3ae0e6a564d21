// Start-up of the installer: the language, the command line, the working
// files, then the dialogue; and the one place where a run ends.
#pragma once

// The whole run of the program; returns the exit status.
int RunInstaller(int argc, char** argv);
