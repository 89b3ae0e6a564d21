// The plain tool for verification: stat(2) on every path of a list (one a
// line, relative to the current directory), in one process. Prints how
// many are missing.
#include <sys/stat.h>

#include <cstdio>
#include <cstdlib>

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: statloop LIST\n");
    return 2;
  }
  std::FILE* list = std::fopen(argv[1], "r");
  if (!list) {
    std::perror(argv[1]);
    return 1;
  }
  char* line = nullptr;
  size_t size = 0;
  ssize_t length;
  long missing = 0;
  struct stat st;
  while ((length = getline(&line, &size, list)) > 0) {
    if (line[length - 1] == '\n') line[length - 1] = '\0';
    if (stat(line, &st) != 0) ++missing;
  }
  std::free(line);
  std::fclose(list);
  std::printf("%ld\n", missing);
  return 0;
}
