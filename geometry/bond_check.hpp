// Check mode: every atom of the unit cell must have three neighbours within
// 1.8 Angstrom on the closed tube.
#pragma once

#include <vector>

#include "core/error.hpp"
#include "geometry/unit_cell.hpp"

namespace swnt {

// Returns when every atom of the unit cell `cells` of (n, m) has three
// bonds; otherwise throws Error with "Error: Atom %4d: %d bonds" for the
// first atom that has not.  Hands "Checking the number of bonds in each
// atom..." and the ideal lattice's lines to `debug`.
void check_bond_counts(const std::vector<CellAtom>& cells, int n, int m, const Log& debug = Log());

}  // namespace swnt
