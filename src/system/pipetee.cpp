#include "system/pipetee.hpp"

#include <fcntl.h>
#include <sys/types.h>

#include <cerrno>
#include <cstddef>

bool PassToBoth(int from, int first, int second) {
  constexpr size_t kAtOnce = 1 << 20;
  for (;;) {
    // tee copies what waits in `from` without taking it; splice then takes
    // the same bytes on to the second reader.
    ssize_t copied = tee(from, first, kAtOnce, 0);
    if (copied < 0 && errno == EINTR) continue;
    if (copied <= 0) return copied == 0;
    while (copied > 0) {
      ssize_t moved = splice(from, nullptr, second, nullptr, static_cast<size_t>(copied), 0);
      if (moved < 0 && errno == EINTR) continue;
      if (moved <= 0) return false;
      copied -= moved;
    }
  }
}
