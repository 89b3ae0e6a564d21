#include "common/sha256.hpp"

#include <sodium.h>
#include <sys/types.h>
#include <unistd.h>

#include <cerrno>
#include <vector>

namespace {

std::string Hex(const unsigned char (&digest)[crypto_hash_sha256_BYTES]) {
  char text[crypto_hash_sha256_BYTES * 2 + 1];
  sodium_bin2hex(text, sizeof text, digest, sizeof digest);
  return text;
}

}  // namespace

bool Sha256OfFile(int fd, std::string& hex) {
  crypto_hash_sha256_state state;
  crypto_hash_sha256_init(&state);
  std::vector<unsigned char> buffer(1 << 20);
  off_t at = 0;
  for (;;) {
    ssize_t got = pread(fd, buffer.data(), buffer.size(), at);
    if (got < 0 && errno == EINTR) continue;
    if (got < 0) return false;
    if (got == 0) break;
    crypto_hash_sha256_update(&state, buffer.data(), static_cast<unsigned long long>(got));
    at += got;
  }
  unsigned char digest[crypto_hash_sha256_BYTES];
  crypto_hash_sha256_final(&state, digest);
  hex = Hex(digest);
  return true;
}

std::string Sha256Of(std::string_view data) {
  unsigned char digest[crypto_hash_sha256_BYTES];
  crypto_hash_sha256(digest, reinterpret_cast<const unsigned char*>(data.data()), data.size());
  return Hex(digest);
}
