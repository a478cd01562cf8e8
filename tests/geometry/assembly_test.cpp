#include "geometry/assembly.hpp"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <random>
#include <string>
#include <vector>

#include "builder/options.hpp"
#include "builder/tube_writer.hpp"
#include "geometry/tube.hpp"
#include "geometry/unit_cell.hpp"

namespace {

using swnt::Position3;

swnt::WallLattice ideal_wall(int n, int m, double bond) {
  const swnt::StructureParams sheet = swnt::cylindrical_structure(bond);
  return {n, m, sheet, swnt::compute_lattice_params(n, m, sheet)};
}

// The atoms of `wrapping N M ARGS...` as the builder places them, from its
// own option parsing.
std::vector<Position3> wrapping_atoms(const std::vector<std::string>& args) {
  swnt::WrapOptions options;
  swnt::set_parameters(args, options);
  const swnt::StructureParams sheet = swnt::cylindrical_structure(options.lacc);
  const swnt::TubeParams params = swnt::tube_params(options, sheet);
  const swnt::LatticeParams lattice = swnt::compute_lattice_params(params.n, params.m, sheet);
  const std::vector<swnt::CellAtom> cell = swnt::build_unit_cell(params.n, params.m);
  std::vector<Position3> atoms;
  swnt::TubeRoller(params, lattice, cell).roll_scene(0, [&](const Position3* p, std::size_t count) {
    atoms.insert(atoms.end(), p, p + count);
  });
  return atoms;
}

// A single wall of one period on the ideal lattice is the tube wrapping
// builds with the same bond length along z, atom for atom in some order.
TEST(Assembly, SingleWallIsTheWrappedTube) {
  for (const auto& [n, m] : {std::pair{10, 10}, {9, 0}, {8, 4}, {7, -2}, {13, 6}}) {
    swnt::AssemblyPlan plan;
    plan.walls = {ideal_wall(n, m, 1.42)};
    const swnt::PeriodSearch search =
        swnt::find_common_period({plan.walls[0].lattice.lencell}, {plan.walls[0].lattice.natom}, 0.005, 1000.0);
    ASSERT_TRUE(search.fit);
    EXPECT_EQ(search.fit->worst, 0.0);
    plan.fit = search.fit;
    std::vector<Position3> ours = swnt::build_assembly(plan).positions;
    std::vector<Position3> theirs = wrapping_atoms(
        {"wrapping", std::to_string(n), std::to_string(m), "-u", "1", "-az", "-c", "1.42"});
    ASSERT_EQ(ours.size(), theirs.size()) << n << "," << m;
    std::sort(ours.begin(), ours.end());
    std::sort(theirs.begin(), theirs.end());
    double worst = 0.0;
    for (std::size_t i = 0; i < ours.size(); ++i) {
      for (int a = 0; a < 3; ++a) worst = std::max(worst, std::fabs(ours[i][a] - theirs[i][a]));
    }
    EXPECT_LE(worst, 1e-9) << n << "," << m;
  }
}

// The search finds the shortest common length: compared with every pair of
// repeats up to the longest length, for random pairs and triples of periods.
TEST(Assembly, CommonPeriodIsTheShortestWithinTheStrain) {
  std::mt19937 random(7);
  std::uniform_real_distribution<double> period(1.5, 12.0);
  const double strain = 0.004;
  const double longest = 60.0;
  int fitted = 0;
  for (int trial = 0; trial < 200; ++trial) {
    const std::size_t walls = trial % 2 == 0 ? 2 : 3;
    std::vector<double> periods;
    for (std::size_t i = 0; i < walls; ++i) periods.push_back(period(random));
    const swnt::PeriodSearch search =
        swnt::find_common_period(periods, std::vector<long long>(walls, 10), strain, longest);
    // Brute force: every tuple of repeats whose spans all fit below the
    // longest length with the strain spread evenly.
    double best = 0.0;
    std::vector<long long> k(walls, 1);
    const auto spans_fit = [&] {
      double low = 1e300;
      double high = 0.0;
      for (std::size_t i = 0; i < walls; ++i) {
        low = std::min(low, static_cast<double>(k[i]) * periods[i]);
        high = std::max(high, static_cast<double>(k[i]) * periods[i]);
      }
      const double length = low == high ? low : 2.0 * low * high / (low + high);
      if (length <= longest && length / low - 1.0 <= strain && 1.0 - length / high <= strain &&
          (best == 0.0 || length < best)) {
        best = length;
      }
    };
    for (k[0] = 1; static_cast<double>(k[0]) * periods[0] < longest * 1.01; ++k[0]) {
      for (k[1] = 1; static_cast<double>(k[1]) * periods[1] < longest * 1.01; ++k[1]) {
        if (walls == 2) {
          spans_fit();
          continue;
        }
        const double x = static_cast<double>(k[0]) * periods[0] / periods[2];
        for (k[2] = std::max(1LL, static_cast<long long>(x) - 1); k[2] <= static_cast<long long>(x) + 2; ++k[2]) {
          spans_fit();
        }
      }
    }
    ASSERT_EQ(search.fit.has_value(), best > 0.0) << trial;
    if (!search.fit) {
      EXPECT_FALSE(search.nearest.empty());
      continue;
    }
    ++fitted;
    EXPECT_NEAR(search.fit->length, best, 1e-9) << trial;
    EXPECT_LE(search.fit->worst, strain);
    for (std::size_t i = 0; i < walls; ++i) {
      const double span = static_cast<double>(search.fit->repeats[i]) * periods[i];
      EXPECT_NEAR(search.fit->strains[i], search.fit->length / span - 1.0, 1e-15);
    }
  }
  // Both outcomes are tried often.
  EXPECT_GT(fitted, 40);
  EXPECT_LT(fitted, 160);
}

// Walls of one period need no strain; (6,6)@(11,11) on a sheet whose walls
// differ by 0.29 % shares the strain evenly; candidates are ordered.
TEST(Assembly, StrainSpreadsEvenlyAndCandidatesAreOrdered) {
  const swnt::PeriodSearch equal = swnt::find_common_period({2.4595, 2.4595, 2.4595}, {1, 1, 1}, 0.005, 100);
  ASSERT_TRUE(equal.fit);
  EXPECT_EQ(equal.fit->strains, (std::vector<double>{0.0, 0.0, 0.0}));
  const swnt::PeriodSearch pair = swnt::find_common_period({2.4718, 2.4647}, {24, 44}, 0.005, 100);
  ASSERT_TRUE(pair.fit);
  EXPECT_EQ(pair.fit->repeats, (std::vector<long long>{1, 1}));
  EXPECT_NEAR(pair.fit->strains[0], -pair.fit->strains[1], 1e-15);
  EXPECT_FALSE(swnt::find_common_period({2.4718, 2.4647}, {24, 44}, 0.001, 10).fit);

  const swnt::SheetSource ideal = [](int, int) { return swnt::cylindrical_structure(1.42); };
  const std::vector<swnt::WallCandidate> next =
      swnt::next_wall_candidates({ideal_wall(5, 5, 1.42)}, swnt::WallCriteria{}, ideal);
  ASSERT_GE(next.size(), 2u);
  EXPECT_EQ(next.front().wall.n, 10);
  EXPECT_EQ(next.front().wall.m, 10);
  for (std::size_t k = 0; k < next.size(); ++k) {
    EXPECT_LE(std::fabs(next[k].spacing - 3.4), 0.15);
    if (k > 0) {
      EXPECT_LE(next[k - 1].fit.length, next[k].fit.length);
    }
  }
}

// Every tube of a bundle has its nearest neighbours at the lattice constant,
// none closer; a rope of R x C tubes lies inside its triclinic cell.
TEST(Assembly, PackingsKeepTheGap) {
  for (const swnt::Packing packing :
       {swnt::Packing{7, 0, 0, false, 3.2}, swnt::Packing{19, 0, 0, false, 2.0},
        swnt::Packing{1, 2, 3, true, 3.2}, swnt::Packing{1, 3, 2, false, 3.2}}) {
    const swnt::PackingLayout layout = swnt::pack_tubes(packing, 5.0);
    const std::size_t expected =
        packing.rows > 0 ? static_cast<std::size_t>(packing.rows * packing.columns)
                         : static_cast<std::size_t>(packing.count);
    ASSERT_EQ(layout.centres.size(), expected);
    EXPECT_DOUBLE_EQ(layout.lattice_constant, 10.0 + packing.gap);
    for (std::size_t i = 0; i < expected; ++i) {
      double nearest = 1e300;
      for (std::size_t j = 0; j < expected; ++j) {
        if (i != j) {
          nearest = std::min(nearest, std::hypot(layout.centres[i][0] - layout.centres[j][0],
                                                 layout.centres[i][1] - layout.centres[j][1]));
        }
      }
      EXPECT_NEAR(nearest, layout.lattice_constant, 1e-9);
    }
  }
  EXPECT_EQ(swnt::hexagonal_rings(37), 3);
  EXPECT_EQ(swnt::hexagonal_rings(8), -1);
}

}  // namespace
