// Loading: the chosen entries extracted by tar from the archives of the medium.
#pragma once

#include <string>

#include "common/settings.hpp"
#include "operations/installtarget.hpp"
#include "operations/listfiles.hpp"
#include "operations/mediumtrust.hpp"
#include "operations/receipt.hpp"

// Extracts every entry of `pak` from the archives in `dist` into the
// installation directory `target`: one tar process per run of lines with
// one archive code, as `settings` ask (confinement, jobs, progress). Every
// archive is checked before the first is extracted, and before its members
// are listed against the medium's checksums `sums`. A missing archive or a
// failed batch prints message 59 and ends the run with status 1. With a
// `receipt` place, the receipt of the load is written from `toc` (the table
// of contents) before anything is extracted.
void RunTAR(const std::string& dist, const std::string& toc, const std::string& pak, int variant,
            ListFiles list_files, const InstallTarget& target, const Settings& settings,
            const MediumSums& sums, const ReceiptPlace& receipt = {});
