// ZULREPORT=FILE: a report of the run for machines, one JSON object a line
// (JSON Lines), appended to FILE: "start" once the operation begins (or,
// for a run that ends before, at its end), "package" for each package
// chosen, one object for each entry acted on or found ("loaded",
// "deleted", "not-deleted", "kept", "missing", "size-differs",
// "content-differs", with its path), and "end" with the status, the count
// of each kind of entry and the seconds the run took (a run ended by a
// signal: {"event":"end","ended_by_signal":true}). Each object is one
// write to a file opened for appending, so that runs side by side never
// mix their lines. Nothing of it reaches the dialogue.
#pragma once

#include <string>
#include <string_view>

// Opens `file` for the report (nothing when it is empty): only a regular
// file, never through a symbolic link, made with mode 0640. A file that
// cannot be opened so is said on standard error, and the run goes on
// without a report. `version` is the installer's, `operation` the run's
// ("load", "verify" or "remove").
void OpenRunReport(const std::string& file, std::string_view version, std::string_view operation);

// The operation begins, in the installation directory
// `installation_directory`, from the medium whose title line is `medium`.
void ReportStart(std::string_view installation_directory, std::string_view medium);

void ReportPackage(std::string_view category, std::string_view package);

// An entry acted on or found: `event` is one of the kinds above.
void ReportEntry(std::string_view event, std::string_view path);

// The run ends with `status`; called once, by the end of every run.
void ReportEnd(int status);
