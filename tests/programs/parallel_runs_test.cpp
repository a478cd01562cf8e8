// Many runs of wrapping and scenejoin at once in one working directory end
// exactly as the same runs one after another, and programs interrupted at
// random moments leave every file old or new and no scratch file.  What is
// asserted holds whatever the timing; the timing only decides which moments
// are met.
#include <gtest/gtest.h>
#include <signal.h>

#include <array>
#include <chrono>
#include <filesystem>
#include <map>
#include <random>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "test_support.hpp"

namespace {

namespace fs = std::filesystem;
using test_support::read_file;
using test_support::RunResult;
using test_support::snapshot;
using test_support::TempDir;
using Files = std::map<std::string, std::string>;
using Command = std::vector<std::string>;  // the program, then its arguments

std::vector<test_support::StartedProgram> start_all(const std::vector<Command>& runs,
                                                    const fs::path& dir) {
  std::vector<test_support::StartedProgram> started;
  for (const Command& run : runs) {
    started.push_back(test_support::start_program(run[0], {run.begin() + 1, run.end()}, dir));
  }
  return started;
}

// The names of the files that differ between `a` and `b`, so that a failure
// names them instead of printing megabytes.
std::vector<std::string> differing(const Files& a, const Files& b) {
  std::vector<std::string> names;
  for (const auto& [name, content] : a) {
    if (b.count(name) == 0 || b.at(name) != content) names.push_back(name);
  }
  for (const auto& entry : b) {
    if (a.count(entry.first) == 0) names.push_back(entry.first);
  }
  return names;
}

// Three tubes of two scenes, to be joined, and one of three scenes to convert.
Files make_inputs() {
  TempDir dir;
  Files files;
  for (const auto& [name, n, m, length, steps] : std::vector<std::array<std::string, 5>>{
           {"t", "10", "0", "150", "1"}, {"a", "12", "0", "150", "1"},
           {"b", "14", "0", "150", "1"}, {"in", "10", "10", "200", "2"}}) {
    test_support::run_program(WRAPPING_EXE, {n, m, "-u", length, "-w", steps, "-f", "tube.dat"}, dir.path());
    files[name] = read_file(dir / "tube.dat");
  }
  return files;
}

// Sixteen tubes of different chiralities in every output form, one too big
// for the pv format (its error names the temporary file), two whose final
// move fails (no such directory) so that they save their data under the
// temporary name, and eight joins of three files each.  Also with stale
// temporary files: the joins refuse theirs, the builds replace theirs.
TEST(ParallelRuns, RunsInOneDirectoryEndAsTheSameRunsOneAfterAnother) {
  const std::vector<Command> forms = {
      {"-u", "30"}, {"-u", "10", "-p"}, {"-u", "20", "-xx", "-w", "2"}, {"-u", "30", "-xt"}};
  const std::vector<std::string> extensions = {".dat", ".pv", ".xyz", ".xyz"};
  std::vector<Command> runs;
  for (int i = 0; i < 16; ++i) {
    Command run = {WRAPPING_EXE, std::to_string(6 + i), std::to_string(i % 5)};
    run.insert(run.end(), forms[i % 4].begin(), forms[i % 4].end());
    run.insert(run.end(), {"-f", "tube_" + std::to_string(i) + extensions[i % 4]});
    runs.push_back(run);
  }
  runs.push_back({WRAPPING_EXE, "20", "0", "-u", "400", "-p", "-f", "too_big.pv"});
  runs.push_back({WRAPPING_EXE, "7", "7", "-u", "30", "-f", "missing/a.dat"});
  runs.push_back({WRAPPING_EXE, "9", "3", "-u", "30", "-f", "missing/b.dat"});
  for (const std::string k : {"0", "1", "2", "3", "4", "5", "6", "7"}) {
    runs.push_back({SCENEJOIN_EXE, "t" + k + ".dat", "a" + k + ".dat", "b" + k + ".dat"});
  }
  const Files inputs = make_inputs();
  for (const bool stale : {false, true}) {
    const auto prepare = [&](const fs::path& dir) {
      for (const std::string k : {"0", "1", "2", "3", "4", "5", "6", "7"}) {
        for (const char* name : {"t", "a", "b"}) test_support::write_file(dir / (name + k + ".dat"), inputs.at(name));
      }
      if (!stale) return;
      test_support::write_file(dir / "swnt_wrapping.wrp", "left by an earlier run\n");
      test_support::write_file(dir / "datadd_temp.tmp", "perhaps the only copy of a target\n");
    };
    // One after another, noting what each failed move saved.
    TempDir serial_dir;
    prepare(serial_dir.path());
    std::vector<RunResult> serial;
    std::set<std::string> saved;
    for (const Command& run : runs) {
      serial.push_back(test_support::run_program(run[0], {run.begin() + 1, run.end()}, serial_dir.path()));
      if (test_support::file_exists(serial_dir / "swnt_wrapping.wrp")) {
        saved.insert(read_file(serial_dir / "swnt_wrapping.wrp"));
      }
    }
    ASSERT_EQ(saved.size(), 2u);
    Files expected = snapshot(serial_dir.path());
    expected.erase("swnt_wrapping.wrp");

    for (int round = 0; round < 3; ++round) {
      TempDir dir;
      prepare(dir.path());
      const auto started = start_all(runs, dir.path());
      for (std::size_t i = 0; i < started.size(); ++i) {
        const RunResult result = test_support::wait_program(started[i]);
        EXPECT_EQ(result.status, serial[i].status) << "run " << i;
        EXPECT_EQ(result.output, serial[i].output) << "run " << i;
      }
      // The temporary name ends as the last run to touch it in some serial
      // order leaves it: gone, or holding the data of a failed move.
      Files files = snapshot(dir.path());
      const auto temporary = files.find("swnt_wrapping.wrp");
      if (temporary != files.end()) {
        EXPECT_EQ(saved.count(temporary->second), 1u) << "stale " << stale << ", round " << round;
        files.erase(temporary);
      }
      EXPECT_EQ(differing(files, expected), std::vector<std::string>{}) << "stale " << stale << ", round " << round;
    }
  }
}

// Each program, with an older output present, is stopped by SIGINT, SIGTERM
// or SIGHUP at a random moment: building, converting, joining or moving.
TEST(Interruptions, ProgramsStoppedAtRandomMomentsLeaveOldOrNewFilesAndNoScratchFile) {
  const Files inputs = make_inputs();
  const std::vector<Command> runs = {
      {WRAPPING_EXE, "10", "10", "-u", "3000", "-f", "tube.dat"},
      {WRAPPING_EXE, "10", "10", "-u", "1500", "-xt", "-f", "tinker.xyz"},
      {WRAPPING_EXE, "10", "10", "-u", "100", "-w", "20", "-p", "-f", "tube.pv"},
      {SCENEJOIN_EXE, "t.dat", "a.dat", "b.dat"},
      {BALLCONV_EXE, "in.dat", "scene.pv"},
      {LINKFRAMES_EXE, "in.dat", "linked.xyz"},
  };
  const std::vector<std::string> outputs = {"tube.dat", "tinker001.xyz", "tube.pv", "scene.pv",
                                            "linked001.xyz"};
  const auto prepare = [&](const fs::path& dir) {
    for (const auto& [name, content] : inputs) test_support::write_file(dir / (name + ".dat"), content);
    for (const auto& name : outputs) test_support::write_file(dir / name, "an older file\n");
  };
  // What each file may hold: its content before and after the runs, and for
  // the target also after its first join.
  std::map<std::string, std::set<std::string>> allowed;
  std::string first_join;
  {
    TempDir dir;
    prepare(dir.path());
    for (const auto& [name, content] : snapshot(dir.path())) allowed[name].insert(content);
    for (const auto& started : start_all(runs, dir.path())) ASSERT_EQ(test_support::wait_program(started).status, 0);
    for (const auto& [name, content] : snapshot(dir.path())) allowed[name].insert(content);
    prepare(dir.path());
    ASSERT_EQ(test_support::run_program(SCENEJOIN_EXE, {"t.dat", "a.dat"}, dir.path()).status, 0);
    first_join = read_file(dir / "t.dat");
    allowed["t.dat"].insert(first_join);
  }

  std::mt19937 random(13);
  const int signals[] = {SIGINT, SIGTERM, SIGHUP};
  for (int round = 0; round < 12; ++round) {
    TempDir dir;
    prepare(dir.path());
    const auto started = start_all(runs, dir.path());
    std::this_thread::sleep_for(std::chrono::milliseconds(random() % 120));
    std::vector<int> sent;
    for (const auto& program : started) {
      sent.push_back(signals[random() % 3]);
      kill(program.pid, sent.back());
    }
    for (std::size_t i = 0; i < started.size(); ++i) {
      const RunResult result = test_support::wait_program(started[i]);
      EXPECT_TRUE(result.status == 0 || result.signal == sent[i]) << "run " << i << ": " << result.output;
    }
    // Every file is whole, old or new (so no scratch file is left), and the
    // joined atoms are in the target or still in their files.
    const Files after = snapshot(dir.path());
    for (const auto& [name, content] : after) EXPECT_EQ(allowed[name].count(content), 1u) << name << " in " << round;
    for (const auto& name : outputs) EXPECT_EQ(after.count(name), 1u) << name << " in " << round;
    const std::string& target = after.at("t.dat");
    EXPECT_TRUE(target != inputs.at("t") || after.count("a.dat") == 1) << round;
    EXPECT_TRUE((target != inputs.at("t") && target != first_join) || after.count("b.dat") == 1) << round;
  }
}

// topoconv's GROMACS outputs, two files each, made at once in one directory:
// the same files as one after another, and, stopped at random moments, every
// pair old or new together.
TEST(ParallelRuns, OutputsOfSeveralFilesStaySetsWhenMadeAtOnceOrStopped) {
  const Files inputs = make_inputs();
  std::vector<Command> runs;
  std::vector<std::string> outputs;
  for (int k = 0; k < 8; ++k) {
    const std::string name = std::string("gromacs_") + char('0' + k);
    runs.push_back({TOPOCONV_EXE, "--periodic", k % 2 == 0 ? "z" : "none", "--format", "gromacs",
                    k % 4 == 3 ? "t.dat" : "in.dat", name});
    outputs.push_back(name);
  }
  const auto prepare = [&](const fs::path& dir) {
    for (const auto& [name, content] : inputs) test_support::write_file(dir / (name + ".dat"), content);
    for (const auto& name : outputs) {
      test_support::write_file(dir / (name + ".top"), "an older topology\n");
      test_support::write_file(dir / (name + ".gro"), "older coordinates\n");
    }
  };
  TempDir serial_dir;
  prepare(serial_dir.path());
  for (const Command& run : runs) {
    ASSERT_EQ(test_support::run_program(run[0], {run.begin() + 1, run.end()}, serial_dir.path()).status, 0);
  }
  const Files expected = snapshot(serial_dir.path());
  {
    TempDir dir;
    prepare(dir.path());
    for (const auto& started : start_all(runs, dir.path())) {
      EXPECT_EQ(test_support::wait_program(started).status, 0);
    }
    EXPECT_EQ(differing(snapshot(dir.path()), expected), std::vector<std::string>{});
  }
  std::mt19937 random(29);
  for (int round = 0; round < 10; ++round) {
    TempDir dir;
    prepare(dir.path());
    const auto started = start_all(runs, dir.path());
    std::this_thread::sleep_for(std::chrono::milliseconds(random() % 40));
    for (const auto& program : started) kill(program.pid, SIGTERM);
    for (const auto& program : started) {
      const RunResult result = test_support::wait_program(program);
      EXPECT_TRUE(result.status == 0 || result.signal == SIGTERM) << result.output;
    }
    const Files after = snapshot(dir.path());
    EXPECT_EQ(after.size(), expected.size()) << "round " << round;  // no scratch file left
    for (const auto& name : outputs) {
      const bool top_new = after.at(name + ".top") == expected.at(name + ".top");
      const bool gro_new = after.at(name + ".gro") == expected.at(name + ".gro");
      EXPECT_EQ(top_new, gro_new) << name << " in round " << round;
      EXPECT_TRUE(top_new || after.at(name + ".top") == "an older topology\n") << name;
      EXPECT_TRUE(gro_new || after.at(name + ".gro") == "older coordinates\n") << name;
    }
  }
}

}  // namespace
