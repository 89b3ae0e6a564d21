// The question sequence: mount point, installation directory, categories.
#pragma once

#include "driver/runstate.hpp"

// Asks for the mount point until one is accepted; sets the distribution
// directory and the table of contents.
void AskMountPoint(RunState& state);

// Asks for the installation directory. False when the operator stepped back
// to the mount point.
bool AskInstallDirectory(RunState& state);

// Asks every category in turn, collecting the choices in PAK. False when the
// operator stepped back from the first category.
bool AskCategories(const RunState& state);
