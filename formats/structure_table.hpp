// A structure table file: a free-form header line, then entries of eleven
// numbers each, "n m", the relaxed diameter [AA], the strain energy per atom
// relative to graphene [eV] and the atoms per cell, then the sheet's vectors
// va1, va2 and vab.  Only the order of the numbers counts, not how they are
// spread over lines.  An entry is complete when all its numbers are read and
// something (a line end at least) follows its last one.
#pragma once

#include <array>
#include <cstddef>
#include <optional>
#include <string>
#include <vector>

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

// One whole entry, as it stands in the file.
struct StructureTableTube {
  int n = 0;
  int m = 0;
  double diameter = 0.0;       // relaxed diameter [AA]
  double strain_energy = 0.0;  // per atom, relative to graphene [eV]
  long long atoms = 0;         // atoms per unit cell
  StructureTableEntry vectors;
};

struct StructureTable {
  std::string header;  // the first line, without its line end (all of a file that has none)
  // The number of "graphene <number> eV/atom" in the header, the energy per
  // atom of flat graphene by the table's method, when the header gives it.
  std::optional<double> graphene_energy;
  std::vector<StructureTableTube> tubes;  // in the order of the file
};

// The most entries read_structure_table_file takes.
inline constexpr std::size_t kMaxStructureTableTubes = 1000000;

// Every complete entry of the file, up to the first that is not complete
// (cut short by the end of the file, or holding a token that is not a
// number), where reading stops as read_structure_table's search does; a
// file without a whole header line holds none.  Throws FileError "Error:
// file access failed for <path>" when the file cannot be opened, and
// "Error: structure table <path> holds more than 1000000 entries." beyond
// kMaxStructureTableTubes.
StructureTable read_structure_table_file(const std::string& path);

// The energy of "graphene <number> eV/atom" in a header line (the first
// such phrase whose number is finite), if any.
std::optional<double> graphene_energy_of(const std::string& header);

}  // namespace swnt
