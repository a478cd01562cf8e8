// The graphene sheet's lattice: the cylindrical structure of one bond length
// or the vectors a structure table file gives for the chirality.
#pragma once

#include <string>

#include "builder/options.hpp"
#include "geometry/vec2.hpp"

namespace swnt {

struct StructureParams {
  Vec2 va1;  // first primitive lattice vector
  Vec2 va2;  // second primitive lattice vector
  Vec2 vab;  // from the A atom to the B atom of a primitive cell
};

// The ideal honeycomb of bond length `bond_length`.
StructureParams cylindrical_structure(double bond_length);

// bond_length > 0: the cylindrical structure; otherwise the entry for
// (options.cn, options.cm) of the table file at `path`.  Prints its debug
// lines when options.debug is set.  Throws Error when the table cannot be
// read or lacks the chirality.
StructureParams load_structure_params(double bond_length, const std::string& path,
                                      const WrapOptions& options);

}  // namespace swnt
