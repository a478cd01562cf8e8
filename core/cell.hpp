// A cell given as any three lattice vectors (as extended XYZ gives it) turned
// into the cell as simulation engines hold it (Cell of core/model.hpp: a
// along x, b in the xy plane, c anywhere above it), with the same rotation
// for the positions, so that every fractional coordinate and every distance
// stays as it was.  Then the tilts are brought into the limits LAMMPS
// takes, by whole edge vectors of periodic axes.  Arithmetic only.
#pragma once

#include <array>
#include <span>
#include <string>

#include "core/model.hpp"

namespace swnt {

// The edge vectors a, b, c of a cell (rows, Angstrom).
using LatticeVectors = std::array<Position3, 3>;

// A cell made from lattice vectors, and how the positions follow it.
struct CellPlacement {
  Cell cell;
  // False when the lattice was in the cell's form already (a along +x, b in
  // the xy plane with a positive y, c with a positive z): positions then
  // stay as they are, bit for bit.
  bool rotated = false;
  // Otherwise the cell's x, y and z directions in the lattice's frame (the
  // rows of the rotation), about the corner `origin`.
  std::array<Position3, 3> axes{};
  Position3 origin{};

  // A position of the lattice's frame in the cell's.
  Position3 place(const Position3& p) const;
  void place(std::span<Position3> positions) const;
};

// Turns the lattice with its corner at `origin` into `placement`: the cell
// from the corner lo = origin with the periodic axes `periodic` and its
// tilts reduced (reduce_tilts).  Returns why the lattice makes no cell
// (its vectors in one plane, a left-handed set, a volume that is not a
// finite number), or an empty string when `placement` is filled.
std::string place_lattice(const LatticeVectors& lattice, const Position3& origin,
                          const PeriodicAxes& periodic, CellPlacement& placement);

// Brings the tilts within the limits LAMMPS checks (|xy| and |xz| at most
// half the length along x when x is periodic, |yz| at most half the length
// along y when y is periodic) by adding whole edge vectors to the others,
// as LAMMPS flips a box: b and c take multiples of a only where x is
// periodic, c multiples of b only where y is periodic.  The periodic
// lattice stays the same; tilts already within the limits stay as they are.
void reduce_tilts(Cell& cell);

}  // namespace swnt
