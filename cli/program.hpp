// What every program does alike: it prints the library's messages on
// standard output as they come, turns an Error into its text and its exit
// status, and removes its scratch files when a signal ends it.  Only the
// programs print.
#pragma once

#include <cstdio>
#include <new>
#include <string>
#include <string_view>

#include "core/error.hpp"
#include "files/file_errors.hpp"

namespace swnt {

// The directory part of a path, separator included; empty when it has none.
std::string directory_of(std::string_view path);

// The directory that holds the structure tables: that of the program's own
// path, or, when the program was found through the search path and its path
// names no directory, that of the running executable.
std::string program_directory(const std::string& program_path);

// Prints `text` on standard output as it stands: the Log of every program.
void print_text(std::string_view text);

// The Log that prints.
inline const Log kPrint = print_text;

// Runs one piece of a program's work and returns its status: the work's own,
// or after an Error its text and status, or after a failed allocation the
// memory error line and 1.
template <class Work>
int run_program(Work&& work) {
  try {
    return work();
  } catch (const Error& error) {
    print_text(error.what());
    return error.status();
  } catch (const std::bad_alloc&) {
    print_text(memory_error().what());
    return 1;
  }
}

}  // namespace swnt
