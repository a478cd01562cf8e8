// The command line of assemble, which builds coaxial walls that repeat with
// one period, bundles and ropes of such tubes, and writes them in any format
// that holds frames (with the full bonded topology) or as a trajectory; and
// which lists the tubes of a diameter and angle window (--find).
#pragma once

#include <string>
#include <vector>

namespace swnt {

// assemble [options] OUTPUT, or assemble --find [options]: the whole
// argument vector (program name first).  Returns the exit status: 0 when
// everything is written (or the usage was asked for), 1 after an error
// message.
int run_assemble(const std::vector<std::string>& args);

}  // namespace swnt
