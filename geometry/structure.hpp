// The graphene sheet's lattice: its two primitive vectors and the offset of
// the second atom of a primitive cell.  The ideal honeycomb of one bond
// length is made here; the vectors of a structure table file are read by
// the formats and handed over by the program.
#pragma once

#include <array>

#include "core/error.hpp"
#include "geometry/vec2.hpp"

namespace swnt {

struct StructureParams {
  Vec2 va1;  // first primitive lattice vector
  Vec2 va2;  // second primitive lattice vector
  Vec2 vab;  // from the A atom to the B atom of a primitive cell
};

// The sheet of a structure table entry: its three vectors, x then y, in
// Angstrom, as the file gives them.
StructureParams table_structure(const std::array<double, 2>& va1, const std::array<double, 2>& va2,
                                const std::array<double, 2>& vab);

// The ideal honeycomb of bond length `bond_length`.
StructureParams cylindrical_structure(double bond_length);

// The same, after handing " -- set cylindrical structure (bond length = %lf)."
// to `debug`.
StructureParams cylindrical_structure(double bond_length, const Log& debug);

}  // namespace swnt
