// The residues and atom names of the files that tell atoms apart by name
// within a residue (PDB, psf, CHARMM coordinates): OpenMM, for one, merges
// atoms of one name in one residue.  Every molecule is cut into residues of
// consecutive atoms, numbered from 1 through the whole frame, and an atom is
// named by its element and its number among the atoms of that element in
// its residue (C1, C2, ..., H1, ...), four characters at most: a residue
// ends where the next atom's name would need a fifth (after 999 carbons,
// or 99 atoms of a two-letter element).
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "core/topology.hpp"

namespace swnt {

struct AtomNaming {
  std::vector<std::uint32_t> residue;  // per atom, from 1
  std::vector<std::uint16_t> number;   // per atom, among its element in its residue, from 1
  std::uint32_t residue_count = 0;

  explicit AtomNaming(const Frame& frame);
  // The name of atom i, at most four characters.
  std::string name(const Frame& frame, std::size_t i) const {
    return frame.species[frame.kind[i]].symbol + std::to_string(number[i]);
  }
};

}  // namespace swnt
