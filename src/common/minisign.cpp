#include "common/minisign.hpp"

#include <sodium.h>

#include <cstdio>
#include <cstring>

namespace {

constexpr std::string_view kComment = "untrusted comment: ";
constexpr std::string_view kTrusted = "trusted comment: ";
constexpr size_t kSignatureBytes = crypto_sign_BYTES;

void Start() {
  // Safe to call again; it only fails where no randomness can be had.
  if (sodium_init() < 0) std::abort();
}

std::string Base64(const unsigned char* bytes, size_t size) {
  std::string text(sodium_base64_ENCODED_LEN(size, sodium_base64_VARIANT_ORIGINAL), '\0');
  sodium_bin2base64(text.data(), text.size(), bytes, size, sodium_base64_VARIANT_ORIGINAL);
  text.resize(std::strlen(text.c_str()));
  return text;
}

// Exactly `size` bytes from the base64 `text`, nothing left over.
bool FromBase64(std::string_view text, unsigned char* bytes, size_t size) {
  size_t got = 0;
  const char* end = nullptr;
  std::vector<unsigned char> out(size + 3);
  if (sodium_base642bin(out.data(), out.size(), text.data(), text.size(), nullptr, &got, &end,
                        sodium_base64_VARIANT_ORIGINAL) != 0 ||
      end != text.data() + text.size() || got != size) {
    return false;
  }
  std::memcpy(bytes, out.data(), size);
  return true;
}

// The next line of `text` without its end; false when none is left.
bool NextLine(std::string_view& text, std::string_view& line) {
  if (text.empty()) return false;
  size_t end = text.find('\n');
  line = text.substr(0, end);
  text.remove_prefix(end == std::string_view::npos ? text.size() : end + 1);
  if (line.ends_with('\r')) line.remove_suffix(1);
  return true;
}

// The base64 line after an untrusted comment.
bool KeyLine(std::string_view& text, std::string_view& line) {
  std::string_view comment;
  return NextLine(text, comment) && comment.starts_with(kComment) && NextLine(text, line);
}

// BLAKE2b-256 of the algorithm, the id and the secret key: the check a
// secret key file carries.
void SecretKeyCheck(const MinisignSecretKey& key, unsigned char (&check)[32]) {
  crypto_generichash_state state;
  crypto_generichash_init(&state, nullptr, 0, sizeof check);
  crypto_generichash_update(&state, reinterpret_cast<const unsigned char*>("Ed"), 2);
  crypto_generichash_update(&state, key.id.data(), key.id.size());
  crypto_generichash_update(&state, key.key.data(), key.key.size());
  crypto_generichash_final(&state, check, sizeof check);
}

// The layout of a secret key file's binary line.
struct SecretLayout {
  static constexpr size_t kId = 2 + 2 + 2 + 32 + 8 + 8;
  static constexpr size_t kKey = kId + 8;
  static constexpr size_t kCheck = kKey + 64;
  static constexpr size_t kSize = kCheck + 32;
};

}  // namespace

std::string KeyIdText(const std::array<unsigned char, 8>& id) {
  // A little-endian number, shown most significant digit first.
  char text[17];
  for (size_t i = 0; i < 8; ++i) std::snprintf(text + 2 * i, 3, "%02X", id[7 - i]);
  return text;
}

std::string ReadPublicKey(std::string_view text, MinisignPublicKey& key) {
  std::string_view line;
  unsigned char bytes[2 + 8 + 32];
  if (!KeyLine(text, line) || !FromBase64(line, bytes, sizeof bytes)) {
    return "not a minisign public key";
  }
  if (std::memcmp(bytes, "Ed", 2) != 0) return "a public key of another algorithm";
  std::memcpy(key.id.data(), bytes + 2, 8);
  std::memcpy(key.key.data(), bytes + 10, 32);
  return "";
}

std::string ReadSecretKey(std::string_view text, MinisignSecretKey& key) {
  Start();
  std::string_view line;
  unsigned char bytes[SecretLayout::kSize];
  if (!KeyLine(text, line) || !FromBase64(line, bytes, sizeof bytes)) {
    return "not a minisign secret key";
  }
  if (std::memcmp(bytes, "Ed", 2) != 0 || std::memcmp(bytes + 4, "B2", 2) != 0) {
    return "a secret key of another algorithm";
  }
  if (bytes[2] != 0 || bytes[3] != 0) {
    return "the secret key is encrypted (remove its password with minisign -C -W)";
  }
  std::memcpy(key.id.data(), bytes + SecretLayout::kId, 8);
  std::memcpy(key.key.data(), bytes + SecretLayout::kKey, 64);
  unsigned char check[32];
  SecretKeyCheck(key, check);
  if (sodium_memcmp(check, bytes + SecretLayout::kCheck, sizeof check) != 0) {
    return "the secret key's check does not match";
  }
  return "";
}

void MakeKeyPair(MinisignPublicKey& public_key, MinisignSecretKey& secret_key) {
  Start();
  crypto_sign_keypair(public_key.key.data(), secret_key.key.data());
  randombytes_buf(public_key.id.data(), public_key.id.size());
  secret_key.id = public_key.id;
}

std::string PublicKeyText(const MinisignPublicKey& key) {
  unsigned char bytes[2 + 8 + 32];
  std::memcpy(bytes, "Ed", 2);
  std::memcpy(bytes + 2, key.id.data(), 8);
  std::memcpy(bytes + 10, key.key.data(), 32);
  return std::string(kComment) + "minisign public key " + KeyIdText(key.id) + "\n" +
         Base64(bytes, sizeof bytes) + "\n";
}

std::string SecretKeyText(const MinisignSecretKey& key) {
  Start();
  unsigned char bytes[SecretLayout::kSize] = {};
  std::memcpy(bytes, "Ed", 2);  // no key derivation: bytes 2 and 3 stay 0
  std::memcpy(bytes + 4, "B2", 2);
  std::memcpy(bytes + SecretLayout::kId, key.id.data(), 8);
  std::memcpy(bytes + SecretLayout::kKey, key.key.data(), 64);
  unsigned char check[32];
  SecretKeyCheck(key, check);
  std::memcpy(bytes + SecretLayout::kCheck, check, sizeof check);
  std::string text = std::string(kComment) + "minisign secret key, not encrypted\n" +
                     Base64(bytes, sizeof bytes) + "\n";
  sodium_memzero(bytes, sizeof bytes);
  return text;
}

std::string SignatureText(const MinisignSecretKey& key, std::string_view message,
                          std::string_view trusted_comment) {
  Start();
  unsigned char hash[crypto_generichash_BYTES_MAX];
  crypto_generichash(hash, sizeof hash, reinterpret_cast<const unsigned char*>(message.data()),
                     message.size(), nullptr, 0);
  unsigned char line[2 + 8 + kSignatureBytes];
  std::memcpy(line, "ED", 2);
  std::memcpy(line + 2, key.id.data(), 8);
  crypto_sign_detached(line + 10, nullptr, hash, sizeof hash, key.key.data());
  std::string global_message(reinterpret_cast<const char*>(line + 10), kSignatureBytes);
  global_message += trusted_comment;
  unsigned char global[kSignatureBytes];
  crypto_sign_detached(global, nullptr,
                       reinterpret_cast<const unsigned char*>(global_message.data()),
                       global_message.size(), key.key.data());
  return std::string(kComment) + "signature from mkdist secret key\n" + Base64(line, sizeof line) +
         "\n" + std::string(kTrusted) + std::string(trusted_comment) + "\n" +
         Base64(global, sizeof global) + "\n";
}

std::string CheckSignature(std::string_view signature_text, std::string_view message,
                           const std::vector<MinisignPublicKey>& keys) {
  Start();
  std::string_view text = signature_text, line, trusted, global_line;
  unsigned char bytes[2 + 8 + kSignatureBytes], global[kSignatureBytes];
  if (!KeyLine(text, line) || !FromBase64(line, bytes, sizeof bytes) || !NextLine(text, trusted) ||
      !trusted.starts_with(kTrusted) || !NextLine(text, global_line) ||
      !FromBase64(global_line, global, sizeof global)) {
    return "not a minisign signature";
  }
  bool hashed = std::memcmp(bytes, "ED", 2) == 0;
  if (!hashed && std::memcmp(bytes, "Ed", 2) != 0) return "a signature of another algorithm";
  std::array<unsigned char, 8> id;
  std::memcpy(id.data(), bytes + 2, 8);
  const MinisignPublicKey* key = nullptr;
  for (const MinisignPublicKey& candidate : keys) {
    if (candidate.id == id) key = &candidate;
  }
  if (!key) return "signed with key " + KeyIdText(id) + ", which is not a trusted key";
  unsigned char hash[crypto_generichash_BYTES_MAX];
  const unsigned char* signed_bytes = reinterpret_cast<const unsigned char*>(message.data());
  size_t signed_size = message.size();
  if (hashed) {
    crypto_generichash(hash, sizeof hash, signed_bytes, signed_size, nullptr, 0);
    signed_bytes = hash;
    signed_size = sizeof hash;
  }
  if (crypto_sign_verify_detached(bytes + 10, signed_bytes, signed_size, key->key.data()) != 0) {
    return "the signature does not match the file";
  }
  trusted.remove_prefix(kTrusted.size());
  std::string global_message(reinterpret_cast<const char*>(bytes + 10), kSignatureBytes);
  global_message += trusted;
  if (crypto_sign_verify_detached(global,
                                  reinterpret_cast<const unsigned char*>(global_message.data()),
                                  global_message.size(), key->key.data()) != 0) {
    return "the signature of its trusted comment does not match";
  }
  return "";
}
