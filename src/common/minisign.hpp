// Keys and signatures in minisign's format, so that a medium signed here is
// checked by hand with `minisign -V` and one signed with `minisign -S` is
// checked here: Ed25519 keys with an id of 8 bytes, and signatures over the
// BLAKE2b-512 of the file ("ED"; the older form over the file itself, "Ed",
// is read too), each with a trusted comment signed along with it.
#pragma once

#include <array>
#include <string>
#include <string_view>
#include <vector>

struct MinisignPublicKey {
  std::array<unsigned char, 8> id{};
  std::array<unsigned char, 32> key{};
};

struct MinisignSecretKey {
  std::array<unsigned char, 8> id{};
  std::array<unsigned char, 64> key{};
};

// The key id as minisign shows it: 16 hex digits.
std::string KeyIdText(const std::array<unsigned char, 8>& id);

// Reads a public key file's text (an untrusted comment, then the key in
// base64). Empty when it is one; else why not.
std::string ReadPublicKey(std::string_view text, MinisignPublicKey& key);

// Reads a secret key file's text, of a key that is not encrypted (made by
// `mkdist --keygen` or `minisign -G -W`). Empty when it is one; else why
// not.
std::string ReadSecretKey(std::string_view text, MinisignSecretKey& key);

// A new key pair, and the texts of its two files.
void MakeKeyPair(MinisignPublicKey& public_key, MinisignSecretKey& secret_key);
std::string PublicKeyText(const MinisignPublicKey& key);
std::string SecretKeyText(const MinisignSecretKey& key);

// The text of a signature file for `message`, signed with `key`, with
// `trusted_comment` (one line) signed along with it.
std::string SignatureText(const MinisignSecretKey& key, std::string_view message,
                          std::string_view trusted_comment);

// Whether `signature_text` (a signature file) is a valid signature of
// `message` by one of `keys`: empty when it is; else why not.
std::string CheckSignature(std::string_view signature_text, std::string_view message,
                           const std::vector<MinisignPublicKey>& keys);
