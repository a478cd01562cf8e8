// Hostile and broken inputs: truncated trajectories, impossible headers,
// endless devices, huge parameter files and option values at the limits of
// their types.  Every one ends in one "Error: " line and status 1 with no
// file written or changed, or, where the input is merely unusual, in the
// right result.  Also the regression tests of what fuzzing found.
#include <gtest/gtest.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <csignal>

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

bool one_error_line(const std::string& output, const std::string& start) {
  return output.rfind(start, 0) == 0 && output.find('\n') == output.size() - 1;
}

// Found by fuzzing the TINKER writer: when the last number of a file ended
// right at the end of the file, the reader took it together with stale bytes
// of its buffer, so the 2 at the end below was read as 203.
TEST(FuzzRegression, NumberEndingTheFileIsReadAsWritten) {
  const std::string input = "003 2\n1 0 0 0\n1 1  0 0\n1.79 0\n2 2";
  TempDir dir;
  write_file(dir / "in.dat", input);
  ASSERT_EQ(run_program(LINKFRAMES_EXE, {"in.dat", "t.xyz"}, dir.path()).status, 0);
  EXPECT_EQ(read_file(dir / "t001.xyz"),
            "    2  TINKER XYZ FORMAT\n"
            "     1  C      0.000000    0.000000    1.790000     1 \n"
            "     2  C      0.000000    2.000000    2.000000     1 \n");
  ASSERT_EQ(run_program(XYZFRAMES_EXE, {"in.dat", "x.xyz"}, dir.path()).status, 0);
  EXPECT_EQ(read_file(dir / "x001.xyz"),
            "2\nXMOL XYZ FORMAT\n"
            "C          0.000000        0.000000        1.790000  \n"
            "C          0.000000        2.000000        2.000000  \n");
  // The same for the attached file of a join.
  write_file(dir / "a.dat", "0 1 1\n1 1 1\n0 0\n5 5 5\n");
  ASSERT_EQ(run_program(SCENEJOIN_EXE, {"a.dat", "in.dat"}, dir.path()).status, 0);
  EXPECT_EQ(read_file(dir / "a.dat"),
            "0 3 1\n1.000000 1.000000 1.000000\n0.000000 0.000000\n"
            "      5.0000000       5.0000000       5.0000000\n"
            "      0.0000000       0.0000000       1.7900000\n"
            "      0.0000000       2.0000000       2.0000000\n");
}

TEST(HostileInput, TruncatedTrajectoriesAndImpossibleHeadersChangeNoFile) {
  const std::vector<std::string> inputs = {
      "0 2 1\n1 1 1\n0 0\n1 2 3\n4 5",             // ends inside a triple
      "0 2 1\n1 1 1\n0 0\n1 2 3\n4 5 -",           // ends in a sign
      "0 2 1\n1 1 1\n0 0\n1 2 3\n4 5 .",           // ends in a point
      "0 2147483647 1\n1 1 1\n0 0\n1 2 3\n",       // claims 2^31 - 1 atoms
      "0 2 2147483647\n1 1 1\n0 0\n1 2 3\n4 5 6\n",  // claims 2^31 - 1 scenes
      "0 1 1\n1 1 1\n0",                            // ends inside the header
  };
  const std::string good = "0 2 1\n1 1 1\n0 0\n0 0 0\n1 1 1\n";
  struct Case {
    const char* program;
    std::vector<std::string> args;
  };
  const std::vector<Case> cases = {{BALLCONV_EXE, {"in.dat", "out.pv"}},
                                   {XYZFRAMES_EXE, {"in.dat", "out.xyz"}},
                                   {LINKFRAMES_EXE, {"in.dat", "out.xyz"}},
                                   {SCENEJOIN_EXE, {"good.dat", "in.dat"}},
                                   {SCENEJOIN_EXE, {"in.dat", "good.dat"}}};
  for (const std::string& input : inputs) {
    for (const Case& c : cases) {
      TempDir dir;
      write_file(dir / "in.dat", input);
      write_file(dir / "good.dat", good);
      write_file(dir / "out.pv", "older\n");
      write_file(dir / "out001.xyz", "older\n");
      const auto before = snapshot(dir.path());
      const auto run = run_program(c.program, c.args, dir.path());
      EXPECT_EQ(run.status, 1) << c.program << " on " << input;
      // A header the joiner can refuse at once gets its own message.
      const bool claim = input.find("2147483647") != std::string::npos;
      EXPECT_TRUE(one_error_line(run.output, claim ? "Error: " : "Error: invalid trajectory file in.dat: "))
          << c.program << ": " << run.output;
      // The XYZ writers refuse more scene files than they write at the header.
      EXPECT_EQ(snapshot(dir.path()), before) << c.program << " on " << input;
    }
  }
}

TEST(HostileInput, EndlessDevicesAsInputsEndWithAnError) {
  if (!fs::is_character_file("/dev/zero")) GTEST_SKIP() << "no /dev/zero";
  struct Case {
    const char* program;
    std::vector<std::string> args;
    std::string start;
  };
  const std::vector<Case> cases = {
      {BALLCONV_EXE, {"/dev/zero", "out.pv"}, "Error: invalid trajectory file /dev/zero: a token of"},
      {XYZFRAMES_EXE, {"/dev/zero", "out.xyz"}, "Error: invalid trajectory file /dev/zero: a token of"},
      {LINKFRAMES_EXE, {"/dev/zero", "out.xyz"}, "Error: invalid trajectory file /dev/zero: a token of"},
      {WRAPPING_EXE, {"/dev/zero"}, "Error: parameter file </dev/zero> is larger than"},
      {WRAPPING_EXE, {"10", "10", "-g", "zero"}, "Error: parameters for (10,10) SWNT do not exist"},
  };
  for (const Case& c : cases) {
    TempDir dir;
    fs::create_symlink("/dev/zero", dir / "zero");
    const auto run = run_program(c.program, c.args, dir.path());
    EXPECT_EQ(run.status, 1) << c.program;
    EXPECT_TRUE(one_error_line(run.output, c.start)) << c.program << ": " << run.output;
    EXPECT_EQ(test_support::list_dir(dir.path()), std::vector<std::string>{"zero"}) << c.program;
  }
}

TEST(HostileInput, BuilderOptionsAtTheirLimits) {
  const std::string separators = [] {
    std::string text;
    while (text.size() < (1 << 20)) text += " ,\n , \r\n";
    return text;
  }();
  const std::string long_name(10000, 'a');
  const std::string many_digits(10000, '7');
  struct Case {
    std::vector<std::string> args;
    std::string output;
  };
  const std::vector<Case> cases = {
      {{"params.txt"}, "Error: no chirality (n m) in file <params.txt>\n"},
      {{"10", "10", "-sx", many_digits},
       "Error: value <" + many_digits + "> out of range (option -sx).\n"},
      {{"10", "10", "-g", long_name}, "Error: file access failed for " + long_name + "\n"},
      {{"10", "10", "-p", "-f", long_name}, "Error: cannot write file " + long_name + "\n"},
      {{"2147483647", "0"}, "Error: incorrect chirality=(2147483647,0).\n"},
      {{"2147483647", "2147483647"}, "Error: incorrect chirality=(2147483647,2147483647).\n"},
      {{"-2147483648", "-2147483648"}, "Error: incorrect chirality=(-2147483648,-2147483648).\n"},
      // 2 (n^2 + nm + m^2) must fit 32 bits.
      {{"32768", "0"}, "Error: incorrect chirality=(32768,0).\n"},
      {{"2147483648", "0"}, "Error: chirality index out of range: <2147483648>\n"},
      {{"10", "10", "-u", "1e308"}, "Error: the tube is too long: more than 2147483647 atoms.\n"},
      {{"10", "10", "-w", "2147483647"}, "Error: 2147483647 wrapping steps cannot be written.\n"},
      {{"10", "10", "-g", "table.dat"}, "Error: parameters for (10,10) SWNT do not exist in the file.\n"},
  };
  for (const Case& c : cases) {
    TempDir dir;
    write_file(dir / "params.txt", separators);
    // The entry for (10,10) ends right at the end of the file.
    write_file(dir / "table.dat", "n m\n10 10 1 2 3 2.16 1.25 2.16 -1.25 1.44 0");
    const auto before = snapshot(dir.path());
    const auto run = run_program(WRAPPING_EXE, c.args, dir.path());
    EXPECT_EQ(run.status, 1) << c.args[0];
    EXPECT_EQ(run.output, c.output);
    EXPECT_EQ(snapshot(dir.path()), before) << c.args[0];
  }

  TempDir dir;
  // Tokens after a megabyte of separators, CR LF line ends included.
  write_file(dir / "params.txt", separators + "5\r\n5 -u 1 -f tube.dat\n");
  auto run = run_program(WRAPPING_EXE, {"params.txt"}, dir.path());
  EXPECT_EQ(run.status, 0) << run.output;
  EXPECT_EQ(read_file(dir / "tube.dat").substr(0, 7), "0 20 1\n");
  // The largest index that passes gives its report at once.
  run = run_program(WRAPPING_EXE, {"32767", "0", "-w", "-1", "-d"}, dir.path());
  EXPECT_EQ(run.status, 0);
  EXPECT_NE(run.output.find(" -- number of atoms in SWNT unit cell: 131068\n"), std::string::npos);
  // An output name too long for the file system: the trajectory stays under
  // the temporary name.
  run = run_program(WRAPPING_EXE, {"5", "5", "-f", long_name}, dir.path());
  EXPECT_EQ(run.status, 0);
  EXPECT_EQ(run.output, "Warning: failed to remove old " + long_name + " file.\n" +
                            "Warning: failed to save " + long_name + " file.\n" +
                            " -- Data is saved as swnt_wrapping.wrp.\n");
  EXPECT_TRUE(test_support::file_exists(dir / "swnt_wrapping.wrp"));
}

// Two atoms in four scenes, once separated and once glued into one token.
const std::string kFourScenes = "0 2 4\n20 20 20\n0 0\n0 0 0 1.4 0 0\n0 0 0 1.4 0 0\n0 0 0 1.4 0 0\n0 0 0 1.4 0 -1\n";
const std::string kFourGlued = "0 2 4\n20 20 20\n0 0\n+0+0+0+1.4+0+0+0+0+0+1.4+0+0+0+0+0+1.4+0+0+0+0+0+1.4+0-1\n";

TEST(HostileInput, RunsThatWouldDestroyAnInputOrRunAwayAreRefusedBeforeAnyFileIsWritten) {
  struct Case {
    const char* program;
    std::vector<std::string> args;
    std::string file, content;  // an extra file; no content: a link to t.dat
    std::string output;
  };
  const std::string box = "Error: the box of the tube would not be finite with these options: ";
  const std::string scenes = " scenes would make as many XYZ files, more than the 1000000 that one conversion writes.\n";
  const std::vector<Case> cases = {
      {BALLCONV_EXE, {"t.dat", "./t.dat"}, "", "", "Error: cannot write ./t.dat: it is the input file t.dat.\n"},
      {XYZFRAMES_EXE, {"t001.xyz", "t.xyz"}, "t001.xyz", kFourScenes,
       "Error: cannot write t001.xyz: it is the input file t001.xyz.\n"},
      {LINKFRAMES_EXE, {"t.dat", "l.xyz"}, "l004.xyz", "", "Error: cannot write l004.xyz: it is the input file t.dat.\n"},
      {WRAPPING_EXE, {"swnt_wrapping.wrp"}, "swnt_wrapping.wrp", "4 2 -f o.dat\n",
       "Error: parameter file swnt_wrapping.wrp is the temporary file.\n"},
      {WRAPPING_EXE, {"4", "2", "-g", "./swnt_wrapping.wrp", "-f", "o.dat"}, "swnt_wrapping.wrp",
       "n m\n4 2 1 2 3 2.16 1.25 2.16 -1.25 1.44 0\n", "Error: structure table ./swnt_wrapping.wrp is the temporary file.\n"},
      {WRAPPING_EXE, {"4", "2", "-rd", "1e308", "-f", "n.dat"}, "", "", box + "-rd 1e+308.\n"},
      {WRAPPING_EXE, {"4", "2", "-ra", "-1e308", "-sx", "2", "-xx"}, "", "", box + "-ra -1e+308, -sx 2.\n"},
      {WRAPPING_EXE, {"4", "2", "-rd", "1e306", "-w", "1000", "-p"}, "", "",
       "Error: the coordinates of the tube would not be finite with these options: -rd 1e+306, -w 1000.\n"},
      {WRAPPING_EXE, {"16001", "1"}, "", "",
       "Error: the unit cell of (16001,1) SWNT holds 1024192012 atoms; wrapping builds at most 100000000, since the "
       "cell is held in memory (12.3 GB for this one) and each copy of it takes 49.2 GB of trajectory.\n"},
      {WRAPPING_EXE, {"4", "2", "-w", "1000000", "-xx"}, "", "", "Error: 1000001" + scenes},
      {LINKFRAMES_EXE, {"z.dat", "z.xyz"}, "z.dat", "0 0 2147483647\n1 1 1\n0 0\n", "Error: 2147483647" + scenes},
      // Untrusted bytes are shown escaped, so that every message is one line.
      {XYZFRAMES_EXE, {"b.dat", "b.xyz"}, "b.dat", "0 1 1\n1 1 1\n0 0\n\x1b[2J\x01\xff\n",
       "Error: invalid trajectory file b.dat: not a number where a number is expected: \"\\x1B[2J\\x01\\xFF\".\n"},
      {BALLCONV_EXE, {"a\nb.dat", "o.pv"}, "", "", "Error: file access failed for a\\x0Ab.dat\n"},
      {WRAPPING_EXE, {"4", "2", "-f\x1b"}, "", "", "Error: no argument (option -f\\x1B).\n"},
  };
  for (const Case& c : cases) {
    TempDir dir;
    write_file(dir / "t.dat", kFourScenes);
    if (!c.file.empty() && c.content.empty()) fs::create_symlink("t.dat", dir / c.file);
    if (!c.content.empty()) write_file(dir / c.file, c.content);
    const auto before = snapshot(dir.path());
    const auto run = run_program(c.program, c.args, dir.path());
    EXPECT_EQ(run.status, 1) << c.args[0];
    EXPECT_EQ(run.output, c.output);
    EXPECT_EQ(snapshot(dir.path()), before) << c.args[0];
  }
}

TEST(HostileInput, GluedNumbersReportsAndOutputsBesideTheirInputStillWork) {
  TempDir dir;
  write_file(dir / "t.xyz", kFourScenes);
  write_file(dir / "g.dat", kFourGlued);
  for (const auto& run : std::vector<std::vector<std::string>>{
           {XYZFRAMES_EXE, "t.xyz", "t.xyz"}, {XYZFRAMES_EXE, "g.dat", "g.xyz"},
           {WRAPPING_EXE, "16001", "1", "-w", "-1", "-d"}, {WRAPPING_EXE, "4", "2", "-rd", "1e308", "-w", "-1"}}) {
    EXPECT_EQ(run_program(run[0], {run.begin() + 1, run.end()}, dir.path()).status, 0) << run[1];
  }
  for (const char* scene : {"1", "2", "3", "4"}) {
    EXPECT_EQ(read_file(dir / swnt::format_text("g00%s.xyz", scene)), read_file(dir / swnt::format_text("t00%s.xyz", scene)));
  }
  EXPECT_EQ(test_support::list_dir(dir.path()).size(), 10u);
}

// topoconv's hostile scenes: atoms written twice (also where one of them sits
// on a periodic boundary and the other is moved onto it), numbers that would
// overflow, and scenes whose bonded terms would be without end.  Each is one
// error line with status 1, and an existing output stays as it was.
TEST(HostileInput, TopoconvRefusesCoincidentAtomsOverflowAndEndlessTerms) {
  struct Case {
    std::vector<std::string> args;
    std::string input;  // the trajectory t.dat; empty: made by the wrapping run `make`
    std::vector<std::string> make;
    std::string error;  // the start of the error line
  };
  const std::vector<Case> cases = {
      {{"--periodic", "x", "t.dat", "o.data"}, "0 2 1\n10 10 10\n0 0\n0 0 0\n10 0 0\n", {},
       "Error: 1 pair of atoms is closer than 0.5 Angstrom, nearer than any bond (atoms 1 and 2, "
       "0.000 Angstrom apart): the same atom is written twice, once at each end of the periodic "
       "axis x"},
      {{"t.dat", "o.data"}, "0 3 1\n10 10 10\n0 0\n0 0 0\n1.4 0 0\n1.45 0 0\n", {},
       "Error: 1 pair of atoms is closer than 0.5 Angstrom, nearer than any bond (atoms 2 and 3, "
       "0.050 Angstrom apart): the same atom is written twice."},
      {{"t.dat", "o.extxyz"}, "0 2 1\n10 10 10\n0 0\n1e308 0 0\n-1e308 0 0\n", {},
       "Error: the box along x would not be finite"},
      {{"--hydrogenate", "--ch", "1e308", "t.dat", "o.extxyz"}, "", {"10", "0", "-l", "20", "-az"},
       "Error: the box along z would not be finite"},
      {{"t.dat", "o.data"}, "", {"10", "10", "-u", "100", "-ra", "0", "-rd", "0"},
       "Error: atom 1 has more than 12 neighbours closer than the cut-off of 1.8 Angstrom"},
      {{"--cutoff", "10", "t.dat", "o.data"}, "", {"10", "10", "-u", "10"},
       "Error: atom 1 has more than 12 neighbours closer than the cut-off of 10 Angstrom"},
  };
  for (const Case& c : cases) {
    TempDir dir;
    if (c.input.empty()) {
      std::vector<std::string> make = c.make;
      make.insert(make.end(), {"-f", "t.dat"});
      ASSERT_LE(run_program(WRAPPING_EXE, make, dir.path()).status, 0);
    } else {
      write_file(dir / "t.dat", c.input);
    }
    write_file(dir / c.args.back(), "an older output\n");
    const auto before = snapshot(dir.path());
    const auto run = run_program(TOPOCONV_EXE, c.args, dir.path());
    EXPECT_EQ(run.status, 1) << c.error;
    // The error ends the output (after the warnings of what went before).
    const std::size_t error = run.output.rfind("Error: ");
    EXPECT_EQ(run.output.substr(error, c.error.size()), c.error) << run.output;
    EXPECT_EQ(run.output.find('\n', error), run.output.size() - 1) << run.output;
    EXPECT_EQ(snapshot(dir.path()), before) << c.error;
  }
  // Hydrogens closer to their carbons than 0.5 Angstrom are no atoms written twice.
  TempDir dir;
  ASSERT_EQ(run_program(WRAPPING_EXE, {"10", "0", "-l", "20", "-az", "-f", "t.dat"}, dir.path()).status, 0);
  EXPECT_EQ(run_program(TOPOCONV_EXE, {"--hydrogenate", "--ch", "0.3", "t.dat", "o.pdb"}, dir.path()).status, 0);
}

// A program whose standard output is closed early (`| head`) is ended by
// SIGPIPE like any other signal: its scratch file goes with it and the
// existing output stays.
TEST(HostileInput, ClosedStandardOutputLeavesNoScratchFile) {
  TempDir dir;
  // 300 scenes, each with a warning: far more than the output's buffer.
  ASSERT_EQ(run_program(WRAPPING_EXE, {"10", "0", "-l", "20", "-w", "299", "-az", "-f", "anim.dat"},
                        dir.path()).status, 0);
  write_file(dir / "o.extxyz", "an older output\n");
  const auto before = snapshot(dir.path());
  // Standard output a pipe whose reading end is closed before the program starts.
  int ends[2];
  ASSERT_EQ(pipe(ends), 0);
  close(ends[0]);
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_adddup2(&actions, ends[1], STDOUT_FILENO);
  posix_spawn_file_actions_addchdir_np(&actions, dir.path().c_str());
  std::vector<std::string> args = {TOPOCONV_EXE, "--scene", "all", "--trim", "anim.dat", "o.extxyz"};
  std::vector<char*> argv;
  for (std::string& arg : args) argv.push_back(arg.data());
  argv.push_back(nullptr);
  // SIGPIPE as a shell gives it, whatever this process was given.
  posix_spawnattr_t attributes;
  posix_spawnattr_init(&attributes);
  sigset_t defaults;
  sigemptyset(&defaults);
  sigaddset(&defaults, SIGPIPE);
  posix_spawnattr_setsigdefault(&attributes, &defaults);
  posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETSIGDEF);
  pid_t pid = 0;
  ASSERT_EQ(posix_spawn(&pid, TOPOCONV_EXE, &actions, &attributes, argv.data(), environ), 0);
  posix_spawn_file_actions_destroy(&actions);
  posix_spawnattr_destroy(&attributes);
  close(ends[1]);
  int status = 0;
  ASSERT_EQ(waitpid(pid, &status, 0), pid);
  EXPECT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == SIGPIPE) << status;
  EXPECT_EQ(snapshot(dir.path()), before);
}

}  // namespace
