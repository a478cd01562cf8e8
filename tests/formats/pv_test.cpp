#include "formats/pv.hpp"

#include <gtest/gtest.h>

#include <array>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <random>
#include <string>
#include <tuple>
#include <vector>

#include "core/text_format.hpp"
#include "test_support.hpp"

namespace {

using test_support::TempDir;
using test_support::file_exists;
using test_support::list_dir;
using test_support::read_file;
using test_support::write_file;

using Triple = std::array<double, 3>;

// A trajectory to write as text: header values and the coordinates of every
// scene, one scene after the other.
struct Trajectory {
  long long lead = 0;
  long long nmol = 0;
  long long ndat = 0;
  double box[3] = {20.0, 30.0, 40.0};
  double aux[2] = {0.0, 0.0};
  std::vector<Triple> coords;
};

// The builder's layout: "0 %d %d", "%lf  %lf  %lf", "0.0  0.0", "%14.6f  " per value.
std::string builder_text(const Trajectory& t) {
  std::string text = swnt::format_text("%lld %lld %lld\n", t.lead, t.nmol, t.ndat);
  text += swnt::format_text("%lf  %lf  %lf\n", t.box[0], t.box[1], t.box[2]);
  text += swnt::format_text("%.17g  %.17g\n", t.aux[0], t.aux[1]);
  for (const Triple& c : t.coords) {
    text += swnt::format_text("%14.6f  %14.6f  %14.6f  \n", c[0], c[1], c[2]);
  }
  return text;
}

// The joiner's layout: single blanks, "%15.7lf" per value, no trailing blank.
std::string joiner_text(const Trajectory& t) {
  std::string text = swnt::format_text("%lld %lld %lld\n", t.lead, t.nmol, t.ndat);
  text += swnt::format_text("%lf %lf %lf\n", t.box[0], t.box[1], t.box[2]);
  text += swnt::format_text("%.17g %.17g\n", t.aux[0], t.aux[1]);
  for (const Triple& c : t.coords) {
    text += swnt::format_text("%15.7lf %15.7lf %15.7lf\n", c[0], c[1], c[2]);
  }
  return text;
}

struct WriterRun {
  int result = -1;
  std::string output;
};

WriterRun convert(const std::filesystem::path& input, const std::filesystem::path& output,
            int verbose = 0, int centred = 1) {
  testing::internal::CaptureStdout();
  WriterRun run;
  run.result = test_support::run_printing([&] {
    swnt::write_pv_file(input.string(), output.string(), centred == 0,
                        test_support::progress_log(verbose));
  });
  run.output = testing::internal::GetCapturedStdout();
  return run;
}

std::uint16_t u16_at(const std::string& bytes, std::size_t at) {
  return static_cast<std::uint16_t>(static_cast<unsigned char>(bytes.at(at)) |
                                    static_cast<unsigned char>(bytes.at(at + 1)) << 8);
}

std::int16_t i16_at(const std::string& bytes, std::size_t at) {
  return static_cast<std::int16_t>(u16_at(bytes, at));
}

std::uint8_t u8_at(const std::string& bytes, std::size_t at) {
  return static_cast<std::uint8_t>(bytes.at(at));
}

double f64_at(const std::string& bytes, std::size_t at) {
  std::uint64_t bits = 0;
  for (int k = 7; k >= 0; --k) bits = bits << 8 | static_cast<unsigned char>(bytes.at(at + k));
  double value;
  std::memcpy(&value, &bits, sizeof value);
  return value;
}

struct PvAtom {
  int kind;
  int x, y, z;
};

struct PvBond {
  int first, second;
  bool operator==(const PvBond&) const = default;
};

struct PvScene {
  std::vector<PvAtom> atoms;
  std::vector<PvBond> bonds;  // the filled slots, in file order
};

// Decodes the scenes of a pv file; checks on the way that the bond slots are
// filled slots first, then empty ones of kind 255 with zero bytes.
std::vector<PvScene> decode_scenes(const std::string& bytes) {
  const std::size_t nmol = u16_at(bytes, 34);
  const std::size_t nbond = u16_at(bytes, 36);
  const std::size_t ndat = u16_at(bytes, 38);
  EXPECT_EQ(nbond, 2 * nmol);
  EXPECT_EQ(bytes.size(), 104 + 8 * nmol + 17 * nmol * ndat);
  std::vector<PvScene> scenes(ndat);
  std::size_t at = 104 + 8 * nmol;
  for (PvScene& scene : scenes) {
    for (std::size_t i = 0; i < nmol; ++i, at += 7) {
      scene.atoms.push_back({u8_at(bytes, at), i16_at(bytes, at + 1), i16_at(bytes, at + 3),
                             i16_at(bytes, at + 5)});
    }
    bool empty_seen = false;
    for (std::size_t k = 0; k < nbond; ++k, at += 5) {
      if (u8_at(bytes, at) == 118) {
        EXPECT_FALSE(empty_seen) << "bond after an empty slot";
        scene.bonds.push_back({u16_at(bytes, at + 1), u16_at(bytes, at + 3)});
      } else {
        EXPECT_EQ(u8_at(bytes, at), 255);
        EXPECT_EQ(bytes.substr(at + 1, 4), std::string(4, '\0'));
        empty_seen = true;
      }
    }
  }
  return scenes;
}

// Writes `t` in the builder layout to dir/in.dat, converts it to dir/out.pv.
struct Converted {
  WriterRun run;
  std::string bytes;
};

Converted convert_trajectory(const TempDir& dir, const Trajectory& t, int verbose = 0,
                             int centred = 1) {
  write_file(dir / "in.dat", builder_text(t));
  Converted c;
  c.run = convert(dir / "in.dat", dir / "out.pv", verbose, centred);
  if (file_exists(dir / "out.pv")) c.bytes = read_file(dir / "out.pv");
  return c;
}

Trajectory one_scene(std::vector<Triple> atoms) {
  Trajectory t;
  t.nmol = static_cast<long long>(atoms.size());
  t.ndat = 1;
  t.coords = std::move(atoms);
  return t;
}

// ---------------------------------------------------------------------------

TEST(PvWriter, HeaderHoldsMagicCountsBoundsAndAuxValues) {
  TempDir dir;
  Trajectory t;
  t.lead = 7;
  t.nmol = 3;
  t.ndat = 2;
  t.aux[0] = 0.12345678901234566;  // more digits than the builder prints
  t.aux[1] = -1.5e-300;
  t.coords = {{1, 1, 1}, {5, 5, 5}, {9, 9, 9}, {1, 1, 1}, {5, 5, 5}, {9, 9, 9}};
  const Converted c = convert_trajectory(dir, t);
  ASSERT_EQ(c.run.result, 0);
  EXPECT_EQ(c.run.output, "");
  ASSERT_EQ(c.bytes.size(), 104u + 8 * 3 + 17 * 3 * 2);
  EXPECT_EQ(c.bytes.substr(0, 32), "PV-01 /Tarvelmoundrix Laboratory");
  EXPECT_EQ(u16_at(c.bytes, 32), 7);
  EXPECT_EQ(u16_at(c.bytes, 34), 3);
  EXPECT_EQ(u16_at(c.bytes, 36), 6);
  EXPECT_EQ(u16_at(c.bytes, 38), 2);
  const double bounds[6] = {-10, 10, -15, 15, -20, 20};
  for (int k = 0; k < 6; ++k) EXPECT_EQ(f64_at(c.bytes, 40 + 8 * k), bounds[k]) << k;
  EXPECT_EQ(f64_at(c.bytes, 88), 0.12345678901234566);
  EXPECT_EQ(f64_at(c.bytes, 96), -1.5e-300);
  for (int i = 0; i < 3; ++i) EXPECT_EQ(f64_at(c.bytes, 104 + 8 * i), 0.8);
  // The double 0.8, byte for byte.
  EXPECT_EQ(c.bytes.substr(104, 8), std::string("\x9a\x99\x99\x99\x99\x99\xe9\x3f", 8));
}

TEST(PvWriter, LeadIsKeptModulo65536AndZeroBoxGivesSignedZeroBounds) {
  TempDir dir;
  for (const auto& [lead, stored] : {std::pair{65537LL, 1}, {-1LL, 65535}, {65535LL, 65535}}) {
    Trajectory t;
    t.lead = lead;
    t.box[0] = 0.0;
    const Converted c = convert_trajectory(dir, t);
    ASSERT_EQ(c.run.result, 0) << lead;
    EXPECT_EQ(u16_at(c.bytes, 32), stored) << lead;
    EXPECT_TRUE(std::signbit(f64_at(c.bytes, 40)));
    EXPECT_FALSE(std::signbit(f64_at(c.bytes, 48)));
  }
}

TEST(PvWriter, EmptyTrajectoriesGiveHeaderAndBallMagOnly) {
  TempDir dir;
  Trajectory no_scenes;
  no_scenes.nmol = 4;
  Converted c = convert_trajectory(dir, no_scenes);
  ASSERT_EQ(c.run.result, 0);
  EXPECT_EQ(c.bytes.size(), 104u + 8 * 4);
  EXPECT_EQ(u16_at(c.bytes, 38), 0);

  Trajectory no_atoms;
  no_atoms.ndat = 65535;
  c = convert_trajectory(dir, no_atoms);
  ASSERT_EQ(c.run.result, 0);
  EXPECT_EQ(c.bytes.size(), 104u);
  EXPECT_EQ(u16_at(c.bytes, 38), 65535);

  // The largest atom count the format takes.
  Trajectory most_atoms;
  most_atoms.nmol = 32767;
  c = convert_trajectory(dir, most_atoms);
  ASSERT_EQ(c.run.result, 0);
  EXPECT_EQ(c.bytes.size(), 104u + 8 * 32767);
  EXPECT_EQ(u16_at(c.bytes, 36), 65534);
}

TEST(PvWriter, TwoBondedAtomsFillOneSlotAndLeaveThreeEmpty) {
  TempDir dir;
  const Converted c = convert_trajectory(dir, one_scene({{1, 2, 3}, {2.42, 2, 3}}));
  ASSERT_EQ(c.run.result, 0);
  ASSERT_EQ(c.bytes.size(), 104u + 16 + 34);
  const std::size_t scene = 104 + 16;
  EXPECT_EQ(c.bytes.substr(scene, 14),
            std::string("\x0e\x64\x00\xc8\x00\x2c\x01"
                        "\x0e\xf2\x00\xc8\x00\x2c\x01",
                        14));
  EXPECT_EQ(c.bytes.substr(scene + 14), std::string("\x76\x01\x00\x02\x00"
                                                    "\xff\x00\x00\x00\x00"
                                                    "\xff\x00\x00\x00\x00"
                                                    "\xff\x00\x00\x00\x00",
                                                    20));
}

TEST(PvWriter, BondCutoffIsStrictOnTheStoredPositions) {
  TempDir dir;
  // 1.80 apart: not bonded; 1.79 apart: bonded; 1.7951 is stored as 1.80.
  for (const auto& [gap, bonded] :
       {std::pair{1.80, false}, {1.79, true}, {1.7951, false}, {1.7949, true}}) {
    const Converted c = convert_trajectory(dir, one_scene({{1, 1, 1}, {1, 1, 1 + gap}}));
    ASSERT_EQ(c.run.result, 0);
    const auto scenes = decode_scenes(c.bytes);
    EXPECT_EQ(scenes[0].bonds.size(), bonded ? 1u : 0u) << gap;
    EXPECT_EQ(scenes[0].atoms[0].kind, bonded ? 14 : 15) << gap;
  }
}

TEST(PvWriter, AtomKindFollowsBondCountAndOriginRule) {
  TempDir dir;
  std::vector<Triple> atoms;
  // Stars: a centre with k leaves 1.5 away along distinct axis directions
  // (the leaves are at least 2.1 apart, so only the centre bonds them).
  const Triple directions[5] = {{1, 0, 0}, {-1, 0, 0}, {0, 1, 0}, {0, -1, 0}, {0, 0, 1}};
  std::vector<std::size_t> centres;
  for (int k = 0; k <= 5; ++k) {
    const Triple centre{20.0 * k - 50.0, 30.0, 30.0};
    centres.push_back(atoms.size());
    atoms.push_back(centre);
    for (int leaf = 0; leaf < k; ++leaf) {
      atoms.push_back({centre[0] + 1.5 * directions[leaf][0], centre[1] + 1.5 * directions[leaf][1],
                       centre[2] + 1.5 * directions[leaf][2]});
    }
  }
  // An atom stored at the origin with one bond, and one rounded to the origin alone.
  const std::size_t at_origin = atoms.size();
  atoms.push_back({0.004, -0.004, 0.0});
  atoms.push_back({1.5, 0.0, 0.0});
  atoms.push_back({0.0, 0.0, -0.004});

  const Converted c = convert_trajectory(dir, one_scene(atoms));
  ASSERT_EQ(c.run.result, 0);
  const auto scenes = decode_scenes(c.bytes);
  const auto& a = scenes[0].atoms;
  const int expected_kind[6] = {15, 14, 10, 2, 1, 1};
  for (int k = 0; k <= 5; ++k) {
    EXPECT_EQ(a[centres[k]].kind, expected_kind[k]) << k << " bonds";
    for (int leaf = 1; leaf <= k; ++leaf) EXPECT_EQ(a[centres[k] + leaf].kind, 14);
  }
  // Both atoms at the origin are within 1.8 of each other and of the atom at
  // (1.5, 0, 0): whatever their bond count, they get kind 3.
  EXPECT_EQ(a[at_origin].kind, 3);
  EXPECT_EQ(a[at_origin + 2].kind, 3);
  EXPECT_EQ(a[at_origin + 1].kind, 10);
  EXPECT_EQ(a[at_origin].x, 0);
  EXPECT_EQ(a[at_origin + 2].z, 0);
}

TEST(PvWriter, CentringMovesByHalfTheBoxAndBoundsStayCentred) {
  TempDir dir;
  Trajectory t = one_scene({{10, 15, 20}, {11.5, 15, 20}, {0, 0, 0}});
  const Converted moved = convert_trajectory(dir, t, 0, 0);
  ASSERT_EQ(moved.run.result, 0);
  auto scenes = decode_scenes(moved.bytes);
  EXPECT_EQ(scenes[0].atoms[0].kind, 3);
  EXPECT_EQ(scenes[0].atoms[0].x, 0);
  EXPECT_EQ(scenes[0].atoms[1].kind, 14);
  EXPECT_EQ(scenes[0].atoms[1].x, 150);
  EXPECT_EQ(scenes[0].atoms[2].kind, 15);
  EXPECT_EQ(scenes[0].atoms[2].x, -1000);
  EXPECT_EQ(scenes[0].atoms[2].y, -1500);
  EXPECT_EQ(scenes[0].atoms[2].z, -2000);
  EXPECT_EQ(f64_at(moved.bytes, 40), -10.0);
  EXPECT_EQ(f64_at(moved.bytes, 80), 20.0);

  const Converted kept = convert_trajectory(dir, t, 0, 1);
  scenes = decode_scenes(kept.bytes);
  EXPECT_EQ(scenes[0].atoms[0].x, 1000);
  EXPECT_EQ(scenes[0].atoms[2].kind, 3);
  EXPECT_EQ(moved.bytes.substr(0, 104), kept.bytes.substr(0, 104));
}

TEST(PvWriter, CoordinatesAreRoundedHalfUpAndTheFullRangeIsAccepted) {
  TempDir dir;
  const Converted c = convert_trajectory(
      dir, one_scene({{2.5, -0.004, -0.006}, {0.125, -0.125, 100.0}, {327.67, -327.68, 0.0}}));
  ASSERT_EQ(c.run.result, 0);
  const auto a = decode_scenes(c.bytes)[0].atoms;
  EXPECT_EQ(a[0].x, 250);
  EXPECT_EQ(a[0].y, 0);
  EXPECT_EQ(a[0].z, -1);
  EXPECT_EQ(a[1].x, 13);
  EXPECT_EQ(a[1].y, -12);
  EXPECT_EQ(a[1].z, 10000);
  EXPECT_EQ(a[2].x, 32767);
  EXPECT_EQ(a[2].y, -32768);
  EXPECT_EQ(a[2].z, 0);
}

TEST(PvWriter, VerboseReportsProgressAndCloseAtomsWithZeroBasedIndices) {
  TempDir dir;
  Trajectory t;
  t.nmol = 3;
  t.ndat = 10;
  for (int s = 0; s < 10; ++s) {
    t.coords.push_back({1, 1, 1});
    t.coords.push_back({9, 9, 9});
    t.coords.push_back({9, 9, 9.5});
  }
  const Converted c = convert_trajectory(dir, t, 1);
  ASSERT_EQ(c.run.result, 0);
  std::string expected = "\nMaking pv file...\n";
  expected += " -- input file:  " + (dir / "in.dat").string() + "\n";
  expected += " -- output file: " + (dir / "out.pv").string() + "\n";
  expected += "Writing Header...\nWriting Ball-mag (=0.800000)...\nWriting every scene...\n";
  for (int s = 1; s <= 10; ++s) {
    if (s == 10) expected += " -- step:  10\n";
    expected += " -- atom 1 and 2 are too close(bond length=0.500000)\n";
  }
  EXPECT_EQ(c.run.output, expected);
  // The close pair is also a bond.
  const auto scenes = decode_scenes(c.bytes);
  EXPECT_EQ(scenes[9].bonds, (std::vector<PvBond>{{2, 3}}));
}

TEST(PvWriter, TooManyBondsFailsAndLeavesTheExistingFile) {
  TempDir dir;
  // Scene 1 is fine; scene 2 has six atoms on one spot: 15 bonds, 12 slots.
  Trajectory t;
  t.nmol = 6;
  t.ndat = 2;
  for (int i = 0; i < 6; ++i) t.coords.push_back({3.0 * i, 0, 0});
  for (int i = 0; i < 6; ++i) t.coords.push_back({1, 1, 1});
  write_file(dir / "out.pv", "earlier file");
  Converted c = convert_trajectory(dir, t);
  EXPECT_EQ(c.run.result, 1);
  EXPECT_EQ(c.run.output, "Bond number exceeded the limit. (ibond=15\n");
  EXPECT_EQ(c.bytes, "earlier file");
  EXPECT_EQ(list_dir(dir.path()), (std::vector<std::string>{"in.dat", "out.pv"}));

  // Verbose: every too-close pair in pair order first, then the limit.
  c = convert_trajectory(dir, t, 1);
  EXPECT_EQ(c.run.result, 1);
  std::string close_lines;
  for (int i = 0; i < 6; ++i) {
    for (int j = i + 1; j < 6; ++j) {
      close_lines += swnt::format_text(" -- atom %d and %d are too close(bond length=0.000000)\n", i, j);
    }
  }
  const std::string tail = close_lines + "Bond number exceeded the limit. (ibond=15\n";
  ASSERT_GE(c.run.output.size(), tail.size());
  EXPECT_EQ(c.run.output.substr(c.run.output.size() - tail.size()), tail);
  EXPECT_EQ(c.bytes, "earlier file");

  // Exactly as many bonds as slots is fine: five atoms on one spot give 10.
  t.nmol = 5;
  t.ndat = 1;
  t.coords.assign(5, {1, 1, 1});
  c = convert_trajectory(dir, t);
  ASSERT_EQ(c.run.result, 0);
  EXPECT_EQ(decode_scenes(c.bytes)[0].bonds.size(), 10u);
}

TEST(PvWriter, MoreThan255BondsOfOneAtomStillGiveKind1) {
  TempDir dir;
  // 257 atoms on one spot: each has 256 bonds, 32896 in all.  Isolated atoms
  // on a 2 Angstrom grid provide the slots (2 per atom).
  std::vector<Triple> atoms(257, Triple{1, 1, 1});
  for (int i = 0; atoms.size() < 16448; ++i) {
    atoms.push_back({100.0 + 2.0 * (i % 26), 100.0 + 2.0 * (i / 26 % 26), 100.0 + 2.0 * (i / 676)});
  }
  const Converted c = convert_trajectory(dir, one_scene(atoms));
  ASSERT_EQ(c.run.result, 0) << c.run.output;
  const auto scenes = decode_scenes(c.bytes);
  const auto& s = scenes[0];
  ASSERT_EQ(s.bonds.size(), 32896u);
  EXPECT_EQ(s.bonds.front(), (PvBond{1, 2}));
  EXPECT_EQ(s.bonds[255], (PvBond{1, 257}));
  EXPECT_EQ(s.bonds[256], (PvBond{2, 3}));
  EXPECT_EQ(s.bonds.back(), (PvBond{256, 257}));
  for (int i = 0; i < 257; ++i) ASSERT_EQ(s.atoms[i].kind, 1) << i;
  EXPECT_EQ(s.atoms[257].kind, 15);
  EXPECT_EQ(s.atoms.back().kind, 15);
}

TEST(PvWriter, BothTrajectoryLayoutsAndAnyWhiteSpaceGiveTheSameFile) {
  TempDir dir;
  Trajectory t;
  t.lead = 3;
  t.nmol = 4;
  t.ndat = 2;
  t.box[0] = 12.5;
  t.coords = {{1.25, 2.5, 3.75}, {2.5, 2.5, 3.75}, {-4.125, 0.0, 1.0}, {-4.125, 1.5, 1.0},
              {1.0, 1.0, 1.0},   {1.0, 2.0, 1.0},  {1.0, 3.0, 1.0},    {1.0, 4.0, 1.0}};
  write_file(dir / "builder.dat", builder_text(t));
  write_file(dir / "joiner.dat", joiner_text(t));
  std::string one_line = "3 4 2 12.5 30 40 0 0\n";
  std::string crlf = "3 4 2\r\n12.500000 30.0 40.0\r\n0.0 0.0\r\n";
  std::string tabs = "3\t4\t2\n12.5\t30\t40\t0\t0";
  for (const Triple& c : t.coords) {
    one_line += swnt::format_text("%g %g %g\n", c[0], c[1], c[2]);
    crlf += swnt::format_text("%14.6f  %14.6f  %14.6f  \r\n", c[0], c[1], c[2]);
    tabs += swnt::format_text("\t%g\n%g\v%g\f", c[0], c[1], c[2]);
  }
  write_file(dir / "one_line.dat", one_line);
  write_file(dir / "crlf.dat", crlf);
  write_file(dir / "tabs.dat", tabs);

  ASSERT_EQ(convert(dir / "builder.dat", dir / "builder.pv").result, 0);
  const std::string reference = read_file(dir / "builder.pv");
  EXPECT_EQ(decode_scenes(reference)[1].bonds, (std::vector<PvBond>{{1, 2}, {2, 3}, {3, 4}}));
  for (const char* name : {"joiner", "one_line", "crlf", "tabs"}) {
    const std::string input = std::string(name) + ".dat";
    const std::string output = std::string(name) + ".pv";
    ASSERT_EQ(convert(dir / input, dir / output).result, 0) << name;
    EXPECT_EQ(read_file(dir / output), reference) << name;
  }
}

TEST(PvWriter, UnreadableInputCreatesNoOutputAndKeepsAnExistingOne) {
  TempDir dir;
  WriterRun run = convert(dir / "missing.dat", dir / "new.pv");
  EXPECT_EQ(run.result, 1);
  EXPECT_EQ(run.output, "Error: file access failed for " + (dir / "missing.dat").string() + "\n");
  EXPECT_FALSE(file_exists(dir / "new.pv"));

  write_file(dir / "old.pv", "keep me");
  std::filesystem::create_directory(dir / "subdir");
  run = convert(dir / "subdir", dir / "old.pv");
  EXPECT_EQ(run.result, 1);
  EXPECT_EQ(run.output, "Error: file access failed for " + (dir / "subdir").string() + "\n");
  EXPECT_EQ(read_file(dir / "old.pv"), "keep me");
  EXPECT_EQ(list_dir(dir.path()), (std::vector<std::string>{"old.pv", "subdir"}));
}

// Every refused input: the message names the file and the reason, the result
// is 1, and an existing output file is left as it was (no scratch file either).
TEST(PvWriter, InputsTheFormatCannotHoldAreRefused) {
  TempDir dir;
  const std::string in = (dir / "in.dat").string();
  const std::string prefix = "Error: invalid trajectory file " + in + ": ";
  struct Case {
    std::string text;
    int centred;
    std::string reason;
  };
  const std::vector<Case> cases = {
      {"0 32768 0\n20 30 40\n0 0\n", 1,
       "32768 atoms per scene are more than the pv format can hold (32767)"},
      {"0 1 65536\n20 30 40\n0 0\n", 1,
       "65536 scenes are more than the pv format can hold (65535)"},
      {"0 2 1\n20 30 40\n0 0\n1 2 3\n1 400.0 3\n", 1,
       "scene 1, atom 2: the y coordinate 400 lies outside the range -327.68 to 327.67 Angstrom "
       "that the pv format can hold"},
      {"0 1 2\n20 30 40\n0 0\n1 2 3\n1 2 327.68\n", 1,
       "scene 2, atom 1: the z coordinate 327.68 lies outside the range -327.68 to 327.67 "
       "Angstrom that the pv format can hold"},
      {"0 1 1\n20 30 40\n0 0\n-327.69 0 0\n", 1,
       "scene 1, atom 1: the x coordinate -327.69 lies outside the range -327.68 to 327.67 "
       "Angstrom that the pv format can hold"},
      {"0 1 1\n20 30 40\n0 0\n1 2 -320\n", 0,
       "scene 1, atom 1: the z coordinate -320, moved by half the box length to -340, lies "
       "outside the range -327.68 to 327.67 Angstrom that the pv format can hold"},
      {"0 1 1\n20 30 40\n0 0\nnan 2 3\n", 1,
       "scene 1, atom 1: the x coordinate nan is not a finite number"},
      {"0 1 1\n20 30 40\n0 0\n1 -inf 3\n", 1,
       "scene 1, atom 1: the y coordinate -inf is not a finite number"},
      {"0 1 1\n20 30 1e309\n0 0\n1 2 3\n", 0,
       "scene 1, atom 1: the z coordinate 3, moved by half the box length to -inf, is not a "
       "finite number"},
      {"0 1 1\n20 30 40\n0 0\n1e300 2 3\n", 1,
       "scene 1, atom 1: the x coordinate 1e+300 lies outside the range -327.68 to 327.67 "
       "Angstrom that the pv format can hold"},
      {"0 2 2\n20 30 40\n0 0\n1 2 3\n4 5 6\n1 2 3\n", 1,
       "the file ends before the data its header announces"},
      {"0 2 1\n20 30 40\n0 0\n1 2 3\n4 abc 6\n", 1,
       "not a number where a number is expected: \"abc\""},
      {"0 2 1\n20 30\n", 1, "the file ends before the data its header announces"},
  };
  for (const Case& c : cases) {
    write_file(dir / "out.pv", "existing");
    write_file(dir / "in.dat", c.text);
    const WriterRun run = convert(dir / "in.dat", dir / "out.pv", 0, c.centred);
    EXPECT_EQ(run.result, 1) << c.text;
    EXPECT_EQ(run.output, prefix + c.reason + ".\n") << c.text;
    EXPECT_EQ(read_file(dir / "out.pv"), "existing") << c.text;
    EXPECT_EQ(list_dir(dir.path()), (std::vector<std::string>{"in.dat", "out.pv"})) << c.text;
  }
  // Without an earlier file, none is left behind either.
  std::filesystem::remove(dir / "out.pv");
  convert(dir / "in.dat", dir / "out.pv");
  EXPECT_EQ(list_dir(dir.path()), (std::vector<std::string>{"in.dat"}));
}

TEST(PvWriter, OutputThatCannotBeWrittenIsReported) {
  TempDir dir;
  Trajectory t = one_scene({{1, 1, 1}, {2, 2, 2}});
  write_file(dir / "in.dat", builder_text(t));

  WriterRun run = convert(dir / "in.dat", "/dev/full");
  EXPECT_EQ(run.result, 1);
  EXPECT_EQ(run.output, "Error: cannot write file /dev/full\n");

  run = convert(dir / "in.dat", dir / "no_such_dir" / "out.pv");
  EXPECT_EQ(run.result, 1);
  EXPECT_EQ(run.output,
            "Error: cannot write file " + (dir / "no_such_dir" / "out.pv").string() + "\n");

  run = convert(dir / "in.dat", dir.path());
  EXPECT_EQ(run.result, 1);
  EXPECT_EQ(run.output, "Error: cannot write file " + dir.path().string() + "\n");
  EXPECT_EQ(list_dir(dir.path()), (std::vector<std::string>{"in.dat"}));

  // A device that takes everything is fine.
  EXPECT_EQ(convert(dir / "in.dat", "/dev/null").result, 0);
}

// The bonds and kinds of random scenes against the plain all-pairs definition
// on the stored 0.01 Angstrom positions.
TEST(PvWriter, BondsMatchTheAllPairsDefinitionOnRandomScenes) {
  TempDir dir;
  std::mt19937_64 rng(2024);
  for (const double spread : {3.0, 8.0, 20.0, 60.0}) {
    Trajectory t;
    t.nmol = 150;
    t.ndat = 3;
    std::uniform_real_distribution<double> uniform(-spread, spread);
    std::uniform_int_distribution<int> pick(0, 9);
    for (long long k = 0; k < t.nmol * t.ndat; ++k) {
      Triple c{uniform(rng), uniform(rng), uniform(rng)};
      // Some atoms on a 0.6 Angstrom grid, so distances of exactly 1.8 occur.
      if (pick(rng) < 3) {
        for (double& v : c) v = std::round(v / 0.6) * 0.6;
      }
      t.coords.push_back(c);
    }
    const Converted c = convert_trajectory(dir, t);

    bool over_limit = false;
    std::vector<PvScene> expected(3);
    for (int s = 0; s < 3; ++s) {
      std::vector<std::array<int, 3>> stored;
      for (int i = 0; i < t.nmol; ++i) {
        std::array<int, 3> p{};
        for (int a = 0; a < 3; ++a) {
          // The value as the builder layout prints it, rounded half up.
          const double printed = std::stod(swnt::format_text("%.6f", t.coords[s * t.nmol + i][a]));
          p[a] = static_cast<int>(std::floor(printed * 100 + 0.5));
        }
        stored.push_back(p);
      }
      std::vector<int> count(t.nmol, 0);
      for (int i = 0; i < t.nmol; ++i) {
        for (int j = i + 1; j < t.nmol; ++j) {
          const double dx = (stored[i][0] - stored[j][0]) * 0.01;
          const double dy = (stored[i][1] - stored[j][1]) * 0.01;
          const double dz = (stored[i][2] - stored[j][2]) * 0.01;
          if (std::sqrt(dx * dx + dy * dy + dz * dz) < 1.8) {
            expected[s].bonds.push_back({i + 1, j + 1});
            ++count[i];
            ++count[j];
          }
        }
      }
      if (expected[s].bonds.size() > static_cast<std::size_t>(2 * t.nmol)) {
        over_limit = true;
        ASSERT_EQ(c.run.output, swnt::format_text("Bond number exceeded the limit. (ibond=%d\n",
                                       static_cast<int>(expected[s].bonds.size())));
        break;
      }
      const int kinds[5] = {15, 14, 10, 2, 1};
      for (int i = 0; i < t.nmol; ++i) {
        const bool origin = stored[i] == std::array<int, 3>{0, 0, 0};
        expected[s].atoms.push_back(
            {origin ? 3 : kinds[std::min(count[i], 4)], stored[i][0], stored[i][1], stored[i][2]});
      }
    }
    if (over_limit) {
      EXPECT_EQ(c.run.result, 1);
      EXPECT_FALSE(file_exists(dir / "out.pv"));
      continue;
    }
    ASSERT_EQ(c.run.result, 0) << c.run.output;
    const auto scenes = decode_scenes(c.bytes);
    for (int s = 0; s < 3; ++s) {
      EXPECT_EQ(scenes[s].bonds, expected[s].bonds) << spread << " scene " << s;
      for (int i = 0; i < t.nmol; ++i) {
        const PvAtom& got = scenes[s].atoms[i];
        const PvAtom& want = expected[s].atoms[i];
        ASSERT_EQ(std::tie(got.kind, got.x, got.y, got.z),
                  std::tie(want.kind, want.x, want.y, want.z))
            << spread << " scene " << s << " atom " << i;
      }
    }
  }
}

}  // namespace
