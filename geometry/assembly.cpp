#include "geometry/assembly.hpp"

#include <algorithm>
#include <cmath>

#include "core/error.hpp"
#include "core/text_format.hpp"
#include "geometry/tube.hpp"
#include "geometry/unit_cell.hpp"

namespace swnt {

namespace {

// How many of the best fits the search keeps for the message.
constexpr std::size_t kNearestKept = 5;
// Of walls with two choices of repeats near one length, this many are given
// both: the choices are tried in every combination.
constexpr std::size_t kMaxTwoChoiceWalls = 12;

// The fit of the repeats `repeats`: the length that spreads the strain
// evenly between the longest and the shortest K_i T_i, and the strains.
PeriodFit fit_of(const std::vector<double>& periods, const std::vector<long long>& repeats) {
  PeriodFit fit;
  fit.repeats = repeats;
  double shortest = 0.0;
  double longest = 0.0;
  for (std::size_t i = 0; i < periods.size(); ++i) {
    const double span = static_cast<double>(repeats[i]) * periods[i];
    shortest = i == 0 ? span : std::min(shortest, span);
    longest = i == 0 ? span : std::max(longest, span);
  }
  // Walls of one period take it as it is: no strain, not even of rounding.
  fit.length = shortest == longest ? shortest : 2.0 * shortest * longest / (shortest + longest);
  for (std::size_t i = 0; i < periods.size(); ++i) {
    const double span = static_cast<double>(repeats[i]) * periods[i];
    fit.strains.push_back(fit.length == span ? 0.0 : fit.length / span - 1.0);
    fit.worst = std::max(fit.worst, std::fabs(fit.strains.back()));
  }
  return fit;
}

// Keeps `fit` among the `kNearestKept` of least strain.
void keep_nearest(std::vector<PeriodFit>& nearest, const PeriodFit& fit) {
  for (const PeriodFit& kept : nearest) {
    if (kept.repeats == fit.repeats) return;
  }
  const auto at = std::find_if(nearest.begin(), nearest.end(),
                               [&](const PeriodFit& kept) { return fit.worst < kept.worst; });
  if (at == nearest.end() && nearest.size() >= kNearestKept) return;
  nearest.insert(at, fit);
  if (nearest.size() > kNearestKept) nearest.pop_back();
}

// The radius a wall is rolled to.
double radius_of(const WallLattice& wall) { return wall.lattice.diameter * 0.5; }

}  // namespace

PeriodSearch find_common_period(const std::vector<double>& periods,
                                const std::vector<long long>& atoms_per_period, double max_strain,
                                double max_length, long long max_atoms) {
  PeriodSearch search;
  if (periods.empty()) return search;
  // The wall of the longest period needs the fewest repeats: its K counts
  // the lengths tried.
  const std::size_t reference =
      static_cast<std::size_t>(std::max_element(periods.begin(), periods.end()) - periods.begin());
  const std::size_t walls = periods.size();
  // Near the limit of strain, a wall may fit with either of two repeats.
  const double reach = 2.5 * max_strain;
  // No fit is shorter than K T (1 - max_strain) for the reference wall's K
  // repeats of T.
  const double shortest = std::max(1.0 - max_strain, 1e-3);
  std::vector<std::vector<long long>> choices(walls);
  std::vector<long long> repeats(walls);
  std::vector<std::size_t> pick(walls);
  for (double k = 1.0;; k += 1.0) {
    const double target = k * periods[reference];
    if (target * shortest > max_length) break;
    // Beyond the fit found, no longer length can be shorter.
    if (search.fit && target * shortest > search.fit->length) break;
    double atoms = 0.0;
    std::size_t two_choice = 0;
    for (std::size_t i = 0; i < walls; ++i) {
      const double x = target / periods[i];
      const double nearest = std::max(1.0, std::round(x));
      choices[i].assign(1, static_cast<long long>(nearest));
      const double other = x > nearest ? nearest + 1.0 : nearest - 1.0;
      if (other >= 1.0 && std::fabs(other * periods[i] / target - 1.0) <= reach &&
          two_choice < kMaxTwoChoiceWalls) {
        choices[i].push_back(static_cast<long long>(other));
        ++two_choice;
      }
      atoms += nearest * static_cast<double>(atoms_per_period[i]);
    }
    if (atoms > static_cast<double>(max_atoms)) {
      search.atom_limit = true;
      break;
    }
    // Every combination of the choices, as an odometer.
    std::fill(pick.begin(), pick.end(), 0);
    for (;;) {
      for (std::size_t i = 0; i < walls; ++i) repeats[i] = choices[i][pick[i]];
      const PeriodFit fit = fit_of(periods, repeats);
      if (fit.length <= max_length) {
        keep_nearest(search.nearest, fit);
        if (fit.worst <= max_strain &&
            (!search.fit || fit.length < search.fit->length ||
             (fit.length == search.fit->length && fit.worst < search.fit->worst))) {
          search.fit = fit;
        }
      }
      std::size_t i = 0;
      while (i < walls && ++pick[i] == choices[i].size()) pick[i++] = 0;
      if (i == walls) break;
    }
  }
  return search;
}

std::optional<WallLattice> wall_lattice(int n, int m, const SheetSource& sheets) {
  try {
    check_chirality(n, m);
  } catch (const Error&) {
    return std::nullopt;
  }
  const std::optional<StructureParams> sheet = sheets(n, m);
  if (!sheet) return std::nullopt;
  WallLattice wall{n, m, *sheet, compute_lattice_params(n, m, *sheet)};
  try {
    check_tube_lattice(wall.structure, wall.lattice);
  } catch (const Error&) {
    return std::nullopt;
  }
  return wall;
}

std::vector<WallCandidate> next_wall_candidates(const std::vector<WallLattice>& walls,
                                                const WallCriteria& criteria,
                                                const SheetSource& sheets) {
  std::vector<WallCandidate> candidates;
  if (walls.empty()) return candidates;
  const WallLattice& outer = walls.back();
  const double low = radius_of(outer) + criteria.spacing - criteria.tolerance;
  const double high = radius_of(outer) + criteria.spacing + criteria.tolerance;
  // The outer wall's sheet estimates the diameters of the others, d = |a1|
  // sqrt(n^2 + nm + m^2) / pi; a margin of 2 % and 0.1 Angstrom lets sheets
  // of other tubes (relaxed tables) through to the exact test.  The
  // chiralities within it are those of a band of n^2 + nm + m^2.
  const double a1 = std::hypot(outer.structure.va1.x, outer.structure.va1.y);
  if (!(a1 > 0.0) || !(high > 0.0)) return candidates;
  const double reach = kPi / a1 * 2.0;  // from a radius to sqrt(n^2 + nm + m^2)
  const double q_low = std::pow(std::max(0.0, (low - 0.02 * low - 0.1) * reach), 2.0);
  const double q_high = std::pow((high + 0.02 * high + 0.1) * reach, 2.0);
  const auto m_bound = [](double n, double q) {
    // The m >= 0 with n^2 + nm + m^2 = q.
    const double root = 4.0 * q - 3.0 * n * n;
    return root <= 0.0 ? 0.0 : (std::sqrt(root) - n) * 0.5;
  };

  std::vector<double> periods;
  std::vector<long long> atoms;
  for (const WallLattice& wall : walls) {
    periods.push_back(wall.lattice.lencell);
    atoms.push_back(wall.lattice.natom);
  }
  periods.push_back(0.0);
  atoms.push_back(0);
  // Only the best few are kept: a candidate whose period is longer than
  // the fourth best cannot be among them, so its search stops there.
  constexpr std::size_t kKept = 4;
  const auto bound = [&] {
    return candidates.size() < kKept ? criteria.max_length : candidates[kKept - 1].fit.length;
  };
  const auto better = [&](const WallCandidate& a, const WallCandidate& b) {
    if (a.fit.length != b.fit.length) return a.fit.length < b.fit.length;
    if (a.fit.worst != b.fit.worst) return a.fit.worst < b.fit.worst;
    return std::fabs(a.spacing - criteria.spacing) < std::fabs(b.spacing - criteria.spacing);
  };
  const int n_low = static_cast<int>(std::floor(std::sqrt(q_low / 3.0)));
  const int n_high = static_cast<int>(std::ceil(std::sqrt(q_high)));
  for (int n = std::max(1, n_low); n <= n_high; ++n) {
    const double dn = n;
    const int m_low = static_cast<int>(std::max(0.0, std::floor(m_bound(dn, q_low))));
    const int m_high = static_cast<int>(std::min(dn, std::ceil(m_bound(dn, q_high))));
    for (int m = m_low; m <= m_high; ++m) {
      const std::optional<WallLattice> wall = wall_lattice(n, m, sheets);
      if (!wall) continue;
      const double spacing = radius_of(*wall) - radius_of(outer);
      if (std::fabs(spacing - criteria.spacing) > criteria.tolerance) continue;
      periods.back() = wall->lattice.lencell;
      atoms.back() = wall->lattice.natom;
      PeriodSearch search = find_common_period(periods, atoms, criteria.max_strain, bound());
      if (!search.fit) continue;
      WallCandidate candidate{*wall, spacing, std::move(*search.fit)};
      const auto at = std::upper_bound(candidates.begin(), candidates.end(), candidate, better);
      candidates.insert(at, std::move(candidate));
      if (candidates.size() > kKept) candidates.pop_back();
    }
  }
  return candidates;
}

long long hexagonal_count(long long rings) { return 3 * rings * (rings + 1) + 1; }

long long hexagonal_rings(long long count) {
  for (long long rings = 0; rings < 1000000; ++rings) {
    const long long tubes = hexagonal_count(rings);
    if (tubes == count) return rings;
    if (tubes > count) break;
  }
  return -1;
}

PackingLayout pack_tubes(const Packing& packing, double radius) {
  PackingLayout layout;
  const double a = 2.0 * radius + packing.gap;
  layout.lattice_constant = a;
  const double row = a * std::sqrt(3.0) * 0.5;  // the distance between rows
  if (packing.rows > 0) {
    // A parallelogram of the lattice vectors (a, 0) and (a/2, a sqrt(3)/2);
    // a rope puts each tube in the middle of its cell, a bundle centres the
    // whole on the axis.
    const double across = static_cast<double>(packing.columns - 1) * a +
                          static_cast<double>(packing.rows - 1) * a * 0.5;
    const double up = static_cast<double>(packing.rows - 1) * row;
    const std::array<double, 2> origin =
        packing.rope ? std::array<double, 2>{a * 0.75, row * 0.5}
                     : std::array<double, 2>{-across * 0.5, -up * 0.5};
    for (long long j = 0; j < packing.rows; ++j) {
      for (long long i = 0; i < packing.columns; ++i) {
        layout.centres.push_back({origin[0] + static_cast<double>(i) * a +
                                      static_cast<double>(j) * a * 0.5,
                                  origin[1] + static_cast<double>(j) * row});
      }
    }
    return layout;
  }
  // Whole rings around the tube at the origin, row by row.
  const long long rings = std::max(0LL, hexagonal_rings(packing.count));
  for (long long r = -rings; r <= rings; ++r) {
    for (long long q = -rings; q <= rings; ++q) {
      if (std::llabs(q + r) > rings) continue;
      layout.centres.push_back({static_cast<double>(q) * a + static_cast<double>(r) * a * 0.5,
                                static_cast<double>(r) * row});
    }
  }
  return layout;
}

long long tube_count(const Packing& packing) {
  return packing.rows > 0 ? packing.rows * packing.columns : packing.count;
}

std::vector<long long> wall_atom_counts(const AssemblyPlan& plan) {
  std::vector<long long> counts;
  long long total = 0;
  for (std::size_t i = 0; i < plan.walls.size() && total <= kMaxAssemblyAtoms; ++i) {
    const WallLattice& wall = plan.walls[i];
    long long count = 0;
    if (plan.fit) {
      const double atoms = static_cast<double>(plan.cells) *
                           static_cast<double>(plan.fit->repeats[i]) *
                           static_cast<double>(wall.lattice.natom);
      count = atoms > static_cast<double>(kMaxAssemblyAtoms) ? kMaxAssemblyAtoms + 1
                                                            : static_cast<long long>(atoms);
    } else {
      const std::vector<CellAtom> cell = build_unit_cell(wall.n, wall.m);
      count = count_tube_atoms(wall.structure, wall.lattice, cell,
                               cells_of_length(plan.length, wall.lattice));
    }
    counts.push_back(count);
    total += count;
  }
  return counts;
}

Frame build_assembly(const AssemblyPlan& plan) {
  const std::vector<long long> counts = wall_atom_counts(plan);
  const Packing& packing = plan.packing;
  const double tubes = static_cast<double>(tube_count(packing));
  double per_tube = 0.0;
  for (const long long count : counts) per_tube += static_cast<double>(count);
  if (counts.size() < plan.walls.size() ||
      per_tube * tubes > static_cast<double>(kMaxAssemblyAtoms)) {
    throw Error(format_text("Error: the assembly would hold more than %lld atoms.\n",
                            kMaxAssemblyAtoms));
  }
  const PackingLayout layout = pack_tubes(packing, radius_of(plan.walls.back()));

  const int A = plan.axis;
  const int B = (A + 1) % 3;
  const int C = (A + 2) % 3;
  // The two axes across the tube axis in the order x, y, z: the plane of the
  // packing's first and second coordinates.
  const int P = A == 0 ? 1 : 0;
  const int Q = A == 2 ? 1 : 2;
  const double length = plan.fit ? static_cast<double>(plan.cells) * plan.fit->length : plan.length;
  const double half = length * 0.5;

  Frame frame;
  frame.positions.reserve(static_cast<std::size_t>(per_tube * tubes));
  frame.molecule.reserve(frame.positions.capacity());
  std::uint32_t molecule = 0;
  for (const std::array<double, 2>& centre : layout.centres) {
    for (std::size_t i = 0; i < plan.walls.size(); ++i) {
      const WallLattice& wall = plan.walls[i];
      const std::vector<CellAtom> cell = build_unit_cell(wall.n, wall.m);
      TubeParams tube;
      tube.n = wall.n;
      tube.m = wall.m;
      tube.structure = wall.structure;
      tube.axis = A;
      if (plan.fit) {
        const double repeats = static_cast<double>(plan.fit->repeats[i]);
        tube.cells = static_cast<double>(plan.cells) * repeats;
        const double span = repeats * wall.lattice.lencell;
        tube.axial_scale = plan.fit->length == span ? 1.0 : plan.fit->length / span;
      } else {
        tube.cells = cells_of_length(plan.length, wall.lattice);
      }
      const TubeRoller roller(tube, wall.lattice, cell);
      const double degrees = i < plan.rotations.size() ? plan.rotations[i] : 0.0;
      const double turn = degrees * kPi / 180.0;
      const double cos_turn = std::cos(turn);
      const double sin_turn = std::sin(turn);
      const double shift = i < plan.shifts.size() ? plan.shifts[i] : 0.0;
      ++molecule;
      roller.roll_scene(0, [&](const Position3* positions, std::size_t count) {
        for (std::size_t k = 0; k < count; ++k) {
          Position3 p = positions[k];
          if (degrees != 0.0) {
            const double b = p[B];
            const double c = p[C];
            p[B] = b * cos_turn - c * sin_turn;
            p[C] = b * sin_turn + c * cos_turn;
          }
          if (shift != 0.0) p[A] = p[A] + shift;
          if (plan.periodic) {
            // A periodic tube keeps its atoms within one period, from its
            // lower face on: an atom below it by the rounding of the
            // walls' scales is on it.
            p[A] = p[A] - std::floor((p[A] + half) / length) * length;
            if (p[A] >= half - length * 1e-12 || p[A] < -half) p[A] = -half;
          }
          p[P] = p[P] + centre[0];
          p[Q] = p[Q] + centre[1];
          frame.positions.push_back(p);
          frame.molecule.push_back(molecule);
        }
      }, plan.basis.empty() ? nullptr : &frame.kind);
    }
  }
  if (plan.basis.empty()) {
    frame.kind.assign(frame.positions.size(), 0);
  } else {
    frame.species = plan.basis;
  }
  frame.molecule_count = molecule;

  Cell& cell = frame.cell;
  cell.lo[A] = -half;
  cell.hi[A] = half;
  cell.periodic[A] = plan.periodic;
  if (packing.rope) {
    // A restricted triclinic cell: the lattice vectors (columns a, 0) and
    // (rows a/2, rows a sqrt(3)/2) in the plane of P and Q, the axis its
    // own edge.  Whichever of the three is along x comes first.
    const double a = layout.lattice_constant;
    const double first = static_cast<double>(packing.columns) * a;
    // The second edge less whole first edges: the same lattice, with the
    // tilt within half the first edge as LAMMPS takes it.
    double skew = static_cast<double>(packing.rows) * a * 0.5;
    skew = skew - first * std::ceil(skew / first - 0.5);
    const double second = static_cast<double>(packing.rows) * a * std::sqrt(3.0) * 0.5;
    cell.lo[P] = 0.0;
    cell.hi[P] = first;
    cell.lo[Q] = 0.0;
    cell.hi[Q] = second;
    if (A == 2) cell.xy = skew;
    if (A == 0) cell.yz = skew;
    if (A == 1) cell.xz = skew;
    cell.periodic = {true, true, true};
  } else {
    // Open across the axis: the extent of the centres and four outer
    // diameters, centred on the axis as a single tube is.
    const double diameter = plan.walls.back().lattice.diameter;
    for (int k = 0; k < 2; ++k) {
      double low = 0.0;
      double high = 0.0;
      for (const std::array<double, 2>& centre : layout.centres) {
        low = std::min(low, centre[k]);
        high = std::max(high, centre[k]);
      }
      const double extent = high - low + diameter * 4.0;
      cell.lo[k == 0 ? P : Q] = -extent * 0.5;
      cell.hi[k == 0 ? P : Q] = extent * 0.5;
    }
  }
  return frame;
}

}  // namespace swnt
