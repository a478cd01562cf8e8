// TINKER XYZ files, one per scene: every atom carbon of type 1 with the
// atoms closer than the bond cut-off as its neighbours.
#pragma once

#include <string>

#include "core/error.hpp"
#include "formats/trajectory.hpp"

namespace swnt {

// Throws Error; the files of the scenes before a failed one stay.
void write_tinker_xyz(const TrajectoryInput& input, const std::string& output_name,
                      const std::string& title, const Log& progress = {});

}  // namespace swnt
