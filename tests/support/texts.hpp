// What the installer prints, written once for every suite, and small
// helpers for looking at output. The texts are inline, so that constants
// of a test file may be made from them.
#pragma once

#include <string>

// After start-up: the answer conventions.
inline const std::string kGreeting =
    "\nPress <return> to take the default, '?' for help, '^' to return to \n"
    "the previous question, or 'q' to quit.\n";
// The mount-point question with its default, after its line end.
inline const std::string kMountPrompt = "\nEnter CD-ROM mount point: [/mnt/cdrom] ";
// The product menu of a load, which comes before its lines, and its
// question.
inline const std::string kProductMenuHeading =
    "\nSelect which product to load by entering the product number.\n\n";
inline const std::string kProductPrompt = "\nEnter product number to load: [1] ";
// The package question of a load with default "all".
inline const std::string kLoadPackagesPrompt = "Package numbers to load: [all] ";
inline const std::string kQuitPrompt = "Are you sure you want to quit? [yes] ";
// The farewell that ends every run after start-up.
inline const std::string kExit = "\nExiting...\n";
// The three lines of the failed-load message, and the finished-load message.
inline const std::string kLoadFailed =
    "\nAn error has occured during loading.\nRemove the packages(s) from disk, fix any\n"
    "reported errors, and re-run the install procedure.\n";
inline const std::string kLoadFinished = "Finished loading package(s)";
// The warning that -remove prints first.
inline const std::string kRemoveWarning =
    "\nUsing the '-remove' option will delete the specified package(s)\n"
    "without confirmation.  If you have write access to all or part\n"
    "of the installation, you have the ability to remove the package(s).\n"
    "Packages removed with this option can be restored from CD-ROM or tape\n"
    "with the install procedure using the '-load' option.\n";
inline const std::string kUsage = "Usage: install <-help | -load | -remove | -verify>\n";

// The installation-directory question, its default the start directory.
std::string InstallPrompt(const std::string& start);

// A description field as the listings print it: 54 columns.
std::string Pad(const std::string& description);

// Output with the free-space figure replaced by "N".
std::string MaskSpace(const std::string& out);

// How often `what` occurs in `text`.
int Count(const std::string& text, const std::string& what);
bool EndsWith(const std::string& text, const std::string& end);
