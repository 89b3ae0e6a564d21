#include "operations/mediumtrust.hpp"

#include <dirent.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <vector>

#include "common/exitrequest.hpp"
#include "common/minisign.hpp"
#include "common/sha256.hpp"
#include "common/textfile.hpp"
#include "system/notice.hpp"

namespace {

constexpr char kSums[] = "SHA256SUMS";
constexpr char kSignature[] = "SHA256SUMS.minisig";
constexpr char kHostKeys[] = "/etc/install/keys";
// Far more than any list of a medium's files or any key takes.
constexpr off_t kMostBytes = 16 << 20;

[[noreturn]] void Refuse(const std::string& file, const std::string& why) {
  Notice("install: ", file, ": " + why);
  exite(1);
}

std::string Why(int error) {
  return error == 0 ? "not a regular file of at most 16 MB" : std::strerror(error);
}

bool Exists(const std::string& path) {
  struct stat st;
  return lstat(path.c_str(), &st) == 0;
}

// The key files: `keys` itself, or every *.pub in it when it is a folder.
std::vector<std::string> KeyFiles(const std::string& keys) {
  struct stat st;
  if (stat(keys.c_str(), &st) != 0 || !S_ISDIR(st.st_mode)) return {keys};
  std::vector<std::string> files;
  if (DIR* dir = opendir(keys.c_str())) {
    while (dirent* entry = readdir(dir)) {
      std::string name = entry->d_name;
      if (name.size() > 4 && name.ends_with(".pub")) files.push_back(keys + "/" + name);
    }
    closedir(dir);
  }
  std::sort(files.begin(), files.end());
  return files;
}

// The keys this host trusts; a key file that cannot be read or parsed ends
// the run.
std::vector<MinisignPublicKey> TrustedKeys(const Settings& settings) {
  std::string keys = settings.keys.empty() ? kHostKeys : settings.keys;
  std::vector<MinisignPublicKey> trusted;
  if (settings.keys.empty() && !Exists(keys)) return trusted;
  for (const std::string& file : KeyFiles(keys)) {
    std::string text;
    if (!ReadWholeFile(file, text, kMostBytes)) Refuse(file, Why(errno));
    MinisignPublicKey key;
    if (std::string why = ReadPublicKey(text, key); !why.empty()) Refuse(file, why);
    trusted.push_back(key);
  }
  return trusted;
}

}  // namespace

std::string MediumSums::Relative(const std::string& path) const {
  if (!path.starts_with(top_ + "/")) return "";
  return path.substr(top_.size() + 1);
}

bool MediumSums::Lists(const std::string& path) const {
  return present_ && list_.contains(Relative(path));
}

std::string MediumSums::Check(const std::string& path, int fd) const {
  if (!present_) return "";
  auto listed = list_.find(Relative(path));
  if (listed == list_.end()) return std::string("not listed in ") + kSums;
  std::string hex;
  if (!Sha256OfFile(fd, hex)) return std::strerror(errno);
  if (hex != listed->second) return std::string("its checksum is not the one ") + kSums + " gives";
  return "";
}

void MediumSums::CheckIfListed(const std::string& path) const {
  if (!Lists(path)) return;
  int fd = OpenRegularFile(path);
  if (fd < 0) Refuse(path, Why(errno));
  std::string why = Check(path, fd);
  close(fd);
  if (!why.empty()) Refuse(path, why);
}

void MediumSums::CheckIfListed(const std::string& path, int fd) const {
  if (!Lists(path)) return;
  if (std::string why = Check(path, fd); !why.empty()) Refuse(path, why);
}

MediumSums TrustMedium(const std::string& dir, const Settings& settings) {
  const std::string& trust = settings.trust;
  if (!trust.empty() && trust != "signed" && trust != "sums") {
    Refuse("ZULTRUST", "\"" + trust + "\" is not a word it takes (signed, sums)");
  }
  std::string top = dir == "/" ? "" : dir;
  std::string sums_path = top + "/" + kSums, signature_path = top + "/" + kSignature;
  bool has_sums = Exists(sums_path), signed_medium = Exists(signature_path);
  if (!has_sums && signed_medium) Refuse(sums_path, std::strerror(ENOENT));
  if (!signed_medium && trust == "signed") Refuse(signature_path, "the medium is not signed");
  if (!has_sums && trust == "sums") Refuse(sums_path, "the medium has no checksums");
  if (!signed_medium && isatty(STDERR_FILENO) == 1) Notice("install: ", dir, ": not signed");
  if (!has_sums) return MediumSums();

  std::string text;
  if (!ReadWholeFile(sums_path, text, kMostBytes)) Refuse(sums_path, Why(errno));
  if (signed_medium) {
    std::string signature;
    if (!ReadWholeFile(signature_path, signature, kMostBytes)) Refuse(signature_path, Why(errno));
    std::vector<MinisignPublicKey> keys = TrustedKeys(settings);
    if (keys.empty()) Refuse(signature_path, "no key is trusted on this host");
    if (std::string why = CheckSignature(signature, text, keys); !why.empty()) {
      Refuse(signature_path, why);
    }
  }
  ChecksumList list;
  if (std::string why = ReadChecksumList(text, list); !why.empty()) Refuse(sums_path, why);
  for (const auto& [name, hex] : list) {
    if (!Exists(top + "/" + name)) Refuse(sums_path, name + ": no such file on the medium");
  }
  return MediumSums(top, std::move(list));
}
