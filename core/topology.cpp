#include "core/topology.hpp"

#include <algorithm>
#include <cmath>
#include <limits>

#include "core/error.hpp"
#include "core/neighbour_search.hpp"
#include "core/text_format.hpp"

namespace swnt {

namespace {

constexpr char kAxisName[3] = {'x', 'y', 'z'};

using Shift = ImageShift;

// The shifts under which an atom's image may lie within the cut-off of
// another atom: both s and -s give the same pairs, so only the shifts whose
// first non-zero step is +1 are taken, and every pair through a boundary is
// met once.
std::vector<Shift> half_shifts(const PeriodicAxes& periodic) {
  std::vector<Shift> shifts;
  for (int x = -1; x <= 1; ++x) {
    for (int y = -1; y <= 1; ++y) {
      for (int z = -1; z <= 1; ++z) {
        const Shift s{x, y, z};
        bool allowed = true;
        int first = 0;
        for (int a = 0; a < 3; ++a) {
          if (s[a] != 0 && !periodic[a]) allowed = false;
          if (first == 0) first = s[a];
        }
        if (allowed && first == 1) shifts.push_back(s);
      }
    }
  }
  return shifts;
}

std::string shift_axes(const Shift& s) {
  PeriodicAxes axes{};
  for (int a = 0; a < 3; ++a) axes[a] = s[a] != 0;
  return axes_text(axes);
}

// A bond through a periodic boundary.
// Moves the coordinate `c` into [lo, hi) by whole box lengths and adds the
// moves to `image`; false when the image would be more than kMaxImage box
// lengths away.
bool wrap_into_box(double& c, double lo, double hi, long long& image) {
  if (c >= lo && c < hi) return true;
  const double period = hi - lo;
  const double q = std::floor((c - lo) / period);
  if (!(std::fabs(q) <= static_cast<double>(kMaxImage))) return false;
  image += static_cast<long long>(q);
  c -= q * period;
  // Rounding can leave the result a hair outside: it then stands at the
  // lower end, which is the same place.
  if (c >= hi) {
    c -= period;
    ++image;
  }
  if (c < lo) c = lo;
  return image >= -kMaxImage && image <= kMaxImage;
}

// The same for a triclinic cell: the position moved by whole edge vectors
// along the periodic edges until its fractional coordinates lie in [0, 1)
// (rounding may leave them a hair outside, which the search allows for).
bool wrap_into_cell(Position3& p, std::array<std::int32_t, 3>& image, const Cell& cell) {
  const Position3 f = cell.fractional(p);
  for (int a = 0; a < 3; ++a) {
    if (!cell.periodic[a]) continue;
    const double q = std::floor(f[a]);
    if (!(std::fabs(q + image[a]) <= static_cast<double>(kMaxImage))) return false;
    if (q == 0.0) continue;
    const Position3 edge = cell.vector(a);
    for (int k = 0; k < 3; ++k) p[k] -= q * edge[k];
    image[a] += static_cast<std::int32_t>(q);
  }
  return true;
}

// A difference of positions taken to its nearest image along the periodic
// edges.
Position3 nearest_image(Position3 d, const Cell& cell) {
  if (cell.orthogonal()) {
    for (int a = 0; a < 3; ++a) {
      if (cell.periodic[a]) d[a] -= cell.length(a) * std::round(d[a] / cell.length(a));
    }
    return d;
  }
  const Position3 f = cell.fractional({cell.lo[0] + d[0], cell.lo[1] + d[1], cell.lo[2] + d[2]});
  for (int a = 0; a < 3; ++a) {
    if (!cell.periodic[a]) continue;
    const double q = std::round(f[a]);
    const Position3 edge = cell.vector(a);
    for (int k = 0; k < 3; ++k) d[k] -= q * edge[k];
  }
  return d;
}

std::string outside_error(std::size_t atom, int a) {
  return format_text("atom %zu lies more than %lld box lengths outside the box along %c", atom + 1,
                     kMaxImage, kAxisName[a]);
}

// The box of one axis and the atoms placed in it.  Returns an error text,
// empty when every atom could be placed.
std::string place_axis(int a, double header_length, bool periodic, Topology& topology) {
  std::vector<Position3>& positions = topology.positions;
  constexpr double kInfinity = std::numeric_limits<double>::infinity();
  double low = kInfinity, high = -kInfinity;
  for (const Position3& p : positions) {
    low = std::min(low, p[a]);
    high = std::max(high, p[a]);
  }
  const double length = header_length;
  double& lo = topology.cell.lo[a];
  double& hi = topology.cell.hi[a];
  if (periodic) {
    // The centred box (-L/2 .. L/2) or the one from the origin (0 .. L),
    // whichever holds the atoms; rounding to the decimals of the file and the
    // seam atom a periodic fold writes just below the lower end are allowed
    // for.  Otherwise the box starts at the lowest atom.
    const double tolerance = 1e-8 * length + 1e-6;
    const auto holds = [&](double start) {
      return low >= start - tolerance && high < start + length + tolerance;
    };
    lo = holds(-length * 0.5) ? -length * 0.5 : holds(0.0) ? 0.0 : low;
    hi = lo + length;
  } else if (std::isfinite(length) && length > 0.0 && low >= -length * 0.5 &&
             high <= length * 0.5) {
    lo = -length * 0.5;
    hi = length * 0.5;
  } else if (std::isfinite(length) && length > 0.0 && low >= 0.0 && high <= length) {
    lo = 0.0;
    hi = length;
  } else {
    lo = (positions.empty() ? 0.0 : low) - kOpenMargin;
    hi = (positions.empty() ? 0.0 : high) + kOpenMargin;
  }

  if (!std::isfinite(lo) || !std::isfinite(hi) || !std::isfinite(hi - lo)) {
    return format_text(
        "the box along %c would not be finite: the atoms lie from %g to %g Angstrom along it",
        kAxisName[a], low, high);
  }
  for (std::size_t i = 0; i < positions.size(); ++i) {
    long long image = 0;
    if (periodic && !wrap_into_box(positions[i][a], lo, hi, image)) return outside_error(i, a);
    topology.images[i][a] = static_cast<std::int32_t>(image);
  }
  return "";
}

const auto by_atoms = [](const AtomPair& x, const AtomPair& y) {
  return x.first != y.first ? x.first < y.first : x.second < y.second;
};

// "the box length 20.000000 along z" or "the box lengths 54.383447 along x and ...".
std::string lengths_text(const Shift& s, const Cell& box) {
  std::string text;
  int count = 0;
  for (int a = 0; a < 3; ++a) {
    if (s[a] == 0) continue;
    if (count++ > 0) text += " and ";
    text += format_text("%f along %c", box.length(a), kAxisName[a]);
  }
  return (count > 1 ? "the box lengths " : "the box length ") + text;
}

}  // namespace

std::string axes_text(const PeriodicAxes& axes) {
  std::string text;
  for (int a = 0; a < 3; ++a) {
    if (axes[a]) text += kAxisName[a];
  }
  return text.empty() ? "none" : text;
}

bool parse_axes(std::string_view text, PeriodicAxes& axes) {
  axes = {false, false, false};
  if (text == "none") return true;
  if (text.empty()) return false;
  for (const char c : text) {
    const int a = c == 'x' ? 0 : c == 'y' ? 1 : c == 'z' ? 2 : -1;
    if (a < 0 || axes[a]) return false;
    axes[a] = true;
  }
  return true;
}

std::string period_error(const std::array<double, 3>& lengths, const TopologySettings& settings) {
  for (int a = 0; a < 3; ++a) {
    const double length = lengths[a];
    const double least = 2.0 * settings.cutoff;
    if (!settings.periodic[a] || (std::isfinite(length) && length > least)) continue;
    std::string text = format_text(
        "the box length %f along %c is not larger than twice the cut-off (%g Angstrom), so the "
        "nearest image of an atom would be ambiguous",
        length, kAxisName[a], least);
    if (std::isfinite(length) && length > 0.0) {
      text += format_text(
          ": make the periodic tube at least %.0f times as long (a whole number of "
          "unit cells, wrapping -u)",
          std::floor(least / length) + 1.0);
    }
    return text;
  }
  return "";
}

std::string cell_period_error(const Cell& cell, const TopologySettings& settings) {
  if (cell.orthogonal()) return period_error({cell.length(0), cell.length(1), cell.length(2)}, settings);
  const char* edge_name = "abc";
  for (int a = 0; a < 3; ++a) {
    if (!settings.periodic[a]) continue;
    const double room = cell.height(a);
    const double least = 2.0 * settings.cutoff;
    if (std::isfinite(room) && room > least) continue;
    std::string text = format_text(
        "the cell is %f Angstrom across along its edge %c (%c), not more than twice the cut-off "
        "(%g Angstrom), so the nearest image of an atom would be ambiguous",
        room, edge_name[a], kAxisName[a], least);
    if (std::isfinite(room) && room > 0.0) {
      text += format_text(": repeat the cell at least %.0f times along it",
                          std::floor(least / room) + 1.0);
    }
    return text;
  }
  return "";
}

void TopologyBuilder::build(std::vector<Position3>& scene, const std::array<double, 3>& lengths,
                            const TopologySettings& settings, Topology& topology, const Log& log,
                            std::string_view label) {
  build(scene, {}, lengths, settings, topology, log, label);
}

void TopologyBuilder::build(std::vector<Position3>& scene, const std::vector<std::uint8_t>& kinds,
                            const std::array<double, 3>& lengths,
                            const TopologySettings& settings, Topology& topology, const Log& log,
                            std::string_view label) {
  label_ = label;
  cutoff_ = settings.cutoff;
  const bool hydrogen_given = take_positions(scene, kinds, settings, topology);
  topology.cell.xy = topology.cell.xz = topology.cell.yz = 0.0;
  topology.molecule.clear();
  for (int a = 0; a < 3; ++a) {
    if (settings.periodic[a]) check(place_axis(a, lengths[a], true, topology));
  }
  connect(settings, lengths, hydrogen_given, topology, log);
  for (int a = 0; a < 3; ++a) {
    if (settings.periodic[a]) continue;
    std::string error = place_axis(a, lengths[a], false, topology);
    if (!error.empty() && settings.hydrogenate) {
      error += format_text(", the hydrogens %g Angstrom from their carbons (--ch)",
                           settings.hydrogen_distance);
    }
    check(error);
  }
  finish(topology, !hydrogen_given);
}

void TopologyBuilder::build(Frame& frame, const TopologySettings& settings, Topology& topology,
                            const Log& log, std::string_view label) {
  label_ = label;
  cutoff_ = settings.cutoff;
  take_frame(frame, settings, topology);
  const Cell& cell = topology.cell;
  const std::array<double, 3> lengths{cell.length(0), cell.length(1), cell.length(2)};
  place_periodic(topology);
  connect(settings, lengths, false, topology, log);
  place_open(settings, topology);
  finish(topology, false);
}

// Bonds, their checks, and the ends trimmed and terminated on request.
void TopologyBuilder::connect(const TopologySettings& settings, const std::array<double, 3>& lengths,
                              bool hydrogen_given, Topology& topology, const Log& log) {
  const std::size_t n = topology.atom_count();
  add_boundary_images(settings, topology);
  find_bonds(n, settings, topology);
  check_coincident(topology);
  merge_boundary_bonds(topology);
  topology.neighbours.build(n, topology.bonds);
  if (hydrogen_given) check_hydrogen_bonds(topology);
  if (settings.periodic[0] || settings.periodic[1] || settings.periodic[2]) {
    check_period(settings, topology, log);
    check_repetition(settings, lengths, topology, log);
  }
  if (settings.trim || settings.hydrogenate) {
    const std::size_t removed = remove_loose_atoms(topology);
    if (removed > 0) warn(log, format_text("atoms with fewer than two bonds removed: %zu", removed));
  }
  if (settings.hydrogenate) check(add_hydrogens(settings, topology));
}

// The molecules and the term types, once the atoms are final.  `tube`: the
// atoms are carbon and the hydrogens --hydrogenate placed, whose terms all
// have types of the fixed lists.
void TopologyBuilder::finish(Topology& topology, bool tube) {
  check_term_counts(topology);
  number_molecules(topology);
  assign_term_types(topology, !tube);
}

void TopologyBuilder::check(const std::string& error) const {
  if (!error.empty()) throw Error("Error: " + std::string(label_) + error + ".\n");
}

void TopologyBuilder::warn(const Log& log, const std::string& warning) const {
  log("Warning: " + std::string(label_) + warning + ".\n");
}

// The positions become the topology's, every atom carbon unless `kinds`
// says otherwise; nothing that is not a finite number is placed.
bool TopologyBuilder::take_positions(std::vector<Position3>& scene,
                                     const std::vector<std::uint8_t>& kinds,
                                     const TopologySettings& settings, Topology& topology) {
  topology.positions.swap(scene);
  const std::size_t n = topology.positions.size();
  for (std::size_t i = 0; i < n; ++i) {
    for (const double c : topology.positions[i]) {
      if (!std::isfinite(c)) {
        check(format_text("atom %zu has a coordinate that is not a finite number", i + 1));
      }
    }
  }
  bool hydrogen_given = false;
  if (!kinds.empty()) {
    if (kinds.size() != n) {
      check(format_text("%zu species are given for %zu atoms", kinds.size(), n));
    }
    for (std::size_t i = 0; i < n; ++i) {
      if (kinds[i] > 1) check(format_text("atom %zu is neither carbon nor hydrogen", i + 1));
      hydrogen_given = hydrogen_given || kinds[i] == 1;
    }
  }
  if (hydrogen_given && (settings.trim || settings.hydrogenate)) {
    check("the atoms hold hydrogen already: --trim and --hydrogenate take carbon atoms alone");
  }
  topology.species.assign(1, kCarbon);
  if (settings.hydrogenate || hydrogen_given) topology.species.push_back(kHydrogen);
  hydrogen_kind_ = 1;
  if (kinds.empty()) {
    topology.kind.assign(n, 0);
  } else {
    topology.kind = kinds;
  }
  topology.images.resize(n);
  topology.cell.periodic = settings.periodic;
  return hydrogen_given;
}

// The frame's atoms, species, molecules and cell become the topology's.
void TopologyBuilder::take_frame(Frame& frame, const TopologySettings& settings,
                                 Topology& topology) {
  const std::size_t n = frame.positions.size();
  topology.positions.swap(frame.positions);
  topology.kind.swap(frame.kind);
  topology.molecule.swap(frame.molecule);
  topology.species = frame.species;
  topology.cell = frame.cell;
  topology.cell.periodic = settings.periodic;
  if (topology.species.empty()) check("the frame names no species");
  if (topology.kind.size() != n) {
    check(format_text("%zu species are given for %zu atoms", topology.kind.size(), n));
  }
  if (!topology.molecule.empty() && topology.molecule.size() != n) {
    check(format_text("%zu molecules are given for %zu atoms", topology.molecule.size(), n));
  }
  bool hydrogen = false;
  for (std::size_t i = 0; i < n; ++i) {
    for (const double c : topology.positions[i]) {
      if (!std::isfinite(c)) {
        check(format_text("atom %zu has a coordinate that is not a finite number", i + 1));
      }
    }
    if (topology.kind[i] >= topology.species.size()) {
      check(format_text("atom %zu has no species", i + 1));
    }
    hydrogen = hydrogen || topology.species[topology.kind[i]].symbol == "H";
    if (!topology.molecule.empty() && topology.molecule[i] == 0) {
      check(format_text("atom %zu has the molecule 0: molecules are numbered from 1", i + 1));
    }
  }
  if (hydrogen && (settings.trim || settings.hydrogenate)) {
    check("the atoms hold hydrogen already: --trim and --hydrogenate take atoms without it");
  }
  if (settings.hydrogenate) {
    if (topology.species.size() > 255) check("the frame has too many species to add hydrogen");
    topology.species.push_back(kHydrogen);
    hydrogen_kind_ = static_cast<std::uint8_t>(topology.species.size() - 1);
  }
  const Cell& cell = topology.cell;
  for (int a = 0; a < 3; ++a) {
    if (!std::isfinite(cell.lo[a]) || !std::isfinite(cell.hi[a]) || !std::isfinite(cell.length(a))) {
      check(format_text("the cell along %c is not finite", kAxisName[a]));
    }
  }
  if (!std::isfinite(cell.xy) || !std::isfinite(cell.xz) || !std::isfinite(cell.yz)) {
    check("the tilts of the cell are not finite");
  }
  topology.images.assign(n, {0, 0, 0});
}

// The atoms moved into the cell along its periodic edges, the moves kept as
// image flags.
void TopologyBuilder::place_periodic(Topology& topology) {
  const Cell& cell = topology.cell;
  if (cell.orthogonal()) {
    for (int a = 0; a < 3; ++a) {
      if (!cell.periodic[a]) continue;
      for (std::size_t i = 0; i < topology.atom_count(); ++i) {
        long long image = 0;
        if (!wrap_into_box(topology.positions[i][a], cell.lo[a], cell.hi[a], image)) {
          check(outside_error(i, a));
        }
        topology.images[i][a] = static_cast<std::int32_t>(image);
      }
    }
    return;
  }
  for (std::size_t i = 0; i < topology.atom_count(); ++i) {
    if (!wrap_into_cell(topology.positions[i], topology.images[i], cell)) {
      check(format_text("atom %zu lies more than %lld cell edges outside the cell", i + 1,
                        kMaxImage));
    }
  }
}

// Along an open axis the cell stays where it holds the atoms; otherwise that
// edge spans the atoms with kOpenMargin on either side.
void TopologyBuilder::place_open(const TopologySettings& settings, Topology& topology) {
  Cell& cell = topology.cell;
  const std::size_t n = topology.atom_count();
  for (int a = 0; a < 3; ++a) {
    if (settings.periodic[a]) continue;
    constexpr double kInfinity = std::numeric_limits<double>::infinity();
    double low = kInfinity, high = -kInfinity;  // fractional, or Cartesian when orthogonal
    for (const Position3& p : topology.positions) {
      const double c = cell.orthogonal() ? p[a] : cell.fractional(p)[a];
      low = std::min(low, c);
      high = std::max(high, c);
    }
    const bool inside = cell.orthogonal() ? cell.length(a) > 0.0 && low >= cell.lo[a] && high <= cell.hi[a]
                                          : low >= 0.0 && high <= 1.0;
    if (inside) continue;
    if (cell.orthogonal() || n == 0) {
      cell.lo[a] = (n == 0 ? 0.0 : low) - kOpenMargin;
      cell.hi[a] = (n == 0 ? 0.0 : high) + kOpenMargin;
    } else {
      // The edge moved and stretched along itself: the other fractional
      // coordinates stay as they were.
      const Position3 edge = cell.vector(a);
      Position3 lengths{cell.length(0), cell.length(1), cell.length(2)};
      const double margin = kOpenMargin / cell.height(a);
      const double start = low - margin;
      const double scale = high - low + 2.0 * margin;
      for (int k = 0; k < 3; ++k) cell.lo[k] += start * edge[k];
      if (a == 1) cell.xy = edge[0] * scale;
      if (a == 2) {
        cell.xz = edge[0] * scale;
        cell.yz = edge[1] * scale;
      }
      lengths[a] = edge[a] * scale;
      for (int k = 0; k < 3; ++k) cell.hi[k] = cell.lo[k] + lengths[k];
    }
    if (!std::isfinite(cell.lo[a]) || !std::isfinite(cell.hi[a]) || !std::isfinite(cell.length(a))) {
      check(format_text(
          "the box along %c would not be finite: the atoms lie from %g to %g Angstrom along it",
          kAxisName[a], low, high));
    }
  }
}

// Hydrogen as given with the atoms: one bond at most, to a carbon, and one
// hydrogen at most on a carbon.
void TopologyBuilder::check_hydrogen_bonds(const Topology& topology) const {
  const NeighbourLists& lists = topology.neighbours;
  for (std::size_t i = 0; i < topology.atom_count(); ++i) {
    std::size_t hydrogens = 0;
    for (std::size_t k = lists.start[i]; k < lists.start[i + 1]; ++k) {
      hydrogens += topology.kind[lists.index[k]] == 1 ? 1 : 0;
    }
    if (topology.kind[i] == 1 && (lists.count(i) > 1 || hydrogens > 0)) {
      check(format_text(
          "atom %zu, a hydrogen, has %zu neighbours closer than the cut-off of %g Angstrom, %zu "
          "of them hydrogen: a hydrogen bonds to one carbon",
          i + 1, lists.count(i), cutoff_, hydrogens));
    }
    if (topology.kind[i] == 0 && hydrogens > 1) {
      check(format_text(
          "atom %zu, a carbon, has %zu hydrogens closer than the cut-off of %g Angstrom: a carbon "
          "carries one hydrogen at most (as --hydrogenate places them)",
          i + 1, hydrogens, cutoff_));
    }
  }
}

// The images of the atoms near a periodic boundary, beyond the box, follow
// the atoms for the search (and are dropped after it): the pairs between an
// atom and an image are the bonds through the boundary.
void TopologyBuilder::add_boundary_images(const TopologySettings& settings, Topology& topology) {
  std::vector<Position3>& points = topology.positions;
  const Cell& box = topology.cell;
  const std::size_t n = points.size();
  image_of_.clear();
  image_shifts_.clear();
  const std::vector<Shift> shifts = half_shifts(settings.periodic);
  if (!box.orthogonal()) {
    add_cell_images(shifts, settings.cutoff, topology);
    return;
  }
  for (std::size_t i = 0; i < n; ++i) {
    const Position3 p = points[i];
    for (const Shift& s : shifts) {
      bool near = true;
      Position3 image = p;
      for (int a = 0; a < 3 && near; ++a) {
        if (s[a] > 0) near = p[a] < box.lo[a] + settings.cutoff;
        if (s[a] < 0) near = p[a] >= box.hi[a] - settings.cutoff;
        image[a] = p[a] + s[a] * box.length(a);
      }
      if (!near) continue;
      points.push_back(image);
      image_of_.push_back(static_cast<std::uint32_t>(i));
      image_shifts_.push_back(s);
    }
  }
}

// The same in a triclinic cell: an atom is near a face when its distance
// to it, the fractional coordinate times the room between the faces, is
// within the cut-off; its image lies one edge vector beyond.
void TopologyBuilder::add_cell_images(const std::vector<ImageShift>& shifts, double cutoff,
                                      Topology& topology) {
  std::vector<Position3>& points = topology.positions;
  const Cell& cell = topology.cell;
  const std::size_t n = points.size();
  const Position3 heights{cell.height(0), cell.height(1), cell.height(2)};
  const std::array<Position3, 3> edges{cell.vector(0), cell.vector(1), cell.vector(2)};
  for (std::size_t i = 0; i < n; ++i) {
    const Position3 p = points[i];
    const Position3 f = cell.fractional(p);
    for (const Shift& s : shifts) {
      bool near = true;
      Position3 image = p;
      for (int a = 0; a < 3 && near; ++a) {
        if (s[a] > 0) near = f[a] * heights[a] < cutoff;
        if (s[a] < 0) near = (1.0 - f[a]) * heights[a] <= cutoff;
        for (int k = 0; k < 3; ++k) image[k] += s[a] * edges[a][k];
      }
      if (!near) continue;
      points.push_back(image);
      image_of_.push_back(static_cast<std::uint32_t>(i));
      image_shifts_.push_back(s);
    }
  }
}

// The pairs closer than the cut-off among the `n` atoms and their images.
// The pairs with an image are set apart as bonds through the boundary; the
// lengths of the bonds inside are the measure for them.  The images are
// dropped.
void TopologyBuilder::find_bonds(std::size_t n, const TopologySettings& settings,
                                 Topology& topology) {
  const double cutoff = settings.cutoff;
  const bool periodic = settings.periodic[0] || settings.periodic[1] || settings.periodic[2];
  std::vector<Position3>& points = topology.positions;
  std::vector<AtomPair>& bonds = topology.bonds;
  bonds.clear();
  coincident_count_ = 0;
  neighbour_count_.assign(n, 0);
  // The neighbours are counted as they are found, so that a scene of atoms
  // on top of each other is refused before its pairs fill the memory.
  search_.find_close_pairs(
      points, std::max(cutoff, kCoincidentDistance),
      [&](std::uint32_t i, std::uint32_t j) {
        if (i >= n) return false;                           // two images
        if (j >= n && image_of_[j - n] == i) return false;  // an atom and its own image
        const double length = distance(points[i], points[j]);
        if (length < kCoincidentDistance && j < n) note_coincident(i, j, length);
        if (!(length < cutoff)) return false;
        const std::uint32_t other = j < n ? j : image_of_[j - n];
        if (++neighbour_count_[i] > kMaxNeighbours) refuse_crowded(i);
        if (++neighbour_count_[other] > kMaxNeighbours) refuse_crowded(other);
        return true;
      },
      bonds);
  boundary_.clear();
  inside_low_ = std::numeric_limits<double>::infinity();
  inside_high_ = -inside_low_;
  std::size_t kept = 0;
  for (const AtomPair& pair : bonds) {
    if (pair.second < n) {
      if (periodic) {
        const double length = distance(points[pair.first], points[pair.second]);
        inside_low_ = std::min(inside_low_, length);
        inside_high_ = std::max(inside_high_, length);
      }
      bonds[kept++] = pair;
      continue;
    }
    const std::uint32_t other = image_of_[pair.second - n];
    boundary_.push_back({{std::min(pair.first, other), std::max(pair.first, other)},
                         distance(points[pair.first], points[pair.second]),
                         image_shifts_[pair.second - n]});
  }
  bonds.resize(kept);
  points.resize(n);
}

// The bonds through the boundary join those inside, in the order of their
// atoms.
void TopologyBuilder::merge_boundary_bonds(Topology& topology) {
  if (boundary_.empty()) return;
  std::vector<AtomPair>& bonds = topology.bonds;
  std::sort(boundary_.begin(), boundary_.end(), [&](const BoundaryBond& x, const BoundaryBond& y) {
    return by_atoms(x.pair, y.pair);
  });
  const auto inside = static_cast<std::ptrdiff_t>(bonds.size());
  for (const BoundaryBond& bond : boundary_) bonds.push_back(bond.pair);
  std::inplace_merge(bonds.begin(), bonds.begin() + inside, bonds.end(), by_atoms);
  // A pair cannot be close both inside and through a boundary while every
  // periodic length exceeds twice the cut-off; rounding is not trusted to
  // keep it so.
  bonds.erase(std::unique(bonds.begin(), bonds.end(),
                          [](const AtomPair& x, const AtomPair& y) {
                            return x.first == y.first && x.second == y.second;
                          }),
              bonds.end());
}

// Whether the box is a period of the structure: atoms on top of each other
// through the boundary are an error; atoms with more bonds than they form,
// and bonds through the boundary unlike every bond inside, are warnings.
void TopologyBuilder::check_period(const TopologySettings& settings, const Topology& topology,
                                   const Log& log) const {
  const double overlap = std::min(kOverlapDistance, settings.cutoff);
  std::size_t overlaps = 0;
  const BoundaryBond* closest = nullptr;
  for (const BoundaryBond& bond : boundary_) {
    if (bond.length >= overlap) continue;
    ++overlaps;
    if (closest == nullptr || bond.length < closest->length) closest = &bond;
  }
  if (closest != nullptr) {
    check(format_text(
        "%zu pairs of atoms are closer than %.1f Angstrom through the periodic boundary (atoms "
        "%u "
        "and %u, %.3f Angstrom apart along %s): the tube does not repeat with %s; a whole number "
        "of unit cells (wrapping -u) does",
        overlaps, overlap, closest->pair.first + 1, closest->pair.second + 1, closest->length,
        shift_axes(closest->shift).c_str(), lengths_text(closest->shift, topology.cell).c_str()));
  }

  std::size_t crowded = 0;
  std::size_t most = 0;
  for (std::size_t i = 0; i < topology.atom_count(); ++i) {
    const std::size_t count = topology.neighbours.count(i);
    if (count > static_cast<std::size_t>(topology.species[topology.kind[i]].valence)) {
      ++crowded;
      most = std::max(most, count);
    }
  }
  if (crowded > 0) {
    warn(log, format_text(
                  "%zu atoms have more bonds than their element forms (up to %zu): the box is not "
                  "a period of the structure along %s",
                  crowded, most, axes_text(settings.periodic).c_str()));
  }

  // Bonds through the boundary unlike every bond inside: a lattice that
  // repeats as a screw, or a box length that is no whole number of cells.
  std::size_t odd = 0;
  double low = std::numeric_limits<double>::infinity();
  double high = -low;
  for (const BoundaryBond& bond : boundary_) {
    low = std::min(low, bond.length);
    high = std::max(high, bond.length);
    if (bond.length < inside_low_ - kBoundaryBondTolerance ||
        bond.length > inside_high_ + kBoundaryBondTolerance) {
      ++odd;
    }
  }
  if (odd > 0 && inside_low_ <= inside_high_ && settings.regular) {
    warn(log, format_text(
                  "%zu of %zu bonds through the periodic boundary differ by more than %g Angstrom "
                  "from every bond inside the box (through the boundary %.3f to %.3f Angstrom, "
                  "inside %.3f to %.3f): the box is not a period of the lattice along %s (a "
                  "lattice whose axis is not perpendicular to its circumference repeats as a "
                  "screw)",
                  odd, boundary_.size(), kBoundaryBondTolerance, low, high, inside_low_,
                  inside_high_, axes_text(settings.periodic).c_str()));
  }
}

// A periodic axis along which the structure does not repeat: no bond crosses
// its boundary, or the atoms fill less than half of its length (a tube built
// along x but made periodic along z).  The axis along which the atoms do
// fill their box is named as the one the structure seems to repeat along.
void TopologyBuilder::check_repetition(const TopologySettings& settings,
                                       const std::array<double, 3>& lengths,
                                       const Topology& topology, const Log& log) const {
  if (topology.atom_count() == 0) return;
  Position3 low = topology.positions.front();
  Position3 high = low;
  for (const Position3& p : topology.positions) {
    for (int a = 0; a < 3; ++a) {
      low[a] = std::min(low[a], p[a]);
      high[a] = std::max(high[a], p[a]);
    }
  }
  std::array<bool, 3> crossed{false, false, false};
  for (const BoundaryBond& bond : boundary_) {
    for (int a = 0; a < 3; ++a) crossed[a] = crossed[a] || bond.shift[a] != 0;
  }
  // The share of its box length that the atoms span along each axis.
  std::array<double, 3> filled{};
  for (int a = 0; a < 3; ++a) filled[a] = (high[a] - low[a]) / lengths[a];
  for (int a = 0; a < 3; ++a) {
    if (!settings.periodic[a] || ((crossed[a] || settings.unbonded[a]) && filled[a] >= 0.5)) continue;
    std::string why = crossed[a] ? "" : "no bond crosses its periodic boundary";
    if (filled[a] < 0.5) {
      why += format_text("%sthe atoms span %.3f of its %.3f Angstrom", why.empty() ? "" : " and ",
                         high[a] - low[a], lengths[a]);
    }
    int best = -1;
    for (int b = 0; b < 3; ++b) {
      if (b != a && std::isfinite(filled[b]) && filled[b] >= 0.5 && filled[b] <= 1.0 &&
          (best < 0 || filled[b] > filled[best])) {
        best = b;
      }
    }
    std::string text = format_text("the structure does not repeat along %c, the periodic axis: %s",
                                   kAxisName[a], why.c_str());
    if (best >= 0) {
      text += format_text("; it seems to repeat along %c (--periodic %c)", kAxisName[best],
                          kAxisName[best]);
    }
    warn(log, text);
  }
}

void TopologyBuilder::note_coincident(std::uint32_t i, std::uint32_t j, double length) {
  if (coincident_count_++ == 0 || length < coincident_length_) {
    coincident_ = {i, j};
    coincident_length_ = length;
  }
}

void TopologyBuilder::refuse_crowded(std::uint32_t atom) const {
  throw Error("Error: " + std::string(label_) + format_text(
      "atom %u has more than %zu neighbours closer than the cut-off of %g Angstrom (a carbon has "
      "3): atoms lie on top of each other, or the cut-off is far longer than a bond (--cutoff; "
      "the default is %g)",
      atom + 1, kMaxNeighbours, cutoff_, kBondCutoff) + ".\n");
}

// Two atoms inside the box closer than any bond: one atom written twice.  The
// pair may have come together as an atom was placed in the box along a
// periodic axis (a face of the structure repeated at the far end); that axis
// is named.  (Pairs through the boundary meet the period check.)
void TopologyBuilder::check_coincident(const Topology& topology) const {
  if (coincident_count_ == 0) return;
  const std::uint32_t i = coincident_.first;
  const std::uint32_t j = coincident_.second;
  PeriodicAxes moved{};
  for (int a = 0; a < 3; ++a) moved[a] = topology.images[i][a] != topology.images[j][a];
  std::string text = format_text(
      "%zu %s closer than %.1f Angstrom, nearer than any bond (atoms %u and %u, %.3f Angstrom "
      "apart): the same atom is written twice",
      coincident_count_, coincident_count_ == 1 ? "pair of atoms is" : "pairs of atoms are",
      kCoincidentDistance, i + 1, j + 1, coincident_length_);
  if (moved[0] || moved[1] || moved[2]) {
    text += format_text(
        ", once at each end of the periodic axis %s: the structure repeats itself within the box "
        "(a whole number of unit cells, wrapping -u, holds each atom once)",
        axes_text(moved).c_str());
  }
  check(text);
}

// Refuses, before any is written, more bonded terms of a kind than a file
// counts.  The dihedrals are bounded by the paths over each bond first, and
// counted only when that bound is reached.
void TopologyBuilder::check_term_counts(const Topology& topology) const {
  // With at most kMaxNeighbours bonds an atom, no kind of term counts more
  // than the dihedrals' paths over every bond: a bound that most scenes stay
  // far below, with nothing to count.
  constexpr std::size_t kMostPerAtom = kMaxNeighbours / 2 * (kMaxNeighbours - 1) * (kMaxNeighbours - 1);
  if (topology.atom_count() <= kMaxTerms / kMostPerAtom) return;
  const NeighbourLists& lists = topology.neighbours;
  std::size_t dihedral_bound = 0;
  for (const AtomPair& bond : topology.bonds) {
    dihedral_bound += (lists.count(bond.first) - 1) * (lists.count(bond.second) - 1);
  }
  const std::size_t counts[] = {topology.bonds.size(), topology.angle_count(),
                                dihedral_bound > kMaxTerms ? topology.dihedral_count() : 0,
                                topology.improper_count()};
  const char* names[] = {"bonds", "angles", "dihedrals", "impropers"};
  for (int k = 0; k < 4; ++k) {
    if (counts[k] > kMaxTerms) {
      check(format_text("%zu %s are more than the %zu that a file counts: the cut-off of %g "
                        "Angstrom is far longer than a bond",
                        counts[k], names[k], kMaxTerms, cutoff_));
    }
  }
}

// The molecules: the connected components, numbered by their lowest atom.
void TopologyBuilder::number_molecules(Topology& topology) {
  const std::size_t atoms = topology.atom_count();
  if (!topology.molecule.empty()) {
    // Given with the atoms: kept as they are.
    topology.molecule_count = 0;
    for (const std::uint32_t m : topology.molecule) {
      topology.molecule_count = std::max(topology.molecule_count, m);
    }
    return;
  }
  topology.molecule.assign(atoms, 0);
  topology.molecule_count = 0;
  for (std::size_t first = 0; first < atoms; ++first) {
    if (topology.molecule[first] != 0) continue;
    const std::uint32_t number = ++topology.molecule_count;
    topology.molecule[first] = number;
    stack_.assign(1, static_cast<std::uint32_t>(first));
    while (!stack_.empty()) {
      const std::uint32_t atom = stack_.back();
      stack_.pop_back();
      for (std::size_t k = topology.neighbours.start[atom]; k < topology.neighbours.start[atom + 1];
           ++k) {
        const std::uint32_t other = topology.neighbours.index[k];
        if (topology.molecule[other] == 0) {
          topology.molecule[other] = number;
          stack_.push_back(other);
        }
      }
    }
  }
}

std::size_t TopologyBuilder::remove_loose_atoms(Topology& topology) {
  // Per atom its bonds to atoms still there, or kRemoved; then its new number.
  constexpr std::uint32_t kRemoved = std::numeric_limits<std::uint32_t>::max();
  const NeighbourLists& lists = topology.neighbours;
  const std::size_t n = topology.atom_count();
  std::vector<std::uint32_t>& degree = number_;
  degree.resize(n);
  stack_.clear();
  for (std::size_t i = 0; i < n; ++i) {
    degree[i] = static_cast<std::uint32_t>(lists.count(i));
    if (degree[i] < 2) {
      degree[i] = kRemoved;
      stack_.push_back(static_cast<std::uint32_t>(i));
    }
  }
  std::size_t removed = stack_.size();
  while (!stack_.empty()) {
    const std::uint32_t atom = stack_.back();
    stack_.pop_back();
    for (std::size_t k = lists.start[atom]; k < lists.start[atom + 1]; ++k) {
      const std::uint32_t other = lists.index[k];
      if (degree[other] != kRemoved && --degree[other] < 2) {
        degree[other] = kRemoved;
        stack_.push_back(other);
        ++removed;
      }
    }
  }
  if (removed == 0) return 0;

  // The atoms left keep their order; so do their bonds.
  std::uint32_t next = 0;
  for (std::size_t i = 0; i < n; ++i) {
    if (degree[i] == kRemoved) continue;
    degree[i] = next;
    topology.kind[next] = topology.kind[i];
    if (!topology.molecule.empty()) topology.molecule[next] = topology.molecule[i];
    topology.positions[next] = topology.positions[i];
    topology.images[next] = topology.images[i];
    ++next;
  }
  topology.positions.resize(next);
  topology.images.resize(next);
  topology.kind.resize(next);
  if (!topology.molecule.empty()) topology.molecule.resize(next);
  std::size_t kept = 0;
  for (const AtomPair& bond : topology.bonds) {
    const std::uint32_t first = degree[bond.first];
    const std::uint32_t second = degree[bond.second];
    if (first != kRemoved && second != kRemoved) topology.bonds[kept++] = {first, second};
  }
  topology.bonds.resize(kept);
  topology.neighbours.build(next, topology.bonds);
  return removed;
}

// Hydrogens that would meet in the plane of their carbons' bonds (closer
// than kHydrogenClash, as the three around a vacancy do): per group of such
// hydrogens, in the order of their carbons, each one's direction tilted out
// of that plane by kHydrogenTiltDegrees, to one side and the other in turn
// (the sides those of the group's first carbon).  Empty when no two meet;
// otherwise per hydrogen its unit direction, or zero where it is not tilted.
std::vector<Position3> TopologyBuilder::hydrogen_tilts(const std::vector<std::uint32_t>& carbons,
                                                       const std::vector<Position3>& sums,
                                                       double distance_ch,
                                                       const Topology& topology) const {
  const Cell& box = topology.cell;
  const NeighbourLists& lists = topology.neighbours;
  const auto unit = [](Position3 d) {
    const double length = std::sqrt(d[0] * d[0] + d[1] * d[1] + d[2] * d[2]);
    for (double& component : d) component /= length;
    return d;
  };
  // The hydrogens where they would go, and images of those near the lower
  // face of each periodic edge, one edge vector on.
  std::vector<Position3> spots;
  std::vector<std::uint32_t> owner;
  for (std::size_t k = 0; k < carbons.size(); ++k) {
    const Position3 away = unit(sums[k]);
    Position3 h;
    for (int a = 0; a < 3; ++a) h[a] = topology.positions[carbons[k]][a] - away[a] * distance_ch;
    spots.push_back(h);
    owner.push_back(static_cast<std::uint32_t>(k));
  }
  for (int a = 0; a < 3; ++a) {
    if (!box.periodic[a]) continue;
    const Position3 edge = box.vector(a);
    const double height = box.height(a);
    const std::size_t count = spots.size();
    for (std::size_t k = 0; k < count; ++k) {
      if (box.fractional(spots[k])[a] * height < kHydrogenClash) {
        spots.push_back({spots[k][0] + edge[0], spots[k][1] + edge[1], spots[k][2] + edge[2]});
        owner.push_back(owner[k]);
      }
    }
  }
  // The pairs within reach of each other, and among them those that meet.
  std::vector<AtomPair> near;
  find_close_pairs(
      spots, kHydrogenReach,
      [&](std::uint32_t i, std::uint32_t j) {
        return owner[i] != owner[j] && distance(spots[i], spots[j]) < kHydrogenReach;
      },
      near);
  std::vector<AtomPair> meeting;
  std::vector<std::vector<std::uint32_t>> around(carbons.size());
  for (const AtomPair& pair : near) {
    const std::uint32_t a = owner[pair.first];
    const std::uint32_t b = owner[pair.second];
    around[a].push_back(b);
    around[b].push_back(a);
    if (distance(spots[pair.first], spots[pair.second]) < kHydrogenClash) meeting.push_back({a, b});
  }
  if (meeting.empty()) return {};
  // Groups of meeting hydrogens, each named by its first.
  std::vector<std::uint32_t> group(carbons.size());
  for (std::size_t k = 0; k < group.size(); ++k) group[k] = static_cast<std::uint32_t>(k);
  const auto root = [&](std::uint32_t k) {
    while (group[k] != k) k = group[k] = group[group[k]];
    return k;
  };
  for (const AtomPair& pair : meeting) {
    const std::uint32_t a = root(pair.first);
    const std::uint32_t b = root(pair.second);
    group[std::max(a, b)] = std::min(a, b);
  }
  std::vector<std::vector<std::uint32_t>> groups(carbons.size());
  for (std::uint32_t k = 0; k < carbons.size(); ++k) groups[root(k)].push_back(k);
  std::vector<Position3> tilts(carbons.size(), Position3{});
  // Groups are settled in order; a hydrogen of a later group is not yet.
  std::vector<char> settled(carbons.size(), 1);
  for (const std::vector<std::uint32_t>& members : groups) {
    if (members.size() >= 2) {
      for (const std::uint32_t k : members) settled[k] = 0;
    }
  }
  const auto place = [&](std::uint32_t k, const Position3& direction) {
    if (direction == Position3{}) return spots[k];
    const Position3& c = topology.positions[carbons[k]];
    return Position3{c[0] + direction[0] * distance_ch, c[1] + direction[1] * distance_ch,
                     c[2] + direction[2] * distance_ch};
  };
  const auto apart = [&](const Position3& p, const Position3& q) {
    const Position3 gap = nearest_image({q[0] - p[0], q[1] - p[1], q[2] - p[2]}, box);
    return std::sqrt(gap[0] * gap[0] + gap[1] * gap[1] + gap[2] * gap[2]);
  };
  const double tilt = kHydrogenTiltDegrees * (kPi / 180.0);
  for (const std::vector<std::uint32_t>& members : groups) {
    if (members.size() < 2) continue;
    // Per member the direction away from its bonds and the normal of their
    // plane, turned to the side of the first member's.
    std::vector<Position3> away;
    std::vector<Position3> normals;
    for (const std::uint32_t k : members) {
      const std::size_t c = carbons[k];
      Position3 u;
      Position3 v;
      for (int a = 0; a < 3; ++a) {
        u[a] = topology.positions[lists.index[lists.start[c]]][a] - topology.positions[c][a];
        v[a] = topology.positions[lists.index[lists.start[c] + 1]][a] - topology.positions[c][a];
      }
      u = nearest_image(u, box);
      v = nearest_image(v, box);
      Position3 normal = unit(Position3{u[1] * v[2] - u[2] * v[1], u[2] * v[0] - u[0] * v[2],
                                        u[0] * v[1] - u[1] * v[0]});
      if (!normals.empty() && normal[0] * normals[0][0] + normal[1] * normals[0][1] +
                                      normal[2] * normals[0][2] < 0.0) {
        for (double& component : normal) component = -component;
      }
      normals.push_back(normal);
      away.push_back(unit(sums[k]));
    }
    // Either side first: the one that keeps the hydrogens farther apart,
    // from each other and from the settled ones within reach (on a curved
    // wall, the pair on the convex side).
    double best = -1.0;
    std::vector<Position3> chosen;
    for (const double first_side : {1.0, -1.0}) {
      std::vector<Position3> directions;
      for (std::size_t m = 0; m < members.size(); ++m) {
        const double side = m % 2 == 0 ? first_side : -first_side;
        Position3 d;
        for (int a = 0; a < 3; ++a) {
          d[a] = -away[m][a] * std::cos(tilt) + side * normals[m][a] * std::sin(tilt);
        }
        directions.push_back(d);
      }
      double closest = std::numeric_limits<double>::infinity();
      for (std::size_t m = 0; m < members.size(); ++m) {
        const Position3 here = place(members[m], directions[m]);
        for (std::size_t o = m + 1; o < members.size(); ++o) {
          closest = std::min(closest, apart(here, place(members[o], directions[o])));
        }
        for (const std::uint32_t other : around[members[m]]) {
          if (settled[other] != 0) closest = std::min(closest, apart(here, place(other, tilts[other])));
        }
      }
      if (closest > best) {
        best = closest;
        chosen = directions;
      }
    }
    for (std::size_t m = 0; m < members.size(); ++m) {
      tilts[members[m]] = chosen[m];
      settled[members[m]] = 1;
    }
  }
  return tilts;
}

std::string TopologyBuilder::add_hydrogens(const TopologySettings& settings, Topology& topology) {
  const std::size_t n = topology.atom_count();
  const NeighbourLists& lists = topology.neighbours;
  const Cell& box = topology.cell;
  std::vector<Position3>& points = topology.positions;
  // The unit vector from one atom to another, through the nearest image along
  // the periodic axes.
  const auto direction = [&](std::size_t from, std::uint32_t to) {
    Position3 d;
    for (int a = 0; a < 3; ++a) d[a] = points[to][a] - points[from][a];
    d = nearest_image(d, box);
    const double length = std::sqrt(d[0] * d[0] + d[1] * d[1] + d[2] * d[2]);
    for (double& component : d) component /= length;
    return d;
  };
  const double least_sum = 2.0 * std::sin(kStraightBondDegrees * 0.5 * (kPi / 180.0));
  std::size_t hydrogens = 0;
  for (std::size_t c = 0; c < n; ++c) hydrogens += lists.count(c) == 2 ? 1 : 0;
  // Per hydrogen its carbon and the sum of the carbon's two bond directions.
  std::vector<std::uint32_t> carbons;
  std::vector<Position3> sums;
  carbons.reserve(hydrogens);
  sums.reserve(hydrogens);
  for (std::size_t c = 0; c < n; ++c) {
    if (lists.count(c) != 2) continue;
    const Position3 u = direction(c, lists.index[lists.start[c]]);
    const Position3 v = direction(c, lists.index[lists.start[c] + 1]);
    const Position3 sum{u[0] + v[0], u[1] + v[1], u[2] + v[2]};
    const double length = std::sqrt(sum[0] * sum[0] + sum[1] * sum[1] + sum[2] * sum[2]);
    if (!(length >= least_sum)) {
      return format_text(
          "atom %zu: its two bonds lie on one straight line (within %.1f degrees), so no "
          "direction away from both is left for its hydrogen",
          c + 1, kStraightBondDegrees);
    }
    carbons.push_back(static_cast<std::uint32_t>(c));
    sums.push_back(sum);
  }
  const std::vector<Position3> tilts = hydrogen_tilts(carbons, sums, settings.hydrogen_distance, topology);
  points.reserve(n + hydrogens);
  topology.images.reserve(n + hydrogens);
  const std::size_t inside = topology.bonds.size();
  topology.bonds.reserve(inside + hydrogens);
  for (std::size_t k = 0; k < carbons.size(); ++k) {
    const std::size_t c = carbons[k];
    const Position3& sum = sums[k];
    const double length = std::sqrt(sum[0] * sum[0] + sum[1] * sum[1] + sum[2] * sum[2]);
    Position3 h;
    std::array<std::int32_t, 3> image = topology.images[c];
    for (int a = 0; a < 3; ++a) {
      h[a] = tilts.empty() || tilts[k] == Position3{}
                 ? points[c][a] - sum[a] / length * settings.hydrogen_distance
                 : points[c][a] + tilts[k][a] * settings.hydrogen_distance;
      long long moved = image[a];
      if (box.orthogonal() && box.periodic[a] && !wrap_into_box(h[a], box.lo[a], box.hi[a], moved)) {
        return outside_error(points.size(), a);
      }
      image[a] = static_cast<std::int32_t>(moved);
    }
    if (!box.orthogonal() && !wrap_into_cell(h, image, box)) return outside_error(points.size(), 0);
    if (!topology.molecule.empty()) topology.molecule.push_back(topology.molecule[c]);
    topology.bonds.push_back(
        {static_cast<std::uint32_t>(c), static_cast<std::uint32_t>(points.size())});
    points.push_back(h);
    topology.images.push_back(image);
  }
  topology.kind.resize(points.size(), hydrogen_kind_);
  // A carbon's bond to its hydrogen follows its bonds to other carbons.
  std::inplace_merge(topology.bonds.begin(),
                     topology.bonds.begin() + static_cast<std::ptrdiff_t>(inside),
                     topology.bonds.end(), by_atoms);
  topology.neighbours.build(points.size(), topology.bonds);
  return "";
}

int TermTypeTable::find(const Key& key) const {
  if (!table_.empty()) return table_[index(key)];
  const auto at = std::lower_bound(types_.begin(), types_.end(), key);
  return at != types_.end() && *at == key ? static_cast<int>(at - types_.begin()) + 1 : 0;
}

std::size_t TermTypeTable::index(const Key& key) const {
  std::size_t index = 0;
  for (int k = 0; k < arity_; ++k) index = index * species_count_ + key[static_cast<std::size_t>(k)];
  return index;
}

void TermTypeTable::assign(std::vector<Key> types, std::size_t species_count) {
  types_ = std::move(types);
  species_count_ = std::max<std::size_t>(species_count, 1);
  table_.clear();
  // A dense table of every key while it stays small; a search otherwise.
  std::size_t size = 1;
  for (int k = 0; k < arity_ && size <= kDenseTypeTable; ++k) size *= species_count_;
  if (size > kDenseTypeTable) return;
  table_.assign(size, 0);
  for (std::size_t t = 0; t < types_.size(); ++t) table_[index(types_[t])] = static_cast<std::uint16_t>(t + 1);
}

namespace {

using Key = TermTypeTable::Key;

Key bond_key(std::uint8_t a, std::uint8_t b) { return {std::min(a, b), std::max(a, b), 0, 0}; }
Key angle_key(std::uint8_t a, std::uint8_t centre, std::uint8_t c) {
  return {std::min(a, c), centre, std::max(a, c), 0};
}
Key dihedral_key(std::uint8_t a, std::uint8_t b, std::uint8_t c, std::uint8_t d) {
  const Key forward{a, b, c, d};
  const Key backward{d, c, b, a};
  return std::min(forward, backward);
}
Key improper_key(std::uint8_t centre, std::uint8_t a, std::uint8_t b, std::uint8_t c) {
  Key key{centre, a, b, c};
  std::sort(key.begin() + 1, key.end());
  return key;
}

// The distinct keys of one kind of term, with the keys given at the start:
// marked in a dense table where the species are few (one pass, no sort),
// gathered and made unique by sorting otherwise.
class KeyCollector {
 public:
  KeyCollector(int arity, std::size_t species, const std::vector<Key>& given)
      : arity_(arity), species_(species), keys_(given) {
    std::size_t size = 1;
    for (int k = 0; k < arity && size <= kDenseTypeTable; ++k) size *= species;
    if (size <= kDenseTypeTable) {
      seen_.assign(size, 0);
      for (const Key& key : given) seen_[index(key)] = 1;
    }
  }

  void add(const Key& key) {
    if (!seen_.empty()) {
      seen_[index(key)] = 1;
      return;
    }
    keys_.push_back(key);
    if (keys_.size() >= 2 * squeezed_ + 4096) squeeze();
  }

  // Ascending; throws when there are more than can be numbered.
  std::vector<Key> keys() {
    if (!seen_.empty()) {
      keys_.clear();
      for (std::size_t i = 0; i < seen_.size(); ++i) {
        if (seen_[i] == 0) continue;
        Key key{0, 0, 0, 0};
        std::size_t rest = i;
        for (int k = arity_ - 1; k >= 0; --k) {
          key[static_cast<std::size_t>(k)] = static_cast<std::uint8_t>(rest % species_);
          rest /= species_;
        }
        keys_.push_back(key);
      }
    } else {
      squeeze();
    }
    if (keys_.size() > kMaxTermTypes) {
      throw Error(format_text("Error: the atoms hold %zu types of one kind of bonded term, more "
                              "than the %zu that are numbered.\n",
                              keys_.size(), kMaxTermTypes));
    }
    return std::move(keys_);
  }

 private:
  std::size_t index(const Key& key) const {
    std::size_t index = 0;
    for (int k = 0; k < arity_; ++k) index = index * species_ + key[static_cast<std::size_t>(k)];
    return index;
  }
  void squeeze() {
    std::sort(keys_.begin(), keys_.end());
    keys_.erase(std::unique(keys_.begin(), keys_.end()), keys_.end());
    squeezed_ = keys_.size();
  }

  int arity_;
  std::size_t species_;
  std::vector<Key> keys_;
  std::vector<std::uint8_t> seen_;
  std::size_t squeezed_ = 0;
};

}  // namespace

int Topology::bond_type(std::uint32_t i, std::uint32_t j) const {
  return typing.bonds.find(bond_key(kind[i], kind[j]));
}
int Topology::angle_type(std::uint32_t i, std::uint32_t centre, std::uint32_t k) const {
  return typing.angles.find(angle_key(kind[i], kind[centre], kind[k]));
}
int Topology::dihedral_type(std::uint32_t i, std::uint32_t j, std::uint32_t k,
                            std::uint32_t l) const {
  return typing.dihedrals.find(dihedral_key(kind[i], kind[j], kind[k], kind[l]));
}
int Topology::improper_type(std::uint32_t centre, std::uint32_t a, std::uint32_t b,
                            std::uint32_t c) const {
  return typing.impropers.find(improper_key(kind[centre], kind[a], kind[b], kind[c]));
}

// The term types: the fixed lists of carbon and hydrogen, or those the terms
// hold.
void assign_term_types(Topology& topology, bool collect) {
  const std::size_t count = topology.species.size();
  TermTyping& typing = topology.typing;
  const bool carbon = count >= 1 && topology.species[0].symbol == "C";
  std::vector<Key> bonds, angles, dihedrals, impropers;
  if (carbon && count == 1) {
    // Carbon alone holds no other key.
    bonds = angles = dihedrals = impropers = {Key{0, 0, 0, 0}};
    collect = false;
  } else if (carbon && count == 2 && topology.species[1].symbol == "H") {
    bonds = {Key{0, 0, 0, 0}, Key{0, 1, 0, 0}};
    angles = {Key{0, 0, 0, 0}, Key{0, 0, 1, 0}};
    dihedrals = {Key{0, 0, 0, 0}, Key{0, 0, 0, 1}, Key{1, 0, 0, 1}};
    impropers = {Key{0, 0, 0, 0}, Key{0, 0, 0, 1}};
  } else {
    collect = true;
  }
  if (!collect) {
    typing.bonds.assign(std::move(bonds), count);
    typing.angles.assign(std::move(angles), count);
    typing.dihedrals.assign(std::move(dihedrals), count);
    typing.impropers.assign(std::move(impropers), count);
    return;
  }
  const std::vector<std::uint8_t>& kind = topology.kind;
  KeyCollector collect_bonds(2, count, bonds), collect_angles(3, count, angles),
      collect_dihedrals(4, count, dihedrals), collect_impropers(4, count, impropers);
  for (const AtomPair& bond : topology.bonds) collect_bonds.add(bond_key(kind[bond.first], kind[bond.second]));
  topology.for_each_angle([&](std::uint32_t i, std::uint32_t c, std::uint32_t k) {
    collect_angles.add(angle_key(kind[i], kind[c], kind[k]));
  });
  topology.for_each_dihedral([&](std::uint32_t i, std::uint32_t j, std::uint32_t k, std::uint32_t l) {
    collect_dihedrals.add(dihedral_key(kind[i], kind[j], kind[k], kind[l]));
  });
  topology.for_each_improper([&](std::uint32_t c, std::uint32_t a, std::uint32_t b, std::uint32_t d) {
    collect_impropers.add(improper_key(kind[c], kind[a], kind[b], kind[d]));
  });
  bonds = collect_bonds.keys();
  angles = collect_angles.keys();
  dihedrals = collect_dihedrals.keys();
  impropers = collect_impropers.keys();
  typing.bonds.assign(std::move(bonds), count);
  typing.angles.assign(std::move(angles), count);
  typing.dihedrals.assign(std::move(dihedrals), count);
  typing.impropers.assign(std::move(impropers), count);
}

std::size_t Topology::angle_count() const {
  std::size_t count = 0;
  for (std::size_t a = 0; a < atom_count(); ++a) {
    const std::size_t k = neighbours.count(a);
    if (k > 1) count += k * (k - 1) / 2;
  }
  return count;
}

std::size_t Topology::dihedral_count() const {
  std::size_t count = 0;
  for_each_dihedral([&](std::uint32_t, std::uint32_t, std::uint32_t, std::uint32_t) { ++count; });
  return count;
}

std::size_t Topology::improper_count() const {
  std::size_t count = 0;
  for (std::size_t a = 0; a < atom_count(); ++a) count += neighbours.count(a) == 3 ? 1 : 0;
  return count;
}

}  // namespace swnt
