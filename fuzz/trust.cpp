// The medium's trust files over arbitrary bytes: a checksum list, a
// signature and a public key (also read as a line of a load's record),
// split at the first two NUL bytes. A list that
// is taken reads back the same from the text written of it, and holds no
// name that leads out of the medium; a signature is taken only where it
// verifies with the key, and only for the text it was made for.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "common/checksumlist.hpp"
#include "common/entrypath.hpp"
#include "common/minisign.hpp"
#include "operations/loadrecord.hpp"
#include "support.hpp"

namespace {

// A key of the fuzzer's own, and its signature of a fixed text.
struct Own {
  MinisignPublicKey public_key;
  MinisignSecretKey secret_key;
  std::string signature;
  Own() {
    MakeKeyPair(public_key, secret_key);
    signature = SignatureText(secret_key, "signed text", "comment");
  }
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static const Own own;
  std::string_view rest(reinterpret_cast<const char*>(data), size);
  std::string_view sums = NextPart(rest), signature = NextPart(rest), key_text = rest;

  ChecksumList list;
  if (ReadChecksumList(sums, list).empty()) {
    for (const auto& [name, hex] : list) {
      if (name.empty() || name.starts_with('/') || HasDotDot(name) || hex.size() != 64) {
        Finding("a checksum list took a name or checksum it must refuse");
      }
    }
    ChecksumList again;
    if (!ReadChecksumList(ChecksumListText(list), again, true).empty() || again != list) {
      Finding("a checksum list does not read back the same");
    }
  }

  MinisignPublicKey key;
  std::vector<MinisignPublicKey> keys = {own.public_key};
  if (ReadPublicKey(key_text, key).empty()) keys.push_back(key);
  // The fuzzer's own key signed only "signed text": any other text, or a
  // changed signature, is refused.
  if (CheckSignature(signature, sums, {own.public_key}).empty() && sums != "signed text") {
    Finding("a signature was taken for a text it was not made for");
  }
  if (CheckSignature(own.signature, sums, keys).empty() != (sums == "signed text")) {
    Finding("the fuzzer's own signature was judged wrongly");
  }
  CheckSignature(signature, sums, keys);

  // A line of a load's record, read back: a taken one names a place.
  RecordedMember member;
  if (ReadRecordedLine(key_text, member) && member.place.empty()) {
    Finding("a record line was taken without a place");
  }
  return 0;
}
