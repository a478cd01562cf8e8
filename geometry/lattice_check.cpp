#include <climits>
#include <cmath>
#include <cstdlib>

#include "core/error.hpp"
#include "core/text_format.hpp"
#include "geometry/lattice.hpp"

namespace swnt {

namespace {

bool finite(const Vec2& v) { return std::isfinite(v.x) && std::isfinite(v.y); }

// The chirality must give a unit cell whose hexagon and atom counts,
// 2(n^2 + nm + m^2) / dr and twice that, fit 32-bit integers.
bool chirality_fits(int n, int m) {
  // Beyond 2^20 in either index, n^2 + nm + m^2 >= max(|n|,|m|)^2 / 2 is far
  // out of range; below it every product fits easily in 64 bits.
  constexpr long long kIndexLimit = 1LL << 20;
  if (std::llabs(n) > kIndexLimit || std::llabs(m) > kIndexLimit) return false;
  const long long ln = n;
  const long long lm = m;
  const long long doubled = 2 * (ln * ln + ln * lm + lm * lm);
  if (doubled > INT_MAX) return false;
  const long long dr = greatest_common_divisor(n + 2 * m, 2 * n + m);
  if (dr == 0) return false;
  return 2 * (doubled / dr) <= INT_MAX;
}

}  // namespace

void check_chirality(int n, int m) {
  if (n == 0 || n < m || !chirality_fits(n, m)) {
    throw Error(format_text("Error: incorrect chirality=(%d,%d).\n", n, m));
  }
}

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
