#include "geometry/lattice.hpp"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <limits>
#include <string>

#include "cli/program.hpp"
#include "core/error.hpp"
#include "core/text_format.hpp"
#include "formats/structure_table.hpp"
#include "geometry/structure.hpp"
#include "test_support.hpp"

namespace {


std::string lf(double value) { return swnt::format_text("%lf", value); }
std::string lf(const swnt::Vec2& v) { return swnt::format_text("(%lf, %lf)", v.x, v.y); }

swnt::LatticeParams ideal(int n, int m) {
  return swnt::compute_lattice_params(n, m, swnt::cylindrical_structure(1.44));
}

// Every field of the record, as printf("%lf") and "%d" show it.
std::string summary(const swnt::LatticeParams& p) {
  return swnt::format_text("Ch=(%lf, %lf) T=(%lf, %lf) axis=(%lf, %lf) lench=%lf lent=%lf lencell=%lf "
                "diameter=%lf angle=%lf dr=%d t=(%d,%d) nhex=%d natom=%d",
                p.Ch.x, p.Ch.y, p.T.x, p.T.y, p.axis.x, p.axis.y, p.lench, p.lent, p.lencell,
                p.diameter, p.chiralangle, p.dr, p.t1, p.t2, p.nhex, p.natom);
}

TEST(Lattice, ExampleTubesDigitForDigit) {
  // axis.x of (10,10) is -Ch.y / lench with Ch.y = 0: a negative zero.
  EXPECT_EQ(summary(ideal(10, 10)),
            "Ch=(43.200000, 0.000000) T=(0.000000, 2.494153) axis=(-0.000000, 1.000000) "
            "lench=43.200000 lent=2.494153 lencell=2.494153 diameter=13.750987 angle=30.000000 "
            "dr=30 t=(1,-1) nhex=20 natom=40");
  EXPECT_EQ(summary(ideal(10, 0)),
            "Ch=(21.600000, 12.470766) T=(-2.160000, 3.741230) axis=(-0.500000, 0.866025) "
            "lench=24.941532 lent=4.320000 lencell=4.320000 diameter=7.939136 angle=0.000000 "
            "dr=10 t=(1,-2) nhex=20 natom=40");
  EXPECT_EQ(summary(ideal(8, 4)),
            "Ch=(25.920000, 4.988306) T=(-2.160000, 11.223689) axis=(-0.188982, 0.981981) "
            "lench=26.395636 lent=11.429646 lencell=11.429646 diameter=8.401992 angle=19.106605 "
            "dr=4 t=(4,-5) nhex=56 natom=112");
  EXPECT_EQ(summary(ideal(6, 5)),
            "Ch=(23.760000, 1.247077) T=(-2.160000, 41.153527) axis=(-0.052414, 0.998625) "
            "lench=23.792705 lent=41.210174 lencell=41.210174 diameter=7.573453 angle=26.995508 "
            "dr=1 t=(16,-17) nhex=182 natom=364");
}

TEST(Lattice, MirroredLatticeFlipsTheAxisAlongT) {
  swnt::StructureParams mirrored = swnt::cylindrical_structure(1.44);
  std::swap(mirrored.va1, mirrored.va2);  // va2 now counter-clockwise of va1
  const swnt::LatticeParams p = swnt::compute_lattice_params(8, 4, mirrored);
  // Raw axis is Ch turned counter-clockwise; here it points against T and is flipped.
  EXPECT_LT(swnt::dot_2d(p.T.x, p.T.y, -p.Ch.y, p.Ch.x), 0.0);
  EXPECT_EQ(p.axis.x, p.Ch.y / p.lench);
  EXPECT_EQ(p.axis.y, -(p.Ch.x / p.lench));
  EXPECT_GT(p.lencell, 0.0);
  EXPECT_EQ(lf(p.lencell), lf(ideal(8, 4).lencell));
}

TEST(Lattice, GreatestCommonDivisor) {
  EXPECT_EQ(swnt::greatest_common_divisor(-4, 6), 2);
  EXPECT_EQ(swnt::greatest_common_divisor(0, 7), 7);
  EXPECT_EQ(swnt::greatest_common_divisor(7, 0), 7);
  EXPECT_EQ(swnt::greatest_common_divisor(0, 0), 0);
  EXPECT_EQ(swnt::greatest_common_divisor(20, 25), 5);
  EXPECT_EQ(swnt::greatest_common_divisor(16, 17), 1);
}

TEST(Lattice, StructureReportAndDebugLines) {
  testing::internal::CaptureStdout();
  const swnt::StructureParams s = swnt::cylindrical_structure(1.44);
  swnt::print_text(swnt::structure_report(s, swnt::compute_lattice_params(10, 10, s, swnt::kPrint)));
  std::fflush(stdout);
  EXPECT_EQ(testing::internal::GetCapturedStdout(),
            " -- set structure of (10,10) SWNT.\n"
            "\n"
            "Structural parameters of (10, 10) SWNT\n"
            "Basic parameters of SWNT\n"
            " -- diameter:     13.750987[AA]\n"
            " -- chiral angle: 30.000000[deg]\n"
            " -- number of atoms in SWNT unit cell: 40\n"
            "Primitive lattice vectors of graphene\n"
            " -- va1[AA] = (2.160000, 1.247077)\n"
            " -- va2[AA] = (2.160000, -1.247077)\n"
            " -- vab[AA] = (1.440000, 0.000000)\n"
            "Primitive lattice vectors of SWNT on 2D graphene\n"
            " -- Ch[AA] = 10 va1 +10 va2 = (43.200000, 0.000000)\n"
            " -- T[AA]  = 1 va1 -1 va2 = (0.000000, 2.494153)\n");
}

TEST(Lattice, LatticesThatCannotMakeATube) {
  auto refusal = [](const swnt::StructureParams& s) {
    try {
      swnt::check_tube_lattice(s, swnt::compute_lattice_params(10, 10, s));
    } catch (const swnt::Error& error) {
      return std::string(error.what());
    }
    return std::string();
  };
  EXPECT_EQ(refusal(swnt::cylindrical_structure(1.44)), "");
  EXPECT_EQ(refusal(swnt::cylindrical_structure(1e-150)), "");
  EXPECT_EQ(refusal(swnt::cylindrical_structure(1e-200)),
            "Error: invalid lattice for (10,10) SWNT: the chiral vector has length 0.\n");
  EXPECT_EQ(refusal(swnt::cylindrical_structure(1e200)),
            "Error: invalid lattice for (10,10) SWNT: a lattice vector is not finite.\n");
  swnt::StructureParams flat{{1.0, 0.0}, {1.0, 0.0}, {0.5, 0.0}};  // T parallel to Ch
  EXPECT_EQ(refusal(flat),
            "Error: invalid lattice for (10,10) SWNT: the unit cell has length 0 along the tube axis.\n");
  swnt::StructureParams odd = swnt::cylindrical_structure(1.44);
  odd.vab.y = std::numeric_limits<double>::quiet_NaN();
  EXPECT_EQ(refusal(odd), "Error: invalid lattice for (10,10) SWNT: a lattice vector is not finite.\n");
}

// Structure table files: only the order of the numbers counts.
class StructureTable : public testing::Test {
 protected:
  // The va1, va2, vab of (n, m) as text, or the message that ended the search.
  std::string lookup(const std::string& content, int n, int m) {
    const auto path = dir_ / "table.dat";
    test_support::write_file(path, content);
    return lookup_path(path.string(), n, m);
  }
  std::string lookup_path(const std::string& path, int n, int m) {
    try {
      const swnt::StructureTableEntry e = swnt::read_structure_table(path, n, m);
      return lf({e.va1[0], e.va1[1]}) + lf({e.va2[0], e.va2[1]}) + lf({e.vab[0], e.vab[1]});
    } catch (const swnt::Error& error) {
      return error.what();
    }
  }
  test_support::TempDir dir_;
};

TEST_F(StructureTable, OddLayoutsFirstEntryWins) {
  const std::string table =
      "chirality  d  theta  N ; 8 4 first\n"
      "8 4\n1.5 2.5 7\n1 2\n3 4\n5 6\n"
      "10\n10 0.5\n0.5 7 1.1\n1.2 2.1 2.2 3.1 3.2\n"   // groups split over lines
      "10 10 0 0 0 9 9 9 9 9 9\n"                      // the same key again
      "6 5 0 0 0\t-1 -2 -3 -4 -5 -6\n";                // groups sharing a line, tab
  EXPECT_EQ(lookup(table, 8, 4), "(1.000000, 2.000000)(3.000000, 4.000000)(5.000000, 6.000000)");
  EXPECT_EQ(lookup(table, 10, 10), "(1.100000, 1.200000)(2.100000, 2.200000)(3.100000, 3.200000)");
  EXPECT_EQ(lookup(table, 6, 5), "(-1.000000, -2.000000)(-3.000000, -4.000000)(-5.000000, -6.000000)");
  EXPECT_EQ(lookup(table, 4, 8), "Error: parameters for (4,8) SWNT do not exist in the file.\n");
}

TEST_F(StructureTable, TruncatedMalformedAndMissingFiles) {
  const std::string missing = "Error: parameters for (5,5) SWNT do not exist in the file.\n";
  EXPECT_EQ(lookup("h\n5 5 0 0 0 1 1 1 1 1 1", 5, 5), missing);  // ends right after its last number
  EXPECT_EQ(lookup("h\n5 5 0 0 0 1 1 1 1 1 1 ", 5, 5),
            "(1.000000, 1.000000)(1.000000, 1.000000)(1.000000, 1.000000)");
  EXPECT_EQ(lookup("h\n5 5 0 0 0 1 1 1 1 1", 5, 5), missing);   // a number short
  EXPECT_EQ(lookup("h\n5 5 0 0 0 1 x 1 1 1 1\n", 5, 5), missing);
  EXPECT_EQ(lookup("5 5 0 0 0 1 1 1 1 1 1", 5, 5), missing);     // no line feed at all
  EXPECT_EQ(lookup("", 5, 5), missing);
  const std::string absent = (dir_ / "absent.dat").string();
  EXPECT_EQ(lookup_path(absent, 5, 5), "Error: file access failed for " + absent + "\n");
}

}  // namespace
