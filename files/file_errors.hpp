// The error lines that the trajectory readers and writers share.  Every
// message goes to standard output.
#pragma once

#include <new>
#include <string>
#include <string_view>

namespace swnt {

// Untrusted text (file names, pieces of input files) as it may stand in a
// message: every byte outside printable ASCII becomes "\xNN", so that a
// message stays one line and carries no terminal control bytes.
std::string printable(std::string_view text);

// "Error: file access failed for <path>": the input cannot be opened or read.
void print_access_error(const std::string& path);

// "Error: invalid trajectory file <path>: <reason>.": the input ends early,
// holds something that is not a number, or a value the output cannot take.
void print_data_error(const std::string& path, const std::string& reason);

// "Error: cannot write file <path>": an output cannot be created, or a write
// or its close failed (a full disk, for instance).
void print_write_error(const std::string& path);

// "Error: cannot write <output>: it is the input file <input>.": writing the
// output would destroy the file being read.
void print_input_overwrite_error(const std::string& output, const std::string& input);

// "Error: not enough memory.": storage for the data could not be obtained.
void print_memory_error();

// Runs one conversion or join and returns its result; a failed allocation
// ends it with the memory error line and result 1 instead of a crash.
template <class Work>
int run_guarded(Work&& work) {
  try {
    return work();
  } catch (const std::bad_alloc&) {
    print_memory_error();
    return 1;
  }
}

}  // namespace swnt
