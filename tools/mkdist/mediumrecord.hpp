// What a medium says of itself: MEDIUM (what it is and what made it, one
// "key: value" a line) and SHA256SUMS (every file on it, as sha256sum
// writes them), signed in minisign's form (SHA256SUMS.minisig) when a
// secret key is given.
#pragma once

#include <string>

#include "diagnostics.hpp"

struct MediumRecord {
  std::string title;              // the manifest's heading
  std::string installer_version;  // of the installer it carries; empty: none
  std::string secret_key;         // the key file to sign with; empty: unsigned
};

// Writes the record into the medium being made in `dir`, after every other
// file. False, with the reason in `diagnostics`, when it cannot.
bool WriteMediumRecord(const std::string& dir, const MediumRecord& record,
                       Diagnostics& diagnostics);

// Makes a key pair: BASE.key (the secret key, not encrypted, mode 0600)
// and BASE.pub. Neither may exist. Empty when done; else why not.
std::string MakeKeyFiles(const std::string& base);
