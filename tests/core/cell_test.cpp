// Cells from lattice vectors: any right-handed lattice turned into the
// cell's own form keeps every distance and fractional coordinate; a lattice
// in that form already stays as it is; tilts are brought within LAMMPS's
// limits by whole periodic edge vectors only.
#include "core/cell.hpp"

#include <gtest/gtest.h>

#include <cmath>
#include <random>
#include <vector>

#include "core/neighbour_search.hpp"

namespace {

using swnt::Cell;
using swnt::CellPlacement;
using swnt::LatticeVectors;
using swnt::Position3;

double dot(const Position3& u, const Position3& v) { return u[0] * v[0] + u[1] * v[1] + u[2] * v[2]; }

double det(const LatticeVectors& m) {
  return m[0][0] * (m[1][1] * m[2][2] - m[1][2] * m[2][1]) -
         m[0][1] * (m[1][0] * m[2][2] - m[1][2] * m[2][0]) +
         m[0][2] * (m[1][0] * m[2][1] - m[1][1] * m[2][0]);
}

Position3 combine(const Position3& origin, const Position3& f, const LatticeVectors& m) {
  Position3 p = origin;
  for (int k = 0; k < 3; ++k) {
    for (int v = 0; v < 3; ++v) p[k] += f[v] * m[v][k];
  }
  return p;
}

LatticeVectors vectors_of(const Cell& cell) { return {cell.vector(0), cell.vector(1), cell.vector(2)}; }

TEST(Cell, AnyLatticeKeepsDistancesAndFractionalCoordinates) {
  std::mt19937_64 rng(2024);
  std::uniform_real_distribution<double> component(-12.0, 12.0);
  std::uniform_real_distribution<double> unit(0.0, 1.0);
  int tried = 0;
  while (tried < 300) {
    LatticeVectors lattice;
    for (Position3& v : lattice) v = {component(rng), component(rng), component(rng)};
    const double lengths = std::sqrt(dot(lattice[0], lattice[0]) * dot(lattice[1], lattice[1]) *
                                     dot(lattice[2], lattice[2]));
    if (std::fabs(det(lattice)) < 0.05 * lengths) continue;  // nearly flat: ill-conditioned
    if (det(lattice) < 0) std::swap(lattice[0], lattice[1]);
    ++tried;
    const Position3 origin{component(rng), component(rng), component(rng)};
    std::vector<Position3> fractions(12);
    std::vector<Position3> positions;
    for (Position3& f : fractions) {
      f = {unit(rng), unit(rng), unit(rng)};
      positions.push_back(combine(origin, f, lattice));
    }
    const std::vector<Position3> before = positions;
    CellPlacement placement;
    ASSERT_EQ(swnt::place_lattice(lattice, origin, {false, false, false}, placement), "");
    placement.place(positions);
    const Cell& cell = placement.cell;
    EXPECT_EQ(cell.lo, origin);
    // The same edge lengths and angles, in the cell's form.
    const LatticeVectors turned = vectors_of(cell);
    for (int i = 0; i < 3; ++i) {
      for (int j = 0; j < 3; ++j) {
        EXPECT_NEAR(dot(turned[i], turned[j]), dot(lattice[i], lattice[j]), 1e-11 * lengths);
      }
    }
    for (std::size_t a = 0; a < positions.size(); ++a) {
      const Position3 f = cell.fractional(positions[a]);
      for (int k = 0; k < 3; ++k) EXPECT_NEAR(f[k], fractions[a][k], 1e-12);
      for (std::size_t b = 0; b < a; ++b) {
        EXPECT_NEAR(swnt::distance(positions[a], positions[b]), swnt::distance(before[a], before[b]),
                    1e-12 * 50.0);
      }
    }
  }
}

// ase.build.graphene's hexagonal cell (with its -0 in c) and an orthogonal
// box come out as they went in, bit for bit, with their positions.
TEST(Cell, RestrictedLatticeStaysAsItIs) {
  const LatticeVectors graphene{{{2.46, 0.0, 0.0}, {-1.23, 2.130422493309719, 0.0}, {0.0, -0.0, 10.0}}};
  const LatticeVectors box{{{24.6, 0.0, 0.0}, {0.0, 30.1, 0.0}, {0.0, 0.0, 7.3}}};
  for (const LatticeVectors& lattice : {graphene, box}) {
    for (const Position3& origin : {Position3{0.0, 0.0, 0.0}, Position3{-5.0, 0.25, 3.0}}) {
      for (const swnt::PeriodicAxes& periodic :
           {swnt::PeriodicAxes{true, true, true}, swnt::PeriodicAxes{true, true, false}}) {
        CellPlacement placement;
        ASSERT_EQ(swnt::place_lattice(lattice, origin, periodic, placement), "");
        const Cell& cell = placement.cell;
        EXPECT_FALSE(placement.rotated);
        EXPECT_EQ(cell.lo, origin);
        for (int k = 0; k < 3; ++k) EXPECT_EQ(cell.hi[k], origin[k] + lattice[k][k]);
        EXPECT_EQ(std::signbit(cell.yz), std::signbit(lattice[2][1]));
        EXPECT_EQ(cell.xy, lattice[1][0]);
        EXPECT_EQ(cell.xz, lattice[2][0]);
        EXPECT_EQ(cell.yz, lattice[2][1]);
        EXPECT_EQ(cell.periodic, periodic);
        std::vector<Position3> positions{{0.1, 0.2, 0.3}, {-1e300, 1.0 / 3.0, 4.0}};
        const std::vector<Position3> before = positions;
        placement.place(positions);
        EXPECT_EQ(positions, before);
      }
    }
  }
}

TEST(Cell, RefusesFlatLeftHandedAndInfiniteLattices) {
  const auto error = [](const LatticeVectors& lattice) {
    CellPlacement placement;
    return swnt::place_lattice(lattice, {0.0, 0.0, 0.0}, {true, true, true}, placement);
  };
  EXPECT_EQ(error({{{1, 0, 0}, {0, 1, 0}, {0, 0, 0}}}), "its vectors lie in one plane (the cell has no volume)");
  EXPECT_EQ(error({{{1, 2, 3}, {2, 4, 6}, {0, 0, 1}}}), "its vectors lie in one plane (the cell has no volume)");
  EXPECT_EQ(error({{{0, 1, 0}, {1, 0, 0}, {0, 0, 1}}}),
            "its vectors a, b, c are left-handed (a negative volume): swap two of them");
  EXPECT_EQ(error({{{1e300, 0, 0}, {0, 1e300, 0}, {0, 0, 1e300}}}), "its volume is not a finite number");
}

// Tilts beyond half an edge go by whole periodic edge vectors: the periodic
// lattice stays the same (integer combinations, the same volume) and every
// tilt LAMMPS checks is within its limit; along open axes nothing moves.
TEST(Cell, TiltsAreReducedByPeriodicEdgeVectorsOnly) {
  Cell sheared;
  sheared.hi = {5.0, 4.0, 3.0};
  sheared.xy = 7.3;
  sheared.xz = -11.2;
  sheared.yz = 9.1;
  for (int mask = 0; mask < 8; ++mask) {
    Cell cell = sheared;
    cell.periodic = {(mask & 1) != 0, (mask & 2) != 0, (mask & 4) != 0};
    swnt::reduce_tilts(cell);
    if (cell.periodic[0]) {
      EXPECT_LE(std::fabs(cell.xy), 2.5);
      EXPECT_LE(std::fabs(cell.xz), 2.5);
    } else {
      EXPECT_EQ(cell.xy, sheared.xy);
    }
    if (cell.periodic[1]) {
      EXPECT_LE(std::fabs(cell.yz), 2.0);
    } else {
      EXPECT_EQ(cell.yz, sheared.yz);
      if (!cell.periodic[0]) {
        EXPECT_EQ(cell.xz, sheared.xz);
      }
    }
    // New edges in units of the old ones: whole numbers.
    const LatticeVectors old_edges = vectors_of(sheared);
    for (int e = 0; e < 3; ++e) {
      const Position3 edge = cell.vector(e);
      const double nc = edge[2] / old_edges[2][2];
      const double nb = (edge[1] - nc * old_edges[2][1]) / old_edges[1][1];
      const double na = (edge[0] - nc * old_edges[2][0] - nb * old_edges[1][0]) / old_edges[0][0];
      for (double n : {na, nb, nc}) EXPECT_NEAR(n, std::round(n), 1e-12);
      // Only periodic edges are added to another.
      if (!cell.periodic[0] && e != 0) {
        EXPECT_NEAR(na, 0.0, 1e-12);
      }
      if (!cell.periodic[1] && e == 2) {
        EXPECT_NEAR(nb, 0.0, 1e-12);
      }
    }
  }
}

}  // namespace
