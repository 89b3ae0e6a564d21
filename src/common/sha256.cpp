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

static_assert(sizeof(SHA256_CTX) <= 112 && alignof(SHA256_CTX) <= 8);

Sha256::Sha256() { SHA256_Init(reinterpret_cast<SHA256_CTX*>(state_)); }

void Sha256::Add(const void* bytes, size_t size) {
  SHA256_Update(reinterpret_cast<SHA256_CTX*>(state_), bytes, size);
}

Sha256Digest Sha256::Finish() {
  Sha256Digest digest;
  SHA256_Final(digest.data(), reinterpret_cast<SHA256_CTX*>(state_));
  return digest;
}

Sha256Text Sha256Hex(const Sha256Digest& digest) {
  static const char kDigits[] = "0123456789abcdef";
  Sha256Text text;
  for (size_t i = 0; i < digest.size(); ++i) {
    text.digits[2 * i] = kDigits[digest[i] >> 4];
    text.digits[2 * i + 1] = kDigits[digest[i] & 15];
  }
  return text;
}

bool Sha256OfFile(int fd, std::string& hex, long long size) {
  Sha256 digest;
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
    digest.Add(buffer.data(), static_cast<size_t>(got));
    at += got;
  }
  hex = Sha256Hex(digest.Finish()).view();
  return true;
}
