// The command line of topoconv, which writes one scene or all scenes of a
// trajectory as a LAMMPS data file, extended XYZ, PDB or a GROMACS topology
// with its coordinates, with the periodic box and the bonded topology.
#pragma once

#include <string>
#include <vector>

namespace swnt {

// topoconv [options] TRAJECTORY OUTPUT, the whole argument vector (program
// name first).  Returns the exit status: 0 when every file is written (or
// the usage was asked for), 1 after an error message.
int run_topoconv(const std::vector<std::string>& args);

}  // namespace swnt
