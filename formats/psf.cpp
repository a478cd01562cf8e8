// CHARMM, NAMD and OpenMM: the structure NAME.psf, the parameters NAME.prm,
// the coordinates NAME.crd and NAME.pdb of one scene.  The psf lists the
// atoms (segment, residue, name, type, charge, mass) and the bonds, angles,
// dihedrals and impropers by atom number, in the order of every other
// topology file here (impropers with their centre first); the prm holds
// the force field's numbers for exactly the types the terms hold, by the
// atom types' names; the crd holds the coordinates in Angstrom with ten
// decimals; the pdb the same atoms with the cell in CRYST1.  CHARMM's forms
// are the force field's own (k (r - r0)^2, k (theta - theta0)^2,
// k (1 + cos(n phi - phase)), k (chi - chi0)^2), so its numbers are written
// unchanged, in kcal/mol and Angstrom.
#include <algorithm>
#include <array>
#include <cmath>

#include "core/text_format.hpp"
#include "formats/atom_names.hpp"
#include "formats/format.hpp"
#include "formats/registry.hpp"

namespace swnt {

namespace {

// 2^(1/6): the distance of the Lennard-Jones minimum, Rmin, over sigma.
const double kRminPerSigma = std::pow(2.0, 1.0 / 6.0);

// A parameter as CHARMM reads it, ten significant digits.
std::string parameter(double value) { return format_text("%.10g", value); }

// The columns of the standard layout and of the extended one (EXT), which a
// file needs once a residue number, a segment or an atom type is longer
// than four characters, or an atom number longer than eight digits.
struct Layout {
  bool extended = false;
  int number = 8;  // width of an atom number in the lists of terms
};

class PsfWriter : public FrameWriter {
 public:
  explicit PsfWriter(const FrameSettings& settings)
      : settings_(settings),
        forcefield_(parameters_of(settings)),
        pdb_(find_format("pdb")->frame_writer(settings)) {}

  void write_frame(const Topology& topology, const FrameSource& source,
                   OutputFile& out) override {
    atom_types_.clear();
    for (const Species& species : topology.species) {
      atom_types_.push_back(&forcefield_.atom(species.symbol));
    }
    prm_ = parameters(topology, source);  // every lookup before any atom is written
    const AtomNaming naming(topology);
    const Layout layout = layout_of(topology, naming);
    std::string& text = out.buffer();
    text += layout.extended ? "PSF EXT\n\n" : "PSF\n\n";
    const std::string title = title_of(source);
    count_line(text, 3, "NTITLE", layout);
    text += "* " + title + "\n* force field " + forcefield_.name + "\n* " +
            cell_text(topology.cell) + "\n\n";
    write_atoms(topology, naming, layout, out);
    const bool terms = settings_.terms;
    write_list(out, layout, "NBOND: bonds", 2, terms ? topology.bonds.size() : 0, [&](auto term) {
      for (const AtomPair& bond : topology.bonds) term(std::array{bond.first, bond.second});
    });
    write_list(out, layout, "NTHETA: angles", 3, terms ? topology.angle_count() : 0, [&](auto term) {
      topology.for_each_angle([&](auto... atoms) { term(std::array{atoms...}); });
    });
    write_list(out, layout, "NPHI: dihedrals", 4, terms ? topology.dihedral_count() : 0,
               [&](auto term) {
                 topology.for_each_dihedral([&](auto... atoms) { term(std::array{atoms...}); });
               });
    write_list(out, layout, "NIMPHI: impropers", 4, terms ? topology.improper_count() : 0,
               [&](auto term) {
                 topology.for_each_improper([&](auto... atoms) { term(std::array{atoms...}); });
               });
    count_line(text, 0, "NDON: donors", layout);
    text += "\n\n";
    count_line(text, 0, "NACC: acceptors", layout);
    text += "\n\n";
    // No non-bonded exclusions beyond the bonds: one zero per atom.
    count_line(text, 0, "NNB", layout);
    text += '\n';
    for (std::size_t i = 0; i < topology.atom_count(); ++i) {
      append_int(text, 0, layout.number);
      if (i % 8 == 7 || i + 1 == topology.atom_count()) text += '\n';
      out.flush_if_full();
    }
    text += '\n';
    append_int(text, 1, layout.number);
    append_int(text, 0, layout.number);
    text += " !NGRP NST2\n";
    append_int(text, 0, layout.number);
    append_int(text, 0, layout.number);
    append_int(text, 0, layout.number);
    text += "\n\n";
  }

  // The parameters, the coordinates and the PDB file.
  void write_companions(const Topology& topology, const FrameSource& source,
                        std::span<OutputFile> files) override {
    files[0].write(prm_);
    write_coordinates(topology, source, files[1]);
    FrameSource one = source;
    one.every_scene = false;
    pdb_->begin(files[2]);
    pdb_->write_frame(topology, one, files[2]);
    pdb_->end(topology, files[2]);
  }

 private:
  static std::string title_of(const FrameSource& source) {
    return format_text("written by %s from %s, scene %lld of %lld", source.program.c_str(),
                       source.input.c_str(),
                       source.scene, source.scenes);
  }

  // The segment of a molecule: S1, S2, ...
  // The cell in full, since the PDB file's CRYST1 holds three decimals and
  // the engines take the cell from their own input: lengths in Angstrom and
  // angles in degrees, then the periodic axes.
  static std::string cell_text(const Cell& cell) {
    std::array<double, 3> length{};
    std::array<Position3, 3> edge{};
    for (int k = 0; k < 3; ++k) {
      edge[k] = cell.vector(k);
      length[k] = std::sqrt(edge[k][0] * edge[k][0] + edge[k][1] * edge[k][1] + edge[k][2] * edge[k][2]);
    }
    const auto angle = [&](int a, int b) {
      const double dot = edge[a][0] * edge[b][0] + edge[a][1] * edge[b][1] + edge[a][2] * edge[b][2];
      return std::acos(dot / (length[a] * length[b])) * (180.0 / kPi);
    };
    return format_text("cell %.10g %.10g %.10g %.10g %.10g %.10g, periodic axes: %s", length[0],
                       length[1], length[2], angle(1, 2), angle(0, 2), angle(0, 1),
                       axes_text(cell.periodic).c_str());
  }

  static std::string segment(std::uint32_t molecule) { return format_text("S%u", molecule); }

  Layout layout_of(const Topology& topology, const AtomNaming& naming) const {
    Layout layout;
    std::uint32_t molecules = 0;
    for (const std::uint32_t m : topology.molecule) molecules = std::max(molecules, m);
    bool long_type = false;
    for (const AtomParams* atom : atom_types_) long_type = long_type || atom->type.size() > 4;
    layout.extended = naming.residue_count > 9999 || segment(molecules).size() > 4 || long_type ||
                      topology.atom_count() > 99999999;
    layout.number = layout.extended ? 10 : 8;
    return layout;
  }

  static void count_line(std::string& text, std::size_t count, const char* title,
                         const Layout& layout) {
    append_int(text, static_cast<long long>(count), layout.number);
    text += " !";
    text += title;
    text += '\n';
  }

  void write_atoms(const Topology& topology, const AtomNaming& naming, const Layout& layout,
                   OutputFile& out) const {
    std::string& text = out.buffer();
    count_line(text, topology.atom_count(), "NATOM", layout);
    // Columns: number, segment, residue, residue name, atom name, type,
    // charge, mass, a zero; the fields of a species are the same for all
    // its atoms, and a molecule's segment for all of its.
    const int field = layout.extended ? 8 : 4;
    std::vector<std::string> tail;
    for (std::size_t s = 0; s < topology.species.size(); ++s) {
      tail.push_back(format_text(" %-*s %10.6f    %10.4f  %10d\n", layout.extended ? 6 : 4,
                                 atom_types_[s]->type.c_str(), atom_types_[s]->charge,
                                 topology.species[s].mass, 0));
    }
    std::uint32_t molecule = 0;
    std::string segment_field;
    for (std::size_t i = 0; i < topology.atom_count(); ++i) {
      if (i == 0 || topology.molecule[i] != molecule) {
        molecule = topology.molecule[i];
        segment_field = format_text(" %-*s ", field, segment(molecule).c_str());
      }
      append_int(text, static_cast<long long>(i) + 1, layout.number);
      text += segment_field;
      append_left(text, std::to_string(naming.residue[i]), field);
      text += ' ';
      append_left(text, "CNT", field);
      text += ' ';
      append_left(text, naming.name(topology, i), field);
      text += tail[topology.kind[i]];
      out.flush_if_full();
    }
    text += '\n';
  }

  // `value` left-aligned in `width` columns, more when it needs them.
  static void append_left(std::string& text, const std::string& value, int width) {
    text += value;
    if (value.size() < static_cast<std::size_t>(width)) text.append(static_cast<std::size_t>(width) - value.size(), ' ');
  }

  // A section of terms: its count and title, then the atom numbers of
  // the terms, as many to a line as make eight or nine numbers.
  template <class Each>
  static void write_list(OutputFile& out, const Layout& layout, const char* title,
                         std::size_t arity, std::size_t count, Each&& each) {
    std::string& text = out.buffer();
    count_line(text, count, title, layout);
    const std::size_t per_line = arity == 3 ? 3 : 8 / arity;
    std::size_t on_line = 0;
    if (count > 0) {
      each([&](const auto& atoms) {
        for (const std::uint32_t atom : atoms) append_int(text, atom + 1LL, layout.number);
        if (++on_line == per_line) {
          text += '\n';
          on_line = 0;
          out.flush_if_full();
        }
      });
    }
    if (on_line > 0) text += '\n';
    text += '\n';
  }

  void write_coordinates(const Topology& topology, const FrameSource& source,
                         OutputFile& out) const {
    const AtomNaming naming(topology);
    std::string& text = out.buffer();
    text += "* " + title_of(source) + "\n*\n";
    append_int(text, static_cast<long long>(topology.atom_count()), 10);
    text += "  EXT\n";
    // Columns: number, residue, residue name, atom name, x, y, z, segment,
    // residue within the segment, weight.
    std::uint32_t molecule = 0;
    std::string segment_name;
    for (std::size_t i = 0; i < topology.atom_count(); ++i) {
      if (i == 0 || topology.molecule[i] != molecule) {
        molecule = topology.molecule[i];
        segment_name = segment(molecule);
      }
      const Position3& p = topology.positions[i];
      append_int(text, static_cast<long long>(i) + 1, 10);
      append_int(text, naming.residue[i], 10);
      text += "  CNT       ";
      append_left(text, naming.name(topology, i), 8);
      for (const double c : p) append_fixed(text, c, 20, 10);
      text += "  ";
      append_left(text, segment_name, 8);
      text += "  ";
      append_left(text, std::to_string(naming.residue[i]), 8);
      text += "        0.0000000000\n";
      out.flush_if_full();
    }
  }

  // The prm file: masses, the bonded terms by the atom types of each term
  // type, the Lennard-Jones numbers (CHARMM's Rmin/2 and negative epsilon,
  // the 1-4 columns scaled), and for a geometric set one NBFIX line per
  // unlike pair of types, since CHARMM itself adds the Rmin/2 of a pair.
  std::string parameters(const Topology& topology, const FrameSource& source) const {
    const TermTyping& typing = topology.typing;
    const auto symbol = [&](const TermTypeTable& table, int t, int k) -> const std::string& {
      return topology.species[table.species(t)[static_cast<std::size_t>(k)]].symbol;
    };
    const auto types = [&](const TermTypeTable& table, int t, int count) {
      std::array<std::string, 4> names;
      for (int k = 0; k < count; ++k) {
        names[static_cast<std::size_t>(k)] = atom_types_[table.species(t)[static_cast<std::size_t>(k)]]->type;
      }
      return names;
    };
    const auto column = [](const std::string& name) { return format_text("%-6s ", name.c_str()); };
    std::string text = "* CHARMM parameters written by " + source.program + ": force field " +
                       forcefield_.name + "\n* units kcal/mol, Angstrom, degrees\n*\n\nATOMS\n";
    for (std::size_t s = 0; s < topology.species.size(); ++s) {
      text += "MASS  -1  " + column(atom_types_[s]->type) + format_text("%.6f", topology.species[s].mass) +
              " " + topology.species[s].symbol + "\n";
    }
    if (settings_.terms) {
      text += "\nBONDS\n";
      for (int t = 1; t <= typing.bonds.count(); ++t) {
        const auto names = types(typing.bonds, t, 2);
        const BondParams& p = forcefield_.bond(symbol(typing.bonds, t, 0), symbol(typing.bonds, t, 1));
        text += column(names[0]) + column(names[1]) + parameter(p.k) + "  " + parameter(p.r0) + "\n";
      }
      text += "\nANGLES\n";
      for (int t = 1; t <= typing.angles.count(); ++t) {
        const auto names = types(typing.angles, t, 3);
        const AngleParams& p = forcefield_.angle(symbol(typing.angles, t, 0),
                                                 symbol(typing.angles, t, 1), symbol(typing.angles, t, 2));
        text += column(names[0]) + column(names[1]) + column(names[2]) + parameter(p.k) + "  " +
                parameter(p.theta0) + "\n";
      }
      text += "\nDIHEDRALS\n";
      for (int t = 1; t <= typing.dihedrals.count(); ++t) {
        const auto names = types(typing.dihedrals, t, 4);
        const DihedralParams& p = forcefield_.dihedral(
            symbol(typing.dihedrals, t, 0), symbol(typing.dihedrals, t, 1),
            symbol(typing.dihedrals, t, 2), symbol(typing.dihedrals, t, 3));
        text += column(names[0]) + column(names[1]) + column(names[2]) + column(names[3]) +
                parameter(p.k) + "  " + std::to_string(p.n) + "  " + parameter(p.phase) + "\n";
      }
      // CHARMM matches an improper's types in their order (or reversed):
      // every order of the outer atoms that a term can have is written.
      text += "\nIMPROPER\n";
      for (int t = 1; t <= typing.impropers.count(); ++t) {
        auto names = types(typing.impropers, t, 4);
        const ImproperParams& p = forcefield_.improper(
            symbol(typing.impropers, t, 0), symbol(typing.impropers, t, 1),
            symbol(typing.impropers, t, 2), symbol(typing.impropers, t, 3));
        std::sort(names.begin() + 1, names.end());
        std::vector<std::array<std::string, 4>> written;
        do {
          // An order read backwards is the same entry; with equal types at
          // both ends, so is the one with its middle two swapped (the angle
          // between the same two planes).
          std::array<std::string, 4> key = names;
          if (key[3] < key[0]) std::reverse(key.begin(), key.end());
          if (key[0] == key[3] && key[2] < key[1]) std::swap(key[1], key[2]);
          if (std::find(written.begin(), written.end(), key) != written.end()) continue;
          written.push_back(key);
          text += column(names[0]) + column(names[1]) + column(names[2]) + column(names[3]) +
                  parameter(p.k) + "  0  " + parameter(p.chi0) + "\n";
        } while (std::next_permutation(names.begin() + 1, names.end()));
      }
    }
    text += "\nNONBONDED nbxmod 5 atom cdiel shift vatom vdistance vswitch cutnb 14.0 ctofnb 12.0 "
            "ctonnb 10.0 eps 1.0 e14fac " + parameter(forcefield_.coulomb14) + " wmin 1.5\n";
    for (std::size_t s = 0; s < topology.species.size(); ++s) {
      const AtomParams& atom = *atom_types_[s];
      const std::string half = parameter(atom.sigma * kRminPerSigma / 2.0);
      text += column(atom.type) + "0.0  " + parameter(-atom.epsilon) + "  " + half + "  0.0  " +
              parameter(-atom.epsilon * forcefield_.lj14) + "  " + half + "\n";
    }
    if (forcefield_.combination == Combination::geometric && topology.species.size() > 1) {
      text += "\nNBFIX\n";
      for (std::size_t a = 0; a < topology.species.size(); ++a) {
        for (std::size_t b = a + 1; b < topology.species.size(); ++b) {
          const PairParams pair = forcefield_.pair(topology.species[a].symbol, topology.species[b].symbol);
          const std::string rmin = parameter(pair.sigma * kRminPerSigma);
          text += column(atom_types_[a]->type) + column(atom_types_[b]->type) +
                  parameter(-pair.epsilon) + "  " + rmin + "  " +
                  parameter(-pair.epsilon * forcefield_.lj14) + "  " + rmin + "\n";
        }
      }
    }
    text += "\nEND\n";
    return text;
  }

  FrameSettings settings_;
  ForceField forcefield_;
  std::unique_ptr<FrameWriter> pdb_;
  std::vector<const AtomParams*> atom_types_;
  std::string prm_;
};

std::unique_ptr<FrameWriter> psf_writer(const FrameSettings& settings) {
  return std::make_unique<PsfWriter>(settings);
}

}  // namespace

const Format& psf_format() {
  static const Format format{"psf",
                             "CHARMM/NAMD structure with parameters and coordinates",
                             {".psf"},
                             {.needs_bonds = true, .file_per_scene = true, .species = true, .cell = true},
                             nullptr,
                             psf_writer,
                             {".prm", ".crd", ".pdb"}};
  return format;
}

}  // namespace swnt
