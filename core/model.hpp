// The atomic model every program works on: atoms with their species and
// positions, the cell they sit in with its periodic axes, and the molecules
// they form.  Values only: nothing here reads, writes or prints.
#pragma once

#include <array>
#include <cmath>
#include <cstdint>
#include <numbers>
#include <string>
#include <vector>

namespace swnt {

// Pi and the full turn, the one spelling of both everywhere.
inline constexpr double kPi = std::numbers::pi;
inline constexpr double kTwoPi = 2.0 * kPi;

// Cartesian coordinates in Angstrom.
using Position3 = std::array<double, 3>;

// A chemical species as the files name it.
struct Species {
  std::string symbol;  // chemical symbol
  double mass = 0.0;   // atomic mass units
  int valence = 0;     // the most bonds an atom of this species forms
};

inline const Species kCarbon{"C", 12.011, 3};
inline const Species kHydrogen{"H", 1.008, 1};

// Which of x, y, z repeat with the cell.
using PeriodicAxes = std::array<bool, 3>;

// The cell as simulation engines hold it: the bounds lo..hi along x, y, z
// and the tilts xy, xz, yz, so that its edge vectors are
//   a = (hi_x - lo_x, 0, 0),  b = (xy, hi_y - lo_y, 0),  c = (xz, yz, hi_z - lo_z)
// from the corner lo.  With zero tilts it is the orthogonal box; any other
// cell, turned so that a lies along x and b in the xy plane, is a triclinic
// one.  Periodic axes repeat with their edge vector.
struct Cell {
  Position3 lo{0.0, 0.0, 0.0};
  Position3 hi{0.0, 0.0, 0.0};
  double xy = 0.0;
  double xz = 0.0;
  double yz = 0.0;
  PeriodicAxes periodic{false, false, false};

  double length(int axis) const { return hi[axis] - lo[axis]; }
  bool orthogonal() const { return xy == 0.0 && xz == 0.0 && yz == 0.0; }
  // Edge vector `axis` (0: a, 1: b, 2: c).
  Position3 vector(int axis) const {
    if (axis == 0) return {length(0), 0.0, 0.0};
    if (axis == 1) return {xy, length(1), 0.0};
    return {xz, yz, length(2)};
  }
  // The fractional coordinates of p along a, b, c, from the corner lo.
  Position3 fractional(const Position3& p) const {
    const double sc = (p[2] - lo[2]) / length(2);
    const double sb = (p[1] - lo[1] - sc * yz) / length(1);
    const double sa = (p[0] - lo[0] - sc * xz - sb * xy) / length(0);
    return {sa, sb, sc};
  }
  // The distance between the two faces of the cell that edge `axis` joins:
  // the room the cell gives along that edge.
  double height(int axis) const;
};

// One scene of atoms: per atom its species (an index into `species`, which
// files number from 1), its position and its molecule (numbered from 1), in
// a cell.
struct Frame {
  std::vector<Species> species{kCarbon};
  std::vector<std::uint8_t> kind;  // per atom, an index into species
  std::vector<Position3> positions;
  std::vector<std::uint32_t> molecule;
  std::uint32_t molecule_count = 0;
  Cell cell;

  std::size_t atom_count() const { return positions.size(); }
};

inline double Cell::height(int axis) const {
  // The volume over the area of the face the other two edges span.
  const Position3 u = vector((axis + 1) % 3);
  const Position3 v = vector((axis + 2) % 3);
  const double cx = u[1] * v[2] - u[2] * v[1];
  const double cy = u[2] * v[0] - u[0] * v[2];
  const double cz = u[0] * v[1] - u[1] * v[0];
  const double volume = length(0) * length(1) * length(2);
  return volume / std::sqrt(cx * cx + cy * cy + cz * cz);
}

}  // namespace swnt
