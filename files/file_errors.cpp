#include "files/file_errors.hpp"

#include <cstdio>

namespace swnt {

std::string printable(std::string_view text) {
  static constexpr char kHex[] = "0123456789ABCDEF";
  std::string shown;
  shown.reserve(text.size());
  for (const char c : text) {
    const auto byte = static_cast<unsigned char>(c);
    if (byte >= 0x20 && byte < 0x7F) {
      shown += c;
    } else {
      shown += "\\x";
      shown += kHex[byte >> 4];
      shown += kHex[byte & 0x0F];
    }
  }
  return shown;
}

void print_access_error(const std::string& path) {
  std::printf("Error: file access failed for %s\n", printable(path).c_str());
}

void print_data_error(const std::string& path, const std::string& reason) {
  std::printf("Error: invalid trajectory file %s: %s.\n", printable(path).c_str(),
              printable(reason).c_str());
}

void print_write_error(const std::string& path) {
  std::printf("Error: cannot write file %s\n", printable(path).c_str());
}

void print_input_overwrite_error(const std::string& output, const std::string& input) {
  std::printf("Error: cannot write %s: it is the input file %s.\n", printable(output).c_str(),
              printable(input).c_str());
}

void print_memory_error() { std::printf("Error: not enough memory.\n"); }

}  // namespace swnt
