// Builds a distribution from a manifest: the table of contents and one
// archive per archive code, made in a temporary directory beside the target
// and renamed into place only when everything succeeded.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

#include "diagnostics.hpp"
#include "manifest.hpp"

struct BuildOptions {
  std::string staging;   // the tree the manifest's paths are taken from
  std::string target;    // must not exist, or be an empty directory
  int name_form = 0;     // 0-5, the table-of-contents name form
  int compression = -1;  // kPlain, or the compressed form 0-2
  // The installer program to carry in the root of the medium (as
  // "install"), and message catalogues to put beside it; none when empty.
  std::string installer;
  std::vector<std::string> catalogues;
  // The minisign secret key that signs the medium's checksums; none when
  // empty.
  std::string secret_key;
};

struct BuildSummary {
  size_t entries = 0;
  size_t archives = 0;
};

// Returns true when the target was written; otherwise every reason is in
// `diagnostics` and nothing is left behind.
bool BuildDistribution(const Manifest& manifest, const BuildOptions& options,
                       Diagnostics& diagnostics, BuildSummary& summary);
