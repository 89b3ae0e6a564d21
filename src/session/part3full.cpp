#include "session/part3full.hpp"

#include <pwd.h>
#include <unistd.h>

#include "common/currentdirectory.hpp"

namespace {

// The base directory without trailing '/', so that the root is the empty
// text and every join below adds exactly one '/'.
std::string BaseDirectory(const Settings& settings) {
  std::string base = settings.pwd ? *settings.pwd : CurrentDirectory();
  while (!base.empty() && base.back() == '/') base.pop_back();
  return base;
}

bool BeginsWith(const std::string& s, const char* prefix) { return s.rfind(prefix, 0) == 0; }

// Drops the last `levels` components of `base`; climbing past the root
// stops at the root.
std::string CutLevels(std::string base, int levels) {
  for (int i = 0; i < levels; ++i) {
    size_t slash = base.rfind('/');
    if (slash == std::string::npos) return "";
    base.erase(slash);
  }
  return base;
}

std::string RootIfEmpty(const std::string& path) { return path.empty() ? "/" : path; }

std::string ParentChain(const std::string& input, const std::string& base) {
  int levels = 0;
  size_t pos = 0;
  while (input.compare(pos, 3, "../") == 0) {
    ++levels;
    pos += 3;
  }
  std::string rest = input.substr(pos);
  std::string tail = "/" + rest;
  if (rest == "..") {
    ++levels;
    tail = "";
  }
  return RootIfEmpty(CutLevels(base, levels) + tail);
}

std::string Tilde(const std::string& input, const Settings& settings) {
  if (input == "~") return settings.home ? *settings.home : input;
  size_t slash = input.find('/');
  std::string user = input.substr(1, slash == std::string::npos ? std::string::npos : slash - 1);
  struct passwd* entry = getpwnam(user.c_str());
  if (!entry) return input;
  std::string result = entry->pw_dir;
  if (slash != std::string::npos) result += input.substr(slash);
  return result;
}

}  // namespace

std::string part3full(const std::string& input, const Settings& settings) {
  // The current directory is looked up only for a form that needs it.
  auto base = [&] { return BaseDirectory(settings); };
  if (BeginsWith(input, "./")) return base() + input.substr(1);
  if (input.find('/') != std::string::npos && input[0] != '.' && input[0] != '~' &&
      input[0] != '/') {
    return base() + "/" + input;
  }
  if (BeginsWith(input, "../")) return ParentChain(input, base());
  if (BeginsWith(input, "~/")) return settings.home ? *settings.home + input.substr(1) : input;
  if (BeginsWith(input, "~")) return Tilde(input, settings);
  if (input == "..") return RootIfEmpty(CutLevels(base(), 1));
  // A name such as "..x" is a file of the base directory, not its parent.
  if (BeginsWith(input, "..")) return base() + "/" + input;
  if (input == ".") return RootIfEmpty(base());
  return input;
}
