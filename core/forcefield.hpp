// Force-field parameters for the bonded terms and Lennard-Jones, written
// into the engines' files themselves.  Values are kept in the units of a
// LAMMPS `units real` run: kcal/mol, Angstrom, degrees, elementary charges.
// The functional forms are those that LAMMPS, GROMACS and CHARMM (and so
// OpenMM and NAMD) all have:
//   bond      E = k (r - r0)^2                  (LAMMPS bond harmonic)
//   angle     E = k (theta - theta0)^2          (LAMMPS angle harmonic)
//   dihedral  E = k (1 + cos(n phi - phase))    (LAMMPS dihedral charmm/harmonic)
//   improper  E = k (chi - chi0)^2, chi the dihedral centre-a-b-c (LAMMPS
//             improper harmonic)
//   pair      E = 4 epsilon ((sigma/r)^12 - (sigma/r)^6), unlike pairs by
//             the set's combination rule, 1-4 pairs scaled by `lj14`.
// A set is read from a small text file (parse_forcefield documents it); the
// shipped sets are such texts too.  Lookups go by element symbols, with "*"
// matching any element.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace swnt {

struct AtomParams {
  std::string element;  // chemical symbol it applies to
  std::string type;     // the engines' atom type name (at most 6 characters)
  double charge = 0.0;  // e
  double sigma = 0.0;   // Angstrom
  double epsilon = 0.0; // kcal/mol
};

struct BondParams {
  double k = 0.0;   // kcal/mol/Angstrom^2
  double r0 = 0.0;  // Angstrom
};

struct AngleParams {
  double k = 0.0;       // kcal/mol/rad^2
  double theta0 = 0.0;  // degrees
};

struct DihedralParams {
  double k = 0.0;      // kcal/mol
  int n = 1;           // multiplicity, 0..6
  double phase = 0.0;  // degrees
};

struct ImproperParams {
  double k = 0.0;     // kcal/mol/rad^2
  double chi0 = 0.0;  // degrees
};

enum class Combination { geometric, arithmetic };  // how sigma of unlike pairs combines (epsilon always geometric)

// The Lennard-Jones parameters of a pair of atoms.
struct PairParams {
  double sigma = 0.0;    // Angstrom
  double epsilon = 0.0;  // kcal/mol
};

// One parameter line of a set: the elements it applies to ("*" for any) and
// its numbers.
template <class Params, int N>
struct TermEntry {
  std::string elements[N];
  Params params;
};

struct ForceField {
  std::string name;    // as --forcefield names it, or the file's name
  std::string source;  // where the numbers come from (a citation)
  Combination combination = Combination::geometric;
  double lj14 = 1.0;       // scale of the Lennard-Jones energy of 1-4 pairs
  double coulomb14 = 1.0;  // and of their Coulomb energy
  std::vector<AtomParams> atoms;
  std::vector<TermEntry<BondParams, 2>> bonds;
  std::vector<TermEntry<AngleParams, 3>> angles;          // the centre second
  std::vector<TermEntry<DihedralParams, 4>> dihedrals;
  std::vector<TermEntry<ImproperParams, 4>> impropers;    // the centre first

  // The parameters of the element, or of the bonded term of these elements
  // (read in either direction; an improper's three outer atoms in any
  // order); exact entries before those with "*", then the first in the
  // file.  Throws Error "Error: the force field NAME has no parameters for
  // ..." naming the element or term.
  const AtomParams& atom(std::string_view element) const;
  const BondParams& bond(std::string_view a, std::string_view b) const;
  const AngleParams& angle(std::string_view a, std::string_view centre, std::string_view c) const;
  const DihedralParams& dihedral(std::string_view a, std::string_view b, std::string_view c,
                                 std::string_view d) const;
  const ImproperParams& improper(std::string_view centre, std::string_view a, std::string_view b,
                                 std::string_view c) const;
  // The Lennard-Jones parameters of a pair of elements by the set's
  // combination rule: sigma the geometric or arithmetic mean, epsilon the
  // geometric one; a like pair keeps its own numbers exactly.  Throws as
  // atom() does.
  PairParams pair(std::string_view a, std::string_view b) const;
};

// Bounds of a parameter file: lines, and characters on one line.
inline constexpr std::size_t kMaxForceFieldLines = 10000;
inline constexpr std::size_t kMaxForceFieldLineLength = 1000;

// The set of a parameter file's text; `name` names it (ForceField::name)
// and its messages.  One entry per line, its fields separated by blanks or
// tabs; `#` starts a comment that runs to the end of the line, blank lines
// and a carriage return before the line end are ignored:
//   source TEXT                      where the numbers come from (the rest of the line)
//   combination geometric|arithmetic (default geometric)
//   scale14 LJ COULOMB               the 1-4 scales, 0 to 1 (default 1 1)
//   atom ELEMENT TYPE CHARGE SIGMA EPSILON
//   bond A B K R0
//   angle A CENTRE C K THETA0
//   dihedral A B C D K N PHASE
//   improper CENTRE A B C K CHI0
// ELEMENT is a chemical symbol (C, H, Si); the bonded entries also take "*"
// for any element.  TYPE has 1 to 6 letters, digits or '_'.  Numbers are
// decimal (1.4, 1e-3) and bounded: SIGMA, EPSILON and K (but a dihedral's)
// at least 0, R0 above 0, THETA0 0 to 180, CHI0 -180 to 180, N a whole
// number 0 to 6, PHASE whole degrees -360 to 360 (LAMMPS's dihedral style
// charmm takes no other), every number at most 1e6 in magnitude.  source,
// combination and scale14 come at most once, an element's atom entry once,
// a bonded entry once (read in either direction, an improper's outer atoms
// in any order), a type name once.  At least one atom entry; at most
// kMaxForceFieldLines lines of kMaxForceFieldLineLength characters.
// Throws Error "Error: NAME line N: ...\n" naming the line of a mistake.
ForceField parse_forcefield(std::string_view text, std::string_view name);

// The sets shipped with the programs, by name ("default" names one of them).
std::vector<std::string_view> shipped_forcefield_names();
// The shipped set of that name (or "default"); false when there is none.
bool shipped_forcefield(std::string_view name, ForceField& forcefield);
// The text of the shipped set of that name (or "default"), as a parameter
// file holds it; empty when there is none.
std::string_view shipped_forcefield_text(std::string_view name);

// Unit conversions the engines' files need.
inline constexpr double kKilojoulePerKilocalorie = 4.184;

}  // namespace swnt
