// The trajectory joiner: merges trajectory files atom-wise, so that every
// scene of the result holds the atoms of the first file followed by those of
// the others.
#pragma once

#include <string>
#include <vector>

namespace swnt {

// The scratch file, in the working directory, that takes each join before it
// replaces the target.
inline constexpr const char* kJoinTempName = "datadd_temp.tmp";

// Writes to `output` the join of two trajectory files with the same number of
// scenes: the first input's lead and aux values, the sum of the atom counts,
// the larger box length on each axis, then per scene the first input's atoms
// followed by the second's.  `output` is created afresh and must not exist
// yet.  Returns 0 when joined, 1 after an error message on standard output;
// on failure no output is left behind and the inputs are untouched.
int join_trajectories(const std::string& output, const std::string& first_input,
                      const std::string& second_input);

// Runs scenejoin with a command line (entry 0 the program path): the target
// file, then the files to attach to it one after the other.  Each attached
// file is deleted once the target holds its atoms.  Returns the exit status.
int run_scenejoin(const std::vector<std::string>& args);

}  // namespace swnt
