#include "common/sha256.hpp"

// The plain SHA-256 functions: without the provider machinery of the
// digest interface, which would take a few megabytes of the medium's
// installer for one digest. Deprecated, not removed, in OpenSSL 3.
#define OPENSSL_SUPPRESS_DEPRECATED
#include <openssl/sha.h>
#include <sys/types.h>
#include <unistd.h>

#include <cerrno>
#include <vector>

// OpenSSL's SHA-256, not libsodium's: it uses the processor's SHA
// instructions where there are some, and every archive of a load is hashed
// on the load's way (about 1.5 GB/s against 0.2 GB/s here).

namespace {

std::string Hex(const unsigned char* digest, unsigned size) {
  static const char kDigits[] = "0123456789abcdef";
  std::string text;
  for (unsigned i = 0; i < size; ++i) {
    text += kDigits[digest[i] >> 4];
    text += kDigits[digest[i] & 15];
  }
  return text;
}

}  // namespace

bool Sha256OfFile(int fd, std::string& hex, long long size) {
  SHA256_CTX context;
  SHA256_Init(&context);
  // One buffer a thread, made once: a load hashes many small files.
  thread_local std::vector<unsigned char> buffer(1 << 20);
  off_t at = 0;
  while (size < 0 || at < size) {
    size_t want = buffer.size();
    if (size >= 0 && static_cast<long long>(want) > size - at)
      want = static_cast<size_t>(size - at);
    ssize_t got = pread(fd, buffer.data(), want, at);
    if (got < 0 && errno == EINTR) continue;
    if (got < 0) return false;
    if (got == 0) break;
    SHA256_Update(&context, buffer.data(), static_cast<size_t>(got));
    at += got;
  }
  unsigned char digest[SHA256_DIGEST_LENGTH];
  SHA256_Final(digest, &context);
  hex = Hex(digest, sizeof digest);
  return true;
}
