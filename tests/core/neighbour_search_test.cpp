#include "core/neighbour_search.hpp"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <limits>
#include <random>
#include <string>
#include <vector>

namespace {

using swnt::AtomPair;
using swnt::Position3;

double distance(const Position3& a, const Position3& b) {
  const double dx = a[0] - b[0];
  const double dy = a[1] - b[1];
  const double dz = a[2] - b[2];
  return std::sqrt(dx * dx + dy * dy + dz * dz);
}

// The plain definition: every pair i < j, i ascending, then j ascending.
template <class Close>
std::vector<AtomPair> all_pairs(std::size_t count, Close close) {
  std::vector<AtomPair> pairs;
  for (std::uint32_t i = 0; i < count; ++i) {
    for (std::uint32_t j = i + 1; j < count; ++j) {
      if (close(i, j)) pairs.push_back({i, j});
    }
  }
  return pairs;
}

std::string describe(const std::vector<AtomPair>& pairs) {
  std::string text;
  for (const AtomPair& p : pairs) {
    text += '(';
    text += std::to_string(p.first);
    text += ',';
    text += std::to_string(p.second);
    text += ')';
  }
  return text;
}

// Compares the binned search with the plain definition for the distance test
// d < reach (or d <= reach) on the positions themselves.
void expect_same_pairs(const std::vector<Position3>& positions, double reach, bool inclusive,
                       const std::string& what) {
  const auto close = [&](std::uint32_t i, std::uint32_t j) {
    const double d = distance(positions[i], positions[j]);
    return inclusive ? d <= reach : d < reach;
  };
  std::vector<AtomPair> found{{7, 9}};  // results are appended
  swnt::find_close_pairs(positions, reach, close, found);
  std::vector<AtomPair> expected{{7, 9}};
  const auto reference = all_pairs(positions.size(), close);
  expected.insert(expected.end(), reference.begin(), reference.end());
  ASSERT_EQ(found.size(), expected.size()) << what;
  EXPECT_EQ(describe(found), describe(expected)) << what;
}

std::vector<Position3> uniform_cloud(std::mt19937_64& rng, std::size_t count, double side) {
  std::uniform_real_distribution<double> u(-side / 2, side / 2);
  std::vector<Position3> positions(count);
  for (auto& p : positions) p = {u(rng), u(rng), u(rng)};
  return positions;
}

TEST(NeighbourSearch, RandomCloudsOfEveryDensityMatchAllPairs) {
  std::mt19937_64 rng(7);
  for (const double side : {1.0, 4.0, 10.0, 25.0, 80.0, 1000.0}) {
    for (const std::size_t count : {0u, 1u, 2u, 50u, 1500u}) {
      const auto positions = uniform_cloud(rng, count, side);
      expect_same_pairs(positions, 1.8, false,
                        "side " + std::to_string(side) + " count " + std::to_string(count));
    }
  }
}

TEST(NeighbourSearch, ClustersAndCoincidentAtomsMatchAllPairs) {
  std::mt19937_64 rng(11);
  std::normal_distribution<double> blob(0.0, 0.7);
  std::uniform_real_distribution<double> centre(-60.0, 60.0);
  std::vector<Position3> positions;
  for (int c = 0; c < 20; ++c) {
    const Position3 at{centre(rng), centre(rng), centre(rng)};
    for (int k = 0; k < 40; ++k) {
      positions.push_back({at[0] + blob(rng), at[1] + blob(rng), at[2] + blob(rng)});
    }
  }
  // Many atoms on one point, interleaved with the rest.
  for (int k = 0; k < 120; ++k) positions.insert(positions.begin() + 7 * k, Position3{3, 3, 3});
  expect_same_pairs(positions, 1.8, false, "clusters");

  // Everything on one point, and everything inside one cell.
  expect_same_pairs(std::vector<Position3>(300, Position3{-5, 2, 1e-3}), 1.8, false, "one point");
  expect_same_pairs(uniform_cloud(rng, 400, 0.5), 1.8, false, "one cell");
}

TEST(NeighbourSearch, PairsExactlyAtReachAreFoundWhenTheTestAcceptsThem) {
  // A lattice with spacing equal to the reach: axis neighbours are exactly at
  // reach, so the inclusive and exclusive tests differ on every one of them.
  std::vector<Position3> positions;
  for (int x = 0; x < 8; ++x) {
    for (int y = 0; y < 8; ++y) {
      for (int z = 0; z < 8; ++z) positions.push_back({x * 1.5, y * 1.5, z * 1.5});
    }
  }
  expect_same_pairs(positions, 1.5, true, "inclusive lattice");
  expect_same_pairs(positions, 1.5, false, "exclusive lattice");
  // A reach of zero: only coincident atoms.
  positions.push_back({3.0, 3.0, 3.0});
  expect_same_pairs(positions, 0.0, true, "zero reach");
}

TEST(NeighbourSearch, NonFiniteAndHugeCoordinatesMatchAllPairs) {
  std::mt19937_64 rng(13);
  const double inf = std::numeric_limits<double>::infinity();
  const double nan = std::numeric_limits<double>::quiet_NaN();
  auto positions = uniform_cloud(rng, 600, 15.0);
  const Position3 odd[] = {{1e300, 0, 0},  {1e300, 0, 0},   {-1e300, 5, 5}, {0, 1e300, 1},
                           {inf, 0, 0},    {inf, 0, 0},     {0, -inf, 0},   {nan, 1, 1},
                           {1, nan, 1},    {1e300, 1e300, 1e300}, {1e300, 1e300, 1e300},
                           {1e15, 0, 0},   {1e15, 0, 1.0},  {-1e15, 0, 0},  {1.7e308, 0, 0},
                           {-1.7e308, 0, 0}};
  std::uniform_int_distribution<std::size_t> where(0, positions.size());
  for (const Position3& p : odd) positions.insert(positions.begin() + where(rng), p);
  expect_same_pairs(positions, 1.8, false, "huge and non-finite mixed in");

  // Only huge values: a sparse spread over an enormous box.
  std::vector<Position3> sparse;
  std::uniform_real_distribution<double> far(-1e12, 1e12);
  for (int k = 0; k < 300; ++k) sparse.push_back({far(rng), far(rng), far(rng)});
  sparse.push_back(sparse[17]);
  sparse.push_back({sparse[40][0], sparse[40][1], sparse[40][2] + 1.0});
  expect_same_pairs(sparse, 1.8, false, "sparse huge box");
}

TEST(NeighbourSearch, IntegerGridPositionsWithTheIntegerDistanceTest) {
  // Positions stored in units of 0.01, binned as unit * 0.01, tested with the
  // distance of the integer differences, as the pv scene writer does.
  std::mt19937_64 rng(17);
  for (const int spread : {150, 600, 2500, 32767}) {
    std::uniform_int_distribution<int> u(-spread, spread);
    std::uniform_int_distribution<int> snap(0, 3);
    std::vector<std::array<int, 3>> stored(1200);
    for (auto& s : stored) {
      s = {u(rng), u(rng), u(rng)};
      // Some on a 60-unit grid, so that pairs exactly 180 units apart occur.
      if (snap(rng) == 0) {
        for (int& v : s) v = v / 60 * 60;
      }
    }
    std::vector<Position3> positions;
    for (const auto& s : stored) positions.push_back({s[0] * 0.01, s[1] * 0.01, s[2] * 0.01});
    const auto close = [&](std::uint32_t i, std::uint32_t j) {
      const double dx = (stored[i][0] - stored[j][0]) * 0.01;
      const double dy = (stored[i][1] - stored[j][1]) * 0.01;
      const double dz = (stored[i][2] - stored[j][2]) * 0.01;
      return std::sqrt(dx * dx + dy * dy + dz * dz) < 1.8;
    };
    std::vector<AtomPair> found;
    swnt::find_close_pairs(positions, 1.8, close, found);
    const auto expected = all_pairs(stored.size(), close);
    EXPECT_EQ(describe(found), describe(expected)) << spread;
  }
}

// A graphene-like sheet of `rings` x 40 atoms rolled onto an arc of the
// given fraction of a full turn, as the frames of a wrapping animation are:
// most cells of the box around a wide arc are empty.
std::vector<Position3> rolled_sheet(int rings, double fraction) {
  const double radius = 27.0;
  std::vector<Position3> positions;
  for (int ring = 0; ring < rings; ++ring) {
    for (int k = 0; k < 40; ++k) {
      const double u = (k + 0.5 * (ring % 2)) / 40.0 - 0.5;  // turns, centred on 0
      const double along = ring * 1.23;
      if (fraction < 1e-8) {
        positions.push_back({along, radius * swnt::kTwoPi * u, 0.0});
      } else {
        const double arc = radius / fraction;
        const double phi = swnt::kTwoPi * u * fraction;
        positions.push_back({along, std::sin(phi) * arc, (1.0 - std::cos(phi)) * arc});
      }
    }
  }
  return positions;
}

TEST(NeighbourSearch, OneSearchServesScenesOfEveryShapeAndSize) {
  // The storage kept between scenes must not carry anything over: scenes of
  // different sizes and shapes, an empty one among them, each match the
  // plain definition.
  swnt::NeighbourSearch search;
  std::mt19937_64 rng(19);
  std::vector<std::vector<Position3>> scenes;
  for (const double fraction : {0.0, 0.05, 0.3, 0.5, 0.75, 1.0}) {
    scenes.push_back(rolled_sheet(30, fraction));
  }
  scenes.push_back({});
  scenes.push_back(uniform_cloud(rng, 900, 12.0));
  scenes.push_back(rolled_sheet(3, 1.0));
  scenes.push_back(uniform_cloud(rng, 2000, 300.0));
  for (std::size_t s = 0; s < scenes.size(); ++s) {
    const auto& positions = scenes[s];
    const auto close = [&](std::uint32_t i, std::uint32_t j) {
      return distance(positions[i], positions[j]) < 1.8;
    };
    std::vector<AtomPair> found;
    search.find_close_pairs(positions, 1.8, close, found);
    EXPECT_EQ(describe(found), describe(all_pairs(positions.size(), close))) << "scene " << s;
  }
}

TEST(NeighbourSearch, AtomsBeyondTheBinningWindowMatchAllPairs) {
  // Atoms millions of Angstrom out span more cells than the grid holds along
  // an axis: a window of cells around the median is binned, and the atoms
  // beyond it share its edge cells.  The scene is point-symmetric about an
  // atom at the origin, so the median of every axis is 0 and the window
  // edges lie at +-half the window; chains of atoms 1 Angstrom apart cross
  // both edges on every axis.
  std::mt19937_64 rng(23);
  const double reach = 1.8;
  const double edge = static_cast<double>(swnt::CellGrid::kMaxCellsPerAxis / 2) *
                      swnt::CellGrid::cell_width(reach);
  std::uniform_real_distribution<double> bulk(-50.0, 50.0);
  std::uniform_real_distribution<double> wobble(-0.3, 0.3);
  std::vector<Position3> half;
  for (int k = 0; k < 400; ++k) half.push_back({bulk(rng), bulk(rng), bulk(rng)});
  for (std::size_t axis = 0; axis < 3; ++axis) {
    Position3 far{wobble(rng), wobble(rng), wobble(rng)};
    far[axis] = 1e7;
    half.push_back(far);
    for (double t = edge - 20.0; t < edge + 20.0; t += 1.0) {
      Position3 p{wobble(rng), wobble(rng), wobble(rng)};
      p[axis] = t;
      half.push_back(p);
    }
  }
  std::vector<Position3> positions{{0.0, 0.0, 0.0}};
  for (const Position3& p : half) {
    positions.push_back(p);
    positions.push_back({-p[0], -p[1], -p[2]});
  }
  std::shuffle(positions.begin(), positions.end(), rng);
  expect_same_pairs(positions, reach, false, "window edges");

  // A tiny reach puts the window edges 1.3 Angstrom out, inside a cloud.
  std::uniform_real_distribution<double> spread(-10.0, 10.0);
  std::uniform_real_distribution<double> step(0.0, 1.2e-6);
  std::vector<Position3> cloud;
  for (int k = 0; k < 1500; ++k) {
    cloud.push_back({spread(rng), spread(rng), spread(rng)});
    Position3 q = cloud.back();
    for (double& v : q) v += step(rng);
    cloud.push_back(q);
  }
  expect_same_pairs(cloud, 1e-6, false, "tiny reach");
  expect_same_pairs(cloud, 1e-6, true, "tiny reach, inclusive");
}

}  // namespace
