// The failures that reading and writing files share, as the Error each
// throws.  Names from outside (file names, pieces of input) are shown
// through printable().
#pragma once

#include <string>

#include "core/error.hpp"

namespace swnt {

// An Error about a file itself rather than its content: it cannot be opened,
// read or written.  Caught as an Error like any other; a caller that tells
// the two apart (the Python module raises OSError for these) catches it first.
class FileError : public Error {
 public:
  using Error::Error;
};

// "Error: file access failed for <path>": the input cannot be opened or read.
FileError access_error(const std::string& path);

// "Error: invalid trajectory file <path>: <reason>.": the input ends early,
// holds something that is not a number, or a value the output cannot take.
Error data_error(const std::string& path, const std::string& reason);

// "Error: cannot write file <path>": an output cannot be created, or a write
// or its close failed (a full disk, for instance).
FileError write_error(const std::string& path);

// "Error: cannot write <output>: it is the input file <input>.": writing the
// output would destroy the file being read.
FileError input_overwrite_error(const std::string& output, const std::string& input);

// "Error: not enough memory.": storage for the data could not be obtained.
Error memory_error();

}  // namespace swnt
