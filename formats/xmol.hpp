// XMOL XYZ files, one per scene.
#pragma once

#include <string>

#include "files/number_stream.hpp"

namespace swnt {

// Returns 0 when every file is written, 1 after an error message.
int write_xmol_xyz(const TrajectoryInput& input, const std::string& output_name, int verbose,
                   const std::string& title);

}  // namespace swnt
