// Makes the staging trees of the benchmarks quickly.
//
//   mktree files ROOT DIRS PER_DIR SIZE   ROOT/dNNNN/fNNNNN, SIZE bytes each
//   mktree dirs ROOT OUTER INNER          ROOT/aNNNN/bNNNN, empty
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

namespace {

void Die(const std::string& what) {
  std::perror(what.c_str());
  std::exit(1);
}

void MakeDir(const std::string& path) {
  if (mkdir(path.c_str(), 0755) != 0) Die(path);
}

std::string Name(char letter, long n, int width) {
  char buffer[32];
  std::snprintf(buffer, sizeof buffer, "%c%0*ld", letter, width, n);
  return buffer;
}

void Files(const std::string& root, long dirs, long per_dir, long size) {
  std::vector<char> content(static_cast<size_t>(size));
  // Varied bytes, so that compressed archives are not trivially small.
  unsigned state = 12345;
  for (char& c : content) {
    state = state * 1103515245u + 12345u;
    c = static_cast<char>('a' + (state >> 16) % 26);
  }
  MakeDir(root);
  for (long d = 0; d < dirs; ++d) {
    std::string dir = root + "/" + Name('d', d, 4);
    MakeDir(dir);
    for (long f = 0; f < per_dir; ++f) {
      std::string path = dir + "/" + Name('f', f, 5);
      int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL, 0644);
      if (fd < 0) Die(path);
      if (size > 0) {
        // A different first byte per file.
        content[0] = static_cast<char>('A' + (d * per_dir + f) % 26);
        if (write(fd, content.data(), content.size()) != static_cast<ssize_t>(content.size())) {
          Die(path);
        }
      }
      close(fd);
    }
  }
}

void Dirs(const std::string& root, long outer, long inner) {
  MakeDir(root);
  for (long a = 0; a < outer; ++a) {
    std::string dir = root + "/" + Name('a', a, 4);
    MakeDir(dir);
    for (long b = 0; b < inner; ++b) MakeDir(dir + "/" + Name('b', b, 4));
  }
}

}  // namespace

int main(int argc, char** argv) {
  if (argc == 6 && !std::strcmp(argv[1], "files")) {
    Files(argv[2], std::atol(argv[3]), std::atol(argv[4]), std::atol(argv[5]));
  } else if (argc == 5 && !std::strcmp(argv[1], "dirs")) {
    Dirs(argv[2], std::atol(argv[3]), std::atol(argv[4]));
  } else {
    std::fprintf(stderr,
                 "usage: mktree files ROOT DIRS PER_DIR SIZE | mktree dirs ROOT OUTER INNER\n");
    return 2;
  }
  return 0;
}
