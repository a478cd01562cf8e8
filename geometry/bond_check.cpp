#include "geometry/bond_check.hpp"

#include <algorithm>
#include <cmath>

#include "core/error.hpp"
#include "core/text_format.hpp"
#include "geometry/debug_log.hpp"
#include "geometry/lattice.hpp"
#include "geometry/structure.hpp"
#include "geometry/vec2.hpp"

namespace swnt {

namespace {

struct TubePoint {
  double x = 0.0;
  double y = 0.0;
  double z = 0.0;  // position along T
};

// The atom on the closed tube: its angle around the axis from the position
// along Ch (no seam fold is needed, the angle closes the tube by itself),
// and its position along T.
TubePoint place_on_tube(const CellAtom& atom, const StructureParams& s, const LatticeParams& l) {
  const double px = atom.c1 * s.va1.x + atom.c2 * s.va2.x + atom.sub * s.vab.x;
  const double py = atom.c1 * s.va1.y + atom.c2 * s.va2.y + atom.sub * s.vab.y;
  const double theta = dot_2d(px, py, l.Ch.x, l.Ch.y) / (l.lench * l.lench) * kTwoPi;
  TubePoint point;
  point.x = std::cos(theta) * l.diameter * 0.5;
  point.y = std::sin(theta) * l.diameter * 0.5;
  point.z = dot_2d(px, py, l.T.x, l.T.y) / l.lent;
  return point;
}

}  // namespace

void check_bond_counts(const std::vector<CellAtom>& cells, int n, int m, const Log& debug) {
  log_debug(debug, "\nChecking the number of bonds in each atom...\n");
  // The check runs on the ideal lattice, like the selection of the cell.
  const StructureParams ideal = cylindrical_structure(kIdealBondLength, debug);
  const LatticeParams lattice = compute_lattice_params(n, m, ideal, debug);

  // A list shorter than natom is missing atoms: the atoms it does hold then
  // show the wrong counts.
  const std::size_t natom =
      std::min(cells.size(), static_cast<std::size_t>(std::max(lattice.natom, 0)));
  std::vector<TubePoint> points(natom);
  for (std::size_t i = 0; i < natom; ++i) points[i] = place_on_tube(cells[i], ideal, lattice);

  const double cutoff2 = kBondCutoff * kBondCutoff;
  std::vector<int> bonds(natom, 0);
  for (std::size_t a = 0; a < natom; ++a) {
    for (std::size_t b = a + 1; b < natom; ++b) {
      // Only the nearest periodic image along the axis is tested, once per pair.
      double dz = points[a].z - points[b].z;
      dz = dz - std::floor(dz / lattice.lencell + 0.5) * lattice.lencell;
      const double dx = points[a].x - points[b].x;
      const double dy = points[a].y - points[b].y;
      const double d2 = dx * dx + dy * dy + dz * dz;
      if (cutoff2 > d2) {
        ++bonds[a];
        ++bonds[b];
      }
    }
  }

  for (std::size_t a = 0; a < natom; ++a) {
    if (bonds[a] != 3) {
      throw Error(
          format_text("Error: Atom %4d: %d bonds\n", static_cast<int>(a), bonds[a]));
    }
  }
  if (natom != static_cast<std::size_t>(std::max(lattice.natom, 0))) {
    throw Error(format_text("Error: Atom %4d: %d bonds\n", static_cast<int>(natom), 0));
  }
}

}  // namespace swnt
