// Finding the products of a medium that has no table of contents at its top.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "common/medium.hpp"
#include "session/mode.hpp"

// A directory that holds a table of contents, and the position of the name
// found there among the six (each product keeps its own name form).
struct Product {
  std::string dir;
  int variant = 0;
};

// What a walk found: the product directories in the order found (each path
// the walked directory followed by "/" and the names below it), and whether
// it stopped at a directory that could not be opened.
struct ProductWalk {
  std::vector<Product> products;
  bool failed = false;
};

// Walks `dir` and every directory below it depth-first, in listing order,
// each directory once.
ProductWalk walk_cd(const char* const names[kNameForms], const std::string& dir);

// What the product menu came to: the product chosen, or none when the
// operator stepped back, none was found or the walk failed.
struct ProductChoice {
  std::optional<Product> chosen;
  bool stepped_back = false;
};

// Offers the products below `mount` in a menu and asks for one.
ProductChoice ScanCD(Mode mode, const char* const names[kNameForms], const std::string& mount);
