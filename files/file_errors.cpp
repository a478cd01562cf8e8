#include "files/file_errors.hpp"

#include "core/text_format.hpp"

namespace swnt {

FileError access_error(const std::string& path) {
  return FileError("Error: file access failed for " + printable(path) + "\n");
}

Error data_error(const std::string& path, const std::string& reason) {
  return Error("Error: invalid trajectory file " + printable(path) + ": " + printable(reason) +
               ".\n");
}

FileError write_error(const std::string& path) {
  return FileError("Error: cannot write file " + printable(path) + "\n");
}

FileError input_overwrite_error(const std::string& output, const std::string& input) {
  return FileError("Error: cannot write " + printable(output) + ": it is the input file " +
               printable(input) + ".\n");
}

Error memory_error() { return Error("Error: not enough memory.\n"); }

}  // namespace swnt
