// The run driver of wrapping: options, lattice, reports, then the output stage.
#pragma once

#include <string>
#include <vector>

namespace swnt {

// Runs wrapping with a command line (entry 0 the program path) and returns
// the exit status.  Every message goes to standard output.
int run_wrapping(const std::vector<std::string>& args);

}  // namespace swnt
