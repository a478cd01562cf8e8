#include "builder/driver.hpp"

#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "test_support.hpp"

namespace {

namespace fs = std::filesystem;
using test_support::list_dir;
using test_support::run_program;
using test_support::TempDir;

const std::string kTable = std::string(TEST_DATA_DIR) + "/builder/table.dat";

const char* const kReport105 =
    "\n"
    "Structural parameters of (10, 5) SWNT\n"
    "Basic parameters of SWNT\n"
    " -- diameter:     10.502490[AA]\n"
    " -- chiral angle: 19.106605[deg]\n"
    " -- number of atoms in SWNT unit cell: 140\n"
    "Primitive lattice vectors of graphene\n"
    " -- va1[AA] = (2.160000, 1.247077)\n"
    " -- va2[AA] = (2.160000, -1.247077)\n"
    " -- vab[AA] = (1.440000, 0.000000)\n"
    "Primitive lattice vectors of SWNT on 2D graphene\n"
    " -- Ch[AA] = 10 va1 +5 va2 = (32.400000, 6.235383)\n"
    " -- T[AA]  = 4 va1 -5 va2 = (-2.160000, 11.223689)\n";

TEST(Driver, ReportOnlyRunsWriteNothing) {
  TempDir dir;
  auto r = run_program(WRAPPING_EXE, {"10", "5", "-d", "-w", "-1"}, dir.path());
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(r.output, kReport105);

  r = run_program(WRAPPING_EXE, {"10", "10", "-w", "-1"}, dir.path());
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(r.output, "");

  // The same report through a parameter file in another directory.
  fs::create_directory(dir / "sub");
  test_support::write_file(dir / "sub" / "tube.par", "# report only\r\n10, 5\r\n-d -w -1\r\n");
  r = run_program(WRAPPING_EXE, {"sub/tube.par"}, dir.path());
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(r.output, kReport105);
  EXPECT_EQ(list_dir(dir.path()), std::vector<std::string>{"sub"});
  EXPECT_EQ(list_dir(dir / "sub"), std::vector<std::string>{"tube.par"});
}

TEST(Driver, ErrorsEndTheRunWithStatusOneAndNoFiles) {
  TempDir dir;
  fs::create_directory(dir / "data");
  fs::copy_file(kTable, dir / "data" / "table.dat");
  struct Case {
    std::vector<std::string> args;
    std::string output;
  };
  const Case cases[] = {
      {{}, "Error: No arguments.\n"},
      {{"5"}, "Error: file access failed for <5>\n"},
      {{"10", "10", "-g", "missing.dat", "-w", "-1"}, "Error: file access failed for missing.dat\n"},
      {{"9", "9", "-g", "data/table.dat"}, "Error: parameters for (9,9) SWNT do not exist in the file.\n"},
      {{"10", "10", "-c", "1e-200"},
       "Error: invalid lattice for (10,10) SWNT: the chiral vector has length 0.\n"},
      {{"10", "10", "-c", "1e200", "-d", "-w", "-1"},
       "Error: invalid lattice for (10,10) SWNT: a lattice vector is not finite.\n"},
      {{"10", "10", "-c", "1e-150", "-l", "1e308"},
       "Error: the tube length is too large for the unit cell of this lattice.\n"},
      {{"3", "5", "-p"}, "Error: incorrect chirality=(3,5).\n"},
      {{"10", "10", "-p", "-sx", "-.5"}, "Error: Invalid argument (option -.5).\n"},
  };
  for (const Case& c : cases) {
    const auto r = run_program(WRAPPING_EXE, c.args, dir.path());
    EXPECT_EQ(r.status, 1) << c.output;
    EXPECT_EQ(r.output, c.output);
  }
  EXPECT_EQ(list_dir(dir.path()), std::vector<std::string>{"data"});
  EXPECT_EQ(list_dir(dir / "data"), std::vector<std::string>{"table.dat"});
}

TEST(Driver, TablesFromTheCommandLineAndBesideTheProgram) {
  TempDir dir;
  // A path that begins with '/' would count as an option, so the table is
  // named relative to the working directory.
  fs::copy_file(kTable, dir / "optbre.dat");
  auto r = run_program(WRAPPING_EXE, {"8", "4", "-g", "optbre.dat", "-d", "-w", "-1"}, dir.path());
  EXPECT_EQ(r.status, 0);
  EXPECT_NE(r.output.find("Structural parameters of (8, 4) SWNT\n"), std::string::npos);
  EXPECT_NE(r.output.find(" -- number of atoms in SWNT unit cell: 112\n"), std::string::npos);
  EXPECT_NE(r.output.find(" -- va1[AA] = (2.200000, 1.250000)\n"
                          " -- va2[AA] = (2.150000, -1.260000)\n"
                          " -- vab[AA] = (1.450000, 0.020000)\n"),
            std::string::npos)
      << r.output;

  // The tables are looked up beside the program's own path, not in the
  // working directory.
  fs::create_directory(dir / "bin");
  fs::create_symlink(WRAPPING_EXE, dir / "bin" / "wrapping");
  fs::copy_file(kTable, dir / "bin" / "opttb.dat");
  const std::string program = (dir / "bin" / "wrapping").string();
  r = run_program(program, {"10", "10", "-t", "-d", "-w", "-1"}, dir.path());
  EXPECT_EQ(r.status, 0);
  EXPECT_NE(r.output.find(" -- va1[AA] = (2.130000, 1.229756)\n"), std::string::npos) << r.output;
  r = run_program(program, {"10", "10", "-c", "0", "-d", "-w", "-1"}, dir.path());  // -c 0 reads the table too
  EXPECT_NE(r.output.find(" -- va1[AA] = (2.130000, 1.229756)\n"), std::string::npos) << r.output;
  r = run_program(program, {"10", "10", "-b", "-w", "-1"}, dir.path());  // not the one in the working directory
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.output, "Error: file access failed for " + (dir / "bin" / "optbre.dat").string() + "\n");
}

TEST(Driver, ProgramFoundThroughTheSearchPathUsesItsOwnDirectory) {
  // A program path without a directory: the tables lie beside the running
  // executable (here the test program), whatever the working directory.
  const std::string beside = fs::read_symlink("/proc/self/exe").parent_path().string() + "/optbre.dat";
  testing::internal::CaptureStdout();
  const int status = swnt::run_wrapping({"wrapping", "10", "10", "-b", "-w", "-1"});
  std::fflush(stdout);
  EXPECT_EQ(testing::internal::GetCapturedStdout(), "Error: file access failed for " + beside + "\n");
  EXPECT_EQ(status, 1);
}

TEST(Driver, ParameterFileRunWritesBesideTheParameterFile) {
  TempDir dir;
  fs::create_directory(dir / "sub");
  test_support::write_file(dir / "sub" / "tube.par", "10 10 -u 1\n");
  const auto r = run_program(WRAPPING_EXE, {"sub/tube.par"}, dir.path());
  EXPECT_EQ(r.status, 0) << r.output;
  EXPECT_EQ(list_dir(dir.path()), std::vector<std::string>{"sub"});
  EXPECT_EQ(list_dir(dir / "sub"), (std::vector<std::string>{"swnt_pos.dat", "tube.par"}));
}

}  // namespace
