#include "geometry/structure.hpp"

#include <cmath>

#include "core/text_format.hpp"
#include "geometry/debug_log.hpp"

namespace swnt {

StructureParams table_structure(const std::array<double, 2>& va1, const std::array<double, 2>& va2,
                                const std::array<double, 2>& vab) {
  return {{va1[0], va1[1]}, {va2[0], va2[1]}, {vab[0], vab[1]}};
}

StructureParams cylindrical_structure(double bond_length) {
  StructureParams s;
  s.va1 = {1.5 * bond_length, std::sqrt(3.0) * 0.5 * bond_length};
  s.va2 = {s.va1.x, -s.va1.y};
  s.vab = {bond_length, 0.0};
  return s;
}

StructureParams cylindrical_structure(double bond_length, const Log& debug) {
  if (debug) {
    log_debug(debug, format_text(" -- set cylindrical structure (bond length = %lf).\n", bond_length));
  }
  return cylindrical_structure(bond_length);
}

}  // namespace swnt
