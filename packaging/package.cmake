# The Debian package and a tar archive of the same tree (make package, or
# cpack in the build directory).
set(CPACK_GENERATOR "DEB;TGZ")
set(CPACK_PACKAGE_NAME ${PROJECT_NAME})
set(CPACK_PACKAGE_VENDOR "the install developers")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "console installer for software distribution media")
string(CONCAT CPACK_PACKAGE_DESCRIPTION
  "A console installer for software distribution media, and mkdist, which builds\n"
  "such media. A medium holds a table of contents, tar archives and message\n"
  "catalogues. The installer asks an operator which packages to load, verify or\n"
  "remove, and unpacks them in a private mount namespace under Landlock.\n"
  "\n"
  "mkdist is installed on the PATH. The installer lives in\n"
  "/usr/libexec/install/install, where it does not shadow install(1), and\n"
  "mkdist --installer copies it onto the media it builds. It needs only the\n"
  "C library, so that it runs from a medium on a bare target machine.")
set(CPACK_PACKAGE_CONTACT "install maintainers <maintainers@example.org>"
    CACHE STRING "The package's maintainer, as Name <address>")
set(CPACK_STRIP_FILES ON)
set(CPACK_RESOURCE_FILE_LICENSE ${CMAKE_SOURCE_DIR}/LICENSE)
set(CPACK_SOURCE_IGNORE_FILES "/build[^/]*/" "/\\\\.git/")

# dpkg-shlibdeps (dpkg-dev) computes Depends from the binaries. tar and gzip
# are essential; tar needs --verbatim-files-from, which came with 1.29.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_DEPENDS "tar (>= 1.29)")
set(CPACK_DEBIAN_PACKAGE_SECTION admin)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
set(CPACK_PRE_BUILD_SCRIPTS ${CMAKE_SOURCE_DIR}/packaging/keys-directory.cmake)
include(CPack)
