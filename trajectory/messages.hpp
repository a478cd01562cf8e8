// The error lines that the trajectory readers and writers share.  Every
// message goes to standard output.
#pragma once

#include <string>

namespace swnt {

// "Error: file access failed for <path>": the input cannot be opened or read.
void print_access_error(const std::string& path);

// "Error: invalid trajectory file <path>: <reason>.": the input ends early,
// holds something that is not a number, or a value the output cannot take.
void print_data_error(const std::string& path, const std::string& reason);

// "Error: cannot write file <path>": an output cannot be created, or a write
// or its close failed (a full disk, for instance).
void print_write_error(const std::string& path);

}  // namespace swnt
