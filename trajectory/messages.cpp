#include "trajectory/messages.hpp"

#include <cstdio>

namespace swnt {

void print_access_error(const std::string& path) {
  std::printf("Error: file access failed for %s\n", path.c_str());
}

void print_data_error(const std::string& path, const std::string& reason) {
  std::printf("Error: invalid trajectory file %s: %s.\n", path.c_str(), reason.c_str());
}

void print_write_error(const std::string& path) {
  std::printf("Error: cannot write file %s\n", path.c_str());
}

void print_memory_error() { std::printf("Error: not enough memory.\n"); }

}  // namespace swnt
