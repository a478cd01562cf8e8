// Every structural quantity of an (n,m) tube, computed from the chirality
// and the sheet's lattice vectors, and the structure report.
#pragma once

#include <string>

#include "core/bond_rule.hpp"
#include "core/error.hpp"
#include "core/model.hpp"
#include "geometry/structure.hpp"
#include "geometry/vec2.hpp"

namespace swnt {

// The one spelling of pi of the geometry, and the full turn.
inline constexpr double kIdealBondLength = 1.44;

struct LatticeParams {
  int n = 0;
  int m = 0;
  Vec2 Ch;                  // chiral vector n*va1 + m*va2
  Vec2 T;                   // translational vector t1*va1 + t2*va2
  Vec2 axis;                // unit vector along the tube axis on the sheet
  double lench = 0.0;       // |Ch|, the circumference
  double lent = 0.0;        // |T|
  double lencell = 0.0;     // T . axis, the unit cell length along the axis
  double diameter = 0.0;    // lench / pi
  double chiralangle = 0.0; // degrees
  int nhex = 0;             // hexagons per unit cell
  int natom = 0;            // atoms per unit cell, 2 * nhex
  int dr = 0;               // gcd(n + 2m, 2n + m)
  int t1 = 0;
  int t2 = 0;
};

// Greatest common divisor of |a| and |b|; 0 only when both are 0.
int greatest_common_divisor(int a, int b);

// Hands " -- set structure of (n,m) SWNT." to `debug` first.
LatticeParams compute_lattice_params(int n, int m, const StructureParams& structure,
                                     const Log& debug = Log());

// Refuses, with Error "Error: incorrect chirality=(n,m).", a chirality that
// makes no tube: n of 0, m larger than n, or a unit cell whose hexagon and
// atom counts, 2(n^2 + nm + m^2) / dr and twice that, do not fit 32-bit
// integers.
void check_chirality(int n, int m);

// Refuses, with Error, a lattice that cannot make a tube: a vector
// component of the structure or the lattice that is not finite, a chiral
// vector of length 0, or a unit cell of length 0 along the axis.
void check_tube_lattice(const StructureParams& structure, const LatticeParams& lattice);

// The structure report: an empty line, then twelve lines of parameters.
std::string structure_report(const StructureParams& structure, const LatticeParams& lattice);

}  // namespace swnt
