// topoconv: writes a trajectory as a LAMMPS data file, extended XYZ, PDB or
// for GROMACS, with the periodic box and the bonded topology.
#include "converters/topoconv_cli.hpp"
#include "files/interruption.hpp"

int main(int argc, char** argv) {
  swnt::install_interruption_handlers();
  return swnt::run_topoconv({argv, argv + argc});
}
