// PDB with the cell as CRYST1, one HETATM record per atom (the atoms of a
// molecule cut into residues, see formats/atom_names.hpp), every scene a
// MODEL when several are written, and the bonds of the last scene as CONECT
// records.  Serial numbers are decimal up to 99999 and "*****" beyond;
// residue numbers run on modulo 10000; a file of more than 99999 atoms holds
// no CONECT records, whose serials readers take in decimal only.
#pragma once

#include <string>

namespace swnt {

// The most atoms whose serials fit the five decimal columns, and so the
// most atoms of a file with CONECT records.
inline constexpr long long kPdbMaxDecimalSerial = 99999;

// `value` in `width` columns: decimal while it fits, then the hybrid-36
// digits (upper case, then lower case); empty when it is beyond both.
std::string hybrid36(long long value, int width);

}  // namespace swnt
