#include "system/programs.hpp"

#include <limits.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <memory>

#include "system/trustedpath.hpp"

namespace {

// `path` with every link and dot resolved; empty when it does not exist.
std::string Real(const std::string& path) {
  std::unique_ptr<char, decltype(&std::free)> real(realpath(path.c_str(), nullptr), &std::free);
  return real ? std::string(real.get()) : std::string();
}

bool AtOrBelow(const std::string& path, const std::string& dir) {
  if (dir == "/") return true;
  return path == dir || (path.starts_with(dir) && path[dir.size()] == '/');
}

std::string FolderOf(const std::string& path) {
  size_t slash = path.rfind('/');
  return slash == 0 ? "/" : path.substr(0, slash);
}

// Whether only root and the running user decide what `path` names, on the
// way to it and at its end.
bool Trusted(const std::string& path) {
  Untrusted untrusted;
  return IsTrustedPath(path, untrusted);
}

}  // namespace

std::vector<std::string> Programs::Environment(bool c_locale) const {
  std::string path = "PATH=";
  for (const std::string& folder : folders) {
    path += (path.size() > 5 ? ":" : "") + folder;
  }
  std::vector<std::string> environment = {path};
  if (c_locale) {
    environment.emplace_back("LC_ALL=C");
    return environment;
  }
  environment.insert(environment.end(), locale.begin(), locale.end());
  return environment;
}

std::optional<std::string> FindProgram(std::string_view name, std::string_view path_variable,
                                       const std::vector<std::string>& untrusted) {
  std::vector<std::string> refused;
  for (const std::string& dir : untrusted) {
    std::string real = Real(dir);
    refused.push_back(real.empty() ? dir : real);
  }
  auto trusted = [&](const std::string& real) {
    return std::none_of(refused.begin(), refused.end(),
                        [&](const std::string& dir) { return AtOrBelow(real, dir); });
  };
  size_t start = 0;
  while (start <= path_variable.size()) {
    size_t end = std::min(path_variable.find(':', start), path_variable.size());
    std::string entry(path_variable.substr(start, end - start));
    start = end + 1;
    if (entry.empty() || entry[0] != '/') continue;
    std::string candidate = entry + "/" + std::string(name);
    std::string real = Real(candidate), real_entry = Real(entry);
    struct stat st;
    if (real.empty() || stat(real.c_str(), &st) != 0 || !S_ISREG(st.st_mode) ||
        access(real.c_str(), X_OK) != 0) {
      continue;
    }
    if (!trusted(real) || !trusted(real_entry) || !Trusted(candidate)) continue;
    return candidate;
  }
  return std::nullopt;
}

bool FindPrograms(bool compressed, const std::vector<std::string>& untrusted,
                  const Settings& settings, Programs& programs) {
  programs.locale = settings.locale;
  std::vector<std::string> used = {programs.tar, programs.rm};
  if (compressed) {
    std::optional<std::string> gunzip = FindProgram("gunzip", settings.path, untrusted);
    if (!gunzip) return false;
    programs.gunzip = *gunzip;
    used.push_back(*gunzip);
  }
  programs.folders.clear();
  for (const std::string& program : used) {
    std::string folder = FolderOf(program);
    if (std::find(programs.folders.begin(), programs.folders.end(), folder) ==
        programs.folders.end()) {
      programs.folders.push_back(folder);
    }
  }
  return true;
}
