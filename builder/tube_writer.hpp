// The tube of a wrapping run: its description from the options, the bond
// check of check mode with its report, and the trajectory file written from
// the rolled atoms as they come.
#pragma once

#include <string>
#include <vector>

#include "builder/options.hpp"
#include "files/output_file.hpp"
#include "geometry/lattice.hpp"
#include "geometry/structure.hpp"
#include "geometry/tube.hpp"
#include "geometry/unit_cell.hpp"

namespace swnt {

// The tube the options describe, rolled from `structure`.
TubeParams tube_params(const WrapOptions& options, const StructureParams& structure);

// The Log of the debug lines: printing in debug mode, empty otherwise.
Log debug_log(const WrapOptions& options);

// The bond check of check mode: prints "OK: All atoms has 3 bonds." when
// every atom of the unit cell has three bonds; otherwise throws Error with
// "Error: Atom %4d: %d bonds" for the first atom that has not.
void check_cell_bonds(const std::vector<CellAtom>& cells, const WrapOptions& options);

// Writes the whole trajectory into `file`, opened on `path`, and finishes
// it: the trajectory then stands complete under the file's scratch name, for
// the caller to move or convert (commit() puts it at `path`).  Throws Error
// when the tube cannot be described or the file cannot be written; a box or
// coordinates that would not be finite are reported with the options that
// shape them.
void write_wrapped_tube(OutputFile& file, const std::string& path,
                        const std::vector<CellAtom>& cells, const StructureParams& structure,
                        const LatticeParams& lattice, const WrapOptions& options);

}  // namespace swnt
