// The trajectory joiner: merges trajectory files atom-wise, so that every
// scene of the result holds the atoms of the first file followed by those of
// the others.
#pragma once

#include <string>
#include <vector>

#include "files/output_file.hpp"

namespace swnt {

// The temporary file of the join, in the working directory.  Each join is
// written to a scratch file of its own beside this name, so that joins in
// one directory never share a file.  A file of this very name may be the
// only copy of a target, left by a join that wrote there and was stopped
// before it could move it into place, so it is never overwritten.
inline constexpr const char* kJoinTempName = "datadd_temp.tmp";

// Writes into `out`, opened on `output`, the join of two trajectory files
// with the same number of scenes: the first input's lead and aux values,
// the sum of the atom counts, the larger box length on each axis, then per
// scene the first input's atoms followed by the second's.  On success the
// join stands complete under out's scratch name, for the caller to move
// into place.  Throws Error; the inputs are untouched either way, and
// whatever `out` holds after a failure is removed with it.
void join_trajectories(OutputFile& out, const std::string& output, const std::string& first_input,
                       const std::string& second_input);

// Runs scenejoin with a command line (entry 0 the program path): the target
// file, then the files to attach to it one after the other.  Each attached
// file is deleted once the target holds its atoms.  Returns the exit status.
int run_scenejoin(const std::vector<std::string>& args);

}  // namespace swnt
