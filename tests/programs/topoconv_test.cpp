// topoconv end to end: whole files of a small periodic ring in the three
// formats, and every refused command line or input leaving the files as they
// were.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "test_support.hpp"

namespace {

using test_support::read_file;
using test_support::run_program;
using test_support::TempDir;

// A ring of four atoms that closes through the periodic boundary along z
// (the first atom lies a hair below the box, as the seam atom of a periodic
// tube does), and an isolated atom: two molecules.
const std::string kRing =
    "0 5 1\n10.0 10.0 5.6\n0.0 0.0\n0.0 0.0 -2.8000001\n0.0 0.0 -1.4\n0.5 0.0 0.0\n"
    "0.0 0.0 1.4\n3.0 3.0 0.0\n";

TEST(Topoconv, WritesThePeriodicRingInEveryFormat) {
  TempDir dir;
  test_support::write_file(dir / "ring.dat", kRing);
  for (const std::vector<std::string>& args :
       {std::vector<std::string>{"--periodic", "z", "ring.dat", "ring.data"},
        {"ring.dat", "--periodic=z", "ring.xyz"},
        {"ring.dat", "ring.pdb", "--periodic", "z"},
        {"--periodic", "z", "ring.dat", "ring.psf"}}) {
    const auto result = run_program(TOPOCONV_EXE, args, dir.path());
    EXPECT_EQ(result.status, 0) << result.output;
    EXPECT_EQ(result.output, "");
  }
  EXPECT_EQ(read_file(dir / "ring.data"),
            "LAMMPS data file written by topoconv from ring.dat, scene 1 of 1, periodic axes: z\n\n"
            "5 atoms\n1 atom types\n4 bonds\n1 bond types\n4 angles\n1 angle types\n"
            "4 dihedrals\n1 dihedral types\n0 impropers\n1 improper types\n\n"
            "-5.00000000 5.00000000 xlo xhi  # open\n-5.00000000 5.00000000 ylo yhi  # open\n"
            "-2.80000000 2.80000000 zlo zhi  # periodic\n\nMasses\n\n1 12.011  # C\n\n"
            "Atoms # full\n\n"
            "1 1 1 0.0 0.00000000 0.00000000 2.79999990 0 0 -1\n"
            "2 1 1 0.0 0.00000000 0.00000000 -1.40000000 0 0 0\n"
            "3 1 1 0.0 0.50000000 0.00000000 0.00000000 0 0 0\n"
            "4 1 1 0.0 0.00000000 0.00000000 1.40000000 0 0 0\n"
            "5 2 1 0.0 3.00000000 3.00000000 0.00000000 0 0 0\n\n"
            "Bonds\n\n1 1 1 2\n2 1 1 4\n3 1 2 3\n4 1 3 4\n\n"
            "Angles\n\n1 1 2 1 4\n2 1 1 2 3\n3 1 2 3 4\n4 1 1 4 3\n\n"
            "Dihedrals\n\n1 1 4 1 2 3\n2 1 2 1 4 3\n3 1 1 2 3 4\n4 1 2 3 4 1\n");
  EXPECT_EQ(read_file(dir / "ring.xyz"),
            "5\nLattice=\"10.00000000 0 0 0 10.00000000 0 0 0 5.60000000\" "
            "Properties=species:S:1:pos:R:3 pbc=\"F F T\" "
            "Origin=\"-5.00000000 -5.00000000 -2.80000000\"\n"
            "C     0.00000000     0.00000000     2.79999990\n"
            "C     0.00000000     0.00000000    -1.40000000\n"
            "C     0.50000000     0.00000000     0.00000000\n"
            "C     0.00000000     0.00000000     1.40000000\n"
            "C     3.00000000     3.00000000     0.00000000\n");
  EXPECT_EQ(read_file(dir / "ring.pdb"),
            "REMARK   1 PERIODIC AXES: z\n"
            "CRYST1   10.000   10.000    5.600  90.00  90.00  90.00 P 1           1\n"
            "HETATM    1  C1  CNT A   1       0.000   0.000   2.800  1.00  0.00           C\n"
            "HETATM    2  C2  CNT A   1       0.000   0.000  -1.400  1.00  0.00           C\n"
            "HETATM    3  C3  CNT A   1       0.500   0.000   0.000  1.00  0.00           C\n"
            "HETATM    4  C4  CNT A   1       0.000   0.000   1.400  1.00  0.00           C\n"
            "HETATM    5  C1  CNT A   2       3.000   3.000   0.000  1.00  0.00           C\n"
            "CONECT    1    2    4\nCONECT    2    1    3\nCONECT    3    2    4\n"
            "CONECT    4    1    3\nEND\n");
  // CHARMM's set: the atoms named within their residues, the terms in the
  // order of the LAMMPS file, the cell in full in the title; the parameters
  // (checked by the engines in the interop checks) and the coordinates.
  EXPECT_EQ(read_file(dir / "ring.psf"),
            "PSF\n"
            "\n"
            "       3 !NTITLE\n"
            "* written by topoconv from ring.dat, scene 1 of 1\n"
            "* force field opls-aa\n"
            "* cell 10 10 5.6 90 90 90, periodic axes: z\n"
            "\n"
            "       5 !NATOM\n"
            "       1 S1   1    CNT  C1   CA     0.000000       12.0110           0\n"
            "       2 S1   1    CNT  C2   CA     0.000000       12.0110           0\n"
            "       3 S1   1    CNT  C3   CA     0.000000       12.0110           0\n"
            "       4 S1   1    CNT  C4   CA     0.000000       12.0110           0\n"
            "       5 S2   2    CNT  C1   CA     0.000000       12.0110           0\n"
            "\n"
            "       4 !NBOND: bonds\n"
            "       1       2       1       4       2       3       3       4\n"
            "\n"
            "       4 !NTHETA: angles\n"
            "       2       1       4       1       2       3       2       3       4\n"
            "       1       4       3\n"
            "\n"
            "       4 !NPHI: dihedrals\n"
            "       4       1       2       3       2       1       4       3\n"
            "       1       2       3       4       2       3       4       1\n"
            "\n"
            "       0 !NIMPHI: impropers\n"
            "\n"
            "       0 !NDON: donors\n"
            "\n"
            "\n"
            "       0 !NACC: acceptors\n"
            "\n"
            "\n"
            "       0 !NNB\n"
            "\n"
            "       0       0       0       0       0\n"
            "\n"
            "       1       0 !NGRP NST2\n"
            "       0       0       0\n"
            "\n");
  EXPECT_EQ(read_file(dir / "ring.crd"),
            "* written by topoconv from ring.dat, scene 1 of 1\n"
            "*\n"
            "         5  EXT\n"
            "         1         1  CNT       C1              0.0000000000        0.0000000000        2.7999999000  S1        1               0.0000000000\n"
            "         2         1  CNT       C2              0.0000000000        0.0000000000       -1.4000000000  S1        1               0.0000000000\n"
            "         3         1  CNT       C3              0.5000000000        0.0000000000        0.0000000000  S1        1               0.0000000000\n"
            "         4         1  CNT       C4              0.0000000000        0.0000000000        1.4000000000  S1        1               0.0000000000\n"
            "         5         2  CNT       C1              3.0000000000        3.0000000000        0.0000000000  S2        2               0.0000000000\n");
  EXPECT_NE(read_file(dir / "ring.prm").find("\nBONDS\nCA     CA     469  1.4\n"), std::string::npos);
  EXPECT_NE(read_file(dir / "ring.pdb").find("HETATM    5  C1  CNT A   2"), std::string::npos);
}

// A zigzag chain that closes through the periodic boundary along z, and an
// isolated atom: --hydrogenate removes the atom and gives each carbon a
// hydrogen away from its two bonds (through the boundary for the first and
// the last).  (LAMMPS reads the types of such files in the interop checks.)
TEST(Topoconv, HydrogenatesThePeriodicChain) {
  TempDir dir;
  test_support::write_file(dir / "chain.dat",
                           "0 5 1\n10 10 4.8\n0 0\n0 0 0\n0.7 0 1.2\n0 0 2.4\n0.7 0 3.6\n3 3 0\n");
  const auto result = run_program(
      TOPOCONV_EXE, {"--hydrogenate", "--periodic", "z", "chain.dat", "chain.xyz"}, dir.path());
  EXPECT_EQ(result.status, 0);
  EXPECT_EQ(result.output, "Warning: atoms with fewer than two bonds removed: 1.\n");
  EXPECT_EQ(read_file(dir / "chain.xyz"),
            "8\nLattice=\"10.00000000 0 0 0 10.00000000 0 0 0 4.80000000\" "
            "Properties=species:S:1:pos:R:3 pbc=\"F F T\" "
            "Origin=\"-5.00000000 -5.00000000 0.00000000\"\n"
            "C     0.00000000     0.00000000     0.00000000\n"
            "C     0.70000000     0.00000000     1.20000000\n"
            "C     0.00000000     0.00000000     2.40000000\n"
            "C     0.70000000     0.00000000     3.60000000\n"
            "H    -1.09000000     0.00000000     0.00000000\n"
            "H     1.79000000     0.00000000     1.20000000\n"
            "H    -1.09000000     0.00000000     2.40000000\n"
            "H     1.79000000     0.00000000     3.60000000\n");
}

TEST(Topoconv, RefusesBadRequestsAndLeavesEveryFileAsItWas) {
  TempDir dir;
  test_support::write_file(dir / "ring.dat", kRing);
  test_support::write_file(dir / "ring001.data", kRing);
  test_support::write_file(dir / "out.data", "earlier output");
  std::filesystem::create_symlink("ring.dat", dir / "link.pdb");
  test_support::write_file(dir / "wide.dat", "0 1 1\n10 10 10\n0 0\n0 0 1e5\n");
  test_support::write_file(dir / "many.dat", "0 0 1000001\n10 10 10\n0 0\n");
  test_support::write_file(dir / "line.dat", "0 3 1\n10 10 4.2\n0 0\n0 0 0\n0 0 1.4\n0 0 2.8\n");
  // Force fields without carbon, without the bond of two carbons, with a
  // mistake, and with charges.
  test_support::write_file(dir / "hydrogen.ff", "atom H HA 0 2.42 0.03\n");
  test_support::write_file(dir / "atoms.ff", "atom C CA 0 3.55 0.07\nangle * C * 63 120\n");
  test_support::write_file(dir / "bad.ff", "atom C CA 0 3.55 0.07\nbond C C 469\n");
  test_support::write_file(dir / "charged.ff",
                           "atom C CA -0.1 3.55 0.07\nbond C C 469 1.4\nangle C C C 63 120\n"
                           "dihedral * C C * 3.625 2 180\nimproper C * * * 2.2 0\n");
  // A square, then a rhombus with one diagonal: eight atoms, then six.
  test_support::write_file(dir / "shapes.dat",
                           "0 4 2\n10 10 10\n0 0\n0 0 0\n1.4 0 0\n1.4 1.4 0\n"
                           "0 1.4 0\n0 0 0\n1.4 0 0\n0.7 1.21 0\n2.1 1.21 0\n");
  struct Case {
    std::vector<std::string> args;
    std::string first_line;
  };
  const std::vector<Case> cases = {
      {{"--bogus", "ring.dat", "out.data"}, "Error: unknown option <--bogus>."},
      {{"--format", "gro", "ring.dat", "out.data"},
       "Error: unknown format <gro>: lammps, extxyz, pdb, gromacs or psf."},
      {{"--style", "charge", "ring.dat", "out.data"},
       "Error: unknown style <charge>: full, molecular or atomic."},
      {{"--periodic", "zz", "ring.dat", "out.data"},
       "Error: unknown periodic axes <zz>: one or more of x, y, z, or none."},
      {{"--scene", "4294967297", "ring.dat", "out.data"},
       "Error: invalid scene <4294967297>: a number from 1 to 2147483647, last or all."},
      {{"--cutoff", "inf", "ring.dat", "out.data"},
       "Error: invalid cut-off <inf>: a positive finite number of Angstrom."},
      {{"--cutoff", "-1", "ring.dat", "out.data"},
       "Error: invalid cut-off <-1>: a positive finite number of Angstrom."},
      {{"--scene"}, "Error: option --scene needs a value."},
      {{"--trim=yes", "ring.dat", "out.data"}, "Error: option --trim takes no value."},
      {{"--ch", "nan", "--hydrogenate", "ring.dat", "out.data"},
       "Error: invalid C-H distance <nan>: a positive finite number of Angstrom."},
      {{"--ch", "1.1", "ring.dat", "out.data"},
       "Error: option --ch sets the C-H distance of --hydrogenate, which is not given."},
      {{"--hydrogenate", "--periodic", "z", "line.dat", "out.data"},
       "Error: atom 1: its two bonds lie on one straight line (within 0.6 degrees), so no "
       "direction "
       "away from both is left for its hydrogen."},
      {{"--hydrogenate", "--scene", "all", "shapes.dat", "out.pdb"},
       "Error: scene 2 keeps 6 atoms where scene 1 keeps 8: the models of a PDB file must hold the "
       "same atoms."},
      {{"--forcefield", "hydrogen.ff", "ring.dat", "out.data"},
       "Error: the force field hydrogen.ff has no parameters for the element C."},
      {{"--forcefield", "atoms.ff", "ring.dat", "out.data"},
       "Error: the force field atoms.ff has no parameters for the bond C-C."},
      {{"--forcefield", "bad.ff", "ring.dat", "out.data"},
       "Error: bad.ff line 2: bond takes 4 values (bond A B K R0), not 3."},
      {{"--forcefield", "missing.ff", "ring.dat", "out.data"},
       "Error: unknown force field <missing.ff>: neither a shipped set (default, opls-aa) nor a "
       "parameter file that can be read."},
      {{"--forcefield", ".", "ring.dat", "out.data"},
       "Error: unknown force field <.>: neither a shipped set (default, opls-aa) nor a parameter "
       "file that can be read."},
      {{"--forcefield", "charged.ff", "--style", "molecular", "ring.dat", "out.data"},
       "Error: the force field charged.ff gives C a charge, which the LAMMPS atom style molecular "
       "cannot hold: use --style full."},
      {{"--terms", "some", "ring.dat", "out.data"}, "Error: unknown terms <some>: all or none."},
      {{"ring.dat"}, "Error: a trajectory and an output file are required."},
      {{"ring.dat", "out.gro"},
       "Error: the format of <out.gro> is not known from its name: give --format lammps, extxyz, "
       "pdb, gromacs or psf."},
      {{"--scene", "2", "ring.dat", "out.data"},
       "Error: there is no scene 2: the trajectory ring.dat holds 1."},
      {{"missing.dat", "out.data"}, "Error: file access failed for missing.dat"},
      {{"ring.dat", "no/such.data"}, "Error: cannot write file no/such.data"},
      {{"ring.dat", "./ring.dat", "--format", "pdb"},
       "Error: cannot write ./ring.dat: it is the input file ring.dat."},
      {{"ring.dat", "link.pdb"}, "Error: cannot write link.pdb: it is the input file ring.dat."},
      {{"ring001.data", "ring.data", "--scene", "all"},
       "Error: cannot write ring001.data: it is the input file ring001.data."},
      {{"ring.dat", "out.data", "--periodic", "xz", "--cutoff", "3"},
       "Error: the box length 5.600000 along z is not larger than twice the cut-off (6 Angstrom), "
       "so the nearest image of an atom would be ambiguous: make the periodic tube at least 2 "
       "times as long (a whole number of unit cells, wrapping -u)."},
      {{"many.dat", "out.xyz", "--scene", "all"},
       "Error: the trajectory many.dat holds 1000001 scenes, more than the 1000000 that topoconv "
       "writes with --scene all."},
      {{"wide.dat", "out.pdb"},
       "Error: atom 1: its z coordinate 100000.000 does not fit the eight columns of PDB (-999.999 "
       "to 9999.999)."},
  };
  const auto before = test_support::snapshot(dir.path());
  for (const Case& c : cases) {
    const auto result = run_program(TOPOCONV_EXE, c.args, dir.path());
    EXPECT_EQ(result.status, 1) << c.first_line;
    EXPECT_EQ(result.output.substr(0, result.output.find('\n')), c.first_line);
    EXPECT_EQ(test_support::snapshot(dir.path()), before) << c.first_line;
  }
  const auto help = run_program(TOPOCONV_EXE, {"ring.dat", "-h"}, dir.path());
  EXPECT_EQ(help.status, 0);
  EXPECT_EQ(help.output.rfind("Usage: topoconv [options] trajectory output\n", 0), 0u);
}

// With a force field the LAMMPS file carries its parameters: the whole file
// of a ring of ten carbons, each with a hydrogen, against the one expected;
// a parameter file of the same numbers gives the same file.  With --terms
// none the molecules stay and no bonded term is written.
TEST(Topoconv, WritesTheParametersOfAForceField) {
  TempDir dir;
  ASSERT_EQ(run_program(WRAPPING_EXE, {"5", "0", "-u", "1", "-az", "-f", "ends.dat"}, dir.path())
                .status,
            0);
  const auto shipped = run_program(
      TOPOCONV_EXE, {"--hydrogenate", "--forcefield", "default", "ends.dat", "ends.data"},
      dir.path());
  EXPECT_EQ(shipped.status, 0) << shipped.output;
  const std::string expected =
      read_file(std::filesystem::path(TEST_DATA_DIR) / "lammps/ends_5_0_opls.data");
  EXPECT_EQ(read_file(dir / "ends.data"), expected);

  const std::string copy = (std::filesystem::path(TEST_DATA_DIR) / "../../examples/opls-aa.ff").string();
  const auto file = run_program(
      TOPOCONV_EXE, {"--hydrogenate", "--forcefield=" + copy, "ends.dat", "copy.data"}, dir.path());
  EXPECT_EQ(file.status, 0) << file.output;
  std::string renamed = read_file(dir / "copy.data");
  const std::size_t name = renamed.find(copy);
  ASSERT_NE(name, std::string::npos);
  EXPECT_EQ(renamed.replace(name, copy.size(), "opls-aa"), expected);

  // Each type with numbers of its own: each in its place.
  const std::string distinct = (std::filesystem::path(TEST_DATA_DIR) / "lammps/distinct.ff").string();
  ASSERT_EQ(run_program(TOPOCONV_EXE,
                        {"--hydrogenate", "--forcefield", distinct, "ends.dat", "distinct.data"},
                        dir.path())
                .status,
            0);
  const std::string numbers = read_file(dir / "distinct.data");
  EXPECT_NE(numbers.find("\n\nPairIJ Coeffs # lj/cut\n\n1 1 0.086 3.4\n1 2 0.03591656999 3\n"
                         "2 2 0.015 2.6\n\nBond Coeffs # harmonic\n\n1 400 1.42\n2 340 1.09\n\n"
                         "Angle Coeffs # harmonic\n\n1 60 118\n2 40 121\n\n"
                         "Dihedral Coeffs # charmm\n\n1 3 2 180 0.0\n2 2 2 180 0.0\n3 1 2 180 0.0\n\n"
                         "Improper Coeffs # harmonic\n\n1 5 0\n2 4 0\n\nAtoms # full\n\n"),
            std::string::npos)
      << numbers;

  test_support::write_file(dir / "ring.dat", kRing);
  const auto none = run_program(
      TOPOCONV_EXE, {"--periodic", "z", "--style", "molecular", "--terms", "none", "ring.dat", "ring.data"},
      dir.path());
  EXPECT_EQ(none.status, 0) << none.output;
  EXPECT_EQ(read_file(dir / "ring.data"),
            "LAMMPS data file written by topoconv from ring.dat, scene 1 of 1, periodic axes: z\n\n"
            "5 atoms\n1 atom types\n\n"
            "-5.00000000 5.00000000 xlo xhi  # open\n-5.00000000 5.00000000 ylo yhi  # open\n"
            "-2.80000000 2.80000000 zlo zhi  # periodic\n\nMasses\n\n1 12.011  # C\n\n"
            "Atoms # molecular\n\n"
            "1 1 1 0.00000000 0.00000000 2.79999990 0 0 -1\n"
            "2 1 1 0.00000000 0.00000000 -1.40000000 0 0 0\n"
            "3 1 1 0.50000000 0.00000000 0.00000000 0 0 0\n"
            "4 1 1 0.00000000 0.00000000 1.40000000 0 0 0\n"
            "5 2 1 3.00000000 3.00000000 0.00000000 0 0 0\n");
}

// A tube built along x (wrapping's default axis) made periodic along z does
// not repeat there: a warning names the axis and the tube axis it seems to
// repeat along.  On the tube axis of a whole number of cells nothing is said.
TEST(Topoconv, WarnsOfAPeriodicAxisAlongWhichTheTubeDoesNotRepeat) {
  TempDir dir;
  ASSERT_EQ(run_program(WRAPPING_EXE, {"8", "4", "-u", "2", "-f", "t.dat"}, dir.path()).status, 0);
  const auto wrong = run_program(TOPOCONV_EXE, {"--periodic", "z", "t.dat", "t.data"}, dir.path());
  EXPECT_EQ(wrong.status, 0);
  EXPECT_EQ(wrong.output,
            "Warning: the structure does not repeat along z, the periodic axis: no bond crosses "
            "its periodic boundary and the atoms span 8.402 of its 33.608 Angstrom; it seems to "
            "repeat along x (--periodic x).\n");
  const auto right = run_program(TOPOCONV_EXE, {"--periodic", "x", "t.dat", "t.data"}, dir.path());
  EXPECT_EQ(right.status, 0);
  EXPECT_EQ(right.output, "");
}

}  // namespace
