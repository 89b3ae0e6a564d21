#include "common/checksumlist.hpp"

#include <cctype>

#include "common/entrypath.hpp"

namespace {

// Why the line is not "HEX  NAME" or "HEX *NAME"; empty when it is one.
std::string ReadLine(std::string_view line, std::string& hex, std::string& name) {
  // sha256sum writes a name with a backslash or a line end escaped, after
  // a leading backslash: no name on a medium needs that.
  if (line.starts_with('\\')) return "an escaped name";
  if (line.size() < 66 || line[64] != ' ' || (line[65] != ' ' && line[65] != '*')) {
    return "not a checksum and a name";
  }
  hex.clear();
  for (char c : line.substr(0, 64)) {
    if (!std::isxdigit(static_cast<unsigned char>(c))) return "not a checksum and a name";
    hex += static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  }
  name = line.substr(66);
  if (name.empty()) return "no name";
  if (name.starts_with('/') || HasDotDot(name))
    return "the name " + name + " leads out of the medium";
  return "";
}

}  // namespace

std::string ReadChecksumList(std::string_view text, ChecksumList& list) {
  list.clear();
  size_t number = 0;
  while (!text.empty()) {
    ++number;
    size_t end = text.find('\n');
    std::string_view line = text.substr(0, end);
    text.remove_prefix(end == std::string_view::npos ? text.size() : end + 1);
    std::string hex, name;
    std::string why = ReadLine(line, hex, name);
    if (why.empty() && !list.emplace(name, hex).second)
      why = "the name " + name + " is given twice";
    if (!why.empty()) return "line " + std::to_string(number) + ": " + why;
  }
  return "";
}

std::string ChecksumListText(const ChecksumList& list) {
  std::string text;
  for (const auto& [name, hex] : list) text += hex + "  " + name + "\n";
  return text;
}
