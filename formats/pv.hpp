// The pv scene file: a binary ball-and-stick scene file for an external
// viewer, with the bonds found by distance in every scene.
#pragma once

#include <string>

#include "core/error.hpp"
#include "formats/trajectory.hpp"

namespace swnt {

// Converts the trajectory `input` into the pv file `output_path`.  The
// coordinates are used as they stand, or each is moved by minus half the box
// length of its axis when `shift_half_box` is set.  `progress`, when set,
// receives the progress lines and the pairs closer than 1 Angstrom.  Throws
// Error; an earlier file of the output's name then stays as it was.
void write_pv_file(const TrajectoryInput& input, const std::string& output_path,
                   bool shift_half_box, const Log& progress = {});

}  // namespace swnt
