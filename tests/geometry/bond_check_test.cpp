#include "builder/tube_writer.hpp"

#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

#include "core/error.hpp"

namespace {

// The check's standard output and the message that stopped it (empty when it passed).
std::pair<std::string, std::string> check_tube(int n, int m) {
  swnt::WrapOptions options;
  options.debug = false;
  options.cn = n;
  options.cm = m;
  const std::vector<swnt::CellAtom> cells = swnt::build_unit_cell(n, m);
  std::string message;
  testing::internal::CaptureStdout();
  try {
    swnt::check_cell_bonds(cells, options);
  } catch (const swnt::Error& error) {
    message = error.what();
    EXPECT_EQ(error.status(), 1);
  }
  return {testing::internal::GetCapturedStdout(), message};
}

TEST(BondCheck, PassesTubesWhoseAtomsAllHaveThreeNeighbours) {
  for (const auto& [n, m] : std::vector<std::pair<int, int>>{{10, 0}, {3, 0}, {2, 1}, {8, 3}, {12, 5}}) {
    SCOPED_TRACE(std::to_string(n) + "," + std::to_string(m));
    EXPECT_EQ(check_tube(n, m), std::make_pair(std::string("OK: All atoms has 3 bonds.\n"),
                                               std::string()));
  }
}

TEST(BondCheck, StopsAtTheFirstAtomWithAnotherCount) {
  // An armchair cell is one bond long: the two axial neighbours of an atom
  // are one atom of the list in two images, and the pair counts once.
  EXPECT_EQ(check_tube(5, 5), std::make_pair(std::string(), std::string("Error: Atom    0: 2 bonds\n")));
  // So thin that atoms across the tube come within the cut-off.
  EXPECT_EQ(check_tube(2, 0), std::make_pair(std::string(), std::string("Error: Atom    0: 4 bonds\n")));
}

}  // namespace
