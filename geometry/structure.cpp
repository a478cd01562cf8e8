#include "geometry/structure.hpp"

#include <cmath>
#include <cstdio>

#include "core/error.hpp"
#include "core/text_format.hpp"
#include "files/number_stream.hpp"

namespace swnt {

StructureParams cylindrical_structure(double bond_length) {
  StructureParams s;
  s.va1 = {1.5 * bond_length, std::sqrt(3.0) * 0.5 * bond_length};
  s.va2 = {s.va1.x, -s.va1.y};
  s.vab = {bond_length, 0.0};
  return s;
}

namespace {

// One table entry: the key, three numbers of no use to the builder, then the
// three lattice vectors.  False when a number is missing or is not a number.
bool read_entry(NumberStream& table, long long& n, long long& m, StructureParams& s) {
  long long unused_int = 0;
  double unused = 0.0;
  return table.read_int(n) && table.read_int(m) && table.read_real(unused) &&
         table.read_real(unused) && table.read_int(unused_int) && table.read_real(s.va1.x) &&
         table.read_real(s.va1.y) && table.read_real(s.va2.x) && table.read_real(s.va2.y) &&
         table.read_real(s.vab.x) && table.read_real(s.vab.y);
}

}  // namespace

StructureParams load_structure_params(double bond_length, const std::string& path,
                                      const WrapOptions& options) {
  if (bond_length > 0.0) {
    if (options.debug) {
      std::printf(" -- set cylindrical structure ");
      std::printf("(bond length = %lf).\n", bond_length);
    }
    return cylindrical_structure(bond_length);
  }

  if (options.debug) std::printf(" -- read structure file from <%s>.\n", printable(path).c_str());
  NumberStream table;
  if (!table.open(path)) {
    throw Error(format_text("Error: file access failed for %s\n", printable(path).c_str()));
  }

  const std::string missing = format_text(
      "Error: parameters for (%d,%d) SWNT do not exist in the file.\n", options.cn, options.cm);
  // The first line is a free-form header.
  if (!table.skip_line()) throw Error(missing);

  // The first entry with the sought key wins.  An entry cut short by the end
  // of the file, or a token that is not a number, ends the search unfound.
  StructureParams result;
  long long n = 0;
  long long m = 0;
  while (n != options.cn || m != options.cm) {
    if (!read_entry(table, n, m, result) || table.at_end()) throw Error(missing);
  }
  return result;
}

}  // namespace swnt
