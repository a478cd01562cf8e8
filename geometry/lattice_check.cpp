#include <cmath>

#include "geometry/lattice.hpp"
#include "core/error.hpp"
#include "core/text_format.hpp"

namespace swnt {

namespace {

bool finite(const Vec2& v) { return std::isfinite(v.x) && std::isfinite(v.y); }

}  // namespace

void check_tube_lattice(const StructureParams& structure, const LatticeParams& lattice) {
  const char* reason = nullptr;
  if (!finite(structure.va1) || !finite(structure.va2) || !finite(structure.vab) ||
      !finite(lattice.Ch) || !finite(lattice.T) || !std::isfinite(lattice.lench) ||
      !std::isfinite(lattice.lent)) {
    reason = "a lattice vector is not finite";
  } else if (lattice.lench == 0.0) {
    reason = "the chiral vector has length 0";
  } else if (!finite(lattice.axis) || !std::isfinite(lattice.lencell)) {
    reason = "the tube axis is not finite";
  } else if (lattice.lencell == 0.0) {
    reason = "the unit cell has length 0 along the tube axis";
  }
  if (reason != nullptr) {
    throw Error(format_text("Error: invalid lattice for (%d,%d) SWNT: %s.\n", lattice.n,
                               lattice.m, reason));
  }
}

}  // namespace swnt
