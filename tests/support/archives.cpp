#include "support/archives.hpp"

#include <gtest/gtest.h>

#include "support/process.hpp"

void MakeTarArchive(const std::string& archive, const std::string& from_dir,
                    const std::vector<std::string>& members, bool gzip) {
  std::vector<std::string> args = {gzip ? "czPf" : "cPf", archive, "-C", from_dir, "--"};
  args.insert(args.end(), members.begin(), members.end());
  RunResult r = RunBinary("/bin/tar", args, RunOptions{});
  ASSERT_EQ(r.status, 0) << r.err;
}
