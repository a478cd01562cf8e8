#include "geometry/defects.hpp"

#include <gtest/gtest.h>

#include <cmath>
#include <set>
#include <vector>

#include "core/elements.hpp"
#include "geometry/assembly.hpp"

namespace {

// The first outputs of SplitMix64 from the seed 0, as its authors publish them.
TEST(Defects, GeneratorIsSplitMix64) {
  swnt::SplitMix64 random(0);
  EXPECT_EQ(random.next(), 0xE220A8397B1DCDAFULL);
  EXPECT_EQ(random.next(), 0x6E789E6AA1B965F4ULL);
  EXPECT_EQ(random.next(), 0x06C45D188009454FULL);
  swnt::SplitMix64 small(42);
  std::vector<int> seen(3, 0);
  for (int k = 0; k < 3000; ++k) ++seen[small.below(3)];
  for (const int count : seen) EXPECT_NEAR(count, 1000, 120);
}

swnt::Frame periodic_tube(int n, int m, long long cells) {
  swnt::AssemblyPlan plan;
  const swnt::StructureParams sheet = swnt::cylindrical_structure(1.42);
  plan.walls = {{n, m, sheet, swnt::compute_lattice_params(n, m, sheet)}};
  plan.fit = swnt::find_common_period({plan.walls[0].lattice.lencell}, {1}, 0.005, 100).fit;
  plan.cells = cells;
  plan.periodic = true;
  return swnt::build_assembly(plan);
}

// Squared distance by the nearest image along z.
double distance2(const swnt::Frame& frame, std::size_t a, std::size_t b) {
  double sum = 0.0;
  for (int k = 0; k < 3; ++k) {
    double d = frame.positions[a][k] - frame.positions[b][k];
    if (k == 2) d -= frame.cell.length(2) * std::round(d / frame.cell.length(2));
    sum += d * d;
  }
  return sum;
}

// The rules, seen from outside: the vacancies leave three two-bonded atoms
// each, no dopant is bonded to another, every atom of a turned bond keeps
// three bonds; the same seed gives the same structure, another seed other
// sites; asking for more than fit says how many do.
TEST(Defects, FollowTheirRulesAndTheSeed) {
  swnt::DefectRequest request;
  request.stone_wales = 3;
  request.vacancies = 4;
  request.dopants = {{swnt::element_species(*swnt::find_element("N")), true, 0.02, 0},
                     {swnt::element_species(*swnt::find_element("B")), false, 0.0, 5}};
  request.seed = 11;
  const std::vector<std::array<double, 2>> centres{{0.0, 0.0}};
  swnt::Frame frame = periodic_tube(10, 10, 12);
  const std::size_t perfect = frame.positions.size();
  const swnt::DefectReport report = swnt::make_defects(frame, request, centres, 2);
  ASSERT_EQ(frame.positions.size(), perfect - 4);
  ASSERT_EQ(report.dopants.size(), 2u);
  EXPECT_EQ(report.dopants[0].size(), static_cast<std::size_t>(std::llround(0.02 * (perfect - 4))));
  EXPECT_EQ(report.dopants[1].size(), 5u);

  // Bonds by brute force: every atom three, but the neighbours of the vacancies two.
  const std::size_t n = frame.positions.size();
  std::vector<std::vector<std::size_t>> bonded(n);
  for (std::size_t a = 0; a < n; ++a) {
    for (std::size_t b = a + 1; b < n; ++b) {
      if (distance2(frame, a, b) < 1.8 * 1.8) {
        bonded[a].push_back(b);
        bonded[b].push_back(a);
      }
    }
  }
  std::size_t two = 0;
  for (std::size_t a = 0; a < n; ++a) {
    EXPECT_GE(bonded[a].size(), 2u) << a;
    EXPECT_LE(bonded[a].size(), 3u) << a;
    two += bonded[a].size() == 2 ? 1 : 0;
  }
  EXPECT_EQ(two, 12u);
  for (const auto& [a, b] : report.stone_wales) {
    EXPECT_EQ(bonded[a - 1].size(), 3u);
    EXPECT_EQ(bonded[b - 1].size(), 3u);
  }
  std::set<std::size_t> dopants;
  for (const auto& atoms : report.dopants) {
    for (const std::uint32_t atom : atoms) dopants.insert(atom - 1);
  }
  for (const std::size_t atom : dopants) {
    EXPECT_NE(frame.species[frame.kind[atom]].symbol, "C");
    for (const std::size_t other : bonded[atom]) EXPECT_EQ(dopants.count(other), 0u) << atom;
  }

  swnt::Frame same = periodic_tube(10, 10, 12);
  EXPECT_EQ(swnt::make_defects(same, request, centres, 2).vacancies, report.vacancies);
  EXPECT_EQ(same.positions, frame.positions);
  request.seed = 12;
  swnt::Frame other = periodic_tube(10, 10, 12);
  EXPECT_NE(swnt::make_defects(other, request, centres, 2).vacancies, report.vacancies);

  request.dopants.clear();
  request.stone_wales = 0;
  request.vacancies = 200;
  swnt::Frame crowded = periodic_tube(10, 10, 12);
  try {
    swnt::make_defects(crowded, request, centres, 2);
    ADD_FAILURE() << "200 vacancies placed in 480 atoms";
  } catch (const swnt::Error& error) {
    EXPECT_NE(std::string(error.what()).find("Error: 200 vacancies asked, but only "), std::string::npos)
        << error.what();
  }
}

}  // namespace
