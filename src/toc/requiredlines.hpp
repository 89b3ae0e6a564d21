// The lines of required packages, which no removal touches: an 'R' line and
// the lines that continue it.
#pragma once

#include "toc/tocline.hpp"

class RequiredLines {
 public:
  // Whether `entry`, the next line in order, belongs to a required package.
  bool Holds(const TocLine& entry) {
    in_required_ = entry.IsRequired() || (in_required_ && entry.IsContinuation());
    return in_required_;
  }

 private:
  bool in_required_ = false;
};
