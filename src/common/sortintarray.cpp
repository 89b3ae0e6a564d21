#include "common/sortintarray.hpp"

#include <cstdlib>

int cmp1(const void* a, const void* b) {
  int x = *static_cast<const int*>(a);
  int y = *static_cast<const int*>(b);
  return x < y ? -1 : x > y ? 1 : 0;
}

void SortIntArray(int* array, int count) {
  if (count > 1) std::qsort(array, static_cast<size_t>(count), sizeof(int), cmp1);
}
