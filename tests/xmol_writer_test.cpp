#include "formats/xmol.hpp"

#include <gtest/gtest.h>

#include "test_support.hpp"

namespace {

using test_support::read_file;
using test_support::TempDir;
using test_support::write_file;
using Files = std::vector<std::string>;

const std::string kData = std::string(TEST_DATA_DIR) + "/xyz/";

int convert(const std::string& input, const std::string& output_name, std::string& printed,
            int verbose = 0) {
  testing::internal::CaptureStdout();
  const int result = test_support::run_printing([&] {
    swnt::write_xmol_xyz(input, output_name, "XMOL XYZ FORMAT",
                         test_support::progress_log(verbose));
  });
  printed = testing::internal::GetCapturedStdout();
  return result;
}

TEST(XmolWriter, WritesOneFilePerSceneFromEitherLayout) {
  for (const std::string fixture : {"tube_builder.dat", "tube_joiner_crlf.dat"}) {
    TempDir dir;
    write_file(dir / "tube001.xyz", "stale");
    std::string printed;
    EXPECT_EQ(convert(kData + fixture, (dir / "tube.xyz").string(), printed), 0);
    EXPECT_EQ(printed, "");
    EXPECT_EQ(test_support::list_dir(dir.path()), (Files{"tube001.xyz", "tube002.xyz"}));
    EXPECT_EQ(read_file(dir / "tube001.xyz"), read_file(kData + "tube001.xmol.expected"));
    EXPECT_EQ(read_file(dir / "tube002.xyz"), read_file(kData + "tube002.xmol.expected"));
  }
}

TEST(XmolWriter, CountLineHasNoWidthAndNamesWithoutDotGetTheSuffix) {
  TempDir dir;
  write_file(dir / "in.dat", "0 2 3 1 1 1 0 0 1 2 3 4 5 6 0.1234567 -0.0000004 1e3 7 8 9 0 0 0 0 0 0");
  std::string printed;
  EXPECT_EQ(convert((dir / "in.dat").string(), (dir / "tube").string(), printed, 1), 0);
  EXPECT_EQ(printed, "Making xmol XYZ file...\n -- nmol: 2\n -- ndat: 3\n");
  EXPECT_EQ(test_support::list_dir(dir.path()),
            (Files{"in.dat", "tube001.xyz", "tube002.xyz", "tube003.xyz"}));
  EXPECT_EQ(read_file(dir / "tube002.xyz"),
            "2\nXMOL XYZ FORMAT\n"
            "C          0.123457       -0.000000     1000.000000  \n"
            "C          7.000000        8.000000        9.000000  \n");
}

TEST(XmolWriter, ZeroScenesWriteNoFile) {
  TempDir dir;
  write_file(dir / "in.dat", "0 3 0\n1 1 1\n0.0 0.0\n");
  std::string printed;
  EXPECT_EQ(convert((dir / "in.dat").string(), (dir / "x.xyz").string(), printed), 0);
  EXPECT_EQ(test_support::list_dir(dir.path()), Files{"in.dat"});
}

TEST(XmolWriter, FailuresLeaveNoFileWithMadeUpValues) {
  TempDir dir;
  const std::string input = (dir / "in.dat").string();
  write_file(input, "0 2 3\n1 1 1\n0 0\n0 0 0\n1 0 0\n0 0 0\n1 0");
  std::string printed;
  EXPECT_EQ(convert(input, (dir / "x.xyz").string(), printed), 1);
  EXPECT_EQ(printed, "Error: invalid trajectory file " + input +
                         ": the file ends before the data its header announces.\n");
  EXPECT_EQ(test_support::list_dir(dir.path()), (Files{"in.dat", "x001.xyz"}));

  const std::string missing = (dir / "missing.dat").string();
  EXPECT_EQ(convert(missing, (dir / "y").string(), printed), 1);
  EXPECT_EQ(printed, "Error: file access failed for " + missing + "\n");

  const std::string no_dir = (dir / "nodir" / "z.xyz").string();
  EXPECT_EQ(convert(kData + "tube_builder.dat", no_dir, printed), 1);
  EXPECT_EQ(printed, "Error: cannot write file " + (dir / "nodir" / "z001.xyz").string() + "\n");
  EXPECT_EQ(test_support::list_dir(dir.path()), (Files{"in.dat", "x001.xyz"}));
}

}  // namespace
