// Whole files in and out, byte for byte.
#pragma once

#include <string>
#include <string_view>

namespace support {

std::string read_file(const std::string& path);  // empty if it cannot be read
void write_file(const std::string& path, std::string_view content);

}  // namespace support
