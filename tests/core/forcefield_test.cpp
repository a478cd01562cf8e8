// Force-field parameter files: every kind of mistake named with its line,
// a whole set read and looked up (exact entries before wildcards, terms in
// either direction), and the shipped set equal to its copy in examples/.
#include "core/forcefield.hpp"

#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>
#include <string>
#include <vector>

#include "core/error.hpp"
#include "test_support.hpp"

namespace {

using swnt::Error;
using swnt::ForceField;
using swnt::parse_forcefield;

std::string message_of(const std::string& text) {
  try {
    parse_forcefield(text, "my.ff");
  } catch (const Error& error) {
    return error.what();
  }
  return "(read without an error)";
}

TEST(ForceFieldFile, NamesTheLineOfEveryMistake) {
  const std::string atom = "atom C CA 0 3.55 0.07\n";
  struct Case {
    std::string text;
    std::string message;
  };
  const std::vector<Case> cases = {
      {atom + "bnd C C 469 1.4\n",
       "my.ff line 2: unknown entry <bnd>: source, combination, scale14, atom, bond, angle, "
       "dihedral or improper."},
      {atom + "bond C C 469\n", "my.ff line 2: bond takes 4 values (bond A B K R0), not 3."},
      {atom + "bond C C 469 1.4 2\n", "my.ff line 2: bond takes 4 values (bond A B K R0), not 5."},
      {atom + "bond C c 469 1.4\n",
       "my.ff line 2: <c> is not an element symbol (such as C, H or Si, or * for any element)."},
      {"atom * CA 0 3.55 0.07\n",
       "my.ff line 1: <*> is not an element symbol (such as C, H or Si; * only in bonded "
       "entries)."},
      {atom + "bond C C 4x9 1.4\n", "my.ff line 2: K <4x9> is not a number."},
      {atom + "bond C C nan 1.4\n", "my.ff line 2: K <nan> is not a number."},
      {atom + "bond C C 1e400 1.4\n", "my.ff line 2: K <1e400> is not a number."},
      {atom + "bond C C -1 1.4\n", "my.ff line 2: K <-1> is not from 0 to 1e+06."},
      {atom + "bond C C 469 0\n", "my.ff line 2: R0 <0> must be larger than 0."},
      {atom + "angle C C C 63 181\n", "my.ff line 2: THETA0 <181> is not from 0 to 180."},
      {atom + "dihedral * C C * 3.6 2.5 180\n", "my.ff line 2: N <2.5> is not a whole number."},
      {atom + "dihedral * C C * 3.6 7 180\n", "my.ff line 2: N <7> is not from 0 to 6."},
      {atom + "dihedral * C C * 3.6 2 90.5\n",
       "my.ff line 2: PHASE <90.5> is not a whole number."},
      {atom + "improper C * * * 2.2 200\n", "my.ff line 2: CHI0 <200> is not from -180 to 180."},
      {atom + "scale14 0.5 1.5\n", "my.ff line 2: COULOMB <1.5> is not from 0 to 1."},
      {atom + "combination lorentz\n",
       "my.ff line 2: unknown combination <lorentz>: geometric or arithmetic."},
      {atom + "combination geometric\ncombination arithmetic\n",
       "my.ff line 3: combination is given already on line 2."},
      {atom + "source\n", "my.ff line 2: source needs a text (source TEXT)."},
      {atom + "atom C CB 0 3.5 0.1\n", "my.ff line 2: the atom C is given already on line 1."},
      {atom + "atom H CA 0 2.4 0.03\n",
       "my.ff line 2: the type CA is the type of C already (line 1)."},
      {"atom C CA-1 0 3.55 0.07\n",
       "my.ff line 1: the type <CA-1> is not 1 to 6 letters, digits or '_'."},
      {atom + "bond C H 367 1.08\nbond H C 340 1.09\n",
       "my.ff line 3: the bond H C is given already on line 2."},
      {atom + "improper C * * H 2 0\nimproper C H * * 1 0\n",
       "my.ff line 3: the improper C H * * is given already on line 2."},
      {atom + "bond C C 469 1.4 # \xff\n", ""},  // a comment may hold anything
      {atom + "bond C\xff C 469 1.4\n",
       "my.ff line 2: <C\\xFF> is not an element symbol (such as C, H or Si, or * for any "
       "element)."},
      {"# nothing but comments\n\n", "my.ff: no atom line: a force field gives the atom "
                                     "parameters of at least one element."},
      {atom + std::string(swnt::kMaxForceFieldLineLength + 1, ' ') + "\n",
       "my.ff line 2: more than 1000 characters on one line."},
      {atom + std::string(swnt::kMaxForceFieldLines, '\n'),
       "my.ff line 10001: more than 10000 lines: no force field is that large."},
  };
  for (const Case& c : cases) {
    const std::string expected = c.message.empty() ? "(read without an error)"
                                                    : "Error: " + c.message + "\n";
    EXPECT_EQ(message_of(c.text), expected) << c.text.substr(0, 80);
  }
}

TEST(ForceFieldFile, ReadsASetAndLooksTermsUpByElement) {
  const ForceField set = parse_forcefield(
      "# a set of three elements, CR LF line ends\r\n"
      "source  A. Author, J. Chem. 1 (2000)  \r\n"
      "combination arithmetic\r\n"
      "scale14 0.5 0.8333\r\n"
      "atom C CT -0.1 3.4 0.086\r\n"
      "atom H HC +0.1 2.6 0.015   # the H of C-H\r\n"
      "atom N NT 0 3.25 0.17\r\n"
      "bond * * 300 1.5\r\n"
      "bond H C 340 1.09\r\n"
      "angle * C * 50 109.5\r\n"
      "angle H C N 35 110\r\n"
      "dihedral * C C * 0.15 3 0\r\n"
      "dihedral H C C N -0.5 1 -180\r\n"
      "improper C * * * 1 0\r\n"
      "improper C N H * 5 0\r\n"
      "improper C C N H 10 0\r\n",
      "three.ff");
  EXPECT_EQ(set.name, "three.ff");
  EXPECT_EQ(set.source, "A. Author, J. Chem. 1 (2000)");
  EXPECT_EQ(set.combination, swnt::Combination::arithmetic);
  EXPECT_EQ(set.lj14, 0.5);
  EXPECT_EQ(set.coulomb14, 0.8333);
  EXPECT_EQ(set.atom("H").type, "HC");
  EXPECT_EQ(set.atom("H").charge, 0.1);
  EXPECT_EQ(set.atom("C").charge, -0.1);
  // Exact entries before wildcards, in either direction.
  EXPECT_EQ(set.bond("C", "H").k, 340.0);
  EXPECT_EQ(set.bond("H", "C").r0, 1.09);
  EXPECT_EQ(set.bond("C", "N").k, 300.0);
  EXPECT_EQ(set.angle("N", "C", "H").k, 35.0);
  EXPECT_EQ(set.angle("H", "C", "H").theta0, 109.5);
  EXPECT_EQ(set.dihedral("N", "C", "C", "H").k, -0.5);
  EXPECT_EQ(set.dihedral("N", "C", "C", "H").phase, -180.0);
  EXPECT_EQ(set.dihedral("H", "C", "C", "H").n, 3);
  // An improper's outer atoms in any order; a wildcard entry matches all.
  EXPECT_EQ(set.improper("C", "H", "C", "N").k, 10.0);
  EXPECT_EQ(set.improper("C", "N", "N", "N").k, 1.0);
  // Among entries with "*", the first in the file.
  EXPECT_EQ(set.improper("C", "H", "N", "H").k, 1.0);
  // Pairs: the arithmetic mean of sigma, the geometric one of epsilon.
  EXPECT_DOUBLE_EQ(set.pair("C", "H").sigma, 3.0);
  EXPECT_DOUBLE_EQ(set.pair("H", "C").epsilon, std::sqrt(0.086 * 0.015));
  EXPECT_EQ(set.pair("N", "N").sigma, 3.25);

  const auto message = [&](auto lookup) {
    try {
      lookup();
    } catch (const Error& error) {
      return std::string(error.what());
    }
    return std::string("(found)");
  };
  EXPECT_EQ(message([&] { set.atom("B"); }),
            "Error: the force field three.ff has no parameters for the element B.\n");
  EXPECT_EQ(message([&] { set.pair("C", "B"); }),
            "Error: the force field three.ff has no parameters for the element B.\n");
  EXPECT_EQ(message([&] { set.angle("C", "N", "C"); }),
            "Error: the force field three.ff has no parameters for the angle C-N-C.\n");
  EXPECT_EQ(message([&] { set.dihedral("C", "N", "C", "C"); }),
            "Error: the force field three.ff has no parameters for the dihedral C-N-C-C.\n");
  EXPECT_EQ(message([&] { set.improper("N", "C", "C", "C"); }),
            "Error: the force field three.ff has no parameters for the improper on N with C, C, "
            "C.\n");
}

TEST(ForceFieldFile, ShipsTheDefaultSetAsTheExampleFileHoldsIt) {
  EXPECT_EQ(swnt::shipped_forcefield_names(), std::vector<std::string_view>{"opls-aa"});
  EXPECT_EQ(swnt::shipped_forcefield_text("default"), swnt::shipped_forcefield_text("opls-aa"));
  EXPECT_EQ(test_support::read_file(std::filesystem::path(TEST_DATA_DIR) / "../../examples/opls-aa.ff"),
            swnt::shipped_forcefield_text("opls-aa"));
  ForceField set;
  ASSERT_TRUE(swnt::shipped_forcefield("default", set));
  EXPECT_EQ(set.name, "opls-aa");
  EXPECT_EQ(set.lj14, 0.5);
  EXPECT_EQ(set.coulomb14, 0.5);
  EXPECT_EQ(set.atom("C").type, "CA");
  EXPECT_EQ(set.bond("H", "C").k, 367.0);
  EXPECT_EQ(set.angle("H", "C", "C").k, 35.0);
  EXPECT_EQ(set.dihedral("H", "C", "C", "H").k, 3.625);
  EXPECT_EQ(set.improper("C", "H", "C", "C").k, 2.2);
  EXPECT_FALSE(swnt::shipped_forcefield("charmm", set));
  EXPECT_EQ(swnt::shipped_forcefield_text("charmm"), "");
}

}  // namespace
