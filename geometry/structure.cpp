#include "geometry/structure.hpp"

#include <cmath>

#include "core/text_format.hpp"
#include "geometry/debug_log.hpp"

namespace swnt {

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
