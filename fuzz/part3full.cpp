// Path expansion with the base directory (ZULPWD) and HOME taken from
// the input: "flags zulpwd NUL home NUL path".
#include "session/part3full.hpp"

#include <cstddef>
#include <cstdint>
#include <string>

#include "support.hpp"

namespace {

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
  Settings settings;
  if (base_is_set) settings.pwd = std::string(zulpwd);
  if (data[0] & 2) settings.home = std::string(home);

  std::string result = part3full(path, settings);
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
