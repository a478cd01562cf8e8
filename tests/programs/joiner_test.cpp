// End-to-end checks of scenejoin: the joined bytes, and that no failure ever
// loses or alters a file.
#include <gtest/gtest.h>
#include <sys/resource.h>
#include <unistd.h>

#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <string>
#include <vector>

#include "core/text_format.hpp"
#include "test_support.hpp"

namespace {

namespace fs = std::filesystem;
using test_support::read_file;
using test_support::run_program;
using test_support::snapshot;
using test_support::TempDir;
using test_support::write_file;

const std::string kTemp = "datadd_temp.tmp";

std::string fixture(const std::string& name) {
  return read_file(fs::path(TEST_DATA_DIR) / "joiner" / name);
}

// A trajectory with `nmol` atoms in each of `ndat` scenes; atom a of scene s
// stands at (base + s, a, -a) so that every line tells where it came from.
std::string trajectory(int lead, int nmol, int ndat, double base, const char* box = "10 10 10",
                       const char* aux = "0.0 0.0") {
  std::string text = swnt::format_text("%d %d %d\n%s\n%s\n", lead, nmol, ndat, box, aux);
  for (int s = 0; s < ndat; ++s) {
    for (int a = 0; a < nmol; ++a) text += swnt::format_text("%.3f %d %d\n", base + s, a, -a);
  }
  return text;
}

// The lines scenejoin writes for scene s of trajectory(..., base).
std::string joined_atoms(int nmol, int s, double base) {
  std::string text;
  for (int a = 0; a < nmol; ++a) {
    text += swnt::format_text("%15.7lf %15.7lf %15.7lf\n", base + s, double(a), double(-a));
  }
  return text;
}

struct FailureCase {
  std::vector<std::string> args;
  std::string message;
};

// Runs each case in a fresh copy of `files` and expects status 1, exactly
// the message, and every file as it was (no temporary file left either).
void expect_refused(const std::map<std::string, std::string>& files,
                    const std::vector<FailureCase>& cases) {
  for (const auto& c : cases) {
    TempDir dir;
    for (const auto& [name, content] : files) write_file(dir / name, content);
    const auto before = snapshot(dir.path());
    const auto result = run_program(SCENEJOIN_EXE, c.args, dir.path());
    const std::string label = c.args.empty() ? "(no arguments)" : c.args.back();
    EXPECT_EQ(result.status, 1) << label;
    EXPECT_EQ(result.output, c.message) << label;
    EXPECT_EQ(snapshot(dir.path()), before) << label;
  }
}

bool running_as_root() { return geteuid() == 0; }

TEST(Joiner, JoinsTargetAtomsFirstInEveryScene) {
  // The target's lead and aux values (six decimals) are kept, each box edge
  // is the larger of the two, and the attached builder file (one-line
  // header, CR LF, "%14.6f  " columns) comes out with seven decimals.
  TempDir dir;
  write_file(dir / "a.dat", fixture("target_3x4.dat"));
  write_file(dir / "b.dat", fixture("builder_2x4.dat"));
  const auto result = run_program(SCENEJOIN_EXE, {"a.dat", "b.dat"}, dir.path());
  EXPECT_EQ(result.status, 0);
  EXPECT_EQ(result.output, "");
  EXPECT_EQ(read_file(dir / "a.dat"), fixture("joined_5x4.dat"));
  EXPECT_EQ(test_support::list_dir(dir.path()), std::vector<std::string>{"a.dat"});
}

TEST(Joiner, AttachesSeveralFilesInCommandLineOrder) {
  TempDir dir;
  write_file(dir / "a.dat", trajectory(3, 2, 3, 100.0, "1 50 2", "0.1234567 8"));
  write_file(dir / "b.dat", trajectory(0, 1, 3, 200.0, "40 5 2"));
  write_file(dir / "c.dat", trajectory(0, 3, 3, 300.0, "2 5 60.0000004"));
  const auto result = run_program(SCENEJOIN_EXE, {"a.dat", "b.dat", "c.dat"}, dir.path());
  EXPECT_EQ(result.status, 0);
  EXPECT_EQ(result.output, "");
  std::string expected = "3 6 3\n40.000000 50.000000 60.000000\n0.123457 8.000000\n";
  for (int s = 0; s < 3; ++s) {
    expected += joined_atoms(2, s, 100.0) + joined_atoms(1, s, 200.0) + joined_atoms(3, s, 300.0);
  }
  EXPECT_EQ(read_file(dir / "a.dat"), expected);
  EXPECT_EQ(test_support::list_dir(dir.path()), std::vector<std::string>{"a.dat"});
}

TEST(Joiner, EmptyScenesAndNoScenes) {
  TempDir dir;
  // No scenes: only the header.  Anything after the announced data is ignored.
  write_file(dir / "a.dat", "1 4 0\n1 2 3\n4 5\n");
  write_file(dir / "b.dat", "2 5 0 4 1 1 9 9 junk");
  EXPECT_EQ(run_program(SCENEJOIN_EXE, {"a.dat", "b.dat"}, dir.path()).status, 0);
  EXPECT_EQ(read_file(dir / "a.dat"), "1 9 0\n4.000000 2.000000 3.000000\n4.000000 5.000000\n");
  // An attached file without atoms leaves the atoms as they are.
  write_file(dir / "c.dat", trajectory(0, 2, 2, 1.0));
  write_file(dir / "d.dat", "0 0 2\n0 0 0\n0 0\n");
  EXPECT_EQ(run_program(SCENEJOIN_EXE, {"c.dat", "d.dat"}, dir.path()).status, 0);
  EXPECT_EQ(read_file(dir / "c.dat"), "0 2 2\n10.000000 10.000000 10.000000\n0.000000 0.000000\n" +
                                          joined_atoms(2, 0, 1.0) + joined_atoms(2, 1, 1.0));
}

TEST(Joiner, RefusesCommandLinesThatWouldLoseFiles) {
  const std::map<std::string, std::string> files = {{"a.dat", trajectory(0, 2, 1, 1.0)},
                                                    {"b.dat", trajectory(0, 1, 1, 2.0)}};
  const std::string temp_error =
      "Error: cannot use %s: datadd_temp.tmp is the temporary file of the join.\n";
  const std::string few = "Error: two or three arguments are required.\n";
  expect_refused(
      files, {
                 {{}, few},
                 {{"a.dat"}, few},
                 {{"a.dat", "a.dat"}, "Error: cannot attach a.dat: it is the target file a.dat.\n"},
                 // Checked before the first join: b.dat stays too.
                 {{"a.dat", "b.dat", "./a.dat"},
                  "Error: cannot attach ./a.dat: it is the target file a.dat.\n"},
                 {{"a.dat", "b.dat", kTemp}, swnt::format_text(temp_error.c_str(), kTemp.c_str())},
                 {{"a.dat", "./" + kTemp}, swnt::format_text(temp_error.c_str(), ("./" + kTemp).c_str())},
                 {{kTemp, "b.dat"}, swnt::format_text(temp_error.c_str(), kTemp.c_str())},
             });

  // Other names of the target: a hard link and a symbolic link.
  TempDir dir;
  write_file(dir / "a.dat", trajectory(0, 2, 1, 1.0));
  fs::create_hard_link(dir / "a.dat", dir / "hard.dat");
  fs::create_symlink("a.dat", dir / "soft.dat");
  const auto before = snapshot(dir.path());
  for (const std::string name : {"hard.dat", "soft.dat"}) {
    const auto result = run_program(SCENEJOIN_EXE, {"a.dat", name}, dir.path());
    EXPECT_EQ(result.status, 1);
    EXPECT_EQ(result.output, "Error: cannot attach " + name + ": it is the target file a.dat.\n");
  }
  EXPECT_EQ(snapshot(dir.path()), before);
  EXPECT_TRUE(fs::is_symlink(dir / "soft.dat"));
}

TEST(Joiner, FailedJoinLeavesEveryFileAsItWas) {
  const std::string a = trajectory(0, 2, 5, 1.0);
  const std::string truncated = trajectory(0, 2, 5, 2.0);
  expect_refused(
      {{"a.dat", a},
       {"six.dat", trajectory(0, 1, 6, 2.0)},
       {"short.dat", truncated.substr(0, truncated.size() - 7)},
       {"word.dat", "0 1 5\n1 1 1\n0 0\n1 2 3\n1 2 x3\n"},
       {"big.dat", "0 2147483647 5\n1 1 1\n0 0\n"},
       {"badhead.dat", "0 1.5 5\n1 1 1\n0 0\n"}},
      {
          {{"a.dat", "six.dat"}, "Error: number of scenes are different (5 and 6).\n"},
          {{"six.dat", "a.dat"}, "Error: number of scenes are different (6 and 5).\n"},
          {{"a.dat", "none.dat"}, "Error: file access failed for none.dat\n"},
          {{"none.dat", "a.dat"}, "Error: file access failed for none.dat\n"},
          {{"a.dat", "short.dat"},
           "Error: invalid trajectory file short.dat: the file ends before the data its header "
           "announces.\n"},
          {{"short.dat", "a.dat"},
           "Error: invalid trajectory file short.dat: the file ends before the data its header "
           "announces.\n"},
          {{"a.dat", "word.dat"},
           "Error: invalid trajectory file word.dat: not a number where a number is expected: "
           "\"x3\".\n"},
          {{"badhead.dat", "a.dat"},
           "Error: invalid trajectory file badhead.dat: not an integer where an integer is "
           "expected: \".5\".\n"},
          {{"a.dat", "big.dat"},
           "Error: cannot join a.dat and big.dat: 2147483649 atoms per scene are too many for one "
           "file.\n"},
      });
}

TEST(Joiner, StaleTemporaryFileIsNeverOverwritten) {
  // A file of that name may hold a target's content from an interrupted run.
  expect_refused({{"a.dat", trajectory(0, 2, 1, 1.0)},
                  {"b.dat", trajectory(0, 1, 1, 2.0)},
                  {kTemp, "precious\n"}},
                 {{{"a.dat", "b.dat"},
                   "Error: the temporary file datadd_temp.tmp exists already (left by an "
                   "interrupted run?); move it away and run again.\n"}});
}

TEST(Joiner, StepsBeforeAFailedOneStayDone) {
  TempDir dir;
  write_file(dir / "a.dat", trajectory(0, 1, 2, 1.0));
  write_file(dir / "b.dat", trajectory(0, 2, 2, 2.0));
  const std::string c = trajectory(0, 1, 3, 3.0);
  const std::string d = trajectory(0, 1, 2, 4.0);
  write_file(dir / "c.dat", c);
  write_file(dir / "d.dat", d);
  const auto result = run_program(SCENEJOIN_EXE, {"a.dat", "b.dat", "c.dat", "d.dat"}, dir.path());
  EXPECT_EQ(result.status, 1);
  EXPECT_EQ(result.output, "Error: number of scenes are different (2 and 3).\n");
  EXPECT_EQ(read_file(dir / "a.dat"), "0 3 2\n10.000000 10.000000 10.000000\n0.000000 0.000000\n" +
                                          joined_atoms(1, 0, 1.0) + joined_atoms(2, 0, 2.0) +
                                          joined_atoms(1, 1, 1.0) + joined_atoms(2, 1, 2.0));
  EXPECT_EQ(read_file(dir / "c.dat"), c);
  EXPECT_EQ(read_file(dir / "d.dat"), d);
  EXPECT_EQ(test_support::list_dir(dir.path()),
            (std::vector<std::string>{"a.dat", "c.dat", "d.dat"}));
}

TEST(Joiner, WriteFailureLeavesEveryFileAsItWas) {
  // A file size limit makes the writes fail whoever runs the test (a full disk).
  const std::map<std::string, std::string> files = {{"a.dat", trajectory(0, 300, 1, 1.0)},
                                                    {"b.dat", trajectory(0, 1, 1, 2.0)}};
  rlimit old_limit{};
  ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &old_limit), 0);
  rlimit small = old_limit;
  small.rlim_cur = 4096;
  const auto old_handler = std::signal(SIGXFSZ, SIG_IGN);
  {
    TempDir dir;
    for (const auto& [name, content] : files) write_file(dir / name, content);
    const auto before = snapshot(dir.path());
    ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &small), 0);
    const auto result = run_program(SCENEJOIN_EXE, {"a.dat", "b.dat"}, dir.path());
    setrlimit(RLIMIT_FSIZE, &old_limit);
    EXPECT_EQ(result.status, 1);
    EXPECT_EQ(result.output, "Error: cannot write file datadd_temp.tmp\n");
    EXPECT_EQ(snapshot(dir.path()), before);
  }
  std::signal(SIGXFSZ, old_handler);
}

TEST(Joiner, UnwritableDirectoriesLeaveEveryFileAsItWas) {
  if (running_as_root()) GTEST_SKIP() << "permissions do not bind root";
  const std::map<std::string, std::string> files = {{"a.dat", trajectory(0, 3, 1, 1.0)},
                                                    {"b.dat", trajectory(0, 1, 1, 2.0)}};
  {
    // The temporary file cannot be created in a read-only working directory.
    TempDir dir;
    for (const auto& [name, content] : files) write_file(dir / name, content);
    const auto before = snapshot(dir.path());
    fs::permissions(dir.path(), fs::perms::owner_write, fs::perm_options::remove);
    const auto result = run_program(SCENEJOIN_EXE, {"a.dat", "b.dat"}, dir.path());
    EXPECT_EQ(result.status, 1);
    EXPECT_EQ(result.output, "Error: cannot write file datadd_temp.tmp\n");
    EXPECT_EQ(snapshot(dir.path()), before);
  }
  {
    // The target lies in a read-only directory: the join cannot replace it.
    TempDir dir;
    fs::create_directory(dir / "sub");
    write_file(dir / "sub" / "a.dat", files.at("a.dat"));
    write_file(dir / "b.dat", files.at("b.dat"));
    fs::permissions(dir / "sub", fs::perms::owner_write, fs::perm_options::remove);
    const auto result = run_program(SCENEJOIN_EXE, {"sub/a.dat", "b.dat"}, dir.path());
    EXPECT_EQ(result.status, 1);
    EXPECT_EQ(result.output, "Error: cannot write file sub/a.dat\n");
    EXPECT_EQ(read_file(dir / "sub" / "a.dat"), files.at("a.dat"));
    EXPECT_EQ(test_support::list_dir(dir / "sub"), std::vector<std::string>{"a.dat"});
    EXPECT_EQ(test_support::list_dir(dir.path()), (std::vector<std::string>{"b.dat", "sub"}));
  }
}

TEST(Joiner, ReplacesTheFileALinkNamesAndTargetsOnOtherFileSystems) {
  const std::string a = trajectory(0, 1, 1, 1.0);
  const std::string b = trajectory(0, 1, 1, 2.0);
  const std::string joined = "0 2 1\n10.000000 10.000000 10.000000\n0.000000 0.000000\n" +
                             joined_atoms(1, 0, 1.0) + joined_atoms(1, 0, 2.0);
  {
    TempDir dir;
    fs::create_directory(dir / "real");
    write_file(dir / "real" / "a.dat", a);
    write_file(dir / "b.dat", b);
    fs::create_symlink("real/a.dat", dir / "a.dat");
    EXPECT_EQ(run_program(SCENEJOIN_EXE, {"a.dat", "b.dat"}, dir.path()).status, 0);
    EXPECT_TRUE(fs::is_symlink(dir / "a.dat"));
    EXPECT_EQ(read_file(dir / "real" / "a.dat"), joined);
    EXPECT_EQ(test_support::list_dir(dir.path()), (std::vector<std::string>{"a.dat", "real"}));
  }

  // The temporary file stays in the working directory; a target on another
  // file system is replaced by a copy.
  TempDir dir;
  if (!fs::is_directory("/dev/shm") || test_support::same_file_system("/dev/shm", dir.path())) {
    GTEST_SKIP() << "no second file system at /dev/shm";
  }
  const TempDir other_dir("/dev/shm");
  const fs::path& other = other_dir.path();
  write_file(other / "a.dat", a);
  write_file(dir / "b.dat", b);
  const auto result = run_program(SCENEJOIN_EXE, {(other / "a.dat").string(), "b.dat"}, dir.path());
  EXPECT_EQ(result.status, 0);
  EXPECT_EQ(result.output, "");
  EXPECT_EQ(read_file(other / "a.dat"), joined);
  EXPECT_EQ(test_support::list_dir(other), std::vector<std::string>{"a.dat"});
  EXPECT_EQ(test_support::list_dir(dir.path()), std::vector<std::string>{});
}

}  // namespace
