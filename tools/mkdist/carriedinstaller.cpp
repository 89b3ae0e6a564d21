#include "carriedinstaller.hpp"

#include <cctype>
#include <filesystem>
#include <fstream>
#include <iterator>

std::string DefaultInstaller() {
  std::error_code error;
  std::filesystem::path self = std::filesystem::read_symlink("/proc/self/exe", error);
  if (error || self.empty()) return "";
  return (self.parent_path() / INSTALLER_FROM_MKDIST).lexically_normal().string();
}

std::string InstallerVersion(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::string data((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  const std::string marker = INSTALL_VERSION_MARK "install ";
  size_t at = data.find(marker);
  if (at == std::string::npos) return "";
  // The marker is followed by "x.y.z" and the string's terminating NUL.
  size_t begin = at + marker.size(), end = begin;
  while (end < data.size() && end - begin < 32 &&
         (std::isalnum(static_cast<unsigned char>(data[end])) || data[end] == '.' ||
          data[end] == '-' || data[end] == '+' || data[end] == '~')) {
    ++end;
  }
  if (end == begin || end == data.size() || data[end] != '\0') return "";
  return data.substr(begin, end - begin);
}
