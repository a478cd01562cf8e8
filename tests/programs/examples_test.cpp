// The examples: every parameter file in examples/ runs, and each makes the
// structure its comments promise.  They run in a copy of the directory, as a
// user would run them.
#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>
#include <sstream>
#include <string>
#include <vector>

#include "test_support.hpp"

namespace fs = std::filesystem;
using test_support::RunResult;
using test_support::TempDir;

namespace {

struct Trajectory {
  long nmol = 0;
  long ndat = 0;
  double box[3] = {0.0, 0.0, 0.0};
  std::vector<std::vector<double>> scenes;  // per scene: x, y, z of each atom in turn
};

Trajectory read_trajectory(const fs::path& path) {
  std::istringstream in(test_support::read_file(path));
  Trajectory t;
  long lead = 0;
  double aux1 = 0.0, aux2 = 0.0;
  in >> lead >> t.nmol >> t.ndat >> t.box[0] >> t.box[1] >> t.box[2] >> aux1 >> aux2;
  for (long s = 0; s < t.ndat; ++s) {
    std::vector<double> scene(static_cast<std::size_t>(3 * t.nmol));
    for (double& value : scene) in >> value;
    t.scenes.push_back(scene);
  }
  EXPECT_TRUE(in) << path << " is shorter than its header";
  return t;
}

class Examples : public ::testing::Test {
 protected:
  void SetUp() override {
    for (const auto& entry : fs::directory_iterator(fs::path(SWNT_SOURCE_DIR) / "examples")) {
      fs::copy(entry.path(), dir_ / entry.path().filename().string(), fs::copy_options::recursive);
    }
  }

  RunResult run_example(const std::string& file) const {
    return test_support::run_program(WRAPPING_EXE, {file}, dir_.path());
  }

  TempDir dir_;
};

TEST_F(Examples, EveryParameterFileRuns) {
  int count = 0;
  for (const std::string& name : test_support::list_dir(dir_.path())) {
    if (fs::path(name).extension() != ".prm") continue;
    ++count;
    const RunResult result = run_example(name);
    EXPECT_EQ(result.status, 0) << name << "\n" << result.output;
    EXPECT_EQ(result.output.find("Error"), std::string::npos) << name << "\n" << result.output;
  }
  EXPECT_GE(count, 4);
}

TEST_F(Examples, PlainTubeIsOneXmolFileWithItsReport) {
  const RunResult result = run_example("plain_tube.prm");
  ASSERT_EQ(result.status, 0) << result.output;
  EXPECT_EQ(result.output.rfind("\nStructural parameters of (10, 10) SWNT\n", 0), 0u);
  std::istringstream xyz(test_support::read_file(dir_ / "plain_tube001.xyz"));
  std::string count, title;
  std::getline(xyz, count);
  std::getline(xyz, title);
  EXPECT_EQ(count, "660");
  EXPECT_EQ(title, "(10,10) SWNT-XMOL XYZ FORMAT");
  EXPECT_FALSE(test_support::file_exists(dir_ / "plain_tube002.xyz"));
}

TEST_F(Examples, RollingAlongZGoesFromSheetToTube) {
  ASSERT_EQ(run_example("rolling_z.prm").status, 0);
  const Trajectory t = read_trajectory(dir_ / "rolling_z.dat");
  EXPECT_EQ(t.nmol, 296);
  ASSERT_EQ(t.ndat, 21);
  EXPECT_DOUBLE_EQ(t.box[2], 30.0);
  const double radius = 8.401992 / 2.0;  // the (8,4) tube
  for (long i = 0; i < t.nmol; ++i) {
    const double* flat = &t.scenes.front()[static_cast<std::size_t>(3 * i)];
    const double* tube = &t.scenes.back()[static_cast<std::size_t>(3 * i)];
    // Axis along z: the sheet lies in the plane y = -R, the tube around the z axis.
    EXPECT_NEAR(flat[1], -radius, 1e-6) << "atom " << i;
    EXPECT_NEAR(std::hypot(tube[0], tube[1]), radius, 2e-6) << "atom " << i;
    EXPECT_LE(std::fabs(tube[2]), 15.0 + 1e-6) << "atom " << i;
  }
}

TEST_F(Examples, TableTubeUsesTheTablesLattice) {
  const RunResult result = run_example("table_tube.prm");
  ASSERT_EQ(result.status, 0) << result.output;
  EXPECT_NE(result.output.find(" -- va1[AA] = (2.151300, 1.229756)\n"), std::string::npos)
      << result.output;
  const std::string tinker = test_support::read_file(dir_ / "table_tube001.xyz");
  EXPECT_EQ(tinker.substr(0, tinker.find('\n')), "  224  (8,4) SWNT-TINKER XYZ FORMAT");
}

TEST_F(Examples, BoxedTubeIsPeriodicAndCentredInItsBox) {
  ASSERT_EQ(run_example("boxed_tube.prm").status, 0);
  const Trajectory t = read_trajectory(dir_ / "boxed_tube.dat");
  const double diameter = 8.250592;  // the (6,6) tube
  EXPECT_EQ(t.nmol, 12 * 24);        // 12 whole unit cells of 24 atoms
  EXPECT_NEAR(t.box[0], 4.0 * diameter + 10.0, 2e-6);
  EXPECT_NEAR(t.box[1], 4.0 * diameter + 10.0, 2e-6);
  EXPECT_NEAR(t.box[2], 12.0 * 2.494153, 1e-5);
  for (long i = 0; i < t.nmol; ++i) {
    const double* atom = &t.scenes.front()[static_cast<std::size_t>(3 * i)];
    EXPECT_NEAR(std::hypot(atom[0] - t.box[0] / 2.0, atom[1] - t.box[1] / 2.0), diameter / 2.0, 2e-6)
        << "atom " << i;
    EXPECT_GE(atom[2], 0.0) << "atom " << i;
    EXPECT_LT(atom[2], t.box[2]) << "atom " << i;
  }
}

TEST_F(Examples, DoubleWallScriptAssemblesTwoWallsOfOnePeriod) {
  std::string path;
  for (const char* program : {ASSEMBLE_EXE, XYZFRAMES_EXE}) {
    path += fs::path(program).parent_path().string() + ":";
  }
  const RunResult result = test_support::run_program(
      "/usr/bin/env", {"PATH=" + path + "/usr/bin:/bin", "/bin/sh", "double_wall.sh"}, dir_.path());
  ASSERT_EQ(result.status, 0) << result.output;
  EXPECT_TRUE(test_support::file_exists(dir_ / "dwnt001.xyz"));
  EXPECT_NE(test_support::read_file(dir_ / "dwnt.data").find("\n600 atoms\n1 atom types\n900 bonds\n"), std::string::npos);

  const Trajectory t = read_trajectory(dir_ / "dwnt.dat");
  ASSERT_EQ(t.nmol, 600);
  const double inner = 6.875494 / 2.0, outer = 13.750987 / 2.0;
  double axial[2][2] = {{1e9, -1e9}, {1e9, -1e9}};  // per wall: smallest and largest x
  for (long i = 0; i < t.nmol; ++i) {
    const double* atom = &t.scenes.front()[static_cast<std::size_t>(3 * i)];
    const int wall = i < 200 ? 0 : 1;
    EXPECT_NEAR(std::hypot(atom[1], atom[2]), wall == 0 ? inner : outer, 2e-6) << "atom " << i;
    axial[wall][0] = std::min(axial[wall][0], atom[0]);
    axial[wall][1] = std::max(axial[wall][1], atom[0]);
  }
  // Both walls span the same length about the same centre.
  EXPECT_NEAR(axial[0][0], axial[1][0], 0.8);
  EXPECT_NEAR(axial[0][1], axial[1][1], 0.8);
  EXPECT_NEAR(axial[0][1] - axial[0][0], 10 * 2.494153, 2.5);
}

}  // namespace
