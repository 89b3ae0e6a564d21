// Whether a medium is what its maker made: the checksums at its top
// (SHA256SUMS, in sha256sum's form) and their signature in minisign's form
// (SHA256SUMS.minisig) by a key this host trusts (ZULKEYS, a key file or a
// folder of *.pub; else /etc/install/keys/).
#pragma once

#include <string>

#include "common/checksumlist.hpp"
#include "common/settings.hpp"

// The checksums of one medium, checked and signed as the settings asked.
class MediumSums {
 public:
  MediumSums() = default;  // a medium without checksums
  MediumSums(std::string top, ChecksumList list) : top_(std::move(top)), list_(std::move(list)) {
    present_ = true;
  }

  bool present() const { return present_; }
  // Why the file `path` (absolute, below the medium's top), open as `fd`,
  // may not be used: empty when the medium has no checksums, or the file's
  // SHA-256 is the one listed.
  std::string Check(const std::string& path, int fd) const;
  // Whether the checksums list `path`.
  bool Lists(const std::string& path) const;
  // Where the checksums list the file `path`, ends the run (one line on
  // standard error) unless its SHA-256 is the listed one; the file open as
  // `fd`, or opened here.
  void CheckIfListed(const std::string& path) const;
  void CheckIfListed(const std::string& path, int fd) const;

 private:
  // `path` relative to the top; empty when it is not below it.
  std::string Relative(const std::string& path) const;

  std::string top_;
  ChecksumList list_;
  bool present_ = false;
};

// Checks the medium whose top is `dir` before anything of it is used: its
// checksums when it has some (they must parse, and name files that are
// there), their signature when there is one (by a trusted key), and what
// ZULTRUST asks ("signed": a valid signature; "sums": checksums at least).
// Where one of these fails, one line on standard error names the file and
// why, and the run ends with status 1. An unsigned medium in a run that
// asks nothing is said once, on a terminal's standard error only.
MediumSums TrustMedium(const std::string& dir, const Settings& settings);
