#include "mediumrecord.hpp"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <filesystem>

#include "common/checksumlist.hpp"
#include "common/minisign.hpp"
#include "common/sha256.hpp"
#include "common/textfile.hpp"

namespace {

namespace fs = std::filesystem;

// Writes `text` into the new file `path` with `mode`; errno when false.
bool WriteNewFile(const std::string& path, const std::string& text, mode_t mode) {
  int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, mode);
  if (fd < 0) return false;
  bool ok = write(fd, text.data(), text.size()) == static_cast<ssize_t>(text.size()) &&
            fchmod(fd, mode) == 0 && fsync(fd) == 0;
  int error = errno;
  ok = close(fd) == 0 && ok;
  if (!ok) errno = error;
  return ok;
}

// When the medium was made: SOURCE_DATE_EPOCH where it is set (the
// convention of reproducible builds: rebuilds from the same sources are
// byte-identical), else now.
std::time_t MadeAt() {
  const char* epoch = std::getenv("SOURCE_DATE_EPOCH");
  if (epoch && *epoch) {
    char* end = nullptr;
    long long seconds = std::strtoll(epoch, &end, 10);
    if (*end == '\0' && seconds >= 0) return static_cast<std::time_t>(seconds);
  }
  return std::time(nullptr);
}

std::string UtcText(std::time_t at) {
  std::tm utc;
  gmtime_r(&at, &utc);
  char text[32];
  std::strftime(text, sizeof text, "%Y-%m-%dT%H:%M:%SZ", &utc);
  return text;
}

// Every file below `dir`, by its name relative to it, with its SHA-256.
bool ListFiles(const std::string& dir, ChecksumList& list, std::string& why) {
  std::error_code error;
  for (auto it = fs::recursive_directory_iterator(dir, error); !error && it != fs::end(it);
       it.increment(error)) {
    if (!it->is_regular_file(error)) continue;
    int fd = open(it->path().c_str(), O_RDONLY | O_CLOEXEC);
    std::string hex;
    bool hashed = fd >= 0 && Sha256OfFile(fd, hex);
    if (fd >= 0) close(fd);
    if (!hashed) {
      why = it->path().string() + ": " + std::strerror(errno);
      return false;
    }
    list.emplace(it->path().lexically_relative(dir).string(), hex);
  }
  if (error) why = dir + ": " + error.message();
  return !error;
}

}  // namespace

bool WriteMediumRecord(const std::string& dir, const MediumRecord& record,
                       Diagnostics& diagnostics) {
  auto fail = [&](const std::string& why) {
    diagnostics.Plain("mkdist: " + why);
    return false;
  };
  MinisignSecretKey key;
  if (!record.secret_key.empty()) {
    std::string text;
    if (!ReadWholeFile(record.secret_key, text)) {
      return fail(record.secret_key + ": " +
                  (errno != 0 ? std::strerror(errno) : "not a regular file"));
    }
    if (std::string why = ReadSecretKey(text, key); !why.empty()) {
      return fail(record.secret_key + ": " + why);
    }
  }
  std::time_t made = MadeAt();
  std::string medium = "title: " + record.title + "\nmade: " + UtcText(made) +
                       "\nmkdist: " INSTALL_VERSION "\ninstaller: " +
                       (record.installer_version.empty() ? "none" : record.installer_version) +
                       "\n";
  if (!WriteNewFile(dir + "/MEDIUM", medium, 0644)) {
    return fail(dir + "/MEDIUM: " + std::strerror(errno));
  }
  ChecksumList list;
  std::string why;
  if (!ListFiles(dir, list, why)) return fail(why);
  std::string sums = ChecksumListText(list);
  if (!WriteNewFile(dir + "/SHA256SUMS", sums, 0644)) {
    return fail(dir + "/SHA256SUMS: " + std::strerror(errno));
  }
  if (record.secret_key.empty()) return true;
  std::string comment = "timestamp:" + std::to_string(made) + "\tfile:SHA256SUMS\thashed";
  if (!WriteNewFile(dir + "/SHA256SUMS.minisig", SignatureText(key, sums, comment), 0644)) {
    return fail(dir + "/SHA256SUMS.minisig: " + std::strerror(errno));
  }
  return true;
}

std::string MakeKeyFiles(const std::string& base) {
  MinisignPublicKey public_key;
  MinisignSecretKey secret_key;
  MakeKeyPair(public_key, secret_key);
  for (const auto& [path, text, mode] :
       {std::tuple{base + ".key", SecretKeyText(secret_key), mode_t{0600}},
        std::tuple{base + ".pub", PublicKeyText(public_key), mode_t{0644}}}) {
    if (!WriteNewFile(path, text, mode)) return path + ": " + std::strerror(errno);
  }
  return "";
}
