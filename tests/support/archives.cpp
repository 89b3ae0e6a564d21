#include "support/archives.hpp"

#include <gtest/gtest.h>

#include <cstdio>

#include "support/process.hpp"
#include "support/tempdir.hpp"

void MakeTarArchive(const std::string& archive, const std::string& from_dir,
                    const std::vector<std::string>& members, bool gzip) {
  std::vector<std::string> args = {gzip ? "czPf" : "cPf", archive, "-C", from_dir, "--"};
  args.insert(args.end(), members.begin(), members.end());
  RunResult r = RunBinary("/bin/tar", args, RunOptions{});
  ASSERT_EQ(r.status, 0) << r.err;
}

void PatchHeader(const std::string& archive, size_t header, size_t field,
                 const std::string& bytes) {
  std::string data = ReadFile(archive);
  ASSERT_LE(header + 512, data.size());
  data.replace(header + field, bytes.size(), bytes);
  // The checksum sums the block with its own field taken as blanks.
  constexpr size_t kChecksum = 148;
  data.replace(header + kChecksum, 8, 8, ' ');
  unsigned sum = 0;
  for (size_t i = 0; i < 512; ++i) sum += static_cast<unsigned char>(data[header + i]);
  char field_text[9];
  std::snprintf(field_text, sizeof field_text, "%06o", sum);
  data.replace(header + kChecksum, 8, std::string(field_text, 6) + std::string("\0 ", 2));
  WriteFile(archive, data);
}

std::string Gzipped(const std::string& data) {
  RunOptions options;
  options.input = data;
  RunResult r = RunBinary("/bin/gzip", {"-c"}, options);
  EXPECT_EQ(r.status, 0) << r.err;
  return r.out;
}
