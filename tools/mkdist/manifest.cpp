#include "manifest.hpp"

#include <cctype>

#include "common/entrypath.hpp"

namespace {

bool IsBlank(char c) { return c == ' ' || c == '\t'; }

bool IsControl(char c) {
  unsigned char u = static_cast<unsigned char>(c);
  return u < 0x20 || u == 0x7f;
}

bool HasControl(const std::string& text) {
  for (char c : text) {
    if (IsControl(c)) return true;
  }
  return false;
}

// Splits off the first word of `rest` (which then holds what follows it,
// without the blanks in between).
std::string NextWord(std::string& rest) {
  size_t end = 0;
  while (end < rest.size() && !IsBlank(rest[end])) ++end;
  std::string word = rest.substr(0, end);
  while (end < rest.size() && IsBlank(rest[end])) ++end;
  rest.erase(0, end);
  return word;
}

std::string Trimmed(const std::string& line) {
  size_t begin = 0, end = line.size();
  while (begin < end && IsBlank(line[begin])) ++begin;
  while (end > begin && (IsBlank(line[end - 1]) || line[end - 1] == '\r')) --end;
  return line.substr(begin, end - begin);
}

bool IsArchiveCode(const std::string& code) {
  return code.size() == 2 && std::isalnum(static_cast<unsigned char>(code[0])) &&
         std::isalnum(static_cast<unsigned char>(code[1]));
}

class Parser {
 public:
  explicit Parser(Diagnostics& diagnostics) : diagnostics_(diagnostics) {}

  void Line(int number, const std::string& raw) {
    line_ = number;
    std::string rest = Trimmed(raw);
    if (rest.empty() || rest[0] == '#') return;
    std::string keyword = NextWord(rest);
    if (keyword == "heading") {
      Heading(rest);
    } else if (keyword == "category") {
      Category(rest);
    } else if (keyword == "package") {
      Package(rest);
    } else if (keyword == "path") {
      Path(rest);
    } else {
      Error("unknown keyword \"" + keyword + "\" (expected heading, category, package or path)");
    }
  }

  Manifest Finish() {
    if (!seen_heading_) diagnostics_.Whole("no heading line");
    if (manifest_.categories.empty()) diagnostics_.Whole("no category");
    if (ManifestPackage* last = CurrentPackage()) CheckHasPaths(*last);
    return std::move(manifest_);
  }

 private:
  void Error(const std::string& text) { diagnostics_.At(line_, text); }

  ManifestCategory* CurrentCategory() {
    return manifest_.categories.empty() ? nullptr : &manifest_.categories.back();
  }
  ManifestPackage* CurrentPackage() {
    ManifestCategory* category = CurrentCategory();
    return category && !category->packages.empty() ? &category->packages.back() : nullptr;
  }

  void CheckHasPaths(const ManifestPackage& package) {
    if (package.paths.empty()) diagnostics_.At(package.line, "package has no path");
  }

  void Heading(const std::string& text) {
    if (seen_heading_) return Error("second heading line");
    if (!manifest_.categories.empty())
      return Error("the heading must come before the first category");
    if (text.empty()) return Error("heading without text");
    if (HasControl(text)) return Error("tab or control character in the heading");
    seen_heading_ = true;
    manifest_.heading = text;
  }

  void Category(std::string rest) {
    std::string default_answer = NextWord(rest);
    if (default_answer != "all" && default_answer != "none") {
      return Error("category needs \"all\" or \"none\" and then its title");
    }
    if (rest.empty()) return Error("category without title");
    if (HasControl(rest)) return Error("tab or control character in the category title");
    if (ManifestPackage* last = CurrentPackage()) CheckHasPaths(*last);
    if (static_cast<int>(manifest_.categories.size()) == kMaxCategories) {
      if (!reported_too_many_) {
        Error("more than " + std::to_string(kMaxCategories) + " categories");
        reported_too_many_ = true;
      }
    }
    manifest_.categories.push_back({default_answer == "all", rest, line_, {}});
  }

  void Package(std::string rest) {
    ManifestCategory* category = CurrentCategory();
    if (!category) return Error("package before the first category");
    std::string kind = NextWord(rest);
    if (kind != "required" && kind != "optional") {
      return Error("package needs \"required\" or \"optional\", an archive code and a description");
    }
    std::string code = NextWord(rest);
    if (!IsArchiveCode(code)) {
      return Error("archive code \"" + code + "\" is not two letters or digits");
    }
    if (rest.empty()) return Error("package without description");
    if (HasControl(rest)) return Error("tab or control character in the description");
    if (rest.size() > kDescriptionWidth) {
      return Error("description is " + std::to_string(rest.size()) + " characters long, at most " +
                   std::to_string(kDescriptionWidth) + " fit");
    }
    if (ManifestPackage* last = CurrentPackage()) {
      CheckHasPaths(*last);
      // The installer takes two such packages in a row for one.
      if (last->required == (kind == "required") && last->description == rest) {
        Error("same kind and description as the package on line " + std::to_string(last->line) +
              "; the installer would take both for one package");
      }
    }
    category->packages.push_back({kind == "required", code, rest, line_, {}});
  }

  void Path(std::string rest) {
    ManifestPackage* package = CurrentPackage();
    if (!package) return Error("path before the first package");
    if (rest.empty()) return Error("path without a name");
    std::string problem = PathProblem(rest);
    if (!problem.empty()) return Error("path \"" + rest + "\" " + problem);
    package->paths.push_back({rest, line_});
  }

  Diagnostics& diagnostics_;
  Manifest manifest_;
  int line_ = 0;
  bool seen_heading_ = false;
  bool reported_too_many_ = false;
};

}  // namespace

Manifest ParseManifest(std::istream& in, Diagnostics& diagnostics) {
  Parser parser(diagnostics);
  std::string line;
  for (int number = 1; std::getline(in, line); ++number) parser.Line(number, line);
  return parser.Finish();
}

std::string PathProblem(std::string& path) {
  path = std::string(WithoutTrailingSlashes(path));
  for (char c : path) {
    if (IsBlank(c)) return "holds a blank or tab";
    if (IsControl(c)) return "holds a control character";
  }
  if (path.empty()) return "is empty";
  if (path[0] == '/') return "is absolute";
  size_t begin = 0;
  while (begin <= path.size()) {
    size_t end = path.find('/', begin);
    if (end == std::string::npos) end = path.size();
    std::string component = path.substr(begin, end - begin);
    if (component.empty()) return "has an empty component";
    if (component == ".") return "has a \".\" component";
    if (component == "..") return "has a \"..\" component";
    begin = end + 1;
  }
  return "";
}
