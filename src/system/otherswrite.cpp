#include "system/otherswrite.hpp"

#include <unistd.h>

bool OthersCanWrite(const struct stat& st) {
  bool owned_by_another = st.st_uid != 0 && st.st_uid != geteuid();
  return owned_by_another || (st.st_mode & S_IWOTH) != 0 ||
         ((st.st_mode & S_IWGRP) != 0 && st.st_gid != 0);
}
