#include "core/topology.hpp"

#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

#include "files/number_stream.hpp"
#include "formats/trajectory.hpp"
#include "test_support.hpp"

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
  swnt::NumberStream reader;
  swnt::TrajectoryHeader header;
  EXPECT_TRUE(reader.open((dir / "tube.dat").string()) && swnt::read_trajectory_header(reader, header));
  Scene scene{{header.boxx, header.boxy, header.boxz}, {}};
  scene.atoms.resize(static_cast<std::size_t>(header.nmol));
  for (long long s = 0; s < header.ndat; ++s) {
    for (Position3& p : scene.atoms) EXPECT_TRUE(reader.read_triple(p[0], p[1], p[2]));
  }
  return scene;
}

// What a build found: the error that ended it and the warnings it gave, as
// their texts read between "Error: " or "Warning: " and the final ".".
struct Findings {
  std::string error;
  std::vector<std::string> warnings;
};

std::string finding_text(const std::string& line, const std::string& kind) {
  EXPECT_EQ(line.rfind(kind, 0), 0u) << line;
  EXPECT_EQ(line.substr(line.size() - 2), ".\n") << line;
  return line.substr(kind.size(), line.size() - kind.size() - 2);
}

Findings build(swnt::TopologyBuilder& builder, std::vector<Position3>& atoms,
               const std::array<double, 3>& box, const swnt::TopologySettings& settings,
               swnt::Topology& topology) {
  Findings findings;
  const swnt::Log log = [&](std::string_view line) {
    findings.warnings.push_back(finding_text(std::string(line), "Warning: "));
  };
  try {
    builder.build(atoms, box, settings, topology, log);
  } catch (const swnt::Error& error) {
    findings.error = finding_text(error.what(), "Error: ");
  }
  return findings;
}

Findings topology_of(const Scene& scene, const swnt::PeriodicAxes& periodic,
                     swnt::Topology& topology) {
  swnt::TopologyBuilder builder;
  std::vector<Position3> atoms = scene.atoms;
  return build(builder, atoms, scene.box, {periodic, swnt::kBondCutoff}, topology);
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
    const Findings findings = topology_of(scene, periodic, t);
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
        EXPECT_LE(t.cell.lo[a], t.positions[i][a]);
        EXPECT_LT(t.positions[i][a], t.cell.hi[a]);
        EXPECT_NEAR(t.positions[i][a] + t.images[i][a] * t.cell.length(a), scene.atoms[i][a], 1e-9);
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
  const Findings overlap =
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
  const Findings stretched = topology_of(screw, {true, false, false}, t);
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

// Open zigzag, armchair, chiral and m < 0 tubes at several lengths.  After
// --trim no atom has fewer than two bonds, and the atoms left keep their
// order.  After --hydrogenate the carbons are those atoms, every carbon has
// three bonds and every hydrogen one, to a carbon, at the distance asked
// for, no nearer than 1.5 Angstrom to any other atom, and the hydrogens
// follow the order of their carbons.  The clean zigzag and armchair ends of
// (10,0) and (5,5) give the counts of the manual, type by type.
TEST(Topology, TrimmedAndHydrogenatedEndsOfOpenTubes) {
  swnt::TopologyBuilder builder;
  for (const auto& [n, m] :
       std::vector<std::pair<int, int>>{{10, 0}, {5, 5}, {8, 4}, {12, 5}, {7, -2}}) {
    for (const char* length : {"10", "17", "22.7"}) {
      const Scene scene = build_tube({std::to_string(n), std::to_string(m), "-l", length, "-az"});
      const std::string tube = std::to_string(n) + "," + std::to_string(m) + " " + length;
      swnt::TopologySettings settings;
      settings.trim = true;
      swnt::Topology trimmed, ended;
      std::vector<Position3> atoms = scene.atoms;
      const Findings findings = build(builder, atoms, scene.box, settings, trimmed);
      const std::size_t carbons = trimmed.atom_count();
      const std::size_t removed = scene.atoms.size() - carbons;
      EXPECT_EQ(findings.warnings,
                removed == 0
                    ? std::vector<std::string>{}
                    : std::vector<std::string>{"atoms with fewer than two bonds removed: " +
                                               std::to_string(removed)})
          << tube;
      std::size_t next = 0;
      for (std::size_t i = 0; i < carbons; ++i) {
        EXPECT_GE(trimmed.neighbours.count(i), 2u) << tube;
        while (next < scene.atoms.size() && scene.atoms[next] != trimmed.positions[i]) ++next;
        EXPECT_LT(next++, scene.atoms.size()) << tube << ": atom " << i + 1 << " out of order";
      }

      settings.hydrogenate = true;
      settings.hydrogen_distance = n % 2 == 0 ? 1.09 : 1.2;
      atoms = scene.atoms;
      EXPECT_EQ(build(builder, atoms, scene.box, settings, ended).error, "") << tube;
      ASSERT_GE(ended.atom_count(), carbons);
      EXPECT_TRUE(
          std::equal(trimmed.positions.begin(), trimmed.positions.end(), ended.positions.begin()));
      std::uint32_t last_carbon = 0;
      for (std::size_t i = 0; i < ended.atom_count(); ++i) {
        const bool hydrogen = i >= carbons;
        EXPECT_EQ(ended.kind[i], hydrogen ? 1 : 0);
        ASSERT_EQ(ended.neighbours.count(i), hydrogen ? 1u : 3u) << tube << ": atom " << i + 1;
        if (!hydrogen) continue;
        const std::uint32_t carbon = ended.neighbours.index[ended.neighbours.start[i]];
        EXPECT_TRUE(carbon < carbons && (i == carbons || carbon > last_carbon)) << tube;
        last_carbon = carbon;
        EXPECT_NEAR(swnt::distance(ended.positions[i], ended.positions[carbon]),
                    settings.hydrogen_distance, 1e-12);
        for (std::size_t j = 0; j < ended.atom_count(); ++j) {
          if (j == i || j == carbon) continue;
          EXPECT_GE(swnt::distance(ended.positions[i], ended.positions[j]), 1.5) << tube;
        }
      }
      if (n != m && m != 0) continue;
      // Per kind of term (bonds, angles, dihedrals, impropers), per type.
      std::array<std::array<long, 4>, 4> tally{};
      for (const swnt::AtomPair& b : ended.bonds) ++tally[0][ended.bond_type(b.first, b.second)];
      ended.for_each_angle([&](auto... a) { ++tally[1][ended.angle_type(a...)]; });
      ended.for_each_dihedral([&](auto... a) { ++tally[2][ended.dihedral_type(a...)]; });
      ended.for_each_improper([&](auto... a) { ++tally[3][ended.improper_type(a...)]; });
      const long c = static_cast<long>(carbons);
      const long h = static_cast<long>(ended.atom_count()) - c;
      EXPECT_EQ(h, m == 0 ? 2 * n : 4 * n) << tube;
      const std::array<long, 4> dihedrals =
          m == 0 ? std::array<long, 4>{0, 6 * c - 6 * h, 4 * h, 0}
                 : std::array<long, 4>{0, 6 * c - 11 * h / 2, 3 * h, h / 2};
      EXPECT_EQ(tally, (std::array<std::array<long, 4>, 4>{{{0, (3 * c - h) / 2, h, 0},
                                                            {0, 3 * c - 2 * h, 2 * h, 0},
                                                            dihedrals,
                                                            {0, c - h, h, 0}}}))
          << tube;
    }
  }
}

}  // namespace

namespace {

// The pairs closer than the cut-off by brute force over every image within
// two edges along the periodic ones.
std::vector<std::pair<std::uint32_t, std::uint32_t>> brute_force_bonds(
    const std::vector<Position3>& atoms, const swnt::Cell& cell, double cutoff) {
  std::vector<std::pair<std::uint32_t, std::uint32_t>> pairs;
  const int reach[3] = {cell.periodic[0] ? 2 : 0, cell.periodic[1] ? 2 : 0, cell.periodic[2] ? 2 : 0};
  for (std::uint32_t i = 0; i < atoms.size(); ++i) {
    for (std::uint32_t j = i + 1; j < atoms.size(); ++j) {
      bool close = false;
      for (int u = -reach[0]; u <= reach[0]; ++u) {
        for (int v = -reach[1]; v <= reach[1]; ++v) {
          for (int w = -reach[2]; w <= reach[2]; ++w) {
            Position3 image = atoms[j];
            for (int k = 0; k < 3; ++k) {
              image[k] += u * cell.vector(0)[k] + v * cell.vector(1)[k] + w * cell.vector(2)[k];
            }
            close = close || swnt::distance(atoms[i], image) < cutoff;
          }
        }
      }
      if (close) pairs.emplace_back(i, j);
    }
  }
  return pairs;
}

}  // namespace

// Atoms scattered in skewed cells, periodic along some edges: the bonds
// are exactly the pairs within the cut-off through any image, the atoms end
// up inside the cell, and their image flags give back the positions given.
TEST(Topology, TriclinicCellsFindEveryPairThroughTheBoundary) {
  std::mt19937 random(7);
  std::uniform_real_distribution<double> unit(0.0, 1.0);
  const std::vector<swnt::PeriodicAxes> axes_list{{true, true, true}, {true, true, false}, {false, false, true}};
  for (int trial = 0; trial < 6; ++trial) {
    swnt::Cell cell;
    cell.lo = {-3.0 * unit(random), 2.0 * unit(random), -1.0};
    cell.hi = {cell.lo[0] + 8.0, cell.lo[1] + 7.5, cell.lo[2] + 9.0};
    cell.xy = 3.9 * unit(random) - 1.95;
    cell.xz = 3.9 * unit(random) - 1.95;
    cell.yz = 3.5 * unit(random) - 1.75;
    cell.periodic = axes_list[static_cast<std::size_t>(trial) % axes_list.size()];
    // Atoms at least 1.1 Angstrom apart through every image, some outside the cell.
    std::vector<Position3> atoms;
    while (atoms.size() < 70) {
      Position3 p = cell.lo;
      const double f[3] = {1.4 * unit(random) - 0.2, 1.4 * unit(random) - 0.2, 1.4 * unit(random) - 0.2};
      for (int a = 0; a < 3; ++a) {
        for (int k = 0; k < 3; ++k) p[k] += f[a] * cell.vector(a)[k];
      }
      std::vector<Position3> trial_atoms = atoms;
      trial_atoms.push_back(p);
      if (brute_force_bonds(trial_atoms, cell, 1.1).size() ==
          brute_force_bonds(atoms, cell, 1.1).size()) {
        atoms.push_back(p);
      }
    }
    swnt::Frame frame;
    frame.positions = atoms;
    frame.kind.assign(atoms.size(), 0);
    frame.cell = cell;
    swnt::TopologySettings settings{cell.periodic, 1.8};
    ASSERT_EQ(swnt::cell_period_error(cell, settings), "");
    swnt::TopologyBuilder builder;
    swnt::Topology topology;
    builder.build(frame, settings, topology, swnt::log_nothing);

    const auto expected = brute_force_bonds(atoms, cell, 1.8);
    ASSERT_EQ(topology.bonds.size(), expected.size()) << "trial " << trial;
    for (std::size_t b = 0; b < expected.size(); ++b) {
      EXPECT_EQ(topology.bonds[b].first, expected[b].first);
      EXPECT_EQ(topology.bonds[b].second, expected[b].second);
    }
    for (std::size_t i = 0; i < atoms.size(); ++i) {
      const Position3 f = topology.cell.fractional(topology.positions[i]);
      Position3 back = topology.positions[i];
      for (int a = 0; a < 3; ++a) {
        if (cell.periodic[a]) {
          EXPECT_TRUE(f[a] > -1e-12 && f[a] < 1.0 + 1e-12) << f[a];
        }
        for (int k = 0; k < 3; ++k) back[k] += topology.images[i][a] * cell.vector(a)[k];
      }
      for (int k = 0; k < 3; ++k) EXPECT_NEAR(back[k], atoms[i][k], 1e-9);
    }
  }
}

// A frame in an orthogonal cell gives the topology of the trajectory path,
// and the cell's room is what decides whether it is long enough.
TEST(Topology, FramesAgreeWithTheTrajectoryPath) {
  const Scene scene = build_tube({"6", "6", "-u", "3", "-c", "1.42", "-az"});
  const swnt::PeriodicAxes periodic{false, false, true};
  swnt::Topology expected;
  ASSERT_EQ(topology_of(scene, periodic, expected).error, "");
  swnt::Frame frame;
  frame.positions = scene.atoms;
  frame.kind.assign(scene.atoms.size(), 0);
  frame.cell = expected.cell;
  swnt::TopologyBuilder builder;
  swnt::Topology topology;
  builder.build(frame, {periodic, swnt::kBondCutoff}, topology, swnt::log_nothing);
  EXPECT_EQ(topology.positions, expected.positions);
  EXPECT_EQ(topology.images, expected.images);
  ASSERT_EQ(topology.bonds.size(), expected.bonds.size());
  EXPECT_EQ(topology.molecule, expected.molecule);
  EXPECT_EQ(topology.term_types().dihedrals, 1);

  swnt::Cell skewed = expected.cell;
  skewed.xz = 3.0;
  skewed.hi[2] = skewed.lo[2] + 3.5;
  EXPECT_NE(swnt::cell_period_error(skewed, {periodic, swnt::kBondCutoff}).find("at least 2 times"),
            std::string::npos);
}
