// The GROMACS writer on frames made elsewhere: a slanted cell's nine box
// numbers, molecules numbered sparsely, and what it refuses (an element
// without parameters, a bond between two given molecules) before a file is
// put in place.
#include <gtest/gtest.h>

#include <cmath>
#include <span>
#include <string>
#include <utility>
#include <vector>

#include "files/output_file.hpp"
#include "formats/registry.hpp"
#include "test_support.hpp"

namespace {

using test_support::read_file;
using test_support::TempDir;

// The ring of six carbons 1.4 Angstrom apart around (x, y, z), in the xy plane.
void add_ring(swnt::Frame& frame, double x, double y, double z, std::uint32_t molecule) {
  for (int k = 0; k < 6; ++k) {
    frame.positions.push_back({x + 1.4 * std::cos(k * swnt::kPi / 3),
                               y + 1.4 * std::sin(k * swnt::kPi / 3), z});
    frame.kind.push_back(0);
    frame.molecule.push_back(molecule);
  }
}

// Writes `frame` as dir/out.top and dir/out.gro; returns their texts.
std::pair<std::string, std::string> write(swnt::Frame frame, const TempDir& dir) {
  swnt::Topology topology;
  swnt::TopologyBuilder().build(frame, swnt::TopologySettings(), topology, swnt::Log());
  const swnt::FrameSource source{"frame", 1, 1, false};
  const auto writer = swnt::find_format("gromacs")->frame_writer(swnt::FrameSettings());
  std::vector<swnt::OutputFile> files(2);
  EXPECT_TRUE(files[0].open((dir / "out.top").string()) && files[1].open((dir / "out.gro").string()));
  writer->begin(files[0]);
  writer->write_frame(topology, source, files[0]);
  writer->write_companions(topology, source, std::span<swnt::OutputFile>(files).subspan(1));
  writer->end(topology, files[0]);
  EXPECT_EQ(swnt::commit_together(files), nullptr);
  return {read_file(dir / "out.top"), read_file(dir / "out.gro")};
}

swnt::Frame slanted_frame() {
  swnt::Frame frame;
  frame.cell.lo = {-1.0, -2.0, -3.0};
  frame.cell.hi = {19.0, 18.0, 17.0};
  frame.cell.xy = 2.0;
  frame.cell.xz = -3.0;
  frame.cell.yz = 4.0;
  return frame;
}

TEST(GromacsWriter, GivesASlantedCellNineBoxNumbersAndSparseMoleculesTheirOrder) {
  TempDir dir;
  swnt::Frame frame = slanted_frame();
  add_ring(frame, 5.0, 5.0, 5.0, 4000000007u);
  add_ring(frame, 12.0, 5.0, 5.0, 7u);
  frame.positions.push_back({9.0, 12.0, 5.0});  // a lone atom, molecule 9
  frame.kind.push_back(0);
  frame.molecule.push_back(9);
  const auto [top, gro] = write(std::move(frame), dir);
  // Molecule 7 first, then the lone atom, then molecule 4000000007 (residue
  // 7 in the five columns of a .gro line), from the cell's corner in nm.
  EXPECT_NE(gro.find("\n    7CNT      C    1    1.4400000000    0.7000000000    0.8000000000\n"),
            std::string::npos) << gro;
  EXPECT_NE(gro.find("\n    9CNT      C    7    1.0000000000    1.4000000000    0.8000000000\n"),
            std::string::npos) << gro;
  EXPECT_NE(gro.find("\n    7CNT      C    8    0.7400000000    0.7000000000    0.8000000000\n"),
            std::string::npos) << gro;
  const std::string box = gro.substr(gro.rfind('\n', gro.size() - 2) + 1);
  EXPECT_EQ(box,
            "    2.0000000000    2.0000000000    2.0000000000    0.0000000000    0.0000000000"
            "    0.2000000000    0.0000000000   -0.3000000000    0.4000000000\n");
  EXPECT_NE(top.find("[ molecules ]\n; name  count\nCNT1  1\nCNT2  1\nCNT1  1\n"), std::string::npos)
      << top;
}

TEST(GromacsWriter, RefusesAnElementWithoutParametersAndBondsBetweenMolecules) {
  TempDir dir;
  // Boron: the default set has carbon, hydrogen and nitrogen only.
  swnt::Frame boron = slanted_frame();
  add_ring(boron, 5.0, 5.0, 5.0, 1);
  boron.species.push_back({"B", 10.81, 3});
  boron.kind[2] = 1;
  swnt::Frame split = slanted_frame();
  add_ring(split, 5.0, 5.0, 5.0, 1);
  split.molecule[4] = 2;
  for (auto& [frame, message] : std::vector<std::pair<swnt::Frame, std::string>>{
           {boron, "Error: the force field opls-aa has no parameters for the element B.\n"},
           {split,
            "Error: atoms 4 and 5 are bonded but belong to molecules 1 and 2: a GROMACS topology "
            "keeps every bond within one molecule.\n"}}) {
    try {
      write(frame, dir);
      ADD_FAILURE() << "no error: " << message;
    } catch (const swnt::Error& error) {
      EXPECT_EQ(error.what(), message);
    }
    EXPECT_EQ(test_support::list_dir(dir.path()), std::vector<std::string>{});
  }
}

}  // namespace
