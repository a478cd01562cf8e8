// The pv scene file: a binary ball-and-stick scene file for an external
// viewer, with the bonds found by distance in every scene.
#pragma once

#include <string>

#include "files/number_stream.hpp"

namespace swnt {

// Converts the trajectory `input` into the pv file `output_path`.
// `centred` non-zero: coordinates are used as they stand; 0: each is moved
// by minus half the box length of its axis.  Returns 0 when the file is
// written, 1 after an error message on standard output.
int write_pv_file(const TrajectoryInput& input, const std::string& output_path, int verbose,
                  int centred);

}  // namespace swnt
