#include "system/otherswrite.hpp"

bool OthersCanWrite(const struct stat& st) {
  return st.st_uid != 0 || (st.st_mode & S_IWOTH) != 0 ||
         ((st.st_mode & S_IWGRP) != 0 && st.st_gid != 0);
}
