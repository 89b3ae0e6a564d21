// The batches of a load gathered into tar runs. A batch is a run of lines
// of the table of contents with one archive code; when an archive comes
// back in later runs of lines, its batches can go to one tar run, which
// reads the archive once instead of once a batch.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

#include "loading/footprint.hpp"

// One judged batch: its archive code, what it touches, and whether tar is
// known to fail on it.
struct JudgedBatch {
  std::string code;
  Footprint footprint;  // sealed
  bool fails = false;
};

// The batches (indices into `batches`, in the order of the table of
// contents) of each tar run, runs in the order they are extracted. A batch
// joins the run its archive began before it when no batch between them
// that now comes after that run touches a place it touches, and neither it
// nor any batch between is known to fail: the tree is then the one that
// one batch after another leaves.
std::vector<std::vector<size_t>> GatherRuns(const std::vector<JudgedBatch>& batches);
