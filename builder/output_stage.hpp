// The second half of a wrapping run: unit cell, optional bond check, the
// trajectory under the temporary name, and the move or conversion to the
// final output.
#pragma once

#include <string>

#include "builder/options.hpp"
#include "geometry/lattice.hpp"
#include "geometry/structure.hpp"

namespace swnt {

// The temporary trajectory file, in the working directory.  A run writes
// its trajectory to a scratch file of its own beside this name, so that runs
// in one directory never share a file; the name itself takes the data only
// when the final move fails.
inline constexpr const char* kTemporaryTrajectory = "swnt_wrapping.wrp";

// Runs the output stage and returns the run's exit status.  Throws Error
// for the errors that end the run.
int run_output_stage(WrapOptions& options, const std::string& temporary_name,
                     const StructureParams& structure, const LatticeParams& lattice);

}  // namespace swnt
