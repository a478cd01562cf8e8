// The bonded topology of one scene, as molecular dynamics engines take it:
// the box with its periodic axes, the atoms placed inside it with the image
// flags that give back their positions as read, the bonds found by distance
// (across the periodic boundaries through the minimum image), the angles,
// dihedrals and impropers they imply, and the molecules they form.  On
// request the loose atoms of open ends are removed first and the ends are
// terminated with hydrogen.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "core/bond_rule.hpp"
#include "core/error.hpp"
#include "core/model.hpp"
#include "core/neighbour_search.hpp"

namespace swnt {

// "x", "xz", ... or "none".
std::string axes_text(const PeriodicAxes& axes);

// The axes that text of that kind names, each of x, y, z at most once, or
// "none"; false for anything else.
bool parse_axes(std::string_view text, PeriodicAxes& axes);

// The C-H bond length of a terminated end (Angstrom).
inline constexpr double kCarbonHydrogenDistance = 1.09;

struct TopologySettings {
  PeriodicAxes periodic{false, false, false};
  double cutoff = kBondCutoff;  // bonds are the pairs closer than this (Angstrom)
  // Remove every atom with fewer than two bonds, and again those that this
  // leaves with fewer, until none is left: the loose atoms at the open ends
  // of a finite tube.  Bonds through a periodic boundary count, so a
  // periodic axis has no ends.
  bool trim = false;
  // Trim, then give every carbon with two bonds one hydrogen, at
  // `hydrogen_distance` along minus the sum of the unit vectors of its two
  // bonds (in their plane, pointing away from both).  The hydrogens follow
  // the carbons, in the order of the carbons they sit on; a hydrogen's one
  // bond is to its carbon (the distance rule bonds the carbons only).
  bool hydrogenate = false;
  double hydrogen_distance = kCarbonHydrogenDistance;
  // Periodic axes along which the structure repeats without a bond through
  // the boundary (tubes side by side in a rope): no warning that no bond
  // crosses them.
  PeriodicAxes unbonded{false, false, false};
  // The bonds through a periodic boundary are compared with those inside,
  // which in a regular lattice they equal; false for a structure whose bond
  // lengths vary by design (a defect's) and which repeats by construction.
  bool regular = true;
};

// Two atoms closer than this (Angstrom) through a periodic boundary mean that
// the box length is not a period of the structure.
inline constexpr double kOverlapDistance = 1.0;
// Two atoms closer than this (Angstrom), wherever they are, are one atom
// written twice: no bond is that short.
inline constexpr double kCoincidentDistance = 0.5;
// The most neighbours closer than the cut-off that one atom may have: a
// carbon has 3, the densest packing 12.  More means atoms on top of each
// other or a cut-off far beyond any bond, and terms without end.
inline constexpr std::size_t kMaxNeighbours = 12;
// The most bonded terms of each kind (bonds, angles, dihedrals, impropers):
// the largest number a LAMMPS data file counts them with.
inline constexpr std::size_t kMaxTerms = 2147483647;
// A bond across a periodic boundary more than this (Angstrom) shorter or
// longer than every bond inside the box means the same.
inline constexpr double kBoundaryBondTolerance = 0.02;
// An open axis whose header box does not enclose the atoms gets a box of the
// atoms' extent and this much room (Angstrom) on either side.
inline constexpr double kOpenMargin = 10.0;
// Two bonds of a carbon closer than this (degrees) to a straight line leave
// no direction for a hydrogen away from both.
inline constexpr double kStraightBondDegrees = 0.6;
// Two hydrogens closer than this (Angstrom) in the plane of their carbons'
// bonds meet (the three around a vacancy, 0.6 Angstrom apart): they are
// tilted out of that plane by kHydrogenTiltDegrees, to either side in turn,
// which puts the three of a vacancy 2 Angstrom apart or more and each 1.85
// Angstrom or more from the carbons but its own.
inline constexpr double kHydrogenClash = 1.2;
inline constexpr double kHydrogenTiltDegrees = 75.0;
// The side of a group's tilt keeps its hydrogens apart from the others
// within this reach (Angstrom) as well.
inline constexpr double kHydrogenReach = 4.0;
// Image flags beyond this many box lengths do not fit a data file (LAMMPS
// keeps 10 bits per axis).
inline constexpr long long kMaxImage = 511;

// How many types each kind of bonded term has.
struct TermTypes {
  int bonds = 1;
  int angles = 1;
  int dihedrals = 1;
  int impropers = 1;
};

// Species beyond which the type of a term is searched rather than looked up.
inline constexpr std::size_t kDenseTypeTable = 1 << 16;
// The most types of one kind of term: they are numbered in 16 bits.
inline constexpr std::size_t kMaxTermTypes = 65535;

// The types of one kind of bonded term (2 atoms for bonds, 3 for angles, 4
// for dihedrals and impropers): per type, numbered from 1, the species of
// its atoms in their canonical order (kinds, an index into Frame::species):
//   bond i-j        the lower species first;
//   angle i-c-k     the lower outer species first, the centre second;
//   dihedral i-j-k-l   the lower of the sequence and its reverse;
//   improper on c with a, b, d   the centre first, then the three ascending.
// With carbon alone, or carbon and hydrogen (species 0 and 1), every type a
// tube terminated with hydrogen can hold is declared, in that order (bonds
// C-C, C-H; angles C-C-C, C-C-H; dihedrals C-C-C-C, C-C-C-H, H-C-C-H;
// impropers C;C,C,C and C;C,C,H): "1 plus the number of hydrogens".  With
// other species, the types are those the terms hold, in ascending order.
class TermTypeTable {
 public:
  using Key = std::array<std::uint8_t, 4>;  // unused places hold 0
  explicit TermTypeTable(int arity = 2) : arity_(arity) {}

  int arity() const { return arity_; }
  int count() const { return static_cast<int>(types_.size()); }
  // The species of type t (from 1), canonical order.
  const Key& species(int t) const { return types_[static_cast<std::size_t>(t - 1)]; }
  // The type of a canonical key, from 1; 0 when it is not declared.
  int find(const Key& key) const;

  // Declares the types, ascending keys; `species_count` bounds the kinds.
  void assign(std::vector<Key> types, std::size_t species_count);

 private:
  std::size_t index(const Key& key) const;
  int arity_;
  std::vector<Key> types_;
  std::size_t species_count_ = 1;
  std::vector<std::uint16_t> table_;  // a dense lookup where the species are few
};

struct TermTyping {
  TermTypeTable bonds{2};
  TermTypeTable angles{3};
  TermTypeTable dihedrals{4};
  TermTypeTable impropers{4};
};

// The frame with its bonded topology.  Inside the cell along the periodic
// axes: a position as read is positions[a] + sum over k of images[a][k] *
// (cell edge vector k).  Molecules are numbered from 1 in the order of their
// lowest atoms, unless the frame gave them.
struct Topology : Frame {
  std::vector<std::array<std::int32_t, 3>> images;
  std::vector<AtomPair> bonds;  // lower atom first, sorted
  NeighbourLists neighbours;    // the bonds per atom, ascending
  TermTyping typing;            // the types of the bonded terms

  // True when the species are carbon and hydrogen, as --hydrogenate makes
  // them.
  bool hydrogenated() const { return species.size() > 1; }

  // The type (from 1) of each kind of term, by the species of its atoms
  // (TermTypeTable gives the order).
  int bond_type(std::uint32_t i, std::uint32_t j) const;
  int angle_type(std::uint32_t i, std::uint32_t centre, std::uint32_t k) const;
  int dihedral_type(std::uint32_t i, std::uint32_t j, std::uint32_t k, std::uint32_t l) const;
  int improper_type(std::uint32_t centre, std::uint32_t a, std::uint32_t b, std::uint32_t c) const;
  // The number of types declared of each kind.
  TermTypes term_types() const {
    return {typing.bonds.count(), typing.angles.count(), typing.dihedrals.count(),
            typing.impropers.count()};
  }

  // Every two bonds that share an atom: f(i, centre, k), the centre
  // ascending, then i < k ascending.
  template <class F>
  void for_each_angle(F&& f) const;
  // Every path i-j-k-l over a bond j-k (in bond order) with i != k, l != j
  // and i != l: f(i, j, k, l).
  template <class F>
  void for_each_dihedral(F&& f) const;
  // Every atom with exactly three bonds: f(centre, a, b, c), its neighbours
  // ascending.
  template <class F>
  void for_each_improper(F&& f) const;
  // The same terms atom by atom (a writer that numbers the atoms molecule by
  // molecule walks its molecule's atoms): the angles centred on j, the
  // dihedrals over the bonds j-k with k > j, the improper centred on c.
  // Over every atom in ascending order they give the sequences above.
  template <class F>
  void for_each_angle_at(std::uint32_t j, F&& f) const;
  template <class F>
  void for_each_dihedral_from(std::uint32_t j, F&& f) const;
  template <class F>
  void for_each_improper_at(std::uint32_t c, F&& f) const;

  std::size_t angle_count() const;
  std::size_t dihedral_count() const;
  std::size_t improper_count() const;
};

// Declares the term types of a topology whose bonds and species are final.
// `collect`: the types the terms hold are added to the fixed lists of
// carbon and hydrogen (they are always collected for other species).
void assign_term_types(Topology& topology, bool collect = true);

// The error for a periodic axis whose box length (from the trajectory's
// header) is not a finite length larger than twice the cut-off, where the
// minimum image would be ambiguous; empty when every periodic axis is fit.
std::string period_error(const std::array<double, 3>& lengths, const TopologySettings& settings);
// The same for any cell: the room between opposite faces (Cell::height)
// along each periodic edge must exceed twice the cut-off; the error says
// how many repeats of the cell along it are needed.
std::string cell_period_error(const Cell& cell, const TopologySettings& settings);

// A shift of an atom by whole box lengths: -1, 0 or +1 along each axis.
using ImageShift = std::array<int, 3>;

// A bond through a periodic boundary: its atoms, its length and the shift
// of the image that makes it.
struct BoundaryBond {
  AtomPair pair;
  double length;
  ImageShift shift;
};

// Builds the topology of one scene after another, keeping its working
// storage.
class TopologyBuilder {
 public:
  // `scene`: the scene's positions as read, which become the topology's
  // positions (`scene` is left with storage to reuse for the next one);
  // `lengths`: the header's box lengths, which must have passed
  // period_error().  What is wrong with the scene ends the build with an
  // Error ("Error: <label><reason>.\n"); what is doubtful is handed to `log`
  // as it is found ("Warning: <label><text>.\n").  `label` names the scene
  // in those messages ("scene 3: ") or is empty.
  void build(std::vector<Position3>& scene, const std::array<double, 3>& lengths,
             const TopologySettings& settings, Topology& topology, const Log& log,
             std::string_view label = {});

  // The same for a scene of carbon and hydrogen atoms, as a structure made
  // elsewhere holds them: `kinds` gives per atom 0 for carbon or 1 for
  // hydrogen (empty: every atom carbon, as above).  The distance rule finds
  // the bonds of both; every hydrogen must then have at most one bond, to a
  // carbon, and every carbon at most one hydrogen (the ends --hydrogenate
  // makes), so that the terms keep the types of Topology::term_type.  Such a
  // scene takes neither trim nor hydrogenate.
  void build(std::vector<Position3>& scene, const std::vector<std::uint8_t>& kinds,
             const std::array<double, 3>& lengths, const TopologySettings& settings,
             Topology& topology, const Log& log, std::string_view label = {});

  // The topology of a frame made elsewhere (read from extended XYZ, say):
  // any species, per atom an index into frame.species; the cell as given,
  // any triclinic one, its periodic axes those of `settings`, which repeat
  // with the cell's edge vectors (the cell must have passed period_error());
  // along an open axis a cell that does not hold the atoms gives way to the
  // atoms' extent with kOpenMargin on either side.  The molecules are those
  // of frame.molecule when it is filled (one number per atom, from 1), the
  // connected atoms otherwise.  `frame` is left with storage to reuse.
  void build(Frame& frame, const TopologySettings& settings, Topology& topology, const Log& log,
             std::string_view label = {});

 private:
  void take_frame(Frame& frame, const TopologySettings& settings, Topology& topology);
  void place_periodic(Topology& topology);
  void place_open(const TopologySettings& settings, Topology& topology);
  void connect(const TopologySettings& settings, const std::array<double, 3>& lengths,
               bool hydrogen_given, Topology& topology, const Log& log);
  void finish(Topology& topology, bool tube);
  void add_cell_images(const std::vector<ImageShift>& shifts, double cutoff, Topology& topology);
  // True when `kinds` holds a hydrogen.
  bool take_positions(std::vector<Position3>& scene, const std::vector<std::uint8_t>& kinds,
                      const TopologySettings& settings, Topology& topology);
  void check_hydrogen_bonds(const Topology& topology) const;
  void add_boundary_images(const TopologySettings& settings, Topology& topology);
  std::vector<Position3> hydrogen_tilts(const std::vector<std::uint32_t>& carbons,
                                        const std::vector<Position3>& sums, double distance_ch,
                                        const Topology& topology) const;
  void find_bonds(std::size_t n, const TopologySettings& settings, Topology& topology);
  void merge_boundary_bonds(Topology& topology);
  void check_period(const TopologySettings& settings, const Topology& topology,
                    const Log& log) const;
  // Out of the search's inner loop: what is rarely met.
  [[gnu::noinline]] void note_coincident(std::uint32_t i, std::uint32_t j, double length);
  [[noreturn, gnu::noinline]] void refuse_crowded(std::uint32_t atom) const;
  void check_coincident(const Topology& topology) const;
  void check_repetition(const TopologySettings& settings, const std::array<double, 3>& lengths,
                        const Topology& topology, const Log& log) const;
  void check_term_counts(const Topology& topology) const;
  std::size_t remove_loose_atoms(Topology& topology);
  std::string add_hydrogens(const TopologySettings& settings, Topology& topology);
  void number_molecules(Topology& topology);
  // Throws the error `error` unless it is empty.
  void check(const std::string& error) const;
  void warn(const Log& log, const std::string& warning) const;

  NeighbourSearch search_;
  std::vector<std::uint32_t> image_of_;  // the atom of each image
  std::vector<ImageShift> image_shifts_;  // and its shift
  std::vector<BoundaryBond> boundary_;
  double inside_low_ = 0.0;   // the shortest and longest bond inside the box
  double inside_high_ = 0.0;
  // The closest pair of atoms closer than kCoincidentDistance inside the
  // box, and how many such pairs there are.
  AtomPair coincident_{0, 0};
  double coincident_length_ = 0.0;
  std::size_t coincident_count_ = 0;
  std::vector<std::uint32_t> neighbour_count_;  // per atom, while the bonds are found
  std::vector<std::uint32_t> stack_;
  std::vector<std::uint32_t> number_;  // per atom, while the loose ones are removed
  std::string_view label_;
  std::uint8_t hydrogen_kind_ = 1;  // the species of the hydrogens --hydrogenate adds
  double cutoff_ = kBondCutoff;
};

template <class F>
void Topology::for_each_angle_at(std::uint32_t j, F&& f) const {
  const std::size_t begin = neighbours.start[j];
  const std::size_t end = neighbours.start[j + 1];
  for (std::size_t a = begin; a < end; ++a) {
    for (std::size_t b = a + 1; b < end; ++b) f(neighbours.index[a], j, neighbours.index[b]);
  }
}

template <class F>
void Topology::for_each_dihedral_from(std::uint32_t j, F&& f) const {
  for (std::size_t c = neighbours.start[j]; c < neighbours.start[j + 1]; ++c) {
    const std::uint32_t k = neighbours.index[c];
    if (k < j) continue;
    for (std::size_t a = neighbours.start[j]; a < neighbours.start[j + 1]; ++a) {
      const std::uint32_t i = neighbours.index[a];
      if (i == k) continue;
      for (std::size_t b = neighbours.start[k]; b < neighbours.start[k + 1]; ++b) {
        const std::uint32_t l = neighbours.index[b];
        if (l != j && l != i) f(i, j, k, l);
      }
    }
  }
}

template <class F>
void Topology::for_each_improper_at(std::uint32_t c, F&& f) const {
  if (neighbours.count(c) != 3) return;
  const std::uint32_t* nb = neighbours.index.data() + neighbours.start[c];
  f(c, nb[0], nb[1], nb[2]);
}

template <class F>
void Topology::for_each_angle(F&& f) const {
  const auto n = static_cast<std::uint32_t>(atom_count());
  for (std::uint32_t j = 0; j < n; ++j) for_each_angle_at(j, f);
}

template <class F>
void Topology::for_each_dihedral(F&& f) const {
  const auto n = static_cast<std::uint32_t>(atom_count());
  for (std::uint32_t j = 0; j < n; ++j) for_each_dihedral_from(j, f);
}

template <class F>
void Topology::for_each_improper(F&& f) const {
  const auto n = static_cast<std::uint32_t>(atom_count());
  for (std::uint32_t c = 0; c < n; ++c) for_each_improper_at(c, f);
}

}  // namespace swnt
