#include "geometry/tube.hpp"

#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>
#include <string>
#include <vector>

#include "core/text_format.hpp"
#include "test_support.hpp"

namespace {

// One spelling of pi; the full turn keeps the value the rolling has always used.
static_assert(swnt::kTwoPi == 6.283185307179586);
static_assert(swnt::kPi == 3.141592653589793);

swnt::TubeParams params_of(int n, int m, double cells) {
  swnt::TubeParams params;
  params.n = n;
  params.m = m;
  params.structure = swnt::cylindrical_structure(swnt::kIdealBondLength);
  params.cells = cells;
  return params;
}

// A sink that hands each atom of a run to `each`.
template <class Each>
swnt::AtomSink each_atom(Each each) {
  return [each](const swnt::Position3* positions, std::size_t count) mutable {
    for (std::size_t i = 0; i < count; ++i) each(positions[i]);
  };
}

// The lines of a trajectory the roller's scenes make, each atom as "%14.6lf  " three times.
std::string rolled_lines(const swnt::TubeParams& params) {
  const swnt::LatticeParams lattice = swnt::compute_lattice_params(params.n, params.m, params.structure);
  const std::vector<swnt::CellAtom> cells = swnt::build_unit_cell(params.n, params.m);
  const swnt::TubeRoller roller(params, lattice, cells);
  std::string text = swnt::format_text("0 %lld %d\n%lf  %lf  %lf\n0.0  0.0\n", roller.atom_count(),
                                       roller.scene_count(), roller.box()[0], roller.box()[1],
                                       roller.box()[2]);
  for (int scene = 0; scene < roller.scene_count(); ++scene) {
    roller.roll_scene(scene, each_atom([&](const swnt::Position3& p) {
      text += swnt::format_text("%14.6lf  %14.6lf  %14.6lf  \n", p[0], p[1], p[2]);
    }));
  }
  return text;
}

TEST(TubeRoller, ScenesGiveTheCommittedRollingTrajectory) {
  swnt::TubeParams params = params_of(4, 2, 1.5);
  params.steps = 2;
  EXPECT_EQ(rolled_lines(params), test_support::read_file(std::filesystem::path(TEST_DATA_DIR) /
                                                        "tube" / "tube_4_2_rolling.dat"));
}

TEST(TubeRoller, ClosedTubeLiesOnItsScaledCylinderAroundAnyAxis) {
  for (const auto& [n, m] : std::vector<std::pair<int, int>>{{10, 10}, {8, 4}}) {
    SCOPED_TRACE(std::to_string(n) + "," + std::to_string(m));
    swnt::TubeParams params = params_of(n, m, 2.0);
    params.axis = 1;
    params.diameter_scale = 1.5;
    params.shift = {0.5, -2.0, 3.0};
    const swnt::LatticeParams lattice = swnt::compute_lattice_params(n, m, params.structure);
    const std::vector<swnt::CellAtom> cells = swnt::build_unit_cell(n, m);
    const swnt::TubeRoller roller(params, lattice, cells);
    EXPECT_EQ(roller.atom_count(), 2LL * lattice.natom);
    long long atoms = 0;
    roller.roll_scene(0, each_atom([&](const swnt::Position3& p) {
      ++atoms;
      EXPECT_NEAR(std::hypot(p[2] - 3.0, p[0] - 0.5), 1.5 * lattice.diameter / 2, 1e-9);
      EXPECT_LE(std::fabs(p[1] + 2.0), lattice.lencell + 1e-9);
    }));
    EXPECT_EQ(atoms, roller.atom_count());
  }
}

TEST(TubeRoller, ReportsWhatWouldNotBeFinite) {
  const auto fault = [](const swnt::TubeParams& params, int scene) {
    const swnt::LatticeParams lattice = swnt::compute_lattice_params(params.n, params.m, params.structure);
    const std::vector<swnt::CellAtom> cells = swnt::build_unit_cell(params.n, params.m);
    try {
      swnt::TubeRoller(params, lattice, cells).roll_scene(scene, each_atom([](const swnt::Position3&) {}));
    } catch (const swnt::TubeNotFinite& error) {
      return swnt::format_text("%s %c %d %d", error.box() ? "box" : "coordinates",
                               "xyz"[error.axis()], error.axial(), error.rolled());
    }
    return std::string("finite");
  };
  swnt::TubeParams wide = params_of(5, 5, 1.0);
  wide.diameter_scale = 1e308;
  EXPECT_EQ(fault(wide, 0), "box y 0 0");
  swnt::TubeParams long_tube = params_of(5, 5, 1.0);
  long_tube.axis = 2;
  long_tube.axial_scale = -1e308;
  EXPECT_EQ(fault(long_tube, 0), "box z 1 0");
  // A scene barely bent has an arc radius far beyond the tube's.
  swnt::TubeParams bent = params_of(5, 5, 1.0);
  bent.diameter_scale = 1e306;
  bent.steps = 100;
  EXPECT_EQ(fault(bent, 0), "finite");
  EXPECT_EQ(fault(bent, 1).substr(0, 12), "coordinates ");
  EXPECT_EQ(fault(bent, 1).substr(14), "0 1");
}

}  // namespace
