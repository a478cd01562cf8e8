// Failing file systems and interrupted runs: every program is run with file
// operations made to fail (a preload library), killed after each of its file
// operations, on a full disk (a file size limit, /dev/full), and as a user
// who may not write where it is asked to.  After each run the exit status,
// the error line and the state of every file involved are checked: nothing
// the user had is lost, and no output is left half written under its name.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <sstream>
#include <stdexcept>
#include <string>
#include <tuple>
#include <utility>
#include <vector>

#include "core/text_format.hpp"
#include "test_support.hpp"

namespace {

namespace fs = std::filesystem;
using test_support::read_file;
using test_support::snapshot;
using test_support::TempDir;
using test_support::write_file;

test_support::RunOptions with_fault(const std::string& name, const std::string& value) {
  test_support::RunOptions how;
  how.preload = PRELOAD_FAULTS;
  how.env = {{name, value}};
  return how;
}

// A trajectory of `nmol` atoms in `ndat` scenes whose coordinates tell where
// they came from.
std::string trajectory(int nmol, int ndat, double base) {
  std::string text = swnt::format_text("0 %d %d\n20 20 20\n0.0 0.0\n", nmol, ndat);
  for (int s = 0; s < ndat; ++s) {
    for (int a = 0; a < nmol; ++a) {
      text += swnt::format_text("%.3f %.3f %.3f\n", base + s, 1.4 * (a % 100), -2.0 * (a / 100));
    }
  }
  return text;
}

// The trajectory of `wrapping 5 5`.
std::string tube_5_5() {
  TempDir dir;
  test_support::run_program(WRAPPING_EXE, {"5", "5", "-f", "tube.dat"}, dir.path());
  return read_file(dir / "tube.dat");
}

// The programs that run as the user nobody must be able to reach the
// build tree; otherwise the permission cases cannot run as root.
bool unprivileged_runs_work() {
  if (geteuid() != 0) return true;
  TempDir dir;
  fs::permissions(dir.path(), fs::perms::all);
  test_support::RunOptions how;
  how.unprivileged = true;
  return test_support::run_program(WRAPPING_EXE, {}, dir.path(), how).output == "Error: No arguments.\n";
}

// Interrupts `args` after its first, second, ... file operation until it
// runs to its end, calling `check` with the directory after every
// interrupted run; each time with SIGKILL (a power cut), SIGINT, SIGTERM
// and SIGHUP.  The last three must end the program by that signal with none
// of its scratch files left; after SIGKILL they may stay.  Returns the
// number of interrupted runs with one signal.
template <class Prepare, class Check>
int interrupt_everywhere(const std::string& program, const std::vector<std::string>& args,
                         Prepare prepare, Check check) {
  int interrupted = 0;
  for (const int signal_number : {SIGKILL, SIGINT, SIGTERM, SIGHUP}) {
    for (interrupted = 0; interrupted < 200; ++interrupted) {
      TempDir dir;
      prepare(dir.path());
      test_support::RunOptions how = with_fault("SWNT_FAULT_KILL_AFTER", std::to_string(interrupted + 1));
      how.env.emplace_back("SWNT_FAULT_SIGNAL", std::to_string(signal_number));
      const test_support::RunResult run = test_support::run_program(program, args, dir.path(), how);
      if (run.signal == 0) {
        EXPECT_EQ(run.status, 0) << run.output;
        break;
      }
      EXPECT_EQ(run.signal, signal_number);
      for (const auto& name : test_support::list_dir(dir.path())) {
        EXPECT_TRUE(signal_number == SIGKILL || name.find(".partial-") == std::string::npos) << name;
      }
      check(dir.path(), interrupted + 1);
    }
    EXPECT_LT(interrupted, 200) << "the program never ran to its end";
  }
  return interrupted;
}

TEST(Interrupted, JoinAlwaysLeavesTheTargetWholeAndEveryAtomInOneFile) {
  const std::string a = trajectory(3, 2, 1.0);
  const std::string b = trajectory(2, 2, 2.0);
  const std::string c = trajectory(1, 2, 3.0);
  auto prepare = [&](const fs::path& dir) {
    write_file(dir / "a.dat", a);
    write_file(dir / "b.dat", b);
    write_file(dir / "c.dat", c);
  };
  // The finished joins, step by step.
  std::string ab, abc;
  {
    TempDir dir;
    prepare(dir.path());
    ASSERT_EQ(test_support::run_program(SCENEJOIN_EXE, {"a.dat", "b.dat"}, dir.path()).status, 0);
    ab = read_file(dir / "a.dat");
    write_file(dir / "b.dat", b);
    ASSERT_EQ(test_support::run_program(SCENEJOIN_EXE, {"a.dat", "c.dat"}, dir.path()).status, 0);
    abc = read_file(dir / "a.dat");
  }
  const int interruptions = interrupt_everywhere(
      SCENEJOIN_EXE, {"a.dat", "b.dat", "c.dat"}, prepare, [&](const fs::path& dir, int n) {
        const std::string target = read_file(dir / "a.dat");
        // The target holds a whole file at every moment, and every atom is
        // either in it or still in its attached file.
        ASSERT_TRUE(target == a || target == ab || target == abc) << "interrupted after operation " << n;
        if (target == a) {
          EXPECT_EQ(read_file(dir / "b.dat"), b) << n;
        }
        if (target != abc) {
          EXPECT_EQ(read_file(dir / "c.dat"), c) << n;
        }
        // Nothing else but the scratch file of a join cut off by SIGKILL.
        for (const auto& name : test_support::list_dir(dir)) {
          EXPECT_TRUE(name == "a.dat" || name == "b.dat" || name == "c.dat" ||
                      name.rfind("datadd_temp.tmp.partial-", 0) == 0)
              << name << " after operation " << n;
        }
      });
  EXPECT_GE(interruptions, 8);
}

TEST(Interrupted, WrappingNeverLeavesAHalfWrittenOutputUnderItsName) {
  const std::string old_content = "an older trajectory\n";
  for (const std::vector<std::string>& args :
       {std::vector<std::string>{"5", "5", "-u", "2"},
        std::vector<std::string>{"5", "5", "-u", "2", "-p", "-f", "swnt_pos.dat"}}) {
    std::string finished;
    {
      TempDir dir;
      ASSERT_EQ(test_support::run_program(WRAPPING_EXE, args, dir.path()).status, 0);
      finished = read_file(dir / "swnt_pos.dat");
    }
    interrupt_everywhere(
        WRAPPING_EXE, args,
        [&](const fs::path& dir) { write_file(dir / "swnt_pos.dat", old_content); },
        [&](const fs::path& dir, int n) {
          // The new trajectory replaces the old one in one step.
          const std::string now = read_file(dir / "swnt_pos.dat");
          EXPECT_TRUE(now == old_content || now == finished) << "interrupted after operation " << n;
          EXPECT_FALSE(test_support::file_exists(dir / "swnt_wrapping.wrp")) << n;
        });
  }
}

// wrapping -p has two scratch files, its trajectory and the pv file, once
// the pv file is begun.  Stopped then, a second signal right after the first
// removal of the clean-up ends it at once, by that signal: one scratch file
// is still there.
TEST(Interrupted, ASecondSignalDuringTheCleanUpEndsTheProgramAtOnce) {
  const std::vector<std::string> args = {"5", "5", "-p", "-f", "tube.pv"};
  int pv_begun = 0;  // the operation that creates the pv file's scratch file
  {
    TempDir dir;
    test_support::run_program(WRAPPING_EXE, args, dir.path(),
                              with_fault("SWNT_FAULT_LOG", (dir / "log").string()));
    std::istringstream log(read_file(dir / "log"));
    for (std::string line; std::getline(log, line);) {
      if (line.find(" fopen tube.pv.partial-") != std::string::npos) pv_begun = std::stoi(line);
    }
  }
  ASSERT_GT(pv_begun, 0);
  TempDir dir;
  test_support::RunOptions how = with_fault("SWNT_FAULT_KILL_AFTER", std::to_string(pv_begun));
  how.env.emplace_back("SWNT_FAULT_SIGNAL", std::to_string(SIGTERM));
  how.env.emplace_back("SWNT_FAULT_SIGNAL_AGAIN", std::to_string(SIGINT));
  EXPECT_EQ(test_support::run_program(WRAPPING_EXE, args, dir.path(), how).signal, SIGINT);
  const std::vector<std::string> left = test_support::list_dir(dir.path());
  ASSERT_EQ(left.size(), 1u);
  EXPECT_NE(left[0].find(".partial-"), std::string::npos);
}

TEST(Interrupted, ConvertersReplaceAnOlderOutputWholeOrNotAtAll) {
  const std::string input = trajectory(4, 3, 1.0);
  const std::string old_content = "an older file\n";
  struct Case {
    const char* program;
    std::vector<std::string> args;
    std::vector<std::string> outputs;
  };
  const std::vector<Case> cases = {
      {BALLCONV_EXE, {"in.dat", "out.pv"}, {"out.pv"}},
      {XYZFRAMES_EXE, {"in.dat", "out.xyz"}, {"out001.xyz", "out002.xyz", "out003.xyz"}},
      {LINKFRAMES_EXE, {"in.dat", "out.xyz"}, {"out001.xyz", "out002.xyz", "out003.xyz"}},
  };
  for (const Case& c : cases) {
    auto prepare = [&](const fs::path& dir) {
      write_file(dir / "in.dat", input);
      for (const auto& name : c.outputs) write_file(dir / name, old_content);
    };
    std::map<std::string, std::string> finished;
    {
      TempDir dir;
      prepare(dir.path());
      ASSERT_EQ(test_support::run_program(c.program, c.args, dir.path()).status, 0);
      for (const auto& name : c.outputs) finished[name] = read_file(dir / name);
    }
    const int interruptions =
        interrupt_everywhere(c.program, c.args, prepare, [&](const fs::path& dir, int n) {
          EXPECT_EQ(read_file(dir / "in.dat"), input);
          for (const auto& name : c.outputs) {
            const std::string now = read_file(dir / name);
            EXPECT_TRUE(now == old_content || now == finished[name])
                << c.args[1] << " interrupted after operation " << n;
          }
        });
    EXPECT_GE(interruptions, 2) << c.program;
  }
}

// topoconv's GROMACS output is two files, put in place together: stopped
// after any file operation, by an interruption they are both old or both
// new; after SIGKILL, which cannot be held back while the files are moved,
// each is old or new and whole, and an old file taken from its name is
// still beside it under a scratch name.
TEST(Interrupted, TopoconvPutsTheTopologyAndCoordinatesInPlaceTogether) {
  const std::string input = tube_5_5();
  const std::vector<std::string> args = {"--format", "gromacs", "in.dat", "out"};
  const std::map<std::string, std::string> old_files{{"out.top", "an older topology\n"},
                                                     {"out.gro", "older coordinates\n"}};
  std::map<std::string, std::string> finished;
  {
    TempDir dir;
    write_file(dir / "in.dat", input);
    ASSERT_EQ(test_support::run_program(TOPOCONV_EXE, args, dir.path()).status, 0);
    for (const auto& [name, content] : old_files) finished[name] = read_file(dir / name);
  }
  for (const bool replaced : {true, false}) {
    for (const int signal_number : {SIGKILL, SIGINT, SIGTERM, SIGHUP}) {
      int interrupted = 0;
      for (; interrupted < 100; ++interrupted) {
        TempDir dir;
        write_file(dir / "in.dat", input);
        if (replaced) {
          for (const auto& [name, content] : old_files) write_file(dir / name, content);
        }
        test_support::RunOptions how = with_fault("SWNT_FAULT_KILL_AFTER", std::to_string(interrupted + 1));
        how.env.emplace_back("SWNT_FAULT_SIGNAL", std::to_string(signal_number));
        const test_support::RunResult run = test_support::run_program(TOPOCONV_EXE, args, dir.path(), how);
        if (run.signal == 0) break;
        EXPECT_EQ(run.signal, signal_number);
        int new_files = 0, old_ones = 0;
        for (const auto& [name, content] : test_support::snapshot(dir.path())) {
          const auto old = old_files.find(name);
          if (name == "in.dat") {
            EXPECT_EQ(content, input);
          } else if (finished.count(name) == 1 && content == finished.at(name)) {
            ++new_files;
          } else if (old != old_files.end() && content == old->second) {
            ++old_ones;
          } else {
            // Only SIGKILL leaves scratch files: a partial new one, or an
            // old file kept while the set was moved.
            EXPECT_EQ(signal_number, SIGKILL) << name << " after operation " << interrupted + 1;
            EXPECT_NE(name.find(".partial-"), std::string::npos) << name;
          }
        }
        if (signal_number != SIGKILL) {
          EXPECT_TRUE(new_files == 0 || new_files == 2) << "after operation " << interrupted + 1;
          EXPECT_EQ(old_ones, replaced && new_files == 0 ? 2 : 0) << interrupted + 1;
        }
      }
      EXPECT_GE(interrupted, 6) << signal_number;
      EXPECT_LT(interrupted, 100) << "topoconv never ran to its end";
    }
  }
}

// A move that fails part-way puts back what was moved: the old files, or
// no file where there was none.
TEST(InjectedFailure, TopoconvPutsTheOutputBackWhenOneOfItsFilesCannotBeMoved) {
  const std::string input = tube_5_5();
  const std::map<std::string, std::string> old_files{{"out.top", "an older topology\n"},
                                                     {"out.gro", "older coordinates\n"}};
  struct Case {
    std::string fault;
    std::string output;
  };
  const std::vector<Case> cases = {{"rename:1", "Error: cannot write file out.top\n"},
                                   {"rename:2", "Error: cannot write file out.gro\n"},
                                   {"fclose:2", "Error: cannot write file out.gro\n"}};
  for (const Case& c : cases) {
    for (const bool replaced : {true, false}) {
      TempDir dir;
      write_file(dir / "in.dat", input);
      if (replaced) {
        for (const auto& [name, content] : old_files) write_file(dir / name, content);
      }
      const auto before = snapshot(dir.path());
      const test_support::RunResult run = test_support::run_program(
          TOPOCONV_EXE, {"in.dat", "out.top"}, dir.path(), with_fault("SWNT_FAULT_FAIL", c.fault));
      EXPECT_EQ(run.status, 1) << c.fault;
      EXPECT_EQ(run.output, c.output) << c.fault;
      EXPECT_EQ(snapshot(dir.path()), before) << c.fault << " replaced " << replaced;
    }
  }
}

TEST(InjectedFailure, JoinKeepsEveryFileWhenAnOperationFails) {
  const std::string a = trajectory(3, 2, 1.0);
  const std::string b = trajectory(2, 2, 2.0);
  std::string joined;
  {
    TempDir dir;
    write_file(dir / "a.dat", a);
    write_file(dir / "b.dat", b);
    ASSERT_EQ(test_support::run_program(SCENEJOIN_EXE, {"a.dat", "b.dat"}, dir.path()).status, 0);
    joined = read_file(dir / "a.dat");
  }
  struct Case {
    std::string fault;
    int status;
    std::string output;
    std::map<std::string, std::string> files_after;
  };
  const std::vector<Case> cases = {
      // The joined file cannot be created, closed or moved onto the target.
      {"fopen:1", 1, "Error: cannot write file datadd_temp.tmp\n", {{"a.dat", a}, {"b.dat", b}}},
      {"fclose:1", 1, "Error: cannot write file datadd_temp.tmp\n", {{"a.dat", a}, {"b.dat", b}}},
      {"rename:1", 1, "Error: cannot write file a.dat\n", {{"a.dat", a}, {"b.dat", b}}},
      // A target on another file system gets a copy that replaces it whole.
      {"rename:1:18", 0, "", {{"a.dat", joined}}},
      // The attached file cannot be deleted: its atoms are in the target.
      {"remove:1", 0, "Warning: cannot delete b.dat; its atoms are in a.dat now.\n",
       {{"a.dat", joined}, {"b.dat", b}}},
  };
  for (const Case& c : cases) {
    TempDir dir;
    write_file(dir / "a.dat", a);
    write_file(dir / "b.dat", b);
    const test_support::RunResult run =
        test_support::run_program(SCENEJOIN_EXE, {"a.dat", "b.dat"}, dir.path(), with_fault("SWNT_FAULT_FAIL", c.fault));
    EXPECT_EQ(run.status, c.status) << c.fault;
    EXPECT_EQ(run.output, c.output) << c.fault;
    EXPECT_EQ(snapshot(dir.path()), c.files_after) << c.fault;
  }
}

TEST(InjectedFailure, WrappingAndConvertersReportFailedClosesAndMoves) {
  const std::string old_content = "an older file\n";
  {
    // The wrapper's trajectory cannot be completed.
    TempDir dir;
    write_file(dir / "swnt_pos.dat", old_content);
    const test_support::RunResult run = test_support::run_program(WRAPPING_EXE, {"5", "5"}, dir.path(),
                               with_fault("SWNT_FAULT_FAIL", "fclose:1"));
    EXPECT_EQ(run.status, 1);
    EXPECT_EQ(run.output, "Error: cannot write file swnt_wrapping.wrp\n");
    EXPECT_EQ(snapshot(dir.path()), (std::map<std::string, std::string>{{"swnt_pos.dat", old_content}}));
  }
  {
    // The finished trajectory cannot be moved to its name: it is saved,
    // whole, under the temporary name.
    TempDir dir;
    const test_support::RunResult run = test_support::run_program(WRAPPING_EXE, {"5", "5", "-f", "tube.dat"}, dir.path(),
                               with_fault("SWNT_FAULT_FAIL", "rename:1"));
    EXPECT_EQ(run.status, 0);
    EXPECT_EQ(run.output,
              "Warning: failed to remove old tube.dat file.\n"
              "Warning: failed to save tube.dat file.\n"
              " -- Data is saved as swnt_wrapping.wrp.\n");
    EXPECT_EQ(test_support::list_dir(dir.path()), std::vector<std::string>{"swnt_wrapping.wrp"});
    EXPECT_EQ(read_file(dir / "swnt_wrapping.wrp"), tube_5_5());
  }
  {
    // On another file system the trajectory is copied into place.
    TempDir dir;
    write_file(dir / "tube.dat", old_content);
    const test_support::RunResult run = test_support::run_program(WRAPPING_EXE, {"5", "5", "-f", "tube.dat"}, dir.path(),
                               with_fault("SWNT_FAULT_FAIL", "rename:1:18"));
    EXPECT_EQ(run.status, 0);
    EXPECT_EQ(run.output, "");
    EXPECT_EQ(snapshot(dir.path()), (std::map<std::string, std::string>{{"tube.dat", tube_5_5()}}));
  }
  // A close that fails after every write went through (a network file
  // system reporting late) fails the conversion; the older output stays.
  const std::string input = trajectory(2, 1, 1.0);
  for (const auto& [program, output] :
       std::vector<std::pair<std::string, std::string>>{{BALLCONV_EXE, "out.pv"},
                                                         {XYZFRAMES_EXE, "out001.xyz"},
                                                         {LINKFRAMES_EXE, "out001.xyz"}}) {
    TempDir dir;
    write_file(dir / "in.dat", input);
    write_file(dir / output, old_content);
    const std::string name = program == BALLCONV_EXE ? "out.pv" : "out.xyz";
    const test_support::RunResult run =
        test_support::run_program(program, {"in.dat", name}, dir.path(), with_fault("SWNT_FAULT_FAIL", "fclose:1"));
    EXPECT_EQ(run.status, 1) << program;
    EXPECT_EQ(run.output, "Error: cannot write file " + output + "\n") << program;
    EXPECT_EQ(snapshot(dir.path()),
              (std::map<std::string, std::string>{{"in.dat", input}, {output, old_content}}))
        << program;
  }
}

TEST(FullDisk, EveryProgramReportsItAndKeepsTheOlderOutput) {
  const std::string input = trajectory(300, 2, 1.0);
  const std::string old_content = "an older file\n";
  struct Case {
    const char* program;
    std::vector<std::string> args;
    std::string output;  // the file written, present beforehand with older content
    std::string message;
  };
  const std::vector<Case> cases = {
      {BALLCONV_EXE, {"in.dat", "out.pv"}, "out.pv", "Error: cannot write file out.pv\n"},
      {XYZFRAMES_EXE, {"in.dat", "out.xyz"}, "out001.xyz", "Error: cannot write file out001.xyz\n"},
      {LINKFRAMES_EXE, {"in.dat", "out.xyz"}, "out001.xyz", "Error: cannot write file out001.xyz\n"},
      {SCENEJOIN_EXE, {"out.dat", "in.dat"}, "out.dat", "Error: cannot write file datadd_temp.tmp\n"},
      {WRAPPING_EXE, {"10", "10", "-f", "out.dat"}, "out.dat", "Error: cannot write file swnt_wrapping.wrp\n"},
      {WRAPPING_EXE, {"10", "10", "-xt", "-f", "out.xyz"}, "out001.xyz",
       "Error: cannot write file swnt_wrapping.wrp\n"},
  };
  test_support::RunOptions small_disk;
  small_disk.file_size_limit = 4096;
  for (const Case& c : cases) {
    TempDir dir;
    write_file(dir / "in.dat", input);
    write_file(dir / c.output, std::string(c.program) == SCENEJOIN_EXE ? trajectory(300, 2, 5.0) : old_content);
    const auto before = snapshot(dir.path());
    const test_support::RunResult run = test_support::run_program(c.program, c.args, dir.path(), small_disk);
    EXPECT_EQ(run.status, 1) << c.program << " " << c.output;
    EXPECT_EQ(run.output, c.message) << c.program;
    EXPECT_EQ(snapshot(dir.path()), before) << c.program << " " << c.output;
  }

  // /dev/full as an output is written into, never replaced, and its refusal
  // is an error; a link to it stays a link.
  if (!fs::is_character_file("/dev/full")) GTEST_SKIP() << "no /dev/full";
  for (const auto& [program, args, link] : std::vector<std::tuple<std::string, std::vector<std::string>, std::string>>{
           {XYZFRAMES_EXE, {"in.dat", "full.xyz"}, "full001.xyz"},
           {LINKFRAMES_EXE, {"in.dat", "full.xyz"}, "full001.xyz"},
           {WRAPPING_EXE, {"10", "10", "-xx", "-f", "full.xyz"}, "full001.xyz"},
           {WRAPPING_EXE, {"10", "10", "-p", "-f", "full.pv"}, "full.pv"}}) {
    TempDir dir;
    write_file(dir / "in.dat", input);
    fs::create_symlink("/dev/full", dir / link);
    const auto before = snapshot(dir.path());
    const test_support::RunResult run = test_support::run_program(program, args, dir.path());
    EXPECT_EQ(run.status, 1) << program << " " << link;
    EXPECT_EQ(run.output, "Error: cannot write file " + link + "\n") << program;
    EXPECT_EQ(snapshot(dir.path()), before) << program << " " << link;
    EXPECT_TRUE(fs::is_character_file("/dev/full"));
  }
}

TEST(Permissions, ReplacedFilesKeepModeAndGroupAndNewFilesFollowTheUmask) {
  const std::string tube = tube_5_5();
  // The program, its arguments and the file it writes, which is either new
  // or replaces one of mode 0604 and another group (where the user may give
  // one: as root).  scenejoin's target is always an input.
  const std::vector<std::vector<std::string>> runs = {
      {WRAPPING_EXE, "old.dat", "4", "2", "-f", "old.dat"}, {WRAPPING_EXE, "old.pv", "4", "2", "-p", "-f", "old.pv"},
      {WRAPPING_EXE, "old001.xyz", "4", "2", "-xx", "-f", "old.xyz"}, {BALLCONV_EXE, "old.pv", "in.dat", "old.pv"},
      {XYZFRAMES_EXE, "old001.xyz", "in.dat", "old.xyz"}, {LINKFRAMES_EXE, "old001.xyz", "in.dat", "old.xyz"},
      {SCENEJOIN_EXE, "old.dat", "old.dat", "in.dat"}};
  const gid_t group = geteuid() == 0 ? 1 : getegid();
  const mode_t saved_mask = umask(027);
  for (const auto& run : runs) {
    for (const bool replaced : {true, false}) {
      if (!replaced && run[0] == SCENEJOIN_EXE) continue;
      TempDir dir;
      write_file(dir / "in.dat", tube);
      const std::string target = (dir / run[1]).string();
      if (replaced) {
        write_file(target, tube);
        ASSERT_EQ(chmod(target.c_str(), 0604) | chown(target.c_str(), static_cast<uid_t>(-1), group), 0);
      }
      EXPECT_EQ(test_support::run_program(run[0], {run.begin() + 2, run.end()}, dir.path()).status, 0);
      struct stat written {};
      ASSERT_EQ(stat(target.c_str(), &written), 0) << run[1];
      EXPECT_EQ(written.st_mode & 07777, replaced ? 0604u : 0640u) << run[0] << " " << run[1];
      EXPECT_EQ(written.st_gid, replaced ? group : getegid()) << run[0] << " " << run[1];
      EXPECT_NE(read_file(target), tube) << run[0];
    }
  }
  umask(saved_mask);
}

TEST(Permissions, UnwritablePlacesAndReadOnlyTargetsAreLeftAsTheyWere) {
  if (!unprivileged_runs_work()) GTEST_SKIP() << "the user nobody cannot run the programs here";
  test_support::RunOptions nobody;
  nobody.unprivileged = true;
  const std::string input = trajectory(2, 1, 1.0);
  const std::string other = trajectory(1, 1, 2.0);
  const std::string old_content = "an older file\n";
  const fs::perms read_only = fs::perms::owner_read | fs::perms::group_read | fs::perms::others_read;
  struct Case {
    const char* program;
    std::vector<std::string> args;
    std::string message;
  };
  {
    // A working directory where nothing can be created.
    const std::vector<Case> cases = {
        {WRAPPING_EXE, {"5", "5"}, "Error: cannot write file swnt_wrapping.wrp\n"},
        {BALLCONV_EXE, {"in.dat", "out.pv"}, "Error: cannot write file out.pv\n"},
        {XYZFRAMES_EXE, {"in.dat", "out.xyz"}, "Error: cannot write file out001.xyz\n"},
        {LINKFRAMES_EXE, {"in.dat", "out.xyz"}, "Error: cannot write file out001.xyz\n"},
        {SCENEJOIN_EXE, {"in.dat", "other.dat"}, "Error: cannot write file datadd_temp.tmp\n"},
    };
    for (const Case& c : cases) {
      TempDir dir;
      write_file(dir / "in.dat", input);
      write_file(dir / "other.dat", other);
      // The files themselves may be written: only the directory is closed.
      fs::permissions(dir / "in.dat", fs::perms::all);
      fs::permissions(dir / "other.dat", fs::perms::all);
      fs::permissions(dir.path(), fs::perms::owner_read | fs::perms::owner_exec |
                                      fs::perms::group_read | fs::perms::group_exec |
                                      fs::perms::others_read | fs::perms::others_exec);
      const auto before = snapshot(dir.path());
      const test_support::RunResult run = test_support::run_program(c.program, c.args, dir.path(), nobody);
      EXPECT_EQ(run.status, 1) << c.program;
      EXPECT_EQ(run.output, c.message) << c.program;
      EXPECT_EQ(snapshot(dir.path()), before) << c.program;
    }
  }
  {
    // Read-only files in a writable directory are not replaced.
    const std::vector<std::pair<Case, std::string>> cases = {
        {{BALLCONV_EXE, {"in.dat", "out.pv"}, "Error: cannot write file out.pv\n"}, "out.pv"},
        {{XYZFRAMES_EXE, {"in.dat", "out.xyz"}, "Error: cannot write file out001.xyz\n"}, "out001.xyz"},
        {{LINKFRAMES_EXE, {"in.dat", "out.xyz"}, "Error: cannot write file out001.xyz\n"}, "out001.xyz"},
        {{SCENEJOIN_EXE, {"out.dat", "other.dat"}, "Error: cannot write file out.dat\n"}, "out.dat"},
        {{WRAPPING_EXE, {"5", "5", "-p", "-f", "out.pv"}, "Error: cannot write file out.pv\n"}, "out.pv"},
    };
    for (const auto& [c, target] : cases) {
      TempDir dir;
      write_file(dir / "in.dat", input);
      write_file(dir / "other.dat", other);
      write_file(dir / target, std::string(c.program) == SCENEJOIN_EXE ? input : old_content);
      fs::permissions(dir / target, read_only);
      fs::permissions(dir.path(), fs::perms::all);
      const auto before = snapshot(dir.path());
      const test_support::RunResult run = test_support::run_program(c.program, c.args, dir.path(), nobody);
      EXPECT_EQ(run.status, 1) << c.program;
      EXPECT_EQ(run.output, c.message) << c.program;
      EXPECT_EQ(snapshot(dir.path()), before) << c.program;
    }
    // wrapping keeps a read-only trajectory and its new data under the
    // temporary name, as when the move fails.
    TempDir dir;
    write_file(dir / "out.dat", old_content);
    fs::permissions(dir / "out.dat", read_only);
    fs::permissions(dir.path(), fs::perms::all);
    const test_support::RunResult run = test_support::run_program(WRAPPING_EXE, {"5", "5", "-f", "out.dat"}, dir.path(), nobody);
    EXPECT_EQ(run.status, 0);
    EXPECT_EQ(run.output,
              "Warning: failed to remove old out.dat file.\n"
              "Warning: failed to save out.dat file.\n"
              " -- Data is saved as swnt_wrapping.wrp.\n");
    EXPECT_EQ(read_file(dir / "out.dat"), old_content);
    EXPECT_EQ(read_file(dir / "swnt_wrapping.wrp"), tube_5_5());
  }
}

TEST(Inputs, MissingUnreadableAndSpecialFilesAreErrorsThatTouchNothing) {
  const std::string input = trajectory(2, 1, 1.0);
  struct Case {
    const char* program;
    std::vector<std::string> args;
    std::string message;
  };
  const std::vector<Case> cases = {
      // Missing input files.
      {WRAPPING_EXE, {"params.txt"}, "Error: file access failed for <params.txt>\n"},
      {WRAPPING_EXE, {"10", "10", "-g", "table.dat"}, "Error: file access failed for table.dat\n"},
      {BALLCONV_EXE, {"none.dat", "out.pv"}, "Error: file access failed for none.dat\n"},
      {XYZFRAMES_EXE, {"none.dat", "out.xyz"}, "Error: file access failed for none.dat\n"},
      {LINKFRAMES_EXE, {"none.dat", "out.xyz"}, "Error: file access failed for none.dat\n"},
      {SCENEJOIN_EXE, {"none.dat", "in.dat"}, "Error: file access failed for none.dat\n"},
      {SCENEJOIN_EXE, {"in.dat", "none.dat"}, "Error: file access failed for none.dat\n"},
      // Directories as inputs.
      {WRAPPING_EXE, {"sub"}, "Error: file access failed for <sub>\n"},
      {WRAPPING_EXE, {"10", "10", "-g", "sub"}, "Error: file access failed for sub\n"},
      {BALLCONV_EXE, {"sub", "out.pv"}, "Error: file access failed for sub\n"},
      {XYZFRAMES_EXE, {"sub", "out.xyz"}, "Error: file access failed for sub\n"},
      {LINKFRAMES_EXE, {"sub", "out.xyz"}, "Error: file access failed for sub\n"},
      {SCENEJOIN_EXE, {"in.dat", "sub"}, "Error: file access failed for sub\n"},
      // Outputs in a directory that does not exist.
      {BALLCONV_EXE, {"in.dat", "none/out.pv"}, "Error: cannot write file none/out.pv\n"},
      {XYZFRAMES_EXE, {"in.dat", "none/out.xyz"}, "Error: cannot write file none/out001.xyz\n"},
      {LINKFRAMES_EXE, {"in.dat", "none/out.xyz"}, "Error: cannot write file none/out001.xyz\n"},
      {WRAPPING_EXE, {"5", "5", "-xx", "-f", "none/out.xyz"}, "Error: cannot write file none/out001.xyz\n"},
      // A pipe can be neither the target of a join, which would replace it
      // by a file, nor an attached file, which would be deleted.
      {SCENEJOIN_EXE, {"fifo", "in.dat"}, "Error: cannot join fifo: it is not a regular file.\n"},
      {SCENEJOIN_EXE, {"in.dat", "fifo"}, "Error: cannot join fifo: it is not a regular file.\n"},
  };
  for (const Case& c : cases) {
    TempDir dir;
    write_file(dir / "in.dat", input);
    fs::create_directory(dir / "sub");
    ASSERT_EQ(mkfifo((dir / "fifo").c_str(), 0600), 0);
    const auto before = snapshot(dir.path());
    const test_support::RunResult run = test_support::run_program(c.program, c.args, dir.path());
    EXPECT_EQ(run.status, 1) << c.program << " " << c.args[0] << " " << c.args[1];
    EXPECT_EQ(run.output, c.message) << c.program;
    EXPECT_EQ(snapshot(dir.path()), before) << c.program << " " << c.args[0] << " " << c.args[1];
  }
  {
    // A trajectory written to a missing directory stays under the temporary name.
    TempDir dir;
    const test_support::RunResult run = test_support::run_program(WRAPPING_EXE, {"5", "5", "-f", "none/out.dat"}, dir.path());
    EXPECT_EQ(run.status, 0);
    EXPECT_EQ(run.output,
              "Warning: failed to remove old none/out.dat file.\n"
              "Warning: failed to save none/out.dat file.\n"
              " -- Data is saved as swnt_wrapping.wrp.\n");
    EXPECT_EQ(test_support::list_dir(dir.path()), std::vector<std::string>{"swnt_wrapping.wrp"});
  }
}

// Found while checking the output stage: a link to /dev/null under the
// temporary name took the whole trajectory, the run ended with status 0, and
// the link was moved to the output name.  Only a regular file of that name is
// the run's own to replace.
TEST(Inputs, SomethingElseUnderTheTemporaryNameIsRefused) {
  for (const std::string kind : {"link to /dev/null", "pipe", "link to a file"}) {
    TempDir dir;
    write_file(dir / "mine.dat", "the user's file\n");
    if (kind == "pipe") {
      ASSERT_EQ(mkfifo((dir / "swnt_wrapping.wrp").c_str(), 0600), 0);
    } else {
      fs::create_symlink(kind == "link to a file" ? "mine.dat" : "/dev/null", dir / "swnt_wrapping.wrp");
    }
    const auto before = snapshot(dir.path());
    for (const std::vector<std::string>& args :
         {std::vector<std::string>{"5", "5"}, std::vector<std::string>{"5", "5", "-xx"}}) {
      const test_support::RunResult run = test_support::run_program(WRAPPING_EXE, args, dir.path());
      EXPECT_EQ(run.status, 1) << kind;
      EXPECT_EQ(run.output, "Error: cannot write file swnt_wrapping.wrp\n") << kind;
      EXPECT_EQ(snapshot(dir.path()), before) << kind;
    }
  }
}

}  // namespace
