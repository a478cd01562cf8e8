// Coaxial walls that repeat together, and tubes packed side by side.
//
// A multi-walled tube is a list of walls, each the tube the rolling of
// geometry/tube.hpp builds from its own chirality and sheet.  Walls of
// different translational periods T_i repeat together only over a common
// length L that holds K_i periods of every wall; such a length rarely exists
// exactly, so each wall is stretched or compressed along the axis by the
// strain L / (K_i T_i) - 1, within a limit.  Tubes are packed on a
// triangular lattice, as a finite bundle or as a rope that repeats across
// the axis in a hexagonal cell.  Plain values in and out: no files, no
// printing.
#pragma once

#include <array>
#include <functional>
#include <optional>
#include <vector>

#include "core/model.hpp"
#include "geometry/lattice.hpp"
#include "geometry/structure.hpp"

namespace swnt {

// The closest two walls may come: less is an overlap (the interlayer
// distance of graphite is 3.35 Angstrom).
inline constexpr double kMinWallSpacing = 2.5;
// The most atoms an assembly holds, as a unit cell may.
inline constexpr long long kMaxAssemblyAtoms = 100000000;

// A common length of several walls: K_i periods of wall i fit in `length`
// with the strain length / (K_i T_i) - 1.
struct PeriodFit {
  double length = 0.0;
  std::vector<long long> repeats;
  std::vector<double> strains;
  double worst = 0.0;  // the largest |strain|
};

// The outcome of the search: the shortest fit within the limits, or none,
// and then the fits of least strain found up to the longest length, best
// first, for the message.
struct PeriodSearch {
  std::optional<PeriodFit> fit;
  std::vector<PeriodFit> nearest;
  bool atom_limit = false;  // the search stopped where a length needs too many atoms
};

// The shortest length up to `max_length` over which walls of the periods
// `periods` (Angstrom, each > 0) repeat K_i times each with |strain| <=
// `max_strain`.  For each choice of repeats the length is the one that
// spreads the strain evenly between the longest and the shortest K_i T_i
// (their harmonic mean); walls of one period need no strain at all.  The
// search stops once a length would need more than `max_atoms` atoms, where
// `atoms_per_period[i]` are wall i's atoms per period.
PeriodSearch find_common_period(const std::vector<double>& periods,
                                const std::vector<long long>& atoms_per_period, double max_strain,
                                double max_length, long long max_atoms = kMaxAssemblyAtoms);

// One wall with its sheet: the lattice of the chirality on that sheet.
struct WallLattice {
  int n = 0;
  int m = 0;
  StructureParams structure;
  LatticeParams lattice;
};

// The sheet of (n, m) for a run, or nothing when the run's lattice has none
// for that chirality (a structure table without it).
using SheetSource = std::function<std::optional<StructureParams>(int n, int m)>;

// The lattice of wall (n, m) on its sheet from `sheets`; nothing when the
// sheet is missing or makes no tube.
std::optional<WallLattice> wall_lattice(int n, int m, const SheetSource& sheets);

// What makes a good next wall outside another.
struct WallCriteria {
  double spacing = 3.4;          // the target distance between walls, Angstrom
  double tolerance = 0.15;       // how far the spacing may lie from it
  double max_strain = 0.005;
  double max_length = 1000.0;
};

// One candidate for the next wall: its lattice, its spacing to the wall
// inside it and the common period of all walls with it.
struct WallCandidate {
  WallLattice wall;
  double spacing = 0.0;
  PeriodFit fit;
};

// The best four candidates for the wall outside `walls` (innermost first),
// best first:
// every (n, m) with 0 <= m <= n whose spacing to the outermost wall lies
// within the tolerance of the target and with which all walls have a common
// period within the limits; ordered by the shortest common period, then the
// least strain, then the spacing closest to the target.
std::vector<WallCandidate> next_wall_candidates(const std::vector<WallLattice>& walls,
                                                const WallCriteria& criteria,
                                                const SheetSource& sheets);

// The arrangement of tubes across the axis.
struct Packing {
  // Finite bundle of `count` tubes (1, 7, 19, 37 ...: whole hexagonal rings
  // around one tube), unless rows > 0: a parallelogram of rows x columns
  // tubes, the cell of a rope repeated.
  long long count = 1;
  long long rows = 0;
  long long columns = 0;
  bool rope = false;  // periodic across the axis: one parallelogram as the cell
  double gap = 3.2;   // closest distance between the outer walls of neighbours
};

// The number of tubes of a hexagonal bundle of `rings` rings around one.
long long hexagonal_count(long long rings);
// The rings of a bundle of `count` tubes; -1 when no whole number of rings
// holds exactly that many.
long long hexagonal_rings(long long count);

// Everything an assembly is built from.
struct AssemblyPlan {
  std::vector<WallLattice> walls;     // innermost first
  std::vector<double> rotations;      // per wall, degrees about the axis
  std::vector<double> shifts;         // per wall, Angstrom along the axis
  // The walls repeat together: length = cells * fit.length, each wall
  // scaled by 1 + its strain.  Without a fit (an open tube of a given
  // length), every wall is cut at `length` unscaled.
  std::optional<PeriodFit> fit;
  long long cells = 1;
  double length = 0.0;
  bool periodic = false;  // along the axis
  int axis = 2;
  Packing packing;
  // The species of the sheet's two sublattices (the A and B atoms of its
  // primitive cell); empty for carbon throughout.
  std::vector<Species> basis;
};

// The tube centres of a packing and the cell they lie in, for tubes of
// outer radius `radius`: the lattice constant a = 2 radius + gap.
struct PackingLayout {
  double lattice_constant = 0.0;
  std::vector<std::array<double, 2>> centres;  // in the two axes across the tube axis
};
PackingLayout pack_tubes(const Packing& packing, double radius);

// The number of tubes of a packing.
long long tube_count(const Packing& packing);

// The atoms per wall of one tube of the plan; a count beyond
// kMaxAssemblyAtoms stops the counting early and comes back as is.
std::vector<long long> wall_atom_counts(const AssemblyPlan& plan);

// The assembly: per tube of the packing, per wall, the atoms of the wall,
// each wall one molecule (numbered from 1 in that order), every atom carbon
// or of the species of its sublattice;
// the cell periodic along the axis when the plan is, across it for a rope
// (a restricted triclinic hexagonal cell), open otherwise with room of four
// outer diameters beyond the tube centres.  Throws Error for a plan beyond
// kMaxAssemblyAtoms atoms or that the rolling refuses.
Frame build_assembly(const AssemblyPlan& plan);

}  // namespace swnt
