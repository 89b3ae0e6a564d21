// The programs the installer starts (tar, gunzip, rm), each by an absolute
// path chosen once before anything is unpacked, and the fixed environment
// they start with. A program is never taken from where a load writes or
// from the medium: a medium that unpacks its own "gunzip" into a folder on
// PATH must not have it run by the batches after.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "common/settings.hpp"

struct Programs {
  std::string tar = "/bin/tar";
  std::string rm = "/bin/rm";
  std::string gunzip;  // empty until found
  // The folders the programs were found in, each once: the children's
  // PATH (gunzip is a script that starts gzip from there), and what a
  // private root binds for them to run.
  std::vector<std::string> folders;
  // The operator's locale variables, "NAME=value".
  std::vector<std::string> locale;

  // The environment of a child: PATH of the folders, and the locale
  // variables the installer was given (tar's messages and the names it
  // prints stay in the operator's language), or LC_ALL=C with `c_locale`.
  // Nothing else: no TAR_OPTIONS, GZIP, POSIXLY_CORRECT and the like.
  std::vector<std::string> Environment(bool c_locale = false) const;
};

// The absolute path under which `name` is found through `path_variable`
// (PATH's form): an entry that is empty or relative is skipped, and so is
// an entry, or a program, that lies at or below one of `untrusted` (absolute
// paths), or whose path a user other than root and the running one can
// make name something else (the walk of OpenTrustedPath). Links are
// followed for the judgement; the path given back is the one found.
std::optional<std::string> FindProgram(std::string_view name, std::string_view path_variable,
                                       const std::vector<std::string>& untrusted);

// The programs of a run: tar and rm at their fixed places, gunzip (when
// `compressed`) through the installer's PATH, never from `untrusted`; the
// locale the settings give. False when gunzip is wanted but not found.
bool FindPrograms(bool compressed, const std::vector<std::string>& untrusted,
                  const Settings& settings, Programs& programs);
