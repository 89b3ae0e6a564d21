// SHA-256, of a file or of pieces given one after another, in the form
// sha256sum writes: 64 lowercase hex digits.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

using Sha256Digest = std::array<unsigned char, 32>;

// The digest of a file's content, with its size.
struct FileDigest {
  Sha256Digest sha256 = {};
  uint64_t size = 0;
  bool known = false;
};

// A digest made of pieces given in order.
class Sha256 {
 public:
  Sha256();
  void Add(const void* bytes, size_t size);
  Sha256Digest Finish();

 private:
  // The library's state, kept opaque here: its header stays in one file.
  alignas(8) unsigned char state_[112];
};

// `digest` as sha256sum writes it (made without allocating: a load writes
// one for each file).
struct Sha256Text {
  char digits[64];
  std::string_view view() const { return {digits, sizeof digits}; }
};
Sha256Text Sha256Hex(const Sha256Digest& digest);

// The SHA-256 of everything in the file open as `fd`, read from its start
// (the descriptor's offset is left alone), or of its first `size` bytes
// when `size` is not negative (a file's size, known: no read to find its
// end). False, errno set, when it cannot be read.
bool Sha256OfFile(int fd, std::string& hex, long long size = -1);
