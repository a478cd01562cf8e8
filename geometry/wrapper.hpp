// Repeats the unit cell along the tube, rolls the sheet onto the cylinder
// and writes the trajectory file (one closed tube, or nwrap + 1 scenes from
// the flat sheet to the closed tube).
#pragma once

#include <string>
#include <vector>

#include "geometry/lattice.hpp"
#include "builder/options.hpp"
#include "geometry/structure.hpp"
#include "geometry/unit_cell.hpp"
#include "files/output_file.hpp"

namespace swnt {

// Number of atom lines in every scene of the trajectory.  A count that does
// not fit a 32-bit integer (or a length that is not finite) gives a value
// above INT_MAX, found without walking the whole tube.
long long count_tube_atoms(const StructureParams& structure, const LatticeParams& lattice,
                           const std::vector<CellAtom>& cells, double lenunit);

// Writes the whole trajectory into `file`, opened on `path`, and finishes
// it: the trajectory then stands complete under the file's scratch name, for
// the caller to move or convert (commit() puts it at `path`).  Reads nwrap,
// iaxis, magaxis, magdiam, the shifts, lenunit and fcenter from `options`.
// Throws Error when the file cannot be written.
void write_wrapped_tube(OutputFile& file, const std::string& path,
                        const std::vector<CellAtom>& cells,
                        const StructureParams& structure, const LatticeParams& lattice,
                        const WrapOptions& options);

}  // namespace swnt
