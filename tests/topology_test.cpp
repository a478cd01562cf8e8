#include "trajectory/topology.hpp"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "test_support.hpp"
#include "trajectory/trajectory_reader.hpp"

namespace {

using swnt::Position3;
using test_support::TempDir;

struct Scene {
  std::array<double, 3> box;
  std::vector<Position3> atoms;
};

// The last scene of a tube that wrapping builds with `args`, beside a copy
// of the structure table `table` if one is named.
Scene build_tube(const std::vector<std::string>& args, const std::string& table = "") {
  TempDir dir;
  if (!table.empty()) std::filesystem::copy_file(table, dir / "table.dat");
  std::vector<std::string> command = args;
  command.insert(command.end(), {"-f", "tube.dat"});
  EXPECT_EQ(test_support::run_program(WRAPPING_EXE, command, dir.path()).status, 0);
  swnt::TrajectoryReader reader;
  swnt::TrajectoryHeader header;
  EXPECT_TRUE(reader.open((dir / "tube.dat").string()) && reader.read_header(header));
  Scene scene{{header.boxx, header.boxy, header.boxz}, {}};
  scene.atoms.resize(static_cast<std::size_t>(header.nmol));
  for (long long s = 0; s < header.ndat; ++s) {
    for (Position3& p : scene.atoms) EXPECT_TRUE(reader.read_triple(p[0], p[1], p[2]));
  }
  return scene;
}

swnt::TopologyFindings topology_of(const Scene& scene, const swnt::PeriodicAxes& periodic,
                                   swnt::Topology& topology) {
  swnt::TopologyBuilder builder;
  std::vector<Position3> atoms = scene.atoms;
  return builder.build(atoms, scene.box, {periodic, swnt::kBondCutoff}, topology);
}

// Periodic zigzag, armchair, chiral and m < 0 tubes, centred and from the
// origin: the counts are those of a three-bonded network, the atoms lie in
// the box and their image flags give back the positions as read.  Without a
// periodic axis the bonds are the all-pairs ones of the other converters.
// (The terms themselves are compared with an independent topology by the
// interop checks.)
TEST(Topology, PeriodicTubesAreThreeBondedNetworksOfTheCountsStated) {
  const std::vector<std::pair<std::vector<std::string>, int>> tubes = {
      {{"10", "0", "-u", "2", "-az"}, 2}, {{"10", "10", "-u", "3", "-az", "-zc"}, 2},
      {{"8", "4", "-u", "1", "-az"}, 2},  {{"7", "-2", "-u", "1", "-az", "-zc"}, 2},
      {{"6", "5", "-u", "1", "-az"}, 2},  {{"5", "-3", "-u", "1"}, 0}};
  for (const auto& [args, axis] : tubes) {
    const Scene scene = build_tube(args);
    swnt::PeriodicAxes periodic{false, false, false};
    periodic[axis] = true;
    swnt::Topology t;
    const swnt::TopologyFindings findings = topology_of(scene, periodic, t);
    const std::string tube = args[0] + "," + args[1];
    EXPECT_EQ(findings.error, "") << tube;
    EXPECT_TRUE(findings.warnings.empty()) << tube;
    const std::size_t n = t.atom_count();
    ASSERT_EQ(n, scene.atoms.size());
    EXPECT_EQ(t.bonds.size() * 2, 3 * n) << tube;
    EXPECT_EQ(t.angle_count(), 3 * n) << tube;
    EXPECT_EQ(t.dihedral_count(), 6 * n) << tube;
    EXPECT_EQ(t.improper_count(), n) << tube;
    EXPECT_EQ(t.molecule_count, 1u) << tube;

    for (std::size_t i = 0; i < n; ++i) {
      for (int a = 0; a < 3; ++a) {
        EXPECT_LE(t.box.lo[a], t.positions[i][a]);
        EXPECT_LT(t.positions[i][a], t.box.hi[a]);
        EXPECT_NEAR(t.positions[i][a] + t.images[i][a] * t.box.length(a), scene.atoms[i][a], 1e-9);
      }
    }

    swnt::Topology open;
    EXPECT_EQ(topology_of(scene, {false, false, false}, open).error, "");
    std::vector<std::pair<std::uint32_t, std::uint32_t>> all_pairs, found;
    for (std::uint32_t i = 0; i < n; ++i) {
      for (std::uint32_t j = i + 1; j < n; ++j) {
        if (swnt::distance(scene.atoms[i], scene.atoms[j]) < swnt::kBondCutoff)
          all_pairs.push_back({i, j});
      }
    }
    for (const swnt::AtomPair& b : open.bonds) found.push_back({b.first, b.second});
    EXPECT_EQ(found, all_pairs) << tube;
    EXPECT_EQ(open.positions, scene.atoms);
  }
}

// A box that is not a period: the default 20 Angstrom of a (10,10) tube puts
// atoms on top of each other through the boundary, a screw lattice stretches
// the bonds across it, and a box shorter than twice the cut-off is refused
// before any scene is read.
TEST(Topology, GuardsAgainstABoxThatIsNotAPeriod) {
  swnt::Topology t;
  const swnt::TopologyFindings overlap =
      topology_of(build_tube({"10", "10", "-az"}), {false, false, true}, t);
  EXPECT_NE(
      overlap.error.find("20 pairs of atoms are closer than 1.0 Angstrom through the periodic "
                         "boundary (atoms 1 and 321, 0.047 Angstrom apart along z): the tube "
                         "does not repeat with the box length 20.000000 along z; a whole "
                         "number of unit cells (wrapping -u) does"),
      std::string::npos)
      << overlap.error;

  const Scene screw =
      build_tube({"8", "4", "-g", "table.dat", "-u", "2"},
                 std::string(TEST_DATA_DIR) + "/../../examples/strained_lattice.dat");
  const swnt::TopologyFindings stretched = topology_of(screw, {true, false, false}, t);
  EXPECT_EQ(stretched.error, "");
  ASSERT_EQ(stretched.warnings.size(), 1u);
  EXPECT_EQ(stretched.warnings[0].rfind("16 of 16 bonds through the periodic boundary differ by "
                                        "more than 0.02 Angstrom from every bond inside the box "
                                        "(through the boundary 1.347 to 1.478 Angstrom",
                                        0),
            0u)
      << stretched.warnings[0];

  const swnt::TopologySettings z{{false, false, true}, swnt::kBondCutoff};
  EXPECT_EQ(swnt::period_error({10.0, 10.0, 3.7}, z), "");
  EXPECT_NE(swnt::period_error({10.0, 10.0, 2.494153}, z).find("at least 2 times as long"),
            std::string::npos);
  EXPECT_NE(swnt::period_error({10.0, 10.0, -1.0}, z), "");
}

}  // namespace
