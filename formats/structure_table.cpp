#include "formats/structure_table.hpp"

#include "core/error.hpp"
#include "core/text_format.hpp"
#include "files/file_errors.hpp"
#include "files/number_stream.hpp"

namespace swnt {

namespace {

// One table entry: the key, three numbers of no use to the builder, then the
// three lattice vectors.  False when a number is missing or is not a number.
bool read_entry(NumberStream& table, long long& n, long long& m, StructureTableEntry& e) {
  long long unused_int = 0;
  double unused = 0.0;
  return table.read_int(n) && table.read_int(m) && table.read_real(unused) &&
         table.read_real(unused) && table.read_int(unused_int) && table.read_real(e.va1[0]) &&
         table.read_real(e.va1[1]) && table.read_real(e.va2[0]) && table.read_real(e.va2[1]) &&
         table.read_real(e.vab[0]) && table.read_real(e.vab[1]);
}

}  // namespace

StructureTableEntry read_structure_table(const std::string& path, int n, int m) {
  NumberStream table;
  if (!table.open(path)) throw access_error(path);

  const std::string missing =
      format_text("Error: parameters for (%d,%d) SWNT do not exist in the file.\n", n, m);
  // The first line is a free-form header.
  if (!table.skip_line()) throw Error(missing);

  // The first entry with the sought key wins.
  StructureTableEntry result;
  long long key_n = 0;
  long long key_m = 0;
  while (key_n != n || key_m != m) {
    if (!read_entry(table, key_n, key_m, result) || table.at_end()) throw Error(missing);
  }
  return result;
}

}  // namespace swnt
