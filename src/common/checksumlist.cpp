#include "common/checksumlist.hpp"

#include <cctype>

#include "common/entrypath.hpp"

namespace {

// `name` without sha256sum's escapes; false when one is not known.
bool Unescape(std::string& name) {
  std::string plain;
  for (size_t i = 0; i < name.size(); ++i) {
    if (name[i] != '\\') {
      plain += name[i];
      continue;
    }
    if (++i == name.size()) return false;
    char c = name[i];
    if (c != '\\' && c != 'n' && c != 'r') return false;
    plain += c == 'n' ? '\n' : c == 'r' ? '\r' : '\\';
  }
  name = std::move(plain);
  return true;
}

// Why the line is not "HEX  NAME" or "HEX *NAME"; empty when it is one.
std::string ReadLine(std::string_view line, bool escapes, std::string& hex, std::string& name) {
  // sha256sum writes a name with a backslash or a line end escaped, after
  // a leading backslash: no name on a medium needs that.
  bool escaped = line.starts_with('\\');
  if (escaped && !escapes) return "an escaped name";
  if (escaped) line.remove_prefix(1);
  if (line.size() < 66 || line[64] != ' ' || (line[65] != ' ' && line[65] != '*')) {
    return "not a checksum and a name";
  }
  hex.clear();
  for (char c : line.substr(0, 64)) {
    if (!std::isxdigit(static_cast<unsigned char>(c))) return "not a checksum and a name";
    hex += static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  }
  name = line.substr(66);
  if (escaped && !Unescape(name)) return "an escape that is not one";
  if (name.empty()) return "no name";
  if (name.starts_with('/') || HasDotDot(name))
    return "the name " + name + " leads out of the medium";
  return "";
}

}  // namespace

std::string ReadChecksumLine(std::string_view line, bool escapes, std::string& hex,
                             std::string& name) {
  return ReadLine(line, escapes, hex, name);
}

std::string ReadChecksumList(std::string_view text, ChecksumList& list, bool escapes) {
  list.clear();
  size_t number = 0;
  while (!text.empty()) {
    ++number;
    size_t end = text.find('\n');
    std::string_view line = text.substr(0, end);
    text.remove_prefix(end == std::string_view::npos ? text.size() : end + 1);
    // A comment, which sha256sum passes over too.
    if (line.starts_with('#')) continue;
    std::string hex, name;
    std::string why = ReadLine(line, escapes, hex, name);
    if (why.empty() && !list.emplace(name, hex).second)
      why = "the name " + name + " is given twice";
    if (!why.empty()) return "line " + std::to_string(number) + ": " + why;
  }
  return "";
}

void AppendChecksumLine(std::string& out, std::string_view hex, std::string_view name) {
  bool escaped = name.find_first_of("\\\n\r") != std::string_view::npos;
  if (escaped) out += '\\';
  out.append(hex);
  out += "  ";
  if (!escaped) {
    out.append(name);
  } else {
    for (char c : name) {
      if (c == '\\') {
        out += "\\\\";
      } else if (c == '\n') {
        out += "\\n";
      } else if (c == '\r') {
        out += "\\r";
      } else {
        out += c;
      }
    }
  }
  out += '\n';
}

std::string ChecksumLine(std::string_view hex, std::string_view name) {
  std::string line;
  AppendChecksumLine(line, hex, name);
  return line;
}

std::string ChecksumListText(const ChecksumList& list) {
  std::string text;
  for (const auto& [name, hex] : list) AppendChecksumLine(text, hex, name);
  return text;
}
