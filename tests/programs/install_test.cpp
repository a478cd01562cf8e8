// The installation: `cmake --install` puts the programs, their manuals and the
// examples under a prefix, and the installed programs work from any directory,
// found through PATH, with the structure tables beside them.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "test_support.hpp"

namespace fs = std::filesystem;
using test_support::RunResult;
using test_support::TempDir;

namespace {


bool is_executable(const fs::path& path) {
  std::error_code ec;
  return (fs::status(path, ec).permissions() & fs::perms::owner_exec) != fs::perms::none;
}

class Installed : public ::testing::Test {
 protected:
  void SetUp() override {
    // A DESTDIR in the environment would send the files elsewhere.
    const RunResult result = test_support::run_program(
        "/usr/bin/env",
        {"-u", "DESTDIR", CMAKE_EXE, "--install", SWNT_BUILD_DIR, "--prefix", prefix_.path().string()},
        work_.path());
    ASSERT_EQ(result.status, 0) << result.output;
  }

  fs::path bin() const { return prefix_.path() / "bin"; }

  // Runs an installed program by its bare name, as a user whose PATH holds
  // the installed bin directory, in the working directory.
  RunResult run_from_path(const std::string& program, std::vector<std::string> args) const {
    args.insert(args.begin(), {"PATH=" + bin().string() + ":/usr/bin:/bin", program});
    return test_support::run_program("/usr/bin/env", args, work_.path());
  }

  TempDir prefix_;
  TempDir work_;
};

TEST_F(Installed, PutsProgramsManualsAndExamplesUnderThePrefix) {
  for (const std::string& program : test_support::kProgramNames) {
    EXPECT_TRUE(is_executable(bin() / program)) << program;
    const fs::path manual = prefix_.path() / "share/man/man1" / (program + ".1");
    ASSERT_TRUE(test_support::file_exists(manual)) << manual;
    EXPECT_EQ(test_support::read_file(manual),
              test_support::read_file(fs::path(SWNT_SOURCE_DIR) / "docs/man" / (program + ".1")));
  }
  const fs::path examples = prefix_.path() / "share/doc/swnt_tools/examples";
  EXPECT_TRUE(test_support::file_exists(examples / "plain_tube.prm"));
  EXPECT_TRUE(test_support::file_exists(examples / "strained_lattice.dat"));
  EXPECT_TRUE(is_executable(examples / "double_wall.sh"));
}

TEST_F(Installed, WrappingFindsItsTablesBesideItselfFromAnyDirectory) {
  // Tables of the source tree are installed beside the programs; the test
  // goes on with tables of its own.
  for (const char* table : {"opttb.dat", "optbre.dat"}) {
    const fs::path source = fs::path(SWNT_SOURCE_DIR) / "tables" / table;
    if (test_support::file_exists(source)) {
      EXPECT_EQ(test_support::read_file(bin() / table), test_support::read_file(source)) << table;
    }
    fs::remove(bin() / table);
  }

  // Without a table the run names the file it looked for: the one in bin/.
  RunResult result = run_from_path("wrapping", {"10", "10", "-t", "-w", "-1"});
  EXPECT_EQ(result.status, 1);
  EXPECT_EQ(result.output, "Error: file access failed for " + (bin() / "opttb.dat").string() + "\n");

  fs::copy_file(fs::path(TEST_DATA_DIR) / "builder/table.dat", bin() / "opttb.dat");
  fs::copy_file(fs::path(TEST_DATA_DIR) / "builder/table.dat", bin() / "optbre.dat");
  result = run_from_path("wrapping", {"10", "10", "-t", "-d", "-w", "-1"});
  EXPECT_EQ(result.status, 0) << result.output;
  EXPECT_NE(result.output.find(" -- va1[AA] = (2.130000, 1.229756)\n"), std::string::npos)
      << result.output;

  // -b reads the other table; the program named by its full path finds it too.
  result = test_support::run_program((bin() / "wrapping").string(), {"8", "4", "-b", "-d", "-w", "-1"},
                                     work_.path());
  EXPECT_EQ(result.status, 0) << result.output;
  EXPECT_NE(result.output.find(" -- va1[AA] = (2.200000, 1.250000)\n"), std::string::npos)
      << result.output;
  EXPECT_TRUE(test_support::list_dir(work_.path()).empty());
}

TEST_F(Installed, ProgramsRunThroughPathAndWriteWhatTheBuildWrites) {
  RunResult result = run_from_path("wrapping", {"5", "5", "-u", "2", "-f", "tube.dat"});
  ASSERT_EQ(result.status, 0) << result.output;

  TempDir reference;
  result = test_support::run_program(WRAPPING_EXE, {"5", "5", "-u", "2", "-f", "tube.dat"},
                                     reference.path());
  ASSERT_EQ(result.status, 0) << result.output;
  EXPECT_EQ(test_support::read_file(work_.path() / "tube.dat"),
            test_support::read_file(reference.path() / "tube.dat"));

  EXPECT_EQ(run_from_path("xyzframes", {"tube.dat", "x.xyz"}).status, 0);
  EXPECT_EQ(run_from_path("linkframes", {"tube.dat", "t.xyz"}).status, 0);
  EXPECT_EQ(run_from_path("ballconv", {"tube.dat", "tube.pv"}).status, 0);
  fs::copy_file(work_.path() / "tube.dat", work_.path() / "copy.dat");
  EXPECT_EQ(run_from_path("scenejoin", {"tube.dat", "copy.dat"}).status, 0);
  EXPECT_EQ(test_support::list_dir(work_.path()),
            (std::vector<std::string>{"t001.xyz", "tube.dat", "tube.pv", "x001.xyz"}));
  // 104-byte header, a ball size per atom and one scene of 40 atoms.
  EXPECT_EQ(fs::file_size(work_.path() / "tube.pv"), 104u + 8u * 40u + 17u * 40u);
}

}  // namespace
