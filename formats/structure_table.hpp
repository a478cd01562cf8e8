// A structure table file: a free-form header line, then entries of eleven
// numbers each, "n m" followed by three numbers the builder does not use and
// the sheet's vectors va1, va2 and vab.  Only the order of the numbers
// counts, not how they are spread over lines.
#pragma once

#include <array>
#include <string>

namespace swnt {

// The sheet's vectors of one entry, x then y, in Angstrom, as they stand in
// the file.
struct StructureTableEntry {
  std::array<double, 2> va1{};  // first primitive lattice vector
  std::array<double, 2> va2{};  // second primitive lattice vector
  std::array<double, 2> vab{};  // from the A atom to the B atom of a primitive cell
};

// The vectors of the first entry for (n, m).  Throws FileError "Error: file
// access failed for <path>" when the file cannot be opened, and "Error:
// parameters for (n,m) SWNT do not exist in the file." when no complete
// entry has the key: an entry cut short by the end of the file, or a token
// that is not a number, ends the search unfound.
StructureTableEntry read_structure_table(const std::string& path, int n, int m);

}  // namespace swnt
