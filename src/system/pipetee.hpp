// One stream read by two: what one child writes into a pipe, the kernel
// hands on to another (without copying it through the installer), and the
// installer sees the same bytes, in order.
#pragma once

#include <cstddef>
#include <functional>

// Passes everything that comes through the pipe `from` on into the pipe
// `to`, showing each piece to `seen` as it goes, until `from` ends or the
// reader of `to` is gone. False when it stopped before the end of `from`.
bool PassOnAndSee(int from, int to, const std::function<void(const char*, size_t)>& seen);
