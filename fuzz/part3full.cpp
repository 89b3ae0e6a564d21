// Path expansion with the base directory ($ZULPWD) and $HOME taken from
// the input: "flags zulpwd NUL home NUL path".
#include "session/part3full.hpp"

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <map>
#include <memory>
#include <string>

#include "support.hpp"

namespace {

std::string_view NextPart(std::string_view& rest) {
  size_t end = rest.find('\0');
  std::string_view part = rest.substr(0, end);
  rest.remove_prefix(end == std::string_view::npos ? rest.size() : end + 1);
  return part;
}

// setenv keeps every value it was ever given, which a long run would feel;
// putenv takes a string that stays ours and can go once it is replaced.
void SetOrUnset(const char* name, bool set, std::string_view value) {
  static std::map<std::string, std::unique_ptr<std::string>> entries;
  std::unique_ptr<std::string>& entry = entries[name];
  if (set) {
    auto next = std::make_unique<std::string>(std::string(name) + "=" + std::string(value));
    putenv(next->data());
    entry = std::move(next);
  } else {
    unsetenv(name);
    entry.reset();
  }
}

bool BeginsWith(std::string_view s, std::string_view prefix) {
  return s.substr(0, prefix.size()) == prefix;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size == 0) return 0;
  std::string_view rest(reinterpret_cast<const char*>(data) + 1, size - 1);
  std::string_view zulpwd = NextPart(rest);
  std::string_view home = NextPart(rest);
  std::string path(NextPart(rest));
  bool base_is_set = data[0] & 1;
  SetOrUnset("ZULPWD", base_is_set, zulpwd);
  SetOrUnset("HOME", data[0] & 2, home);

  std::string result = part3full(path);
  // An absolute path, or none, comes back as it is.
  if ((path.empty() || path[0] == '/') && result != path) Finding("absolute path changed");
  // Climbing from an absolute base stops at the root and stays absolute.
  bool absolute_base = base_is_set && BeginsWith(zulpwd, "/");
  if (absolute_base && (BeginsWith(path, "../") || path == ".." || path == ".") &&
      !BeginsWith(result, "/")) {
    Finding("expansion left the root");
  }
  return 0;
}
