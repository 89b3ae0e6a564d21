// The manifest: the text file a person writes to describe a distribution.
//
//   # a comment (a line whose first non-blank character is '#')
//   heading  TEXT                              once, before the first category
//   category all|none TITLE                    categories 01, 02, ... in order
//   package  required|optional CODE DESCRIPTION   in the category above it
//   path     PATH                              in the package above it
//
// Words are separated by blanks or tabs; TEXT, TITLE and DESCRIPTION are the
// rest of the line. Blank lines and indentation are free; trailing blanks
// are dropped.
#pragma once

#include <istream>
#include <string>
#include <vector>

#include "diagnostics.hpp"

// Most categories a table of contents can number ("01" to "99").
constexpr int kMaxCategories = 99;
// Width of the description field of a package line.
constexpr size_t kDescriptionWidth = 54;

struct ManifestPath {
  std::string path;  // relative, no trailing '/'
  int line = 0;
};

struct ManifestPackage {
  bool required = false;
  std::string archive_code;  // two letters or digits
  std::string description;   // at most kDescriptionWidth characters
  int line = 0;
  std::vector<ManifestPath> paths;
};

struct ManifestCategory {
  bool default_all = false;
  std::string title;
  int line = 0;
  std::vector<ManifestPackage> packages;
};

struct Manifest {
  std::string heading;
  std::vector<ManifestCategory> categories;
};

// Reads a whole manifest; every fault goes to `diagnostics`, and the result
// is meant for use only when none was found.
Manifest ParseManifest(std::istream& in, Diagnostics& diagnostics);

// Why `path` cannot name an entry of the staging tree (empty if it can):
// blanks, tabs or control characters, an absolute path, an empty, "." or
// ".." component. Trailing slashes are dropped first.
std::string PathProblem(std::string& path);
