// PDB with the cell as CRYST1, one HETATM record per atom (one residue per
// molecule), every scene a MODEL when several are written, and the bonds of
// the last scene as CONECT records.  Serials past the decimal columns follow
// the hybrid-36 convention.
#pragma once

#include <string>

namespace swnt {

// The largest atom serial and molecule (residue) number that the fixed
// columns hold in the hybrid-36 convention (decimal up to 99999 and 9999,
// then base 36 led by a letter).
inline constexpr long long kPdbMaxSerial = 87440031;
inline constexpr long long kPdbMaxResidue = 2436111;

// `value` in `width` columns: decimal while it fits, then the hybrid-36
// digits (upper case, then lower case); empty when it is beyond both.
std::string hybrid36(long long value, int width);

}  // namespace swnt
