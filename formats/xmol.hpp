// XMOL XYZ files, one per scene: the atom count, a title, then "C x y z"
// per atom.
#pragma once

#include <string>

#include "core/error.hpp"
#include "formats/trajectory.hpp"

namespace swnt {

// Throws Error; the files of the scenes before a failed one stay.
void write_xmol_xyz(const TrajectoryInput& input, const std::string& output_name,
                    const std::string& title, const Log& progress = {});

}  // namespace swnt
