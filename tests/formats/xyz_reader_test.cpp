// The XYZ reader: our own extended XYZ read back as written, ASE's extended
// XYZ of a turned triclinic cell read as ASE itself puts it into LAMMPS's
// form, plain XYZ, and every malformed file refused with the line at fault.
#include "formats/xyz_reader.hpp"

#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

#include "formats/registry.hpp"
#include "test_support.hpp"

namespace {

using swnt::Frame;
using swnt::Position3;
using swnt::XyzReader;
using swnt::XyzSettings;

std::vector<Frame> read_all(const std::string& text, const XyzSettings& settings = {}) {
  XyzReader reader("t.xyz", settings);
  reader.open_text(text);
  std::vector<Frame> frames;
  for (Frame frame; reader.read_frame(frame);) frames.push_back(frame);
  return frames;
}

// The text of `frames` as the extended XYZ writer writes them.
std::string written(const std::vector<swnt::Topology>& frames) {
  test_support::TempDir dir;
  const swnt::Format* format = swnt::find_format("extxyz");
  const auto writer = format->frame_writer({});
  swnt::OutputFile out;
  EXPECT_TRUE(out.open((dir / "t.extxyz").string()));
  writer->begin(out);
  for (const swnt::Topology& frame : frames) writer->write_frame(frame, {"t", 1, 1, false}, out);
  writer->end(frames.back(), out);
  EXPECT_TRUE(out.commit());
  return test_support::read_file(dir / "t.extxyz");
}

// Frames written by our extended XYZ writer are read back with their
// species, positions (to the eight decimals written), cell and periodic
// axes, and write the same bytes again.
TEST(XyzReader, ReadsOurExtendedXyzBackAsWritten) {
  std::vector<swnt::Topology> frames(2);
  for (std::size_t f = 0; f < frames.size(); ++f) {
    swnt::Topology& t = frames[f];
    t.species = {swnt::kCarbon, swnt::kHydrogen, {"N", 14.007, 3}};
    t.kind = {0, 0, 2, 1, 0};
    t.positions = {{0.5, 1.25, -3.0}, {1.0 / 3.0, 2.0, 4.5 + static_cast<double>(f)},
                   {-7.123456789, 0.0, 1e-9}, {2.5, -2.5, 2.5}, {9.87654321, 8.0, 7.0}};
    t.cell.lo = {-5.0, -6.0, -7.5};
    t.cell.hi = {5.0, 6.5, 7.5};
    t.cell.periodic = {false, true, true};
  }
  const std::string text = written(frames);
  const std::vector<Frame> read = read_all(text);
  ASSERT_EQ(read.size(), 2u);
  for (std::size_t f = 0; f < read.size(); ++f) {
    const Frame& r = read[f];
    const swnt::Topology& t = frames[f];
    ASSERT_EQ(r.atom_count(), t.atom_count());
    for (std::size_t i = 0; i < r.atom_count(); ++i) {
      const swnt::Species& species = r.species[r.kind[i]];
      const swnt::Species& original = t.species[t.kind[i]];
      EXPECT_EQ(species.symbol, original.symbol);
      EXPECT_EQ(species.mass, original.mass);
      for (int k = 0; k < 3; ++k) EXPECT_NEAR(r.positions[i][k], t.positions[i][k], 5.1e-9);
    }
    // Carbon, hydrogen, then the others as they come.
    ASSERT_EQ(r.species.size(), 3u);
    EXPECT_EQ(r.species[0].symbol, "C");
    EXPECT_EQ(r.species[1].symbol, "H");
    EXPECT_EQ(r.species[2].symbol, "N");
    EXPECT_EQ(r.cell.lo, t.cell.lo);
    EXPECT_EQ(r.cell.hi, t.cell.hi);
    EXPECT_TRUE(r.cell.orthogonal());
    EXPECT_EQ(r.cell.periodic, t.cell.periodic);
    EXPECT_TRUE(r.molecule.empty());
  }
  std::vector<swnt::Topology> again(read.size());
  for (std::size_t f = 0; f < read.size(); ++f) static_cast<Frame&>(again[f]) = read[f];
  EXPECT_EQ(written(again), text);
}

// ASE's file of a graphene sheet (ase.build.graphene, 2 x 2 cells, 5
// Angstrom of vacuum, positions raised a little in the second frame) turned
// by 33 degrees about (1, 2, 3) with its cell, with columns of every type
// beside species and pos, pbc "T T F".  The cell and positions read are
// those that ASE's own Prism makes of that file for LAMMPS.
TEST(XyzReader, ReadsAseExtendedXyzIntoTheCellsOwnForm) {
  const std::vector<Frame> frames =
      read_all(test_support::read_file(std::string(TEST_DATA_DIR) + "/xyz/graphene_ase.extxyz"));
  ASSERT_EQ(frames.size(), 2u);
  const std::vector<std::vector<Position3>> expected = {
      {{-2.5831563554845616e-09, -1.2544032479411271e-10, 5.000000000944679},
       {1.2300000032333362, 0.71014082977806792, 4.9999999990701767},
       {-1.2299999999000435, 2.1304224976583006, 5.0000000015278134},
       {1.3191516767818712e-09, 2.8405633187141621, 5.0000000004175078},
       {2.4599999962980852, -2.569178203515321e-11, 4.9999999945844333},
       {3.689999999549066, 0.71014083202483691, 5.0000000021337527},
       {1.2299999989811981, 2.1304224977580493, 4.9999999951675678},
       {2.4599999976348808, 2.8405633209609311, 5.0000000034810856}},
      {{-2.5831563554845616e-09, -1.2544032479411271e-10, 5.000000000944679},
       {1.2300000025457176, 0.71014083278720685, 5.1000000039599573},
       {-1.230000003307067, 2.1304224926819106, 5.2000000026477489},
       {4.387318952581154e-09, 2.8405633234475371, 5.2999999962392019},
       {2.4600000025832771, -5.2671814687599294e-09, 5.3999999993170285},
       {3.6899999992102099, 0.7101408317818223, 5.4999999990753814},
       {1.2300000018593662, 2.1304224875401698, 5.6000000010200983},
       {2.4599999984862997, 2.8405633245891733, 5.7000000007784513}}};
  for (std::size_t f = 0; f < frames.size(); ++f) {
    const Frame& frame = frames[f];
    const swnt::Cell& cell = frame.cell;
    EXPECT_EQ(cell.lo, (Position3{0.0, 0.0, 0.0}));
    EXPECT_NEAR(cell.hi[0], 4.92, 1e-12);
    EXPECT_NEAR(cell.hi[1], 4.2608449866194382, 1e-12);
    EXPECT_NEAR(cell.hi[2], 10.0, 1e-12);
    EXPECT_NEAR(cell.xy, -2.46, 1e-12);
    EXPECT_NEAR(cell.xz, 0.0, 1e-12);
    EXPECT_NEAR(cell.yz, 0.0, 1e-12);
    EXPECT_EQ(cell.periodic, (swnt::PeriodicAxes{true, true, false}));
    ASSERT_EQ(frame.atom_count(), 8u);
    for (std::size_t i = 0; i < 8; ++i) {
      EXPECT_EQ(frame.kind[i], 0);
      for (int k = 0; k < 3; ++k) EXPECT_NEAR(frame.positions[i][k], expected[f][i][k], 1e-12);
    }
    EXPECT_EQ(frame.species.size(), 1u);
    EXPECT_EQ(frame.molecule, (std::vector<std::uint32_t>{1, 1, 2, 2, 1, 1, 2, 2}));
    EXPECT_EQ(frame.molecule_count, 2u);
  }
}

// Plain XYZ (an XMOL file of ours, say): any case of the symbols, further
// columns passed over, no cell; CR LF line ends and a blank line at the end.
// The file's pbc flags give way to the axes the reader is told.
TEST(XyzReader, ReadsPlainXyzAndTheAxesItIsTold) {
  const std::vector<Frame> plain =
      read_all("3\r\ntitle = \"a tube\"\r\nh 0 0 0 extra\r\nCL 1.5 +2 0x1p1\r\nc -1 -2 -3\r\n\r\n");
  ASSERT_EQ(plain.size(), 1u);
  const Frame& frame = plain[0];
  ASSERT_EQ(frame.species.size(), 3u);
  EXPECT_EQ(frame.species[0].symbol, "C");
  EXPECT_EQ(frame.species[1].symbol, "H");
  EXPECT_EQ(frame.species[2].symbol, "Cl");
  EXPECT_EQ(frame.species[2].mass, 35.45);
  EXPECT_EQ(frame.kind, (std::vector<std::uint8_t>{1, 2, 0}));
  EXPECT_EQ(frame.positions[1], (Position3{1.5, 2.0, 2.0}));
  EXPECT_EQ(frame.cell.hi, (Position3{0.0, 0.0, 0.0}));
  EXPECT_EQ(frame.cell.periodic, (swnt::PeriodicAxes{false, false, false}));

  const std::string extended =
      "1\nlattice=\"10 0 0 0 10 0 0 0 10\" PBC=[T,F,T] origin={1 2 3}\nC 1 2 3\n";
  EXPECT_EQ(read_all(extended)[0].cell.periodic, (swnt::PeriodicAxes{true, false, true}));
  EXPECT_EQ(read_all(extended)[0].cell.lo, (Position3{1.0, 2.0, 3.0}));
  XyzSettings told;
  told.periodic = swnt::PeriodicAxes{false, false, true};
  EXPECT_EQ(read_all(extended, told)[0].cell.periodic, (swnt::PeriodicAxes{false, false, true}));
  XyzSettings plain_only;
  plain_only.plain = true;
  EXPECT_EQ(read_all(extended, plain_only)[0].cell.hi, (Position3{0.0, 0.0, 0.0}));
  // Blanks around '=' (as ASE allows them), one flag for all three axes.
  EXPECT_EQ(read_all("1\nLattice = \"10 0 0 0 10 0 0 0 10\" pbc= F\nC 1 2 3\n")[0].cell.periodic,
            (swnt::PeriodicAxes{false, false, false}));
  // Without pbc a Lattice repeats along all three axes.
  EXPECT_EQ(read_all("1\nLattice=\"10 0 0 0 10 0 0 0 10\"\nC 1 2 3\n")[0].cell.periodic,
            (swnt::PeriodicAxes{true, true, true}));
}

TEST(XyzReader, PassesOverFramesAndStartsAgain) {
  XyzReader reader("t.xyz");
  reader.open_text("1\n\nC 0 0 0\n2\n\nC 0 0 0\nH 0 0 1\n");
  EXPECT_TRUE(reader.skip_frame());
  Frame frame;
  EXPECT_TRUE(reader.read_frame(frame));
  EXPECT_EQ(frame.atom_count(), 2u);
  EXPECT_FALSE(reader.skip_frame());
  EXPECT_EQ(reader.frames(), 2);
  EXPECT_TRUE(reader.rewind());
  EXPECT_TRUE(reader.read_frame(frame));
  EXPECT_EQ(frame.atom_count(), 1u);
}

// Every malformed frame is refused with the line at fault and nothing
// read from a count it announces.
TEST(XyzReader, RefusesMalformedFilesNamingTheLine) {
  const std::string cell = "Lattice=\"10 0 0 0 10 0 0 0 10\" ";
  struct Case {
    std::string text;
    std::string error;
  };
  const std::vector<Case> cases = {
      {"2\n\nC 0 0 0\n", "the file ends after 1 of the 2 atoms that line 1 announces"},
      {"4000000000\n\nC 0 0 0\n", "line 1: the atom count \"4000000000\" is more than the "
                                  "2147483647 atoms a frame may hold"},
      {"2147483647\n\nC 0 0 0\n", "the file ends after 1 of the 2147483647 atoms that line 1 "
                                  "announces"},
      {"1\n", "the file ends before the comment line of frame 1 (line 2)"},
      {"1\n\nC 0 0 0\nC 1 1 1\n", "line 4: \"C 1 1 1\" where the atom count of frame 2 is expected"},
      {"x\n", "line 1: \"x\" where the atom count of frame 1 is expected"},
      {"-1\n", "line 1: \"-1\" where the atom count of frame 1 is expected"},
      {"1\n\nC 0 0 0\n\n1\n", "line 4: an empty line where the atom count of frame 2 is expected"},
      {"1\n\nXx 0 0 0\n", "line 3: unknown element \"Xx\""},
      {"1\n\nC 0 0\n", "line 3: \"C 0 0\" is not an element and three coordinates"},
      {"1\n\nC 0 nan 0\n", "line 3: the coordinate \"nan\" is not a finite number"},
      {"1\n\nC 0 1e999 0\n", "line 3: the coordinate \"1e999\" is not a finite number"},
      {"1\n\nC 0 -inf 0\n", "line 3: the coordinate \"-inf\" is not a finite number"},
      {"1\n\nC 0 1.5d0 0\n", "line 3: the coordinate \"1.5d0\" is not a number"},
      {"1\nLattice=\"10 0 0 0 10 0\"\nC 0 0 0\n",
       "line 2: the Lattice holds 6 numbers where nine are needed"},
      {"1\nLattice=\"10 0 0 0 10 0 0 0 inf\"\nC 0 0 0\n",
       "line 2: the Lattice value \"inf\" is not a finite number"},
      {"1\nLattice=\"10 0 0 0 10 0 5 5 0\"\nC 0 0 0\n",
       "line 2: the Lattice makes no cell: its vectors lie in one plane (the cell has no volume)"},
      {"1\nLattice=\"10 0 0 0 10 0 0 0 -10\"\nC 0 0 0\n",
       "line 2: the Lattice makes no cell: its vectors a, b, c are left-handed (a negative "
       "volume): swap two of them"},
      {"1\n" + cell + "Origin=\"1 2\"\nC 0 0 0\n",
       "line 2: the Origin holds 2 numbers where three are needed"},
      {"1\n" + cell + "pbc=\"T F\"\nC 0 0 0\n", "line 2: pbc \"T F\" is not one or three of T and F"},
      {"1\n" + cell + "pbc=\"T F yes\"\nC 0 0 0\n",
       "line 2: pbc \"T F yes\" is not one or three of T and F"},
      {"1\n" + cell + "Lattice=\"10 0 0 0 10 0 0 0 10\n",
       "line 2: a quote or bracket of the comment line is never closed"},
      {"1\nProperties=species:S:1\nC\n",
       "line 2: the Properties \"species:S:1\" have no column pos (pos:R:3)"},
      {"1\nProperties=pos:R:3\n0 0 0\n",
       "line 2: the Properties \"pos:R:3\" have no column species (species:S:1)"},
      {"1\nProperties=species:S:1:pos:R:3:q:X:1\nC 0 0 0 1\n",
       "line 2: the Properties give column \"q\" the unknown type \"X\" (S, R, I or L)"},
      {"1\nProperties=species:S:1:pos:R:3:q:R:0\nC 0 0 0\n",
       "line 2: the Properties give column \"q\" the count \"0\", not a positive whole number"},
      {"1\nProperties=species:S:1:pos:R:3:q:R\nC 0 0 0\n",
       "line 2: the Properties \"species:S:1:pos:R:3:q:R\" are not name:type:count triples"},
      {"1\nProperties=species:S:1:pos:R:2\nC 0 0\n",
       "line 2: the Properties give the column pos as \"R:2\", not R:3"},
      {"1\nProperties=species:S:1:pos:R:3:pos:R:3\nC 0 0 0 0 0 0\n",
       "line 2: the Properties name the column \"pos\" twice"},
      {"1\nProperties=species:S:1:pos:R:3:q:R:2\nC 0 0 0 1\n",
       "line 3: 5 fields where the Properties \"species:S:1:pos:R:3:q:R:2\" give 6"},
      {"1\n" + cell + "\nC 0 0 0 1\n",
       "line 3: 5 fields where the Properties \"species:S:1:pos:R:3\" give 4"},
      {"2\nProperties=species:S:1:pos:R:3:molecule:I:1\nC 0 0 0 1\nC 0 0 1 3\n",
       "line 4: the molecule \"3\" is not a whole number from 1 to 2, the atoms of the frame"},
      {"1\n\nC 0 0 0\n" + std::string(17 << 20, 'x'),
       "line 4: a line of more than 16777216 characters"},
  };
  for (const Case& c : cases) {
    std::string error;
    try {
      read_all(c.text);
    } catch (const swnt::Error& e) {
      error = e.what();
    }
    EXPECT_EQ(error, "Error: invalid XYZ file t.xyz: " + c.error + ".\n") << c.text.substr(0, 200);
  }
}

}  // namespace
