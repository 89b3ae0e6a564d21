// Gives an in-process unit under test a prepared standard input and
// collects its standard output.
#pragma once

#include <string>

class StdioCapture {
 public:
  explicit StdioCapture(const std::string& input = "");
  ~StdioCapture();
  StdioCapture(const StdioCapture&) = delete;
  StdioCapture& operator=(const StdioCapture&) = delete;

  // Everything printed so far.
  std::string Output();

 private:
  int saved_out_ = -1;
  int saved_in_ = -1;
  std::string out_path_;
  std::string in_path_;
};
