// topoconv --format gromacs end to end: the two files of a small structure
// compared whole, the names of the files of one output, and the refusals
// that leave every file as it was.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "test_support.hpp"

namespace {

using test_support::read_file;
using test_support::run_program;
using test_support::TempDir;
using test_support::write_file;
using Names = std::vector<std::string>;

const std::string kData = std::string(TEST_DATA_DIR) + "/gromacs/";

// Three rings of six atoms along z, closed through the periodic boundary
// (the first two with their atoms interleaved), and an isolated atom listed
// between the second and the third: the rings share one molecule type, which
// [ molecules ] counts as 2, then the atom's type, then the ring type again;
// the .gro lists the atoms molecule after molecule.
TEST(Gromacs, WritesTheTopologyAndCoordinatesOfRingsSharingAMoleculeType) {
  TempDir dir;
  std::filesystem::copy_file(kData + "rings.dat", dir / "rings.dat");
  const auto result = run_program(TOPOCONV_EXE, {"--periodic", "z", "rings.dat", "rings.top"}, dir.path());
  EXPECT_EQ(result.status, 0);
  EXPECT_EQ(result.output, "");
  EXPECT_EQ(read_file(dir / "rings.top"), read_file(kData + "rings.top"));
  EXPECT_EQ(read_file(dir / "rings.gro"), read_file(kData + "rings.gro"));
  EXPECT_EQ(test_support::list_dir(dir.path()), (Names{"rings.dat", "rings.gro", "rings.top"}));
}

// An output named without an extension gets both; --scene all writes one
// pair per scene; --format gromacs takes any extension for the topology.
TEST(Gromacs, NamesTheFilesOfEachOutputAfterIt) {
  TempDir dir;
  std::filesystem::copy_file(kData + "rings.dat", dir / "rings.dat");
  const std::string ring = "0 2 2\n10 10 10\n0 0\n0 0 0\n0 0 1.4\n0 0 0\n0 0 1.5\n";
  write_file(dir / "pair.dat", ring);
  for (const std::vector<std::string>& args :
       {std::vector<std::string>{"--format", "gromacs", "rings.dat", "plain"},
        {"--format=gromacs", "rings.dat", "other.itp"},
        {"--scene", "all", "pair.dat", "scenes.top"}}) {
    const auto result = run_program(TOPOCONV_EXE, args, dir.path());
    EXPECT_EQ(result.status, 0) << result.output;
  }
  EXPECT_EQ(test_support::list_dir(dir.path()),
            (Names{"other.gro", "other.itp", "pair.dat", "plain.gro", "plain.top", "rings.dat",
                   "scenes001.gro", "scenes001.top", "scenes002.gro", "scenes002.top"}));
  EXPECT_EQ(read_file(dir / "plain.gro"), read_file(dir / "other.gro"));
  EXPECT_NE(read_file(dir / "scenes002.gro").find("0.6500000000\n"), std::string::npos);
}

TEST(Gromacs, RefusesOutputsThatWouldOverwriteEachOtherOrTheInput) {
  TempDir dir;
  std::filesystem::copy_file(kData + "rings.dat", dir / "rings.dat");
  std::filesystem::copy_file(kData + "rings.dat", dir / "input.gro");
  write_file(dir / "old.top", "an older topology\n");
  write_file(dir / "far.dat", "0 2 1\n10 10 10\n0 0\n0 0 0\n0 0 2e6\n");
  struct Case {
    std::vector<std::string> args;
    std::string output;
  };
  const std::vector<Case> cases = {
      {{"--format", "gromacs", "rings.dat", "tube.gro"},
       "Error: the output tube.gro would be its own .gro file: name it tube.top.\n"},
      {{"input.gro", "input.top"}, "Error: cannot write input.gro: it is the input file input.gro.\n"},
      {{"rings.dat", "missing/tube.top"}, "Error: cannot write file missing/tube.top\n"},
      // Found while writing the .gro, after the .top: neither is put in place.
      {{"far.dat", "old.top"},
       "Error: atom 2: its z coordinate 200001.000 nm does not fit the 16 columns of a .gro file "
       "(-9999 to 99999 nm).\n"},
  };
  const auto before = test_support::snapshot(dir.path());
  for (const Case& c : cases) {
    const auto result = run_program(TOPOCONV_EXE, c.args, dir.path());
    EXPECT_EQ(result.status, 1) << c.output;
    EXPECT_EQ(result.output, c.output);
    EXPECT_EQ(test_support::snapshot(dir.path()), before) << c.output;
  }
}

}  // namespace
