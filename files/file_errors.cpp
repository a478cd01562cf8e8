#include "files/file_errors.hpp"

#include "core/text_format.hpp"

namespace swnt {

Error access_error(const std::string& path) {
  return Error("Error: file access failed for " + printable(path) + "\n");
}

Error data_error(const std::string& path, const std::string& reason) {
  return Error("Error: invalid trajectory file " + printable(path) + ": " + printable(reason) +
               ".\n");
}

Error write_error(const std::string& path) {
  return Error("Error: cannot write file " + printable(path) + "\n");
}

Error input_overwrite_error(const std::string& output, const std::string& input) {
  return Error("Error: cannot write " + printable(output) + ": it is the input file " +
               printable(input) + ".\n");
}

Error memory_error() { return Error("Error: not enough memory.\n"); }

}  // namespace swnt
