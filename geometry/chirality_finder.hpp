// The chirality finder: every (n,m) tube within windows of diameter, chiral
// angle, electronic kind and atoms per unit cell, with the figures wrapping
// reports for it, and the listing of such tubes as text or CSV.
#pragma once

#include <string>
#include <vector>

namespace swnt {

// What a search accepts; every bound is inclusive.
struct FinderWindow {
  double min_diameter = 0.0;  // Angstrom
  double max_diameter = 50.0;
  // The chirality's angle on the ideal honeycomb, atan(sqrt(3) m / (2n + m)),
  // in degrees: 0 for zigzag tubes, 30 for armchair ones.
  double min_angle = 0.0;
  double max_angle = 30.0;
  enum class Kind { any, metallic, semiconducting };
  Kind kind = Kind::any;
  long long max_atoms = 0;  // atoms per unit cell; 0: no limit
};

struct FoundTube {
  int n = 0;
  int m = 0;
  double diameter = 0.0;  // Angstrom
  // The chiral angle in degrees, as compute_lattice_params gives it: its
  // acos leaves some zigzag tubes about 1e-6 rather than 0.
  double angle = 0.0;
  long long atoms = 0;    // per unit cell
  double period = 0.0;    // T, the cell length along the axis, Angstrom
  bool metallic = false;  // (n - m) divisible by 3
  double gap = 0.0;       // eV; 0 for metallic tubes
  bool recorded = false;  // from a structure table
  double energy = 0.0;    // eV per atom, of a recorded tube
  bool energy_is_strain = false;  // `energy` is the strain energy alone
};

// The hopping integral gamma0 of the gap estimate, eV.
inline constexpr double kHoppingEnergy = 2.9;

// Bounds of the windows within which a value counts as inside: diameters
// relative to the bound (beyond the last digit of a "%.10g" figure), chiral
// angles in degrees.
inline constexpr double kDiameterTolerance = 1e-9;
inline constexpr double kAngleTolerance = 1e-7;

// The largest n find_tubes looks at (n = 1500 makes a zigzag tube some
// 117 nm wide at bonds of 1.42 AA): the work and the list grow with its
// square.
inline constexpr int kMaxFinderIndex = 1500;

// (n - m) mod 3 == 0.
bool is_metallic(int n, int m);

// The tight-binding gap 2 a_cc gamma0 / d of a semiconducting tube (eV) of
// bond length `bond_length` and diameter `diameter` (AA); 0 for a metallic
// one.  The curvature gaps of the "metallic" non-armchair tubes are not
// modelled.
double gap_estimate(double bond_length, double diameter, bool metallic);

// atan(sqrt(3) m / (2n + m)) in degrees: exactly 0 for m = 0.
double ideal_chiral_angle(int n, int m);

// Refuses, with Error, a window no search can use: a bound that is not a
// finite number, or a negative max_atoms.
void check_finder_window(const FinderWindow& window);

// Does the tube (n,m) of this diameter and atom count lie within `window`?
// The angle tested is ideal_chiral_angle(n, m).
bool in_finder_window(const FinderWindow& window, int n, int m, double diameter, long long atoms);

// By diameter, then n, then m.
void sort_found_tubes(std::vector<FoundTube>& tubes);

// Every tube (n,m), n >= m >= 0, n >= 1, of the ideal honeycomb of bond
// length `bond_length` (AA) within `window`, sorted by diameter, then n,
// then m (tubes of one ideal diameter count as ties even where the last bit
// of their computed diameters differs).
// Diameter, angle, atoms and period are those of compute_lattice_params on
// cylindrical_structure(bond_length), as wrapping reports them.  Throws
// Error for a window check_finder_window refuses, a bond length that is not
// a positive finite number, and a maximum diameter beyond the zigzag tube
// (kMaxFinderIndex, 0) of the lattice.
std::vector<FoundTube> find_tubes(const FinderWindow& window, double bond_length);

// The listing of `tubes`, a line each after a header line naming the
// columns: n, m, diameter, chiral angle, atoms per cell, T, type (metallic
// or semiconducting) and gap; when a tube is recorded, also its energy per
// atom ("energy", or "strain_energy" for one whose energy_is_strain), empty
// (CSV) or "-" (text) for a tube without one.  The text form aligns the
// columns, units in the header, with %.4f, %.3f, %lld, %.4f, %.3f and %.6f;
// the CSV form has the header "n,m,diameter,angle,atoms,T,type,gap" (and
// ",energy", ",strain_energy"), the reals with %.10g.
std::string finder_listing(const std::vector<FoundTube>& tubes, bool csv);

}  // namespace swnt
