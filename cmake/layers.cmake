# The folders of src/ are layers, from the bottom up; each is one library
# (install_FOLDER) that links only the ones below it. Its headers are
# reachable only through an include root of its own (the folder under its
# name), so that a unit that includes a header of a higher folder does not
# compile. The installer's build and the fuzz build both take them from here.
#
# INSTALL_ROOT must name the project's root folder.
set(INSTALL_LAYERS common system messages session toc operations loading driver)
set(layer_below "")
foreach(layer IN LISTS INSTALL_LAYERS)
  file(GLOB layer_sources CONFIGURE_DEPENDS ${INSTALL_ROOT}/src/${layer}/*.cpp)
  list(REMOVE_ITEM layer_sources ${INSTALL_ROOT}/src/driver/main.cpp)
  set(root ${CMAKE_BINARY_DIR}/layers/${layer})
  file(MAKE_DIRECTORY ${root})
  file(CREATE_LINK ${INSTALL_ROOT}/src/${layer} ${root}/${layer} SYMBOLIC)
  add_library(install_${layer} STATIC ${layer_sources})
  target_include_directories(install_${layer} PUBLIC ${root})
  if(layer_below)
    target_link_libraries(install_${layer} PUBLIC ${layer_below})
  endif()
  set(layer_below install_${layer})
endforeach()

# The next archive is listed in a thread while tar extracts the one before.
find_package(Threads REQUIRED)
target_link_libraries(install_loading PUBLIC Threads::Threads)

# Signatures (BLAKE2b, Ed25519) are libsodium's, and SHA-256 is OpenSSL's,
# which uses the processor's SHA instructions (every archive of a load is
# hashed on its way); both linked in like libseccomp.
find_library(SODIUM_STATIC NAMES libsodium.a REQUIRED)
find_library(CRYPTO_STATIC NAMES libcrypto.a REQUIRED)
target_link_libraries(install_common PUBLIC ${SODIUM_STATIC} ${CRYPTO_STATIC})

# The filter of the system calls a child never makes is written by
# libseccomp, linked in: the installer on a medium needs only the C library.
find_library(SECCOMP_STATIC NAMES libseccomp.a REQUIRED)
target_link_libraries(install_system PUBLIC ${SECCOMP_STATIC})

# The report of a run (ZULREPORT) is JSON, written by a header-only library.
find_package(nlohmann_json 3 REQUIRED)
target_link_libraries(install_session PRIVATE nlohmann_json::nlohmann_json)
