// assemble end to end: a periodic double wall and a rope in the engines'
// files (one molecule per wall, every carbon three bonds, the cell), the
// trajectory for the other converters, and every refused command line
// leaving the files as they were.
#include <gtest/gtest.h>

#include <filesystem>
#include <map>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "test_support.hpp"

namespace {

using test_support::read_file;
using test_support::run_program;
using test_support::TempDir;

// The section of a LAMMPS data file after the line starting with `title`,
// up to the next blank line after its first entries.
std::vector<std::vector<double>> data_section(const std::string& text, const std::string& title) {
  std::istringstream in(text);
  std::vector<std::vector<double>> rows;
  std::string line;
  while (std::getline(in, line) && line.rfind(title, 0) != 0) {
  }
  std::getline(in, line);  // the blank line after the title
  while (std::getline(in, line) && !line.empty()) {
    std::istringstream words(line);
    std::vector<double> row;
    for (double value; words >> value;) row.push_back(value);
    rows.push_back(row);
  }
  return rows;
}

// A periodic (5,5)@(10,10) of two periods as LAMMPS full: 40 + 80 atoms,
// molecule 1 the inner wall, three bonds per carbon, all within a wall;
// the report gives both walls unstrained.  As a trajectory, the same atoms
// for the other converters.
TEST(Assemble, WritesADoubleWallWithOneMoleculePerWall) {
  TempDir dir;
  const auto result =
      run_program(ASSEMBLE_EXE, {"--wall", "5,5", "--wall=10,10", "--periodic", "--cells", "2", "dw.data"}, dir.path());
  ASSERT_EQ(result.status, 0) << result.output;
  EXPECT_NE(result.output.find("    1  (5,5)            3.3900           -        2.4595        1    +0.0000      40\n"
                               "    2  (10,10)          6.7800      3.3900        2.4595        1    +0.0000      80\n"),
            std::string::npos)
      << result.output;
  const std::string data = read_file(dir / "dw.data");
  EXPECT_EQ(data.rfind("LAMMPS data file written by assemble from (5,5)@(10,10), scene 1 of 1, periodic axes: z\n", 0), 0u);
  const auto atoms = data_section(data, "Atoms");
  const auto bonds = data_section(data, "Bonds");
  ASSERT_EQ(atoms.size(), 120u);
  ASSERT_EQ(bonds.size(), 180u);
  std::map<int, int> degree;
  for (const auto& atom : atoms) EXPECT_EQ(atom[1], atom[0] <= 40 ? 1 : 2);
  for (const auto& bond : bonds) {
    ++degree[static_cast<int>(bond[2])];
    ++degree[static_cast<int>(bond[3])];
    EXPECT_EQ(bond[2] <= 40, bond[3] <= 40) << "a bond across the walls";
  }
  for (const auto& [atom, count] : degree) EXPECT_EQ(count, 3) << atom;

  const auto trajectory = run_program(
      ASSEMBLE_EXE, {"--wall", "5,5", "--wall", "10,10", "--periodic", "--cells", "2", "dw.dat"}, dir.path());
  ASSERT_EQ(trajectory.status, 0) << trajectory.output;
  const auto converted = run_program(TOPOCONV_EXE, {"--periodic", "z", "dw.dat", "t.data"}, dir.path());
  EXPECT_EQ(converted.status, 0) << converted.output;
  EXPECT_EQ(converted.output, "");
  EXPECT_EQ(data_section(read_file(dir / "t.data"), "Bonds").size(), 180u);
}

// A rope of 2 x 3 (10,10) tubes along x: a triclinic cell periodic along
// every axis, the tilt in the plane across the axis, every tube its own
// molecule, no warning about the transverse axes.
TEST(Assemble, WritesARopeInAHexagonalCell) {
  TempDir dir;
  const auto result = run_program(
      ASSEMBLE_EXE, {"--wall", "10,10", "--periodic", "--rope", "--bundle", "2,3", "--axis", "x", "rope.data"},
      dir.path());
  ASSERT_EQ(result.status, 0) << result.output;
  EXPECT_EQ(result.output.find("Warning"), std::string::npos) << result.output;
  const std::string data = read_file(dir / "rope.data");
  EXPECT_NE(data.find("0.00000000 50.28000345 ylo yhi  # periodic\n"
                      "0.00000000 29.02917353 zlo zhi  # periodic\n"
                      "0.00000000 0.00000000 16.76000115 xy xz yz\n"),
            std::string::npos);
  const auto atoms = data_section(data, "Atoms");
  ASSERT_EQ(atoms.size(), 6u * 80u);
  std::set<double> molecules;
  for (const auto& atom : atoms) molecules.insert(atom[1]);
  EXPECT_EQ(molecules.size(), 6u);
}

// A Stone-Wales defect whose shortened bond crosses the periodic boundary
// (seed 7 puts it there) is no sign of a box that is not a period.
TEST(Assemble, DefectsThroughTheBoundaryWarnOfNothing) {
  TempDir dir;
  const auto result = run_program(
      ASSEMBLE_EXE, {"--wall", "10,10", "--periodic", "--cells", "6", "--stone-wales", "1", "--seed", "7", "q.data"},
      dir.path());
  EXPECT_EQ(result.status, 0) << result.output;
  EXPECT_EQ(result.output.find("Warning"), std::string::npos) << result.output;
}

// Each mistake: an "Error: " line, status 1, nothing written.
TEST(Assemble, RefusesBadRequestsAndWritesNothing) {
  const std::vector<std::pair<std::vector<std::string>, std::string>> cases = {
      {{"--wall", "10,10", "--wall", "12,12", "o.data"},
       "Error: the walls (10,10) and (12,12) overlap: their spacing is 1.3560 Angstrom"},
      {{"--wall", "10,10", "--wall", "5,5", "o.data"}, "Error: the walls (10,10) and (5,5) overlap"},
      {{"--wall", "5,5", "--wall", "12,8", "--periodic", "--max-period", "30", "o.data"},
       "repeat together over no length up to 30 Angstrom"},
      {{"--wall", "10,10", "--rope", "o.data"}, "Error: --rope repeats the tubes across the axis"},
      {{"--wall", "10,10", "--lattice", "rebo", "--periodic", "--rope", "--bundle", "7", "o.data"},
       "Error: --rope holds one tube per cell"},
      {{"--wall", "10,10", "--lattice", "missing.dat", "o.data"}, "Error: file access failed"},
      {{"--wall", "10,10", "--lattice", "table.dat", "o.data"},
       "Error: parameters for (10,10) SWNT do not exist in the file."},
      {{"--wall", "10,10", "--cells", "2", "--length", "10", "o.data"}, "Error: give --cells or --length"},
      {{"--wall", "10,10", "--periodic", "--length", "10", "o.data"}, "Error: --length makes an open tube"},
      {{"--wall", "10,10", "--wall", "15,15", "--walls", "3", "o.data"}, "Error: --walls K adds walls"},
      {{"--wall", "10,10", "--periodic", "--cells", "1", "o.data"},
       "Error: 1 common periods make a periodic length of 2.459512 Angstrom"},
      {{"--wall", "100,100", "--bundle", "10000,10000", "o.data"}, "more than 100000000 atoms"},
      {{"--wall", "10,11", "o.data"}, "Error: incorrect chirality=(10,11)."},
      {{"--wall", "10,10", "--rotate", "2:30", "o.data"}, "Error: there is no wall 2"},
      {{"--wall", "10,10", "--trim", "o.dat"}, "Error: option --trim acts on the topology"},
      {{"--wall", "10,10", "--periodic", "--rope", "o.dat"}, "Error: a trajectory holds a box"},
      {{"--wall", "10,10", "--bundle", "8", "o.data"}, "Error: invalid bundle <8>"},
      {{"--wall", "10,10", "--diameter", "1:2", "o.data"}, "Error: option --diameter belongs to --find"},
      {{"--wall", "10,10", "o.unknown"}, "is not known from its name"},
      {{"--wall", "10,10", "--walls", "3", "--spacing", "9", "--max-period", "3", "o.data"},
       "Error: no wall fits outside (10,10)"},
      {{"--wall", "10,10", "--dope", "Xx:3", "o.data"}, "Error: unknown element <Xx>."},
      {{"--wall", "10,10", "--dope", "N:1.5", "o.data"}, "Error: invalid dopant fraction <1.5>"},
      {{"--wall", "10,10", "--species", "CC", "o.data"}, "Error: invalid species <CC>: two different elements"},
      {{"--wall", "10,10", "--species", "BN", "--lattice", "rebo", "o.data"}, "the shipped structure tables are tables of carbon"},
      {{"--wall", "10,10", "--species", "BN", "o.dat"}, "Error: a trajectory holds carbon atoms only"},
      {{"--wall", "10,10", "--species", "BN", "--dope", "C:2", "o.data"}, "Error: dopants replace carbon atoms"},
      {{"--wall", "4,4", "--periodic", "--stone-wales", "6", "o.data"},
       "Error: 6 Stone-Wales defects asked, but only "},
      {{"--wall", "10,10", "--periodic", "--dope", "N:0.9", "o.data"}, "N dopants asked, but only "},
  };
  for (const auto& [args, message] : cases) {
    TempDir dir;
    test_support::write_file(dir / "table.dat", "header\n5 5 6.8 0.1 20 2.13 1.23 2.13 -1.23 1.42 0\n");
    const auto before = test_support::snapshot(dir.path());
    const auto result = run_program(ASSEMBLE_EXE, args, dir.path());
    EXPECT_EQ(result.status, 1) << args.back() << ": " << result.output;
    EXPECT_NE(result.output.find(message), std::string::npos) << result.output;
    EXPECT_EQ(result.output.rfind("Error: ", 0) == 0 || result.output.find("\nError: ") != std::string::npos, true)
        << result.output;
    EXPECT_EQ(test_support::snapshot(dir.path()), before) << result.output;
  }
}

}  // namespace
