#include "geometry/unit_cell.hpp"

#include <algorithm>

#include "core/error.hpp"
#include "core/text_format.hpp"
#include "geometry/debug_log.hpp"
#include "geometry/lattice.hpp"
#include "geometry/structure.hpp"
#include "geometry/vec2.hpp"

namespace swnt {

namespace {

// Inclusive range of lattice coordinates to scan.
struct Window {
  long long c1_min = 0;
  long long c1_max = 0;
  long long c2_min = 0;
  long long c2_max = 0;
};

// The bounding box, in lattice coordinates, of the cell's corners 0, Ch,
// T and Ch + T, widened by one on every side.  For 0 <= m <= n this is the
// box from c1 = 0 to n + t1 and c2 = t2 to m plus a margin whose candidates
// all fall outside the cell; it holds the cell of any other chirality too.
Window scan_window(const LatticeParams& lattice) {
  const long long n = lattice.n;
  const long long m = lattice.m;
  const long long t1 = lattice.t1;
  const long long t2 = lattice.t2;
  Window w;
  w.c1_min = std::min({0LL, n, t1, n + t1}) - 1;
  w.c1_max = std::max({0LL, n, t1, n + t1}) + 1;
  w.c2_min = std::min({0LL, m, t2, m + t2}) - 1;
  w.c2_max = std::max({0LL, m, t2, m + t2}) + 1;
  return w;
}

}  // namespace

std::vector<CellAtom> build_unit_cell(int n, int m, const Log& debug) {
  log_debug(debug, "\nMaking unit cell...\n");
  // The selection is made on the ideal lattice, so that the list depends on
  // (n, m) alone, whatever lattice the run uses.
  const StructureParams ideal = cylindrical_structure(kIdealBondLength, debug);
  const LatticeParams lattice = compute_lattice_params(n, m, ideal, debug);
  const Vec2& va1 = ideal.va1;
  const Vec2& va2 = ideal.va2;
  const Vec2& vab = ideal.vab;
  const double lench2 = lattice.lench * lattice.lench;
  const double lent_lencell = lattice.lent * lattice.lencell;
  const std::size_t natom = static_cast<std::size_t>(std::max(lattice.natom, 0));

  std::vector<CellAtom> cells;
  cells.reserve(natom);
  // Members beyond natom are counted for the message, never stored.
  long long members = 0;

  const Window w = scan_window(lattice);
  for (long long c1 = w.c1_min; c1 <= w.c1_max; ++c1) {
    for (long long c2 = w.c2_min; c2 <= w.c2_max; ++c2) {
      for (int sub = 0; sub <= 1; ++sub) {
        const double d1 = static_cast<double>(c1);
        const double d2 = static_cast<double>(c2);
        const double px = d1 * va1.x + d2 * va2.x;
        const double py = d1 * va1.y + d2 * va2.y;
        const double qx = sub * vab.x + px;
        const double qy = sub * vab.y + py;
        // Fractional coordinates along Ch and along T.  The band takes an
        // atom on the two edges through the origin and drops its images on
        // the opposite edges, so each atom of the tube is listed once.
        const double u = dot_2d(qx, qy, lattice.Ch.x, lattice.Ch.y) / lench2;
        const double v = dot_2d(qx, qy, lattice.T.x, lattice.T.y) / lent_lencell;
        if (!(-0.0001 <= u && u <= 0.9999 && -0.0001 <= v && v <= 0.9999)) continue;
        if (static_cast<std::size_t>(members) < natom) {
          cells.push_back({static_cast<int>(c1), static_cast<int>(c2), sub});
        }
        ++members;
      }
    }
  }

  if (members != lattice.natom) {
    throw Error(format_text("Error: unit cell of (%d,%d) SWNT holds %lld atoms, not %d.\n", n,
                               m, members, lattice.natom));
  }
  return cells;
}

}  // namespace swnt
