// The PDB writer on a file of more atoms than five decimal columns number:
// serials "*****" beyond 99999, residue numbers modulo 10000, and no CONECT
// records (a remark says why), which OpenMM's PDBFile and MDAnalysis read
// whole where hybrid-36 numbers made them fail.
#include <gtest/gtest.h>

#include <sstream>
#include <string>
#include <vector>

#include "files/output_file.hpp"
#include "formats/registry.hpp"
#include "test_support.hpp"

namespace {

using test_support::read_file;
using test_support::TempDir;

std::vector<std::string> records(const std::vector<std::string>& lines, const std::string& name) {
  std::vector<std::string> found;
  for (const std::string& line : lines) {
    if (line.compare(0, name.size(), name) == 0) found.push_back(line);
  }
  return found;
}

// 100001 lone atoms, each its own molecule and residue.
TEST(PdbWriter, WritesMoreAtomsThanFiveDecimalColumnsNumber) {
  TempDir dir;
  swnt::Frame frame;
  for (int x = 0; x < 47 && frame.atom_count() < 100001; ++x) {
    for (int y = 0; y < 47 && frame.atom_count() < 100001; ++y) {
      for (int z = 0; z < 47 && frame.atom_count() < 100001; ++z) {
        frame.positions.push_back({2.0 * x, 2.0 * y, 2.0 * z});
        frame.kind.push_back(0);
      }
    }
  }
  swnt::Topology topology;
  swnt::TopologyBuilder().build(frame, swnt::TopologySettings(), topology, swnt::log_nothing);
  const auto writer = swnt::find_format("pdb")->frame_writer(swnt::FrameSettings());
  swnt::OutputFile out;
  ASSERT_TRUE(out.open((dir / "out.pdb").string()));
  writer->begin(out);
  writer->write_frame(topology, {"frame", 1, 1, false}, out);
  writer->end(topology, out);
  ASSERT_TRUE(out.commit());
  std::istringstream text(read_file(dir / "out.pdb"));
  std::vector<std::string> lines;
  for (std::string line; std::getline(text, line);) lines.push_back(line);

  EXPECT_EQ(lines[1], "REMARK   1 NO CONECT RECORDS: READERS TAKE THE BONDS OF AT MOST 99999 ATOMS");
  const std::vector<std::string> atoms = records(lines, "HETATM");
  ASSERT_EQ(atoms.size(), 100001u);
  EXPECT_EQ(atoms[9998].substr(6, 20), " 9999  C1  CNT A9999");
  EXPECT_EQ(atoms[9999].substr(6, 20), "10000  C1  CNT A   0");
  EXPECT_EQ(atoms[99998].substr(6, 20), "99999  C1  CNT A9999");
  EXPECT_EQ(atoms[99999].substr(6, 20), "*****  C1  CNT A   0");
  EXPECT_EQ(atoms[100000].substr(6, 20), "*****  C1  CNT A   1");
  EXPECT_TRUE(records(lines, "CONECT").empty());
  EXPECT_EQ(lines.back(), "END");
}

}  // namespace
