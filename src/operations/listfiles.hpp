// The answer to the list-files question, as the operations take it.
#pragma once

// Whether an operation names each entry as it goes. The values are the
// flag's as a number: a load passes it to tar that way.
enum class ListFiles {
  kNotAsked = -1,  // verification, which never asks: nothing is named
  kNo = 0,
  kYes = 1,
};
