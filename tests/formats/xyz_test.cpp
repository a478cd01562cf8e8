// The two formats written as one XYZ file per scene, XMOL and TINKER, share
// their frame: the naming of the files, what an empty or a broken trajectory
// leaves, the progress lines.  Those cases run for both through the
// registry; what is the format's own follows.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cmath>
#include <filesystem>
#include <random>

#include "core/text_format.hpp"
#include "formats/registry.hpp"
#include "formats/scene_files.hpp"
#include "test_support.hpp"

namespace {

using test_support::read_file;
using test_support::TempDir;
using test_support::write_file;
using Files = std::vector<std::string>;

const std::string kData = std::string(TEST_DATA_DIR) + "/xyz/";

struct XyzFormat {
  const char* name;      // in the registry
  const char* title;     // the converter program's title line
  const char* expected;  // the golden files' middle name
  const char* making;    // the first progress line
};

std::ostream& operator<<(std::ostream& out, const XyzFormat& format) { return out << format.name; }

// Runs the format's conversion and captures what it prints.
int convert(const XyzFormat& format, const std::string& input, const std::string& output_name,
            std::string& printed, int verbose = 0) {
  testing::internal::CaptureStdout();
  const int result = test_support::run_printing([&] {
    swnt::find_format(format.name)
        ->convert(input, output_name, {format.title, false}, test_support::progress_log(verbose));
  });
  printed = testing::internal::GetCapturedStdout();
  return result;
}

int convert(const std::string& name, const std::string& input, const std::string& output_name,
            std::string& printed, int verbose = 0) {
  const XyzFormat format = name == "xmol"
                               ? XyzFormat{"xmol", "XMOL XYZ FORMAT", "xmol", ""}
                               : XyzFormat{"tinker", "TINKER XYZ FORMAT", "tinker", ""};
  return convert(format, input, output_name, printed, verbose);
}

class XyzWriter : public testing::TestWithParam<XyzFormat> {};

INSTANTIATE_TEST_SUITE_P(
    Formats, XyzWriter,
    testing::Values(XyzFormat{"xmol", "XMOL XYZ FORMAT", "xmol", "Making xmol XYZ file...\n"},
                    XyzFormat{"tinker", "TINKER XYZ FORMAT", "tinker",
                              "Making tinker XYZ file...\n"}),
    [](const testing::TestParamInfo<XyzFormat>& format) { return std::string(format.param.name); });

// The TINKER files: atom 3 has three neighbours, one before it; atom 4 lies
// exactly 1.8 from atom 1 and is not bonded; isolated atoms end after their
// type field.  Both trajectory layouts (the joiner's with CR LF and a
// one-line header) read alike; a stale file of a scene's name is replaced.
TEST_P(XyzWriter, WritesOneFilePerSceneFromEitherLayout) {
  for (const std::string fixture : {"tube_builder.dat", "tube_joiner_crlf.dat"}) {
    TempDir dir;
    write_file(dir / "tube001.xyz", "stale");
    write_file(dir / "tube002.xyz", "stale");
    std::string printed;
    EXPECT_EQ(convert(GetParam(), kData + fixture, (dir / "tube.xyz").string(), printed), 0);
    EXPECT_EQ(printed, "");
    EXPECT_EQ(test_support::list_dir(dir.path()), (Files{"tube001.xyz", "tube002.xyz"}));
    for (const std::string scene : {"001", "002"}) {
      EXPECT_EQ(read_file(dir / ("tube" + scene + ".xyz")),
                read_file(kData + "tube" + scene + "." + GetParam().expected + ".expected"));
    }
  }
}

TEST_P(XyzWriter, ZeroScenesWriteNoFile) {
  TempDir dir;
  write_file(dir / "in.dat", "0 3 0\n1 1 1\n0.0 0.0\n");
  std::string printed;
  EXPECT_EQ(convert(GetParam(), (dir / "in.dat").string(), (dir / "t.xyz").string(), printed), 0);
  EXPECT_EQ(test_support::list_dir(dir.path()), Files{"in.dat"});
}

TEST_P(XyzWriter, VerboseReportsCountsAndEveryTenthScene) {
  TempDir dir;
  std::string input = "0 1 20\n1 1 1\n0 0\n";
  for (int s = 0; s < 20; ++s) input += "0 0 0\n";
  write_file(dir / "in.dat", input);
  std::string printed;
  EXPECT_EQ(convert(GetParam(), (dir / "in.dat").string(), (dir / "t").string(), printed, 1), 0);
  EXPECT_EQ(printed, std::string(GetParam().making) +
                         " -- nmol: 1\n -- ndat: 20\n -- step:  10\n -- step:  20\n");
  EXPECT_EQ(test_support::list_dir(dir.path()).size(), 21u);
}

TEST_P(XyzWriter, BadInputLeavesOnlyTheScenesCompletedBeforeIt) {
  struct Case {
    std::string content;
    Files files;
    std::string reason;
  };
  const std::string header = "0 2 3\n1 1 1\n0 0\n";
  const std::vector<Case> cases = {
      {header + "0 0 0\n1 0 0\n0 0 0\n1 0", {"in.dat", "t001.xyz"},
       "the file ends before the data its header announces"},
      {header + "0 0 0\n1 x 0\n", {"in.dat"}, "not a number where a number is expected: \"x\""},
      {"0 -2 3\n1 1 1\n0 0\n", {"in.dat"}, "negative number of atoms -2"},
  };
  for (const Case& c : cases) {
    TempDir dir;
    write_file(dir / "in.dat", c.content);
    const std::string input = (dir / "in.dat").string();
    std::string printed;
    EXPECT_EQ(convert(GetParam(), input, (dir / "t.xyz").string(), printed), 1);
    EXPECT_EQ(printed, "Error: invalid trajectory file " + input + ": " + c.reason + ".\n");
    EXPECT_EQ(test_support::list_dir(dir.path()), c.files);
  }
}

TEST_P(XyzWriter, ReportsInputAndOutputFailures) {
  TempDir dir;
  std::string printed;
  const std::string missing = (dir / "missing.dat").string();
  EXPECT_EQ(convert(GetParam(), missing, (dir / "t").string(), printed), 1);
  EXPECT_EQ(printed, "Error: file access failed for " + missing + "\n");

  const std::string no_dir = (dir / "nodir" / "t").string();
  EXPECT_EQ(convert(GetParam(), kData + "tube_builder.dat", no_dir, printed), 1);
  EXPECT_EQ(printed, "Error: cannot write file " + no_dir + "001.xyz\n");
  EXPECT_EQ(test_support::list_dir(dir.path()), Files{});

  if (geteuid() == 0) GTEST_SKIP() << "permissions do not bind root";
  std::filesystem::create_directory(dir / "ro");
  write_file(dir / "ro" / "t001.xyz", "kept");
  std::filesystem::permissions(dir / "ro", std::filesystem::perms::owner_read |
                                               std::filesystem::perms::owner_exec);
  EXPECT_EQ(convert(GetParam(), kData + "tube_builder.dat", (dir / "ro" / "t").string(), printed),
            1);
  EXPECT_EQ(printed, "Error: cannot write file " + (dir / "ro" / "t001.xyz").string() + "\n");
  EXPECT_EQ(read_file(dir / "ro" / "t001.xyz"), "kept");
  EXPECT_EQ(test_support::list_dir(dir / "ro"), Files{"t001.xyz"});
}

TEST(SceneFileName, ReplacesTheExtensionOfTheLastPathComponent) {
  EXPECT_EQ(swnt::scene_file_name("tube.xyz", 1), "tube001.xyz");
  EXPECT_EQ(swnt::scene_file_name("tube.xyz", 12), "tube012.xyz");
  EXPECT_EQ(swnt::scene_file_name("tube.xyz", 1234), "tube1234.xyz");
  EXPECT_EQ(swnt::scene_file_name("tube", 1), "tube001.xyz");
  EXPECT_EQ(swnt::scene_file_name("run.1.xyz", 1), "run.1001.xyz");
  EXPECT_EQ(swnt::scene_file_name("../out", 1), "../out001.xyz");
  EXPECT_EQ(swnt::scene_file_name("a.b/c", 2), "a.b/c002.xyz");
  EXPECT_EQ(swnt::scene_file_name("a.b/c.d", 2), "a.b/c002.xyz");
  EXPECT_EQ(swnt::scene_file_name("a.b\\c", 3), "a.b\\c003.xyz");
  EXPECT_EQ(swnt::scene_file_name("x\\a.b/c", 3), "x\\a.b/c003.xyz");
  const std::string long_name(300, 'n');
  EXPECT_EQ(swnt::scene_file_name(long_name + ".xyz", 7), long_name + "007.xyz");
}

TEST(XmolWriter, CountLineHasNoWidthAndNamesWithoutDotGetTheSuffix) {
  TempDir dir;
  write_file(dir / "in.dat", "0 2 3 1 1 1 0 0 1 2 3 4 5 6 0.1234567 -0.0000004 1e3 7 8 9 0 0 0 0 0 0");
  std::string printed;
  EXPECT_EQ(convert("xmol", (dir / "in.dat").string(), (dir / "tube").string(), printed, 1), 0);
  EXPECT_EQ(printed, "Making xmol XYZ file...\n -- nmol: 2\n -- ndat: 3\n");
  EXPECT_EQ(test_support::list_dir(dir.path()),
            (Files{"in.dat", "tube001.xyz", "tube002.xyz", "tube003.xyz"}));
  EXPECT_EQ(read_file(dir / "tube002.xyz"),
            "2\nXMOL XYZ FORMAT\n"
            "C          0.123457       -0.000000     1000.000000  \n"
            "C          7.000000        8.000000        9.000000  \n");
}

TEST(XmolWriter, FailuresLeaveNoFileWithMadeUpValues) {
  TempDir dir;
  const std::string input = (dir / "in.dat").string();
  write_file(input, "0 2 3\n1 1 1\n0 0\n0 0 0\n1 0 0\n0 0 0\n1 0");
  std::string printed;
  EXPECT_EQ(convert("xmol", input, (dir / "x.xyz").string(), printed), 1);
  EXPECT_EQ(printed, "Error: invalid trajectory file " + input +
                         ": the file ends before the data its header announces.\n");
  EXPECT_EQ(test_support::list_dir(dir.path()), (Files{"in.dat", "x001.xyz"}));
}

TEST(TinkerWriter, MeasuresAtTheFullPrecisionRead) {
  TempDir dir;
  write_file(dir / "in.dat", "0 2 1 9 9 9 0 0\n0 0 0\n0 1.7999996 0\n");
  std::string printed;
  EXPECT_EQ(convert("tinker", (dir / "in.dat").string(), (dir / "t").string(), printed), 0);
  EXPECT_EQ(read_file(dir / "t001.xyz"),
            "    2  TINKER XYZ FORMAT\n"
            "     1  C      0.000000    0.000000    0.000000     1     2 \n"
            "     2  C      0.000000    1.800000    0.000000     1     1 \n");
}

TEST(TinkerWriter, MatchesTheAllPairsDefinitionOnADenseCluster) {
  TempDir dir;
  std::mt19937 rng(7);
  std::uniform_real_distribution<double> coordinate(-4.0, 4.0);
  constexpr int kAtoms = 400;
  std::vector<std::array<double, 3>> atoms(kAtoms);
  std::string input = swnt::format_text("0 %d 1\n1 1 1\n0 0\n", kAtoms);
  for (auto& atom : atoms) {
    for (double& value : atom) value = coordinate(rng);
    input += swnt::format_text("%.17g %.17g %.17g\n", atom[0], atom[1], atom[2]);
  }
  write_file(dir / "in.dat", input);
  std::string expected = swnt::format_text("%5d  %s\n", kAtoms, "TINKER XYZ FORMAT");
  for (int i = 0; i < kAtoms; ++i) {
    const auto& p = atoms[i];
    expected += swnt::format_text("%6d  C   %11.6lf %11.6lf %11.6lf %5d ", i + 1, p[0], p[1],
                                  p[2], 1);
    for (int j = 0; j < kAtoms; ++j) {
      const auto& q = atoms[j];
      const double d = std::sqrt((p[0] - q[0]) * (p[0] - q[0]) + (p[1] - q[1]) * (p[1] - q[1]) +
                                 (p[2] - q[2]) * (p[2] - q[2]));
      if (j != i && d < 1.8) expected += swnt::format_text("%5d ", j + 1);
    }
    expected += "\n";
  }
  std::string printed;
  EXPECT_EQ(convert("tinker", (dir / "in.dat").string(), (dir / "c.xyz").string(), printed), 0);
  EXPECT_EQ(read_file(dir / "c001.xyz"), expected);
}

}  // namespace
