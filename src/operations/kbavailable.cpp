#include "operations/kbavailable.hpp"

#include <sys/statvfs.h>
#include <unistd.h>

#include "common/textfile.hpp"

namespace {

unsigned long long FreeKilobytes(const struct statvfs& fs) {
  unsigned long long blocks = getuid() == 0 ? fs.f_bfree : fs.f_bavail;
  unsigned long long unit = fs.f_frsize != 0 ? fs.f_frsize : fs.f_bsize;
  // blocks * unit / 1024 exactly, without a product that could overflow.
  return blocks / 1024 * unit + blocks % 1024 * unit / 1024;
}

}  // namespace

unsigned long long KBAvailable(int dir_fd, const std::string& name) {
  struct statvfs fs;
  if (fstatvfs(dir_fd, &fs) != 0) DieFor(name);
  return FreeKilobytes(fs);
}
