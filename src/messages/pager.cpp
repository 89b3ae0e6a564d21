#include "messages/pager.hpp"

#include <cstdio>

#include "messages/print.hpp"

bool Pager::Page() {
  if (used_ < page_lines_) return true;
  std::fputs("\n", stdout);
  if (!MoreWanted()) return false;
  used_ = 0;
  return true;
}
