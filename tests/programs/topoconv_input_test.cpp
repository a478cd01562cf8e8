// topoconv on XYZ input end to end: an extended XYZ tube gives the LAMMPS
// file that a trajectory of the same atoms gives, the frames are the scenes
// and the file's pbc flags the default periodic axes, and every malformed or
// unfit input is refused with the files left as they were.
#include <gtest/gtest.h>

#include <sstream>
#include <string>
#include <vector>

#include "test_support.hpp"

namespace {

using test_support::read_file;
using test_support::run_program;
using test_support::TempDir;
using test_support::write_file;

// The text after the first line (which names the input).
std::string after_first_line(const std::string& text) { return text.substr(text.find('\n') + 1); }

// A trajectory of the atoms of a one-frame extended XYZ file of ours with an
// orthogonal cell: its box lengths and its coordinates, digit for digit.
std::string trajectory_of(const std::string& extxyz) {
  std::istringstream in(extxyz);
  std::string count, comment;
  std::getline(in, count);
  std::getline(in, comment);
  const std::size_t lattice = comment.find("Lattice=\"") + 9;
  std::istringstream numbers(comment.substr(lattice, comment.find('"', lattice) - lattice));
  std::vector<std::string> cell(9);
  for (std::string& value : cell) numbers >> value;
  std::string text = "0 " + count + " 1\n" + cell[0] + " " + cell[4] + " " + cell[8] + "\n0 0\n";
  for (std::string line; std::getline(in, line);) text += line.substr(line.find(' ')) + "\n";
  return text;
}

// A periodic (10,10) tube written as extended XYZ, read back: the LAMMPS
// file is the one a trajectory of the same atoms gives, with the periodic
// axis of the file's pbc flags; so is the hydrogen-terminated open tube,
// its hydrogens read as such, against --hydrogenate itself.
TEST(TopoconvInput, ExtendedXyzGivesTheDataFileOfTheSameAtoms) {
  TempDir dir;
  ASSERT_EQ(run_program(WRAPPING_EXE, {"10", "10", "-u", "3", "-az", "-f", "t.dat"}, dir.path()).status, 0);
  ASSERT_EQ(run_program(TOPOCONV_EXE, {"--periodic", "z", "t.dat", "tube.extxyz"}, dir.path()).status, 0);
  write_file(dir / "same.dat", trajectory_of(read_file(dir / "tube.extxyz")));
  ASSERT_EQ(run_program(TOPOCONV_EXE, {"--periodic", "z", "same.dat", "same.data"}, dir.path()).status, 0);
  const auto run = run_program(TOPOCONV_EXE, {"tube.extxyz", "tube.data"}, dir.path());
  EXPECT_EQ(run.status, 0);
  EXPECT_EQ(run.output, "");
  const std::string data = read_file(dir / "tube.data");
  EXPECT_EQ(data.substr(0, data.find('\n')),
            "LAMMPS data file written by topoconv from tube.extxyz, scene 1 of 1, periodic axes: z");
  EXPECT_EQ(after_first_line(data), after_first_line(read_file(dir / "same.data")));

  ASSERT_EQ(run_program(WRAPPING_EXE, {"8", "4", "-l", "20", "-az", "-f", "open.dat"}, dir.path()).status, 0);
  for (const char* output : {"ends.extxyz", "ends.data"}) {
    ASSERT_EQ(run_program(TOPOCONV_EXE, {"--hydrogenate", "open.dat", output}, dir.path()).status, 0);
  }
  EXPECT_EQ(run_program(TOPOCONV_EXE, {"ends.extxyz", "read.data"}, dir.path()).status, 0);
  EXPECT_EQ(after_first_line(read_file(dir / "read.data")), after_first_line(read_file(dir / "ends.data")));
}

// Frames are scenes, counted from 1; --periodic overrides pbc; plain XYZ
// (or --input-format xyz) has no cell; a trajectory may be named .xyz with
// --input-format trajectory.
TEST(TopoconvInput, FramesAreScenesAndPbcTheDefaultAxes) {
  TempDir dir;
  const std::string frame =
      "3\nLattice=\"12 0 0 0 12 0 0 0 4.2\" pbc=\"F F T\"\nC 0 0 0\nC 0 0 1.4\nC 0 0 2.8\n";
  write_file(dir / "two.extxyz", frame + frame);
  ASSERT_EQ(run_program(TOPOCONV_EXE, {"--scene", "all", "two.extxyz", "s.data"}, dir.path()).status, 0);
  for (const char* name : {"s001.data", "s002.data"}) {
    const std::string data = read_file(dir / name);
    EXPECT_NE(data.find(std::string("scene ") + name[3] + " of 2, periodic axes: z\n"), std::string::npos);
    EXPECT_NE(data.find("\n3 bonds\n"), std::string::npos) << name;  // one through the boundary
  }
  const auto run = [&](const std::vector<std::string>& args) {
    EXPECT_EQ(run_program(TOPOCONV_EXE, args, dir.path()).status, 0);
    const std::string data = read_file(dir / args.back());
    return data.substr(0, data.find('\n'));
  };
  EXPECT_EQ(run({"--scene", "1", "two.extxyz", "one.data"}),
            "LAMMPS data file written by topoconv from two.extxyz, scene 1 of 2, periodic axes: z");
  EXPECT_EQ(run({"--periodic", "none", "two.extxyz", "open.data"}),
            "LAMMPS data file written by topoconv from two.extxyz, scene 2 of 2, periodic axes: none");
  EXPECT_EQ(run({"--input-format", "xyz", "two.extxyz", "plain.data"}),
            "LAMMPS data file written by topoconv from two.extxyz, scene 2 of 2, periodic axes: none");
  write_file(dir / "traj.xyz", "0 2 1\n10 10 10\n0 0\n0 0 0\n0 0 1.4\n");
  EXPECT_EQ(run({"--input-format", "trajectory", "traj.xyz", "traj.data"}),
            "LAMMPS data file written by topoconv from traj.xyz, scene 1 of 1, periodic axes: none");
}

TEST(TopoconvInput, RefusesMalformedAndUnfitInputLeavingEveryFileAsItWas) {
  TempDir dir;
  write_file(dir / "out.data", "earlier output");
  write_file(dir / "short.xyz", "2\n\nC 0 0 0\n");
  write_file(dir / "empty.xyz", "");
  write_file(dir / "alien.xyz", "1\n\nQ 0 0 0\n");
  write_file(dir / "traj.xyz", "0 2 1\n10 10 10\n0 0\n0 0 0\n0 0 1.4\n");
  write_file(dir / "small.extxyz", "1\nLattice=\"3 0 0 0 10 0 0 0 10\" pbc=\"T F F\"\nC 0 0 0\n");
  write_file(dir / "tilted.extxyz", "1\nLattice=\"10 0 0 1 1.5 0 0 0 10\" pbc=\"F T F\"\nC 0 0 0\n");
  write_file(dir / "two.extxyz", "1\n\nC 0 0 0\n1\n\nC 0 0 0\n");
  struct Case {
    std::vector<std::string> args;
    std::string output;
  };
  const std::vector<Case> cases = {
      {{"short.xyz", "out.data"},
       "Error: invalid XYZ file short.xyz: the file ends after 1 of the 2 atoms that line 1 "
       "announces.\n"},
      {{"alien.xyz", "out.data"}, "Error: invalid XYZ file alien.xyz: line 3: unknown element \"Q\".\n"},
      {{"traj.xyz", "out.data"},
       "Error: invalid XYZ file traj.xyz: line 1: \"0 2 1\" where the atom count of frame 1 is "
       "expected.\n"},
      {{"empty.xyz", "out.data"}, "Error: the XYZ file empty.xyz holds no frame.\n"},
      {{"--scene", "all", "empty.xyz", "out.data"}, "Error: the XYZ file empty.xyz holds no frame.\n"},
      {{"--scene", "3", "two.extxyz", "out.data"},
       "Error: there is no scene 3: the XYZ file two.extxyz holds 2.\n"},
      {{"small.extxyz", "out.data"},
       "Error: the box length 3.000000 along x is not larger than twice the cut-off (3.6 "
       "Angstrom), so the nearest image of an atom would be ambiguous: make the periodic tube at "
       "least 2 times as long (a whole number of unit cells, wrapping -u).\n"},
      {{"tilted.extxyz", "out.data"},
       "Error: the cell is 1.500000 Angstrom across along its edge b (y), not more than twice the "
       "cut-off (3.6 Angstrom), so the nearest image of an atom would be ambiguous: repeat the "
       "cell at least 3 times along it.\n"},
      {{"two.extxyz", "two.xyz", "--format", "pdb", "--input-format", "gro"},
       "Error: unknown input format <gro>: trajectory, extxyz or xyz.\n"},
      {{"two.extxyz", "./two.extxyz"}, "Error: cannot write ./two.extxyz: it is the input file two.extxyz.\n"},
  };
  const auto before = test_support::snapshot(dir.path());
  for (const Case& c : cases) {
    const auto result = run_program(TOPOCONV_EXE, c.args, dir.path());
    EXPECT_EQ(result.status, 1) << c.output;
    EXPECT_EQ(result.output.substr(0, result.output.find('\n') + 1), c.output);
    EXPECT_EQ(test_support::snapshot(dir.path()), before) << c.output;
  }
}

}  // namespace
