// What the operator's environment asks of a run, read once at start-up
// into one value that is passed down: no unit below reads a variable of
// its own, and a run sees one answer to each question however long it
// takes.
#pragma once

#include <optional>
#include <string>
#include <vector>

// What ZULCONFINE asks for: unset (or any other word) the strongest the
// kernel allows, "landlock" Landlock without the namespace, "off" neither.
enum class ConfineMode { kStrongest, kLandlock, kOff };

struct Settings {
  ConfineMode confine = ConfineMode::kStrongest;  // ZULCONFINE
  int jobs = 0;                                   // ZULJOBS from 1 up; 0 when not asked
  bool progress = true;                           // false with ZULPROGRESS=off
  bool verify_sizes = false;                      // ZULVERIFY=size
  bool verify_contents = false;                   // ZULVERIFY=content
  bool strict = false;                            // ZULSTRICT set to anything but "" or "0"
  bool dry_run = false;                           // ZULDRYRUN, the same way
  std::string receipt;                            // ZULRECEIPT
  std::string trust;                              // ZULTRUST: "signed", "sums" or nothing asked
  std::string keys;                               // ZULKEYS: the trusted keys' file or folder
  std::string answers;                            // ZULANSWERS: where the answers are recorded
  std::string report;                             // ZULREPORT: the JSON Lines report of the run
  std::string responses;                          // ZULRESPONSES: answers by question
  std::optional<std::string> pwd;                 // ZULPWD: the base of relative names
  std::optional<std::string> home;                // HOME
  std::string path;                               // PATH
  std::string tmpdir;                             // TMPDIR
  std::string lang;                               // LANG
  // The locale variables, "NAME=value" (LANG, LANGUAGE, LC_*), for the
  // children: tar speaks the operator's language.
  std::vector<std::string> locale;
};

// The settings of the process's environment as it is now.
Settings ReadSettings();
