// Whole files in and out, byte for byte.
#pragma once

#include <string>
#include <string_view>

namespace support {

std::string read_file(const std::string& path);  // empty if it cannot be read
void write_file(const std::string& path, std::string_view content);

// Runs a shell command; its exit status (-1 when it did not exit) and what
// it wrote to standard output.
struct ShellResult {
  int status;
  std::string output;
};
ShellResult run_shell(const std::string& command);

}  // namespace support
