// GROMACS: the topology NAME.top and the coordinates NAME.gro of one scene.
// The topology holds everything grompp needs, with no #include: the force
// field's [ defaults ] and [ atomtypes ], the parameters of every type of
// bonded term ([ bondtypes ], [ angletypes ], [ dihedraltypes ]), one
// [ moleculetype ] per distinct molecule with its [ atoms ], [ bonds ],
// [ pairs ], [ angles ] and [ dihedrals ] (the impropers in a second
// [ dihedrals ]), then [ system ] and [ molecules ].  The terms name their
// atoms only; grompp and OpenMM's GromacsTopFile find their parameters by
// the atom types, which keeps a tube of 10^6 atoms a plain list of numbers.
// Units are GROMACS's: nm, kJ/mol, degrees.
#include <algorithm>
#include <array>
#include <cmath>
#include <functional>
#include <unordered_map>

#include "core/text_format.hpp"
#include "formats/format.hpp"

namespace swnt {

namespace {

constexpr double kNanometrePerAngstrom = 0.1;

// The coordinates and the box of the .gro file in nm, 10 decimals in 16
// columns: -9999 to 99999 nm.  GROMACS and OpenMM read a .gro by columns and
// take the width of a coordinate from the distance between the first two
// decimal points of the first atom line; OpenMM also wants its columns
// 22-28, 30-36 and 38-44 to hold parts of numbers, which 16 columns keep for
// every value (15 would not, nor 9 to 14).  GROMACS's own three decimals
// (0.01 Angstrom) change the bond energy of a tube by 2 % and its angle
// energy by half, and five still the angle energy by 0.1 %.
constexpr int kGroDecimals = 10;
constexpr int kGroWidth = 16;

// Residue and atom numbers have five columns in a .gro line: GROMACS writes
// them modulo 100000, and so do we.
constexpr long long kGroNumberModulus = 100000;

// One residue per molecule, named as in our PDB files; the molecule types
// are CNT1, CNT2, ... in the order of their first molecule.
constexpr std::string_view kResidueName = "CNT";

// The chemical symbols by atomic number, for the at.num column of
// [ atomtypes ], from which OpenMM takes the elements.
constexpr std::string_view kElementSymbols =
    " H He Li Be B C N O F Ne Na Mg Al Si P S Cl Ar K Ca Sc Ti V Cr Mn Fe Co Ni Cu Zn Ga Ge As Se"
    " Br Kr Rb Sr Y Zr Nb Mo Tc Ru Rh Pd Ag Cd In Sn Sb Te I Xe Cs Ba La Ce Pr Nd Pm Sm Eu Gd Tb"
    " Dy Ho Er Tm Yb Lu Hf Ta W Re Os Ir Pt Au Hg Tl Pb Bi Po At Rn Fr Ra Ac Th Pa U Np Pu Am Cm"
    " Bk Cf Es Fm Md No Lr Rf Db Sg Bh Hs Mt Ds Rg Cn Nh Fl Mc Lv Ts Og ";

// The atomic number of `symbol`, or 0 when it is no element.
int atomic_number(std::string_view symbol) {
  const std::string padded = ' ' + std::string(symbol) + ' ';
  const std::size_t at = kElementSymbols.find(padded);
  if (symbol.empty() || at == std::string_view::npos) return 0;
  return static_cast<int>(std::count(kElementSymbols.begin(),
                                     kElementSymbols.begin() + static_cast<long>(at) + 1, ' '));
}

// A number of a parameter as GROMACS reads it: ten significant digits.
std::string parameter(double value) { return format_text("%.10g", value); }

// A charge, always with a decimal point: OpenMM takes a one-character
// field of [ atomtypes ] where the charge stands for the particle type.
std::string charge(double value) {
  std::string text = parameter(value);
  if (text.find_first_of(".en") == std::string::npos) text += ".0";
  return text;
}

// Writes `value` right-aligned in `width` columns (more when it needs them)
// at `at`, which has room for 20 more; returns the end.
char* put_padded(char* at, unsigned long long value, int width) {
  char digits[20];
  char* const end = digits + sizeof digits;
  char* first = end;
  do {
    *--first = static_cast<char>('0' + value % 10);
    value /= 10;
  } while (value != 0);
  for (auto length = end - first; length < width; ++length) *at++ = ' ';
  while (first != end) *at++ = *first++;
  return at;
}

void append_padded(std::string& text, unsigned long long value, int width) {
  char line[48];
  text.append(line, static_cast<std::size_t>(put_padded(line, value, width) - line));
}

// The lines of bonded terms: the atoms (numbered from 1) in 7 columns each
// (a blank before every number), then the function type.  Gathered in a
// block of their own and handed to the output a block at a time, since the
// tens of millions of such lines of a large tube are most of the file.
class TermLines {
 public:
  explicit TermLines(OutputFile& out) : out_(out) {}

  template <std::size_t N>
  void add(const std::array<std::uint32_t, N>& atoms, char function) {
    if (block_.size() - used_ < kLineRoom) flush();
    char* at = block_.data() + used_;
    for (const std::uint32_t atom : atoms) {
      *at++ = ' ';
      at = put_padded(at, atom + 1ULL, 6);
    }
    *at++ = ' ';
    *at++ = ' ';
    *at++ = function;
    *at++ = '\n';
    used_ = static_cast<std::size_t>(at - block_.data());
  }

  // Hands what is gathered to the output; call it at the end of a section.
  void flush() {
    out_.write(std::string_view(block_.data(), used_));
    used_ = 0;
  }

 private:
  static constexpr std::size_t kLineRoom = 4 * 21 + 4;
  OutputFile& out_;
  std::array<char, 1 << 16> block_{};
  std::size_t used_ = 0;
};

// Every ordering of the three outer atoms of an improper, the centre first,
// each once: grompp and OpenMM match a term's atom types to a type in their
// order (or reversed), while the force field's impropers take the outer
// atoms in any order.
std::vector<std::array<std::string, 4>> improper_orders(const std::array<std::string, 4>& types) {
  std::array<std::string, 3> outer{types[1], types[2], types[3]};
  std::sort(outer.begin(), outer.end());
  std::vector<std::array<std::string, 4>> orders;
  do {
    orders.push_back({types[0], outer[0], outer[1], outer[2]});
  } while (std::next_permutation(outer.begin(), outer.end()));
  return orders;
}

class GromacsWriter : public FrameWriter {
 public:
  explicit GromacsWriter(const FrameSettings& settings)
      : terms_(settings.terms), forcefield_(parameters_of(settings)) {}

  void write_frame(const Topology& topology, const FrameSource& source,
                   OutputFile& out) override {
    take_atom_types(topology);
    group_molecules(topology);
    std::string& text = out.buffer();
    write_header(topology, source, text);
    write_defaults(text);
    write_atom_types(topology, text);
    if (terms_) write_term_types(topology, text);
    for (std::size_t type = 0; type < representative_.size(); ++type) {
      write_molecule_type(topology, type, out);
    }
    text += "\n[ system ]\n" + title(source) + "\n\n[ molecules ]\n; name  count\n";
    write_molecule_counts(text);
  }

  void write_companions(const Topology& topology, const FrameSource& source,
                        std::span<OutputFile> files) override {
    write_coordinates(topology, source, files[0]);
  }

 private:
  static std::string title(const FrameSource& source) {
    return format_text("written by %s from %s, scene %lld of %lld", source.program.c_str(),
                       source.input.c_str(),
                       source.scene, source.scenes);
  }

  // The force field's atom type of every species; throws when an element
  // has none.
  void take_atom_types(const Topology& topology) {
    atom_types_.clear();
    for (const Species& species : topology.species) {
      atom_types_.push_back(&forcefield_.atom(species.symbol));
    }
  }

  const std::string& type_name(std::uint8_t kind) const { return atom_types_[kind]->type; }

  // The atoms grouped by molecule, molecule after molecule as GROMACS
  // numbers them (ascending molecule numbers, the atoms of each in their
  // order), and the molecules grouped into types: molecules with the same
  // atom count, species sequence and bonds between their atoms (counted from
  // their first atom) share one [ moleculetype ].
  void group_molecules(const Topology& topology) {
    const std::size_t n = topology.atom_count();
    order_.resize(n);
    for (std::size_t i = 0; i < n; ++i) order_[i] = static_cast<std::uint32_t>(i);
    const auto molecule_of = [&](std::uint32_t i) { return topology.molecule[i]; };
    if (topology.molecule_count <= n) {
      // Numbers as the topology gives them, 1 to the count: counted into place.
      std::vector<std::size_t> next(topology.molecule_count + 2, 0);
      for (std::size_t i = 0; i < n; ++i) ++next[topology.molecule[i] + 1];
      for (std::size_t m = 1; m < next.size(); ++m) next[m] += next[m - 1];
      for (std::size_t i = 0; i < n; ++i) order_[next[topology.molecule[i]]++] = static_cast<std::uint32_t>(i);
    } else {
      // Sparse numbers, as a file may give them.
      std::stable_sort(order_.begin(), order_.end(),
                       [&](std::uint32_t a, std::uint32_t b) { return molecule_of(a) < molecule_of(b); });
    }
    // Molecule r (from 0) holds order_[start_[r] .. start_[r + 1]).
    start_.assign(1, 0);
    local_.resize(n);
    for (std::size_t at = 0; at < n; ++at) {
      if (at > 0 && molecule_of(order_[at]) != molecule_of(order_[at - 1])) start_.push_back(at);
      local_[order_[at]] = static_cast<std::uint32_t>(at - start_.back());
    }
    if (n > 0) start_.push_back(n);
    const std::size_t molecules = start_.size() - 1;
    type_of_.assign(molecules, 0);
    representative_.clear();
    std::unordered_multimap<std::uint64_t, std::uint32_t> by_hash;
    for (std::size_t r = 0; r < molecules; ++r) {
      const std::uint64_t hash = molecule_hash(topology, r);
      auto type = static_cast<std::uint32_t>(representative_.size());
      const auto [first, last] = by_hash.equal_range(hash);
      for (auto it = first; it != last && type == representative_.size(); ++it) {
        if (same_molecule(topology, representative_[it->second], r)) type = it->second;
      }
      if (type == representative_.size()) {
        representative_.push_back(static_cast<std::uint32_t>(r));
        by_hash.emplace(hash, type);
      }
      type_of_[r] = type;
    }
  }

  std::span<const std::uint32_t> atoms_of(std::size_t r) const {
    return {order_.data() + start_[r], start_[r + 1] - start_[r]};
  }

  // A hash of what makes molecule r what it is: per atom its species and
  // bonds, as numbers within the molecule.  A bond to another molecule
  // cannot be written.
  std::uint64_t molecule_hash(const Topology& topology, std::size_t r) const {
    std::uint64_t hash = 1469598103934665603ULL;  // FNV-1a over words
    const auto mix = [&](std::uint64_t word) { hash = (hash ^ word) * 1099511628211ULL; };
    const std::span<const std::uint32_t> atoms = atoms_of(r);
    mix(atoms.size());
    const NeighbourLists& lists = topology.neighbours;
    for (const std::uint32_t i : atoms) {
      mix(topology.kind[i]);
      mix(lists.count(i));
      for (std::size_t k = lists.start[i]; k < lists.start[i + 1]; ++k) {
        const std::uint32_t j = lists.index[k];
        if (topology.molecule[j] != topology.molecule[i]) {
          const std::uint32_t low = std::min(i, j), high = std::max(i, j);
          throw Error(format_text(
              "Error: atoms %u and %u are bonded but belong to molecules %u and %u: a GROMACS "
              "topology keeps every bond within one molecule.\n",
              low + 1, high + 1, topology.molecule[low], topology.molecule[high]));
        }
        mix(local_[j]);
      }
    }
    return hash;
  }

  // True when molecules a and b have the same atom count, species sequence
  // and bonds, counted from their first atoms.
  bool same_molecule(const Topology& topology, std::size_t a, std::size_t b) const {
    const std::span<const std::uint32_t> first = atoms_of(a), second = atoms_of(b);
    if (first.size() != second.size()) return false;
    const NeighbourLists& lists = topology.neighbours;
    for (std::size_t k = 0; k < first.size(); ++k) {
      const std::uint32_t i = first[k], j = second[k];
      if (topology.kind[i] != topology.kind[j] || lists.count(i) != lists.count(j)) return false;
      for (std::size_t e = 0; e < lists.count(i); ++e) {
        if (local_[lists.index[lists.start[i] + e]] != local_[lists.index[lists.start[j] + e]]) {
          return false;
        }
      }
    }
    return true;
  }

  // The axes along which a bond crosses the periodic boundary between the
  // atoms as written (placed inside the cell): "" when none does.
  static std::string crossing_axes(const Topology& topology) {
    const Cell& cell = topology.cell;
    PeriodicAxes crossing{false, false, false};
    if (cell.periodic == crossing) return "";
    for (const AtomPair& bond : topology.bonds) {
      const Position3 a = cell.fractional(topology.positions[bond.first]);
      const Position3 b = cell.fractional(topology.positions[bond.second]);
      for (int axis = 0; axis < 3; ++axis) {
        if (cell.periodic[axis] && std::abs(a[axis] - b[axis]) > 0.5) crossing[axis] = true;
      }
      if (crossing == cell.periodic) break;
    }
    return crossing == PeriodicAxes{false, false, false} ? "" : axes_text(crossing);
  }

  void write_header(const Topology& topology, const FrameSource& source,
                    std::string& text) const {
    text += "; GROMACS topology " + title(source) +
            ", periodic axes: " + axes_text(topology.cell.periodic) + "\n";
    text += "; force field " + forcefield_.name;
    if (!forcefield_.source.empty()) text += ": " + forcefield_.source;
    text += "\n; units nm, kJ/mol, degrees (from kcal/mol and Angstrom)\n";
    const std::string axes = crossing_axes(topology);
    if (!axes.empty()) {
      text += "; Bonds cross the periodic boundary along " + axes +
              ": run grompp with periodic-molecules = yes in the .mdp\n"
              "; (and OpenMM with periodic bonded forces).\n";
    }
  }

  void write_defaults(std::string& text) const {
    text += "\n[ defaults ]\n; nbfunc  comb-rule  gen-pairs  fudgeLJ  fudgeQQ\n1  ";
    text += forcefield_.combination == Combination::geometric ? "3" : "2";
    text += "  yes  " + parameter(forcefield_.lj14) + "  " + parameter(forcefield_.coulomb14) + "\n";
  }

  void write_atom_types(const Topology& topology, std::string& text) const {
    text += "\n[ atomtypes ]\n; name  at.num  mass  charge  ptype  sigma  epsilon\n";
    for (std::size_t s = 0; s < topology.species.size(); ++s) {
      const AtomParams& atom = *atom_types_[s];
      text += format_text("%-6s %3d %10s %10s  A  %s  %s\n", atom.type.c_str(),
                          atomic_number(topology.species[s].symbol),
                          format_text("%g", topology.species[s].mass).c_str(),
                          charge(atom.charge).c_str(),
                          parameter(atom.sigma * kNanometrePerAngstrom).c_str(),
                          parameter(atom.epsilon * kKilojoulePerKilocalorie).c_str());
    }
  }

  // The parameters of every type of term the topology declares, by the atom
  // types of its atoms (the lookups throw for a term the force field lacks).
  void write_term_types(const Topology& topology, std::string& text) const {
    const auto types = [&](const TermTypeTable& table, int t, std::size_t count) {
      std::array<std::string, 4> names;
      for (std::size_t k = 0; k < count; ++k) names[k] = type_name(table.species(t)[k]);
      return names;
    };
    const auto symbol = [&](const TermTypeTable& table, int t, int k) -> const std::string& {
      return topology.species[table.species(t)[static_cast<std::size_t>(k)]].symbol;
    };
    const TermTyping& typing = topology.typing;
    text += "\n[ bondtypes ]\n; i  j  func  b0  kb\n";
    for (int t = 1; t <= typing.bonds.count(); ++t) {
      const auto names = types(typing.bonds, t, 2);
      const BondParams& p = forcefield_.bond(symbol(typing.bonds, t, 0), symbol(typing.bonds, t, 1));
      text += names[0] + "  " + names[1] + "  1  " + parameter(p.r0 * kNanometrePerAngstrom) + "  " +
              parameter(2.0 * p.k * kKilojoulePerKilocalorie * 100.0) + "\n";
    }
    text += "\n[ angletypes ]\n; i  j  k  func  theta0  ktheta\n";
    for (int t = 1; t <= typing.angles.count(); ++t) {
      const auto names = types(typing.angles, t, 3);
      const AngleParams& p = forcefield_.angle(symbol(typing.angles, t, 0),
                                               symbol(typing.angles, t, 1),
                                               symbol(typing.angles, t, 2));
      text += names[0] + "  " + names[1] + "  " + names[2] + "  1  " + parameter(p.theta0) + "  " +
              parameter(2.0 * p.k * kKilojoulePerKilocalorie) + "\n";
    }
    text += "\n[ dihedraltypes ]\n; i  j  k  l  func  phase  kd  pn   (proper, 9)\n";
    for (int t = 1; t <= typing.dihedrals.count(); ++t) {
      const auto names = types(typing.dihedrals, t, 4);
      const DihedralParams& p = forcefield_.dihedral(
          symbol(typing.dihedrals, t, 0), symbol(typing.dihedrals, t, 1),
          symbol(typing.dihedrals, t, 2), symbol(typing.dihedrals, t, 3));
      text += names[0] + "  " + names[1] + "  " + names[2] + "  " + names[3] + "  9  " +
              parameter(p.phase) + "  " + parameter(p.k * kKilojoulePerKilocalorie) + "  " +
              std::to_string(p.n) + "\n";
    }
    text += "; i  j  k  l  func  xi0  kxi   (improper, 2: the centre first)\n";
    for (int t = 1; t <= typing.impropers.count(); ++t) {
      const ImproperParams& p = forcefield_.improper(
          symbol(typing.impropers, t, 0), symbol(typing.impropers, t, 1),
          symbol(typing.impropers, t, 2), symbol(typing.impropers, t, 3));
      const std::string numbers =
          "  2  " + parameter(p.chi0) + "  " + parameter(2.0 * p.k * kKilojoulePerKilocalorie) + "\n";
      for (const auto& names : improper_orders(types(typing.impropers, t, 4))) {
        text += names[0] + "  " + names[1] + "  " + names[2] + "  " + names[3] + numbers;
      }
    }
  }

  void write_molecule_type(const Topology& topology, std::size_t type, OutputFile& out) const {
    const std::span<const std::uint32_t> atoms = atoms_of(representative_[type]);
    std::string& text = out.buffer();
    text += format_text("\n[ moleculetype ]\n; name  nrexcl\nCNT%zu  3\n", type + 1);
    write_atoms(topology, atoms, out);
    if (!terms_) return;
    write_bonds(topology, atoms, out);
    write_pairs(topology, atoms, out);
    write_angles(topology, atoms, out);
    write_dihedrals(topology, atoms, out);
    write_impropers(topology, atoms, out);
  }

  void write_atoms(const Topology& topology, std::span<const std::uint32_t> atoms,
                   OutputFile& out) const {
    // What follows the number of an atom of each species, and its charge group.
    std::vector<std::string> middle, tail;
    for (std::size_t s = 0; s < topology.species.size(); ++s) {
      const std::string name = topology.species[s].symbol;
      middle.push_back(format_text(" %6s      1 %6s %6s ", atom_types_[s]->type.c_str(),
                                   std::string(kResidueName).c_str(), name.c_str()));
      tail.push_back(format_text(" %10s %10s\n", charge(atom_types_[s]->charge).c_str(),
                                 format_text("%g", topology.species[s].mass).c_str()));
    }
    std::string& text = out.buffer();
    text += "\n[ atoms ]\n;    nr   type  resnr    res   atom   cgnr     charge       mass\n";
    for (std::size_t a = 0; a < atoms.size(); ++a) {
      const std::uint8_t kind = topology.kind[atoms[a]];
      append_padded(text, a + 1, 7);
      text += middle[kind];
      append_padded(text, a + 1, 6);
      text += tail[kind];
      out.flush_if_full();
    }
  }

  // The terms of one molecule, its atoms numbered within it.
  void write_bonds(const Topology& topology, std::span<const std::uint32_t> atoms,
                   OutputFile& out) const {
    const NeighbourLists& lists = topology.neighbours;
    out.write("\n[ bonds ]\n;     i      j  func\n");
    TermLines lines(out);
    for (const std::uint32_t i : atoms) {
      for (std::size_t k = lists.start[i]; k < lists.start[i + 1]; ++k) {
        const std::uint32_t j = lists.index[k];
        if (j > i) lines.add(std::array{local_[i], local_[j]}, '1');
      }
    }
    lines.flush();
  }

  // The 1-4 pairs: the atoms three bonds apart and no fewer, each pair once,
  // the lower atom first.  grompp makes their parameters (gen-pairs) from
  // the atom types, scaled by fudgeLJ and fudgeQQ.
  void write_pairs(const Topology& topology, std::span<const std::uint32_t> atoms,
                   OutputFile& out) const {
    const NeighbourLists& lists = topology.neighbours;
    out.write("\n[ pairs ]\n;     i      l  func\n");
    TermLines lines(out);
    std::vector<std::uint32_t> near, fourth;
    for (const std::uint32_t i : atoms) {
      near.assign(1, i);
      fourth.clear();
      for (std::size_t a = lists.start[i]; a < lists.start[i + 1]; ++a) {
        const std::uint32_t j = lists.index[a];
        near.push_back(j);
        for (std::size_t b = lists.start[j]; b < lists.start[j + 1]; ++b) {
          near.push_back(lists.index[b]);
        }
      }
      for (std::size_t a = lists.start[i]; a < lists.start[i + 1]; ++a) {
        const std::uint32_t j = lists.index[a];
        for (std::size_t b = lists.start[j]; b < lists.start[j + 1]; ++b) {
          const std::uint32_t k = lists.index[b];
          for (std::size_t c = lists.start[k]; c < lists.start[k + 1]; ++c) {
            const std::uint32_t l = lists.index[c];
            if (l > i && std::find(near.begin(), near.end(), l) == near.end()) fourth.push_back(l);
          }
        }
      }
      std::sort(fourth.begin(), fourth.end());
      fourth.erase(std::unique(fourth.begin(), fourth.end()), fourth.end());
      for (const std::uint32_t l : fourth) lines.add(std::array{local_[i], local_[l]}, '1');
    }
    lines.flush();
  }

  void write_angles(const Topology& topology, std::span<const std::uint32_t> atoms,
                    OutputFile& out) const {
    out.write("\n[ angles ]\n;     i      j      k  func\n");
    TermLines lines(out);
    for (const std::uint32_t j : atoms) {
      topology.for_each_angle_at(j, [&](auto... m) { lines.add(std::array{local_[m]...}, '1'); });
    }
    lines.flush();
  }

  // Every path i-j-k-l over a bond j-k (j < k), as Topology::for_each_dihedral.
  void write_dihedrals(const Topology& topology, std::span<const std::uint32_t> atoms,
                       OutputFile& out) const {
    out.write("\n[ dihedrals ]\n; proper\n;     i      j      k      l  func\n");
    TermLines lines(out);
    for (const std::uint32_t j : atoms) {
      topology.for_each_dihedral_from(j, [&](auto... m) { lines.add(std::array{local_[m]...}, '9'); });
    }
    lines.flush();
  }

  // Every atom with three bonds: the atom, then its neighbours ascending.
  void write_impropers(const Topology& topology, std::span<const std::uint32_t> atoms,
                       OutputFile& out) const {
    out.write("\n[ dihedrals ]\n; improper: the centre first\n;     i      j      k      l  func\n");
    TermLines lines(out);
    for (const std::uint32_t c : atoms) {
      topology.for_each_improper_at(c, [&](auto... m) { lines.add(std::array{local_[m]...}, '2'); });
    }
    lines.flush();
  }

  // Consecutive molecules of one type as one line.
  void write_molecule_counts(std::string& text) const {
    for (std::size_t m = 0; m < type_of_.size();) {
      std::size_t end = m + 1;
      while (end < type_of_.size() && type_of_[end] == type_of_[m]) ++end;
      text += format_text("CNT%u  %zu\n", type_of_[m] + 1, end - m);
      m = end;
    }
  }

  // The .gro file: the title, the atom count, per atom its residue (the
  // molecule), residue name, atom name, number and position in nm from the
  // cell's corner (GROMACS's box starts at the origin), and the box: the
  // three edge lengths, or for a slanted cell all nine numbers GROMACS
  // reads, v1(x) v2(y) v3(z) v1(y) v1(z) v2(x) v2(z) v3(x) v3(y).
  void write_coordinates(const Topology& topology, const FrameSource& source,
                         OutputFile& out) const {
    std::string& text = out.buffer();
    text += "GROMACS coordinates " + title(source) +
            ", periodic axes: " + axes_text(topology.cell.periodic) + "\n";
    append_padded(text, topology.atom_count(), 5);
    text += '\n';
    std::vector<std::string> names;
    for (const Species& species : topology.species) {
      names.push_back(format_text("%-5.5s%5.5s", std::string(kResidueName).c_str(),
                                  species.symbol.c_str()));
    }
    const Position3& lo = topology.cell.lo;
    for (std::size_t at = 0; at < order_.size(); ++at) {
      const std::uint32_t i = order_[at];
      append_padded(text, static_cast<unsigned long long>(topology.molecule[i] % kGroNumberModulus), 5);
      text += names[topology.kind[i]];
      append_padded(text, static_cast<unsigned long long>((at + 1) % kGroNumberModulus), 5);
      for (int a = 0; a < 3; ++a) {
        append_coordinate(text, (topology.positions[i][a] - lo[a]) * kNanometrePerAngstrom, [&] {
          return format_text("atom %u: its %c coordinate", i + 1, "xyz"[a]);
        });
      }
      text += '\n';
      out.flush_if_full();
    }
    const Cell& cell = topology.cell;
    const std::array<double, 9> box{cell.length(0), cell.length(1), cell.length(2), 0.0, 0.0,
                                    cell.xy, 0.0, cell.xz, cell.yz};
    constexpr const char* kBoxNames[9] = {"x length", "y length", "z length", "", "",
                                          "xy tilt", "", "xz tilt", "yz tilt"};
    for (std::size_t k = 0; k < (cell.orthogonal() ? 3 : 9); ++k) {
      append_coordinate(text, box[k] * kNanometrePerAngstrom,
                        [&] { return std::string("the box's ") + kBoxNames[k]; });
    }
    text += '\n';
  }

  // A number of the .gro file in exactly kGroWidth columns; an error names
  // what does not fit.
  template <class What>
  static void append_coordinate(std::string& text, double nm, What&& what) {
    const std::size_t before = text.size();
    append_fixed(text, nm, kGroWidth, kGroDecimals);
    if (text.size() - before == static_cast<std::size_t>(kGroWidth)) return;
    throw Error(format_text(
        "Error: %s %.3f nm does not fit the %d columns of a .gro file (-9999 to 99999 nm).\n",
        what().c_str(), nm, kGroWidth));
  }

  bool terms_;
  ForceField forcefield_;
  std::vector<const AtomParams*> atom_types_;   // per species
  std::vector<std::size_t> start_;              // molecule r: order_[start_[r] .. start_[r + 1])
  std::vector<std::uint32_t> order_;            // the atoms, molecule after molecule
  std::vector<std::uint32_t> local_;            // per atom, its number within its molecule
  std::vector<std::uint32_t> type_of_;          // per molecule, its type
  std::vector<std::uint32_t> representative_;   // per type, its first molecule
};

std::unique_ptr<FrameWriter> gromacs_writer(const FrameSettings& settings) {
  return std::make_unique<GromacsWriter>(settings);
}

}  // namespace

const Format& gromacs_format() {
  static const Format format{"gromacs",
                             "GROMACS topology and coordinates",
                             {".top"},
                             {.needs_bonds = true, .file_per_scene = true, .species = true,
                              .cell = true},
                             nullptr,
                             gromacs_writer,
                             {".gro"}};
  return format;
}

}  // namespace swnt
