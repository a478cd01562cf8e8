// The atoms of one translational unit cell as integer lattice coordinates.
#pragma once

#include <vector>

#include "core/error.hpp"

namespace swnt {

// An atom at c1*va1 + c2*va2 + sub*vab (sub 0: A atom, 1: B atom).
struct CellAtom {
  int c1 = 0;
  int c2 = 0;
  int sub = 0;
};

// The largest unit cell that is built: its list is held in memory (12 bytes
// an atom), and every copy of it takes 24 bytes an atom as positions and 48
// as trajectory text, so a larger one is gigabytes of memory and tens of
// gigabytes of output.
inline constexpr int kMaxCellAtoms = 100000000;

// Lists the unit cell of (n, m), selected on the ideal lattice of bond length
// 1.44 Angstrom, ordered by c1, then c2, then sub.  The list holds exactly
// natom entries; throws Error when the selection does not give natom atoms.
// Hands "Making unit cell..." and the ideal lattice's lines to `debug`.
std::vector<CellAtom> build_unit_cell(int n, int m, const Log& debug = Log());

}  // namespace swnt
