#include "geometry/unit_cell.hpp"

#include <gtest/gtest.h>

#include <string>
#include <tuple>
#include <vector>

#include "builder/tube_writer.hpp"

namespace {

using Triple = std::tuple<int, int, int>;

std::vector<Triple> build(int n, int m, double lacc = 1.44, bool debug = false) {
  swnt::WrapOptions options;
  options.debug = debug;
  options.cn = n;
  options.cm = m;
  options.lacc = lacc;
  options.optfile = "/nonexistent/opttb.dat";
  std::vector<Triple> out;
  for (const swnt::CellAtom& a : swnt::build_unit_cell(n, m, swnt::debug_log(options))) {
    out.emplace_back(a.c1, a.c2, a.sub);
  }
  return out;
}

TEST(UnitCell, ListsTheCellInScanOrderOnTheIdealLattice) {
  EXPECT_EQ(build(3, 0), (std::vector<Triple>{{0, -1, 1}, {0, 0, 0}, {1, -2, 1}, {1, -1, 0},
                                               {1, -1, 1}, {1, 0, 0}, {2, -2, 1}, {2, -1, 0},
                                               {2, -1, 1}, {2, 0, 0}, {3, -2, 1}, {3, -1, 0}}));
  EXPECT_EQ(build(5, 5), (std::vector<Triple>{{0, 0, 0}, {0, 0, 1}, {1, 0, 0}, {1, 0, 1}, {1, 1, 0},
                                               {1, 1, 1}, {2, 1, 0}, {2, 1, 1}, {2, 2, 0}, {2, 2, 1},
                                               {3, 2, 0}, {3, 2, 1}, {3, 3, 0}, {3, 3, 1}, {4, 3, 0},
                                               {4, 3, 1}, {4, 4, 0}, {4, 4, 1}, {5, 4, 0}, {5, 4, 1}}));
  EXPECT_EQ(build(10, 10).size(), 40u);
  EXPECT_EQ(build(10, 10).front(), Triple(0, 0, 0));
  EXPECT_EQ(build(10, 0).size(), 40u);
  EXPECT_EQ(build(10, 0).front(), Triple(0, -1, 1));
  EXPECT_EQ(build(8, 4).size(), 112u);
  EXPECT_EQ(build(6, 5).size(), 364u);
  // The run's lattice (another bond length, a table file) plays no part.
  EXPECT_EQ(build(8, 4, 1.2), build(8, 4));
  EXPECT_EQ(build(8, 4, -1.0), build(8, 4));
}

TEST(UnitCell, ChiralitiesWithNegativeIndicesGetASoundCell) {
  // The scan follows the cell's corners, so these get natom atoms that
  // form a closed piece of tube with three bonds each.
  for (const auto& [n, m, natom] : std::vector<Triple>{{5, -2, 76}, {6, -1, 124}, {-3, -5, 196}}) {
    SCOPED_TRACE(std::to_string(n) + "," + std::to_string(m));
    swnt::WrapOptions options;
    options.debug = false;
    options.cn = n;
    options.cm = m;
    const std::vector<swnt::CellAtom> cells = swnt::build_unit_cell(n, m);
    EXPECT_EQ(static_cast<int>(cells.size()), natom);
    testing::internal::CaptureStdout();
    EXPECT_NO_THROW(swnt::check_cell_bonds(cells, options));
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "OK: All atoms has 3 bonds.\n");
  }
}

TEST(UnitCell, DebugModeTracesTheIdealLattice) {
  testing::internal::CaptureStdout();
  build(3, 0, 1.2, true);
  EXPECT_EQ(testing::internal::GetCapturedStdout(),
            "\nMaking unit cell...\n -- set cylindrical structure (bond length = 1.440000).\n"
            " -- set structure of (3,0) SWNT.\n");
}

}  // namespace
