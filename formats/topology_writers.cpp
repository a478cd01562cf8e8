#include "formats/topology_writers.hpp"

#include <cstring>

#include "core/text_format.hpp"

namespace swnt {

namespace {

// Coordinates and box bounds of the LAMMPS and extended XYZ files: more
// decimals than any trajectory writer prints, so that nothing read is lost.
constexpr int kDecimals = 8;

constexpr char kAxisName[3] = {'x', 'y', 'z'};
constexpr const char* kAxisBounds[3] = {"xlo xhi", "ylo yhi", "zlo zhi"};

// The decimal digits of `value` at `at`, which has room for 20; returns
// the end.  Two digits at a time from a table: the atom numbers of the
// bonded terms are most of what a large LAMMPS file holds.
char* put_number(char* at, unsigned long long value) {
  static constexpr char kPairs[] =
      "00010203040506070809101112131415161718192021222324252627282930313233343536373839"
      "40414243444546474849505152535455565758596061626364656667686970717273747576777879"
      "8081828384858687888990919293949596979899";
  char digits[20];
  char* first = digits + sizeof digits;
  while (value >= 100) {
    const auto pair = static_cast<std::size_t>(value % 100) * 2;
    value /= 100;
    *--first = kPairs[pair + 1];
    *--first = kPairs[pair];
  }
  if (value >= 10) {
    const auto pair = static_cast<std::size_t>(value) * 2;
    *--first = kPairs[pair + 1];
    *--first = kPairs[pair];
  } else {
    *--first = static_cast<char>('0' + value);
  }
  const auto length = static_cast<std::size_t>(digits + sizeof digits - first);
  std::memcpy(at, first, length);
  return at + length;
}

// One line "id type a b ..." of a bonded term (a type of one digit), atoms
// from 1: built in a buffer of its own and appended at once, since the
// millions of such lines of a large tube make up most of the file.
template <class... Atoms>
void append_term(std::string& text, unsigned long long id, int type, Atoms... atoms) {
  char line[22 * (sizeof...(Atoms) + 2)];
  char* at = put_number(line, id);
  *at++ = ' ';
  *at++ = static_cast<char>('0' + type);
  ((*at++ = ' ', at = put_number(at, static_cast<unsigned long long>(atoms) + 1)), ...);
  *at++ = '\n';
  text.append(line, static_cast<std::size_t>(at - line));
}

void append_count(std::string& text, std::size_t count, const char* what) {
  append_int(text, static_cast<long long>(count), 0);
  text += ' ';
  text += what;
  text += '\n';
}

void append_section(std::string& text, const char* heading) {
  text += '\n';
  text += heading;
  text += "\n\n";
}

// `value` with three decimals in exactly `width` columns; false when it
// needs more.
bool append_columns(std::string& text, double value, int width) {
  const std::size_t before = text.size();
  append_fixed(text, value, width, 3);
  if (text.size() - before == static_cast<std::size_t>(width)) return true;
  text.resize(before);
  return false;
}

}  // namespace

void write_lammps_data(const Topology& topology, LammpsStyle style, const std::string& title,
                       OutputFile& out) {
  const bool bonded = style != LammpsStyle::atomic;
  const std::size_t atoms = topology.atom_count();
  const std::size_t angles = bonded ? topology.angle_count() : 0;
  const std::size_t dihedrals = bonded ? topology.dihedral_count() : 0;
  const std::size_t impropers = bonded ? topology.improper_count() : 0;

  std::string& text = out.buffer();
  text += title;
  text += "\n\n";
  // The header as LAMMPS's write_data lays it out: each count followed by
  // its number of types.
  const TermTypes types = topology.term_types();
  append_count(text, atoms, "atoms");
  append_count(text, topology.species.size(), "atom types");
  if (bonded) {
    append_count(text, topology.bonds.size(), "bonds");
    append_count(text, static_cast<std::size_t>(types.bonds), "bond types");
    append_count(text, angles, "angles");
    append_count(text, static_cast<std::size_t>(types.angles), "angle types");
    append_count(text, dihedrals, "dihedrals");
    append_count(text, static_cast<std::size_t>(types.dihedrals), "dihedral types");
    append_count(text, impropers, "impropers");
    append_count(text, static_cast<std::size_t>(types.impropers), "improper types");
  }
  text += '\n';
  for (int a = 0; a < 3; ++a) {
    append_fixed(text, topology.cell.lo[a], 0, kDecimals);
    text += ' ';
    append_fixed(text, topology.cell.hi[a], 0, kDecimals);
    text += ' ';
    text += kAxisBounds[a];
    text += topology.cell.periodic[a] ? "  # periodic\n" : "  # open\n";
  }

  append_section(text, "Masses");
  for (std::size_t t = 0; t < topology.species.size(); ++t) {
    append_int(text, static_cast<long long>(t) + 1, 0);
    text += ' ';
    text += format_text("%g", topology.species[t].mass);
    text += "  # " + topology.species[t].symbol + '\n';
  }

  append_section(text, style == LammpsStyle::full        ? "Atoms # full"
                       : style == LammpsStyle::molecular ? "Atoms # molecular"
                                                         : "Atoms # atomic");
  for (std::size_t i = 0; i < atoms; ++i) {
    append_int(text, static_cast<long long>(i) + 1, 0);
    text += ' ';
    if (bonded) {
      append_int(text, topology.molecule[i], 0);
      text += ' ';
    }
    append_int(text, topology.kind[i] + 1, 0);
    if (style == LammpsStyle::full) text += " 0.0";
    for (const double c : topology.positions[i]) {
      text += ' ';
      append_fixed(text, c, 0, kDecimals);
    }
    if (bonded) {
      for (const std::int32_t image : topology.images[i]) {
        text += ' ';
        append_int(text, image, 0);
      }
    }
    text += '\n';
    out.flush_if_full();
  }
  if (!bonded) return;

  // Each kind of term numbered from 1, under its heading when there is one.
  unsigned long long id = 0;
  const auto section = [&](const char* heading, std::size_t count) {
    if (count > 0) append_section(text, heading);
    id = 0;
    return count > 0;
  };
  const bool hydrogenated = topology.hydrogenated();
  const auto term = [&](auto... members) {
    append_term(text, ++id, hydrogenated ? topology.term_type(members...) : 1, members...);
    out.flush_if_full();
  };
  if (section("Bonds", topology.bonds.size())) {
    for (const AtomPair& bond : topology.bonds) term(bond.first, bond.second);
  }
  if (section("Angles", angles)) topology.for_each_angle(term);
  if (section("Dihedrals", dihedrals)) topology.for_each_dihedral(term);
  if (section("Impropers", impropers)) topology.for_each_improper(term);
}

void write_extxyz_frame(const Topology& topology, OutputFile& out) {
  std::string& text = out.buffer();
  append_int(text, static_cast<long long>(topology.atom_count()), 0);
  text += "\nLattice=\"";
  for (int a = 0; a < 3; ++a) {
    for (int b = 0; b < 3; ++b) {
      if (a + b > 0) text += ' ';
      if (a == b) {
        append_fixed(text, topology.cell.length(a), 0, kDecimals);
      } else {
        text += '0';
      }
    }
  }
  text += "\" Properties=species:S:1:pos:R:3 pbc=\"";
  for (int a = 0; a < 3; ++a) {
    if (a > 0) text += ' ';
    text += topology.cell.periodic[a] ? 'T' : 'F';
  }
  text += "\" Origin=\"";
  for (int a = 0; a < 3; ++a) {
    if (a > 0) text += ' ';
    append_fixed(text, topology.cell.lo[a], 0, kDecimals);
  }
  text += "\"\n";
  for (std::size_t i = 0; i < topology.atom_count(); ++i) {
    text += topology.species[topology.kind[i]].symbol;
    for (const double c : topology.positions[i]) {
      text += ' ';
      append_fixed(text, c, 14, kDecimals);
    }
    text += '\n';
    out.flush_if_full();
  }
}

std::string hybrid36(long long value, int width) {
  long long decimal_limit = 1;
  long long letters = 26;  // the first digit of the base-36 forms is a letter: 26 values
  for (int k = 0; k < width; ++k) decimal_limit *= 10;
  for (int k = 1; k < width; ++k) letters *= 36;
  if (value < 0) return "";
  if (value < decimal_limit) {
    std::string text;
    append_int(text, value, width);
    return text;
  }
  long long rest = value - decimal_limit;
  const char* digits = "0123456789ABCDEFGHIJKLMNOPQRSTUVWXYZ";
  if (rest >= letters) {
    rest -= letters;
    digits = "0123456789abcdefghijklmnopqrstuvwxyz";
    if (rest >= letters) return "";
  }
  // The upper-case range starts at "A000..", which is 10 * 36^(width-1).
  rest += letters / 26 * 10;
  std::string text(static_cast<std::size_t>(width), '0');
  for (int k = width - 1; k >= 0; --k) {
    text[static_cast<std::size_t>(k)] = digits[rest % 36];
    rest /= 36;
  }
  return text;
}

void write_pdb_remark(const PeriodicAxes& periodic, OutputFile& out) {
  out.buffer() += "REMARK   1 PERIODIC AXES: " + axes_text(periodic) + '\n';
}

bool write_pdb_model(const Topology& topology, long long model, OutputFile& out,
                     std::string& error) {
  std::string& text = out.buffer();
  if (model != 0) {
    const std::string number = hybrid36(model, 4);
    if (number.empty()) {
      error = format_text("scene %lld is beyond the models that PDB can number", model);
      return false;
    }
    text += "MODEL     " + number + '\n';
  }
  text += "CRYST1";
  for (int a = 0; a < 3; ++a) {
    if (!append_columns(text, topology.cell.length(a), 9)) {
      error = format_text("the box length %.3f along %c does not fit the nine columns of PDB",
                          topology.cell.length(a), kAxisName[a]);
      return false;
    }
  }
  text += "  90.00  90.00  90.00 P 1           1\n";
  if (topology.molecule_count > kPdbMaxResidue) {
    error = format_text("%u molecules are more than the %lld that PDB can number",
                        topology.molecule_count, kPdbMaxResidue);
    return false;
  }
  if (static_cast<long long>(topology.atom_count()) > kPdbMaxSerial) {
    error = format_text("%zu atoms are more than the %lld that PDB can number",
                        topology.atom_count(), kPdbMaxSerial);
    return false;
  }
  for (std::size_t i = 0; i < topology.atom_count(); ++i) {
    const std::string& element = topology.species[topology.kind[i]].symbol;
    text += "HETATM";
    text += hybrid36(static_cast<long long>(i) + 1, 5);
    // The atom name: a one-letter element stands in the second column.
    text += element.size() == 1 ? "  " + element + "  " : ' ' + element + "  ";
    text += " CNT A";
    text += hybrid36(topology.molecule[i], 4);
    text += "    ";
    for (int a = 0; a < 3; ++a) {
      const double c = topology.positions[i][a];
      if (!append_columns(text, c, 8)) {
        error = format_text(
            "atom %zu: its %c coordinate %.3f does not fit the eight columns of PDB "
            "(-999.999 to 9999.999)",
            i + 1, kAxisName[a], c);
        return false;
      }
    }
    text += "  1.00  0.00          ";
    if (element.size() == 1) text += ' ';
    text += element;
    text += '\n';
    out.flush_if_full();
  }
  if (model != 0) text += "ENDMDL\n";
  return true;
}

void write_pdb_bonds(const Topology& topology, OutputFile& out) {
  std::string& text = out.buffer();
  const NeighbourLists& lists = topology.neighbours;
  for (std::size_t i = 0; i < topology.atom_count(); ++i) {
    for (std::size_t k = lists.start[i]; k < lists.start[i + 1]; k += 4) {
      text += "CONECT";
      text += hybrid36(static_cast<long long>(i) + 1, 5);
      for (std::size_t m = k; m < lists.start[i + 1] && m < k + 4; ++m) {
        text += hybrid36(static_cast<long long>(lists.index[m]) + 1, 5);
      }
      text += '\n';
    }
    out.flush_if_full();
  }
  text += "END\n";
}

}  // namespace swnt
