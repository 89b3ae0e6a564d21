# Run by cpack once the tree of the package is staged: the folder of trusted
# keys the installer reads when ZULKEYS is not set, made empty in the
# package. It lies outside the installation prefix (the installer always
# reads /etc/install/keys), so it is made here, for the packages only, and
# `cmake --install` to another prefix never writes in /etc.
if(CPACK_GENERATOR STREQUAL "DEB")
  file(MAKE_DIRECTORY "${CPACK_TEMPORARY_INSTALL_DIRECTORY}/etc/install/keys")
endif()
