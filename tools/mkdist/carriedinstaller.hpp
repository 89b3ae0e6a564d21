// The installer that a medium carries: where mkdist takes it from when no
// path is given, and which version it is.
#pragma once

#include <string>

// The installer installed beside mkdist (its place relative to mkdist's own
// directory), so that an installation under any prefix, or a package
// unpacked anywhere, uses its own. The path, whether or not it exists;
// empty when mkdist cannot tell where it is itself.
std::string DefaultInstaller();

// The version the installer in `path` carries behind its marker ("install
// x.y.z"), read from the file without running it; empty when the file
// holds none (an older installer, or another program).
std::string InstallerVersion(const std::string& path);
