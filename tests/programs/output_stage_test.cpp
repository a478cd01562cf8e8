#include "builder/output_stage.hpp"

#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <string>
#include <vector>

#include "core/error.hpp"
#include "test_support.hpp"

namespace {

namespace fs = std::filesystem;
using test_support::list_dir;
using test_support::read_file;
using test_support::TempDir;
using Names = std::vector<std::string>;

test_support::RunResult wrapping(const std::vector<std::string>& args, const fs::path& cwd) {
  return test_support::run_program(WRAPPING_EXE, args, cwd);
}

std::string first_line(const std::string& text) { return text.substr(0, text.find('\n')); }

TEST(OutputStage, TrajectoryGoesToTheDefaultNameOrStaysUnderTheTemporaryOne) {
  TempDir dir;
  // No old file to delete on the first run: the warning says so.
  auto run = wrapping({"10", "10"}, dir.path());
  EXPECT_EQ(run.status, 0);
  EXPECT_EQ(run.output, "Warning: failed to remove old swnt_pos.dat file.\n");
  const std::string first = read_file(dir / "swnt_pos.dat");
  EXPECT_EQ(first_line(first), "0 340 1");
  run = wrapping({"10", "10"}, dir.path());
  EXPECT_EQ(run.status, 0);
  EXPECT_EQ(run.output, "");
  EXPECT_EQ(read_file(dir / "swnt_pos.dat"), first);

  run = wrapping({"4", "2", "-u", "1.5", "-w", "2", "-f", "rolled.dat"}, dir.path());
  EXPECT_EQ(read_file(dir / "rolled.dat"),
            read_file(fs::path(TEST_DATA_DIR) / "tube" / "tube_4_2_rolling.dat"));

  run = wrapping({"5", "5", "-f", "missing/out.dat"}, dir.path());
  EXPECT_EQ(run.status, 0);
  EXPECT_EQ(run.output,
            "Warning: failed to remove old missing/out.dat file.\n"
            "Warning: failed to save missing/out.dat file.\n"
            " -- Data is saved as swnt_wrapping.wrp.\n");
  EXPECT_EQ(list_dir(dir.path()), (Names{"rolled.dat", "swnt_pos.dat", "swnt_wrapping.wrp"}));
}

TEST(OutputStage, ConversionsWriteBesideTheParameterFileAndLeaveNoTemporaryFile) {
  TempDir dir;
  fs::create_directories(dir / "in");
  fs::create_directories(dir / "work");
  test_support::write_file(dir / "in" / "pv.txt", "10, 10\n-p  # a pv scene\n");
  test_support::write_file(dir / "in" / "xmol.txt", "10 10 -xx -w 1\n");
  for (const char* file : {"../in/pv.txt", "../in/xmol.txt"}) {
    const auto run = wrapping({file}, dir / "work");
    EXPECT_EQ(run.status, 0);
    EXPECT_EQ(run.output, "");
  }
  EXPECT_TRUE(list_dir(dir / "work").empty());
  EXPECT_EQ(list_dir(dir / "in"), (Names{"pv.txt", "swnt_pos.pv", "swnt_pos001.xyz",
                                         "swnt_pos002.xyz", "xmol.txt"}));
  const std::string xmol = read_file(dir / "in" / "swnt_pos002.xyz");
  EXPECT_EQ(xmol.substr(0, xmol.find('C')), "340\n(10,10) SWNT-XMOL XYZ FORMAT\n");

  const auto run = wrapping({"8", "4", "-xt"}, dir / "work");
  EXPECT_EQ(run.status, 0);
  EXPECT_EQ(list_dir(dir / "work"), Names{"swnt_pos001.xyz"});
  EXPECT_NE(first_line(read_file(dir / "work" / "swnt_pos001.xyz"))
                .find("(8,4) SWNT-TINKER XYZ FORMAT"),
            std::string::npos);
}

TEST(OutputStage, FailuresEndWithStatusOneAndLeaveTheFilesAsTheyWere) {
  TempDir dir;
  test_support::write_file(dir / "swnt_pos.dat", "old\n");
  const auto expect_error = [&](const std::vector<std::string>& args, const std::string& message) {
    const auto run = wrapping(args, dir.path());
    EXPECT_EQ(run.status, 1) << args.back();
    EXPECT_EQ(run.output.substr(0, message.size()), message) << args.back();
  };
  // A converter that fails: the centred ends of 300 cells lie beyond the pv range.
  expect_error({"10", "10", "-p", "-u", "300"}, "Error: ");
  // More atoms or scenes than the header can count.
  expect_error({"5", "5", "-u", "1e300"}, "Error: ");
  expect_error({"5", "5", "-w", "2147483647"}, "Error: ");
  if (geteuid() != 0) {  // root ignores permissions
    fs::permissions(dir.path(), fs::perms::owner_read | fs::perms::owner_exec);
    expect_error({"10", "10"}, "Error: cannot write file swnt_wrapping.wrp\n");
    fs::permissions(dir.path(), fs::perms::owner_all);
  }
  EXPECT_EQ(list_dir(dir.path()), Names{"swnt_pos.dat"});

  // A full disk under the temporary name: no writer runs, no warning.
  if (test_support::file_exists("/dev/full")) {
    fs::create_symlink("/dev/full", dir / "swnt_wrapping.wrp");
    expect_error({"10", "10"}, "Error: cannot write file swnt_wrapping.wrp\n");
    expect_error({"10", "10", "-xx"}, "Error: cannot write file swnt_wrapping.wrp\n");
    fs::remove(dir / "swnt_wrapping.wrp");
  }

  // Any name of the temporary file itself as the output.
  test_support::write_file(dir / "swnt_wrapping.wrp", "stale\n");
  fs::create_symlink("swnt_wrapping.wrp", dir / "alias.dat");
  const std::string roundabout = "../" + dir.path().filename().string() + "/swnt_wrapping.wrp";
  for (const std::string name : {"swnt_wrapping.wrp", "./swnt_wrapping.wrp", "alias.dat"}) {
    expect_error({"5", "5", "-f", name}, "Error: output file " + name + " is the temporary file.\n");
  }
  expect_error({"5", "5", "-p", "-f", roundabout}, "Error: output file " + roundabout);
  EXPECT_EQ(read_file(dir / "swnt_wrapping.wrp"), "stale\n");
  EXPECT_EQ(read_file(dir / "swnt_pos.dat"), "old\n");
  EXPECT_EQ(list_dir(dir.path()), (Names{"alias.dat", "swnt_pos.dat", "swnt_wrapping.wrp"}));
}

TEST(OutputStage, CheckModeVerifiesTheCellBeforeAnythingIsWritten) {
  TempDir dir;
  const auto stage = [&](int n, int m) {
    swnt::WrapOptions options;
    options.debug = false;
    options.check = true;
    options.cn = n;
    options.cm = m;
    options.lenunit = 2.0;
    options.outfile = (dir / "out.dat").string();
    const swnt::StructureParams structure = swnt::cylindrical_structure(1.44);
    const swnt::LatticeParams lattice = swnt::compute_lattice_params(n, m, structure);
    testing::internal::CaptureStdout();
    std::string result;
    try {
      result = std::to_string(swnt::run_output_stage(
          options, (dir / "swnt_wrapping.wrp").string(), structure, lattice));
    } catch (const swnt::Error& error) {
      result = error.what();
    }
    return result + "|" + testing::internal::GetCapturedStdout();
  };
  EXPECT_EQ(stage(5, 5), "Error: Atom    0: 2 bonds\n|");
  EXPECT_TRUE(list_dir(dir.path()).empty());
  EXPECT_EQ(stage(10, 0), "0|OK: All atoms has 3 bonds.\nWarning: failed to remove old " +
                              (dir / "out.dat").string() + " file.\n");
  EXPECT_EQ(list_dir(dir.path()), Names{"out.dat"});
}

}  // namespace

namespace {

// A device or a directory named as the trajectory output is never deleted or
// replaced: the trajectory is written into the device, a directory is refused.
TEST(OutputStage, DevicesTakeTheTrajectoryAndDirectoriesAreRefused) {
  TempDir dir;
  fs::create_directory(dir / "results");
  auto run = wrapping({"5", "5", "-f", "results"}, dir.path());
  EXPECT_EQ(run.status, 1);
  EXPECT_EQ(run.output, "Error: output file results is a directory.\n");
  EXPECT_TRUE(fs::is_directory(dir / "results"));

  // The relative path keeps the name from looking like an option.
  const std::string up = "../../../../../../../../..";
  if (fs::is_character_file("/dev/null")) {
    run = wrapping({"5", "5", "-f", up + "/dev/null"}, dir.path());
    EXPECT_EQ(run.status, 0);
    EXPECT_EQ(run.output, "");
    EXPECT_TRUE(fs::is_character_file("/dev/null"));
  }
  if (fs::is_character_file("/dev/full")) {
    run = wrapping({"5", "5", "-f", up + "/dev/full"}, dir.path());
    EXPECT_EQ(run.status, 1);
    EXPECT_EQ(run.output, "Error: cannot write file " + up + "/dev/full\n");
    EXPECT_TRUE(fs::is_character_file("/dev/full"));
  }
  EXPECT_EQ(list_dir(dir.path()), Names{"results"});
}

}  // namespace

namespace {

// A trajectory whose name lies on another file system (beside a parameter
// file there) is copied into place over the older file; the temporary file
// is made in the working directory, and no scratch file stays anywhere.
TEST(OutputStage, TrajectoryOnAnotherFileSystemIsCopiedIntoPlace) {
  TempDir work;
  if (!fs::is_directory("/dev/shm") || test_support::same_file_system("/dev/shm", work.path())) {
    GTEST_SKIP() << "no second file system at /dev/shm";
  }
  const TempDir other("/dev/shm");
  test_support::write_file(other / "tube.txt", "5 5\n");
  test_support::write_file(other / "swnt_pos.dat", "old\n");
  EXPECT_EQ(wrapping({(other / "tube.txt").string()}, work.path()).output, "");
  EXPECT_EQ(wrapping({"5", "5", "-f", "tube.dat"}, work.path()).status, 0);
  EXPECT_EQ(read_file(other / "swnt_pos.dat"), read_file(work / "tube.dat"));
  EXPECT_EQ(list_dir(other.path()), (Names{"swnt_pos.dat", "tube.txt"}));
  EXPECT_EQ(list_dir(work.path()), Names{"tube.dat"});
}

}  // namespace
