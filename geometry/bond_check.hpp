// Check mode: every atom of the unit cell must have three neighbours within
// 1.8 Angstrom on the closed tube.
#pragma once

#include <vector>

#include "builder/options.hpp"
#include "geometry/unit_cell.hpp"

namespace swnt {

// Prints "OK: All atoms has 3 bonds." when every atom has three bonds;
// otherwise throws Error with "Error: Atom %4d: %d bonds" for the first
// atom that has not.
void check_bond_counts(const std::vector<CellAtom>& cells, const WrapOptions& options);

}  // namespace swnt
