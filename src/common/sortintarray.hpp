// Sorting the package numbers of an answer.
#pragma once

// The comparison of two ints for qsort: -1, 0 or 1.
int cmp1(const void* a, const void* b);

// Sorts `count` ints in place into ascending order.
void SortIntArray(int* array, int count);
