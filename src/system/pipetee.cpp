#include "system/pipetee.hpp"

#include <fcntl.h>
#include <sys/types.h>
#include <unistd.h>

#include <cerrno>
#include <vector>

bool PassOnAndSee(int from, int to, const std::function<void(const char*, size_t)>& seen) {
  constexpr size_t kAtOnce = 1 << 16;
  std::vector<char> piece(kAtOnce);
  for (;;) {
    // tee copies what waits in `from` without taking it; the installer
    // then takes the same bytes out.
    ssize_t copied = tee(from, to, kAtOnce, 0);
    if (copied < 0 && errno == EINTR) continue;
    if (copied <= 0) return copied == 0;
    while (copied > 0) {
      ssize_t got = read(from, piece.data(), static_cast<size_t>(copied));
      if (got < 0 && errno == EINTR) continue;
      if (got <= 0) return false;
      seen(piece.data(), static_cast<size_t>(got));
      copied -= got;
    }
  }
}
