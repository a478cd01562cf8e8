// The LAMMPS data file, laid out as LAMMPS's write_data lays it out: the
// title, the counts each followed by its number of types, the box bounds,
// Masses, with a force field the coefficients of each style, Atoms in the
// chosen style, then Bonds, Angles, Dihedrals and Impropers.  One file holds
// one scene.
#include <array>
#include <cmath>
#include <cstdlib>
#include <cstring>

#include "core/text_format.hpp"
#include "formats/format.hpp"

namespace swnt {

namespace {

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

// One line "id type a b ..." of a bonded term, atoms
// from 1: built in a buffer of its own and appended at once, since the
// millions of such lines of a large tube make up most of the file.
template <class... Atoms>
void append_term(std::string& text, unsigned long long id, int type, Atoms... atoms) {
  char line[22 * (sizeof...(Atoms) + 2)];
  char* at = put_number(line, id);
  *at++ = ' ';
  at = put_number(at, static_cast<unsigned long long>(type));
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

// A parameter as the coefficient sections write it: ten significant digits.
void append_real(std::string& text, double value) { text += format_text("%.10g", value); }

// The symbols of the atoms of term type t (from 1).
template <std::size_t N>
std::array<std::string_view, N> term_elements(const Topology& topology, const TermTypeTable& table,
                                              int t) {
  std::array<std::string_view, N> elements;
  for (std::size_t k = 0; k < N; ++k) elements[k] = topology.species[table.species(t)[k]].symbol;
  return elements;
}

// The coefficient sections of a force field, each headed by the style of
// LAMMPS that its numbers are for, as write_data names it:
//   PairIJ Coeffs # lj/cut      i j epsilon sigma, for every i <= j
//   Bond Coeffs # harmonic      t K r0
//   Angle Coeffs # harmonic     t K theta0
//   Dihedral Coeffs # charmm    t K n d w, w = 0 (1-4 pairs by special_bonds)
//   Improper Coeffs # harmonic  t K chi0
// Every pair is given, combined by the set's rule, so that the file means
// the same whatever pair_modify mix says.  The bonded sections are written
// when the terms are.  Throws the force field's Error for an element or a
// term it has no parameters for.
std::string coefficient_sections(const ForceField& forcefield, const Topology& topology,
                                 bool terms) {
  std::string text;
  const auto heading = [&](const char* name, int count) {
    if (count > 0) append_section(text, name);
    return count > 0;
  };
  const auto start = [&](int t) {
    append_int(text, t, 0);
    text += ' ';
  };
  const int species = static_cast<int>(topology.species.size());
  heading("PairIJ Coeffs # lj/cut", species);
  for (int i = 0; i < species; ++i) {
    for (int j = i; j < species; ++j) {
      const auto& si = topology.species[static_cast<std::size_t>(i)].symbol;
      const auto& sj = topology.species[static_cast<std::size_t>(j)].symbol;
      const PairParams pair = forcefield.pair(si, sj);
      start(i + 1);
      append_int(text, j + 1, 0);
      text += ' ';
      append_real(text, pair.epsilon);
      text += ' ';
      append_real(text, pair.sigma);
      text += '\n';
    }
  }
  if (!terms) return text;
  const TermTyping& typing = topology.typing;
  if (heading("Bond Coeffs # harmonic", typing.bonds.count())) {
    for (int t = 1; t <= typing.bonds.count(); ++t) {
      const auto e = term_elements<2>(topology, typing.bonds, t);
      const BondParams& p = forcefield.bond(e[0], e[1]);
      start(t);
      append_real(text, p.k);
      text += ' ';
      append_real(text, p.r0);
      text += '\n';
    }
  }
  if (heading("Angle Coeffs # harmonic", typing.angles.count())) {
    for (int t = 1; t <= typing.angles.count(); ++t) {
      const auto e = term_elements<3>(topology, typing.angles, t);
      const AngleParams& p = forcefield.angle(e[0], e[1], e[2]);
      start(t);
      append_real(text, p.k);
      text += ' ';
      append_real(text, p.theta0);
      text += '\n';
    }
  }
  if (heading("Dihedral Coeffs # charmm", typing.dihedrals.count())) {
    for (int t = 1; t <= typing.dihedrals.count(); ++t) {
      const auto e = term_elements<4>(topology, typing.dihedrals, t);
      const DihedralParams& p = forcefield.dihedral(e[0], e[1], e[2], e[3]);
      start(t);
      append_real(text, p.k);
      text += ' ';
      append_int(text, p.n, 0);
      text += ' ';
      // A whole number of degrees (the parameter file takes no other).
      append_int(text, static_cast<long long>(p.phase), 0);
      text += " 0.0\n";
    }
  }
  if (heading("Improper Coeffs # harmonic", typing.impropers.count())) {
    for (int t = 1; t <= typing.impropers.count(); ++t) {
      const auto e = term_elements<4>(topology, typing.impropers, t);
      const ImproperParams& p = forcefield.improper(e[0], e[1], e[2], e[3]);
      start(t);
      append_real(text, p.k);
      text += ' ';
      append_real(text, p.chi0);
      text += '\n';
    }
  }
  return text;
}

class LammpsDataWriter : public FrameWriter {
 public:
  explicit LammpsDataWriter(const FrameSettings& settings)
      : style_(settings.style), forcefield_(settings.forcefield), terms_(settings.terms) {}

  void write_frame(const Topology& topology, const FrameSource& source,
                   OutputFile& out) override {
    const bool molecular = style_ != LammpsStyle::atomic;
    const bool bonded = molecular && terms_;
    Counts counts{topology.atom_count(), bonded ? topology.bonds.size() : 0,
                  bonded ? topology.angle_count() : 0, bonded ? topology.dihedral_count() : 0,
                  bonded ? topology.improper_count() : 0};
    // The parameters first: a missing one leaves nothing written.
    const std::string coefficients =
        forcefield_ != nullptr ? coefficient_sections(*forcefield_, topology, bonded) : "";
    const std::vector<std::string> charges = charge_texts(topology);
    std::string& text = out.buffer();
    text += format_text(
        "LAMMPS data file written by %s from %s, scene %lld of %lld, periodic axes: %s",
        source.program.c_str(), source.input.c_str(), source.scene, source.scenes, axes_text(topology.cell.periodic).c_str());
    if (forcefield_ != nullptr) {
      text += ", force field " + printable(forcefield_->name) + ", units real";
    }
    text += "\n\n";
    write_counts(topology, counts, bonded, text);
    write_box(topology.cell, text);
    write_masses(topology, text);
    text += coefficients;
    write_atoms(topology, charges, out);
    if (!bonded) return;
    write_terms(topology, counts, out);
  }

 private:
  struct Counts {
    std::size_t atoms, bonds, angles, dihedrals, impropers;
  };

  // Per species the charge of the full style ("0.0" without a force field);
  // a style without charges refuses a force field that gives any.
  std::vector<std::string> charge_texts(const Topology& topology) const {
    std::vector<std::string> charges(topology.species.size(), "0.0");
    if (forcefield_ == nullptr) return charges;
    for (std::size_t t = 0; t < charges.size(); ++t) {
      const AtomParams& atom = forcefield_->atom(topology.species[t].symbol);
      if (atom.charge != 0.0 && style_ != LammpsStyle::full) {
        throw Error(format_text(
            "Error: the force field %s gives %s a charge, which the LAMMPS atom style %s "
            "cannot hold: use --style full.\n",
            printable(forcefield_->name).c_str(), atom.element.c_str(),
            style_ == LammpsStyle::molecular ? "molecular" : "atomic"));
      }
      charges[t] = format_text("%.10g", atom.charge);
      if (charges[t].find_first_of(".e") == std::string::npos) charges[t] += ".0";
    }
    return charges;
  }

  // Each count followed by its number of types; the bonded ones where the
  // terms are written (a file without them omits them, as write_data does
  // for a molecular system without bonds).
  void write_counts(const Topology& topology, const Counts& counts, bool bonded,
                    std::string& text) const {
    const TermTypes types = topology.term_types();
    append_count(text, counts.atoms, "atoms");
    append_count(text, topology.species.size(), "atom types");
    if (bonded) {
      append_count(text, counts.bonds, "bonds");
      append_count(text, static_cast<std::size_t>(types.bonds), "bond types");
      append_count(text, counts.angles, "angles");
      append_count(text, static_cast<std::size_t>(types.angles), "angle types");
      append_count(text, counts.dihedrals, "dihedrals");
      append_count(text, static_cast<std::size_t>(types.dihedrals), "dihedral types");
      append_count(text, counts.impropers, "impropers");
      append_count(text, static_cast<std::size_t>(types.impropers), "improper types");
    }
    text += '\n';
  }

  // The bounds, and for a triclinic cell its tilt factors: LAMMPS's
  // restricted triclinic form is the one the cell is kept in.
  static void write_box(const Cell& cell, std::string& text) {
    for (int a = 0; a < 3; ++a) {
      append_fixed(text, cell.lo[a], 0, kCoordinateDecimals);
      text += ' ';
      append_fixed(text, cell.hi[a], 0, kCoordinateDecimals);
      text += ' ';
      text += kAxisBounds[a];
      text += cell.periodic[a] ? "  # periodic\n" : "  # open\n";
    }
    if (cell.orthogonal()) return;
    // LAMMPS refuses a tilt beyond half the edge it skews (xy and xz that of
    // x, yz that of y) as it reads both: a tilt of exactly half (a
    // hexagonal cell) must not pass it by the rounding of the decimals.
    const auto printed = [](double value) {
      std::string digits;
      append_fixed(digits, value, 0, kCoordinateDecimals);
      return digits;
    };
    const std::array<std::pair<double, int>, 3> tilts{{{cell.xy, 0}, {cell.xz, 0}, {cell.yz, 1}}};
    for (const auto& [tilt, edge] : tilts) {
      const double half =
          (std::strtod(printed(cell.hi[edge]).c_str(), nullptr) -
           std::strtod(printed(cell.lo[edge]).c_str(), nullptr)) * 0.5;
      std::string digits = printed(tilt);
      const double step = std::pow(10.0, -kCoordinateDecimals);
      if (std::fabs(std::strtod(digits.c_str(), nullptr)) > half &&
          std::fabs(std::fabs(tilt) - half) <= step) {
        digits = printed(tilt > 0.0 ? tilt - step : tilt + step);
      }
      text += digits + ' ';
    }
    text += "xy xz yz\n";
  }

  static void write_masses(const Topology& topology, std::string& text) {
    append_section(text, "Masses");
    for (std::size_t t = 0; t < topology.species.size(); ++t) {
      append_int(text, static_cast<long long>(t) + 1, 0);
      text += ' ';
      text += format_text("%g", topology.species[t].mass);
      text += "  # " + topology.species[t].symbol + '\n';
    }
  }

  void write_atoms(const Topology& topology, const std::vector<std::string>& charges,
                   OutputFile& out) const {
    const bool bonded = style_ != LammpsStyle::atomic;
    std::string& text = out.buffer();
    append_section(text, style_ == LammpsStyle::full        ? "Atoms # full"
                         : style_ == LammpsStyle::molecular ? "Atoms # molecular"
                                                            : "Atoms # atomic");
    for (std::size_t i = 0; i < topology.atom_count(); ++i) {
      append_int(text, static_cast<long long>(i) + 1, 0);
      text += ' ';
      if (bonded) {
        append_int(text, topology.molecule[i], 0);
        text += ' ';
      }
      append_int(text, topology.kind[i] + 1, 0);
      if (style_ == LammpsStyle::full) {
        text += ' ';
        text += charges[topology.kind[i]];
      }
      for (const double c : topology.positions[i]) {
        text += ' ';
        append_fixed(text, c, 0, kCoordinateDecimals);
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
  }

  // Each kind of term numbered from 1, under its heading when there is one.
  static void write_terms(const Topology& topology, const Counts& counts, OutputFile& out) {
    std::string& text = out.buffer();
    unsigned long long id = 0;
    const auto section = [&](const char* heading, std::size_t count) {
      if (count > 0) append_section(text, heading);
      id = 0;
      return count > 0;
    };
    const auto term = [&](int type, auto... members) {
      append_term(text, ++id, type, members...);
      out.flush_if_full();
    };
    if (section("Bonds", counts.bonds)) {
      for (const AtomPair& bond : topology.bonds) {
        term(topology.bond_type(bond.first, bond.second), bond.first, bond.second);
      }
    }
    if (section("Angles", counts.angles)) {
      topology.for_each_angle([&](auto... m) { term(topology.angle_type(m...), m...); });
    }
    if (section("Dihedrals", counts.dihedrals)) {
      topology.for_each_dihedral([&](auto... m) { term(topology.dihedral_type(m...), m...); });
    }
    if (section("Impropers", counts.impropers)) {
      topology.for_each_improper([&](auto... m) { term(topology.improper_type(m...), m...); });
    }
  }

  LammpsStyle style_;
  const ForceField* forcefield_;
  bool terms_;
};

std::unique_ptr<FrameWriter> lammps_data_writer(const FrameSettings& settings) {
  return std::make_unique<LammpsDataWriter>(settings);
}

}  // namespace

bool parse_lammps_style(std::string_view text, LammpsStyle& style) {
  if (text == "full") {
    style = LammpsStyle::full;
  } else if (text == "molecular") {
    style = LammpsStyle::molecular;
  } else if (text == "atomic") {
    style = LammpsStyle::atomic;
  } else {
    return false;
  }
  return true;
}

const Format& lammps_data_format() {
  static const Format format{
      "lammps",
      "LAMMPS data file",
      {".data", ".lmp"},
      {.needs_bonds = true, .file_per_scene = true, .species = true, .cell = true},
      nullptr,
      lammps_data_writer};
  return format;
}

}  // namespace swnt
