#include "geometry/tube.hpp"

#include <algorithm>
#include <array>
#include <climits>
#include <cmath>

#include "core/error.hpp"
#include "core/text_format.hpp"
#include "geometry/vec2.hpp"

// Rolling a tube, step by step.  The roller first refuses what a trajectory
// cannot describe (check_spec), then repeats the unit cell along the length
// (tube_length), counts the atoms (count_tube_atoms) and sizes the box with
// the placement shift (measure_box).  A scene then takes every copy of every
// cell atom (copy_position), keeps or folds it by the length (keep_copy),
// bends it onto the scene's arc (place_copy) and shifts it.
namespace swnt {

namespace {

constexpr double kTolerance = 1e-8;
constexpr long long kMaxCount = INT_MAX;

// How the unit cell is repeated along a tube of `lenunit` cells.
struct TubeLength {
  double lt = 0.0;          // tube length in Angstrom
  bool whole = false;       // a whole number of cells: the tube is periodic
  double complete = 0.0;    // K, the number of complete cells, as a double
  long long copies = 0;     // cell copies visited (K, or K + 2 when not whole)
  bool too_long = false;    // more atom copies than a 32-bit count can hold
};

std::size_t cell_atom_count(const LatticeParams& lattice, const std::vector<CellAtom>& cells) {
  return std::min(cells.size(), static_cast<std::size_t>(std::max(lattice.natom, 0)));
}

TubeLength tube_length(const LatticeParams& lattice, double lenunit, std::size_t natom) {
  TubeLength t;
  t.lt = lenunit * lattice.lencell;
  t.whole = std::fabs(lenunit - std::floor(lenunit + 0.5)) < kTolerance;
  t.complete = std::floor(lenunit + kTolerance);
  if (!std::isfinite(lenunit)) {
    t.too_long = true;
    return t;
  }
  if (t.complete < 0.0 || natom == 0) t.complete = 0.0;
  // Every complete cell lies within the length, so K cells of natom atoms
  // beyond the 32-bit range make the count too large whatever is dropped at
  // the end.  Comparing as doubles keeps a huge K from overflowing.
  if (natom > 0 && t.complete * static_cast<double>(natom) > static_cast<double>(kMaxCount)) {
    t.too_long = true;
    return t;
  }
  const long long k = static_cast<long long>(t.complete);
  t.copies = t.whole ? k : k + 2;
  return t;
}

// The plane position of the atom copy of `atom` in cell copy k, from its
// integer coefficients; x and y each summed va1 term, va2 term, vab term.
Vec2 copy_position(const CellAtom& atom, long long k, const StructureParams& s,
                   const LatticeParams& l) {
  const double a1 = static_cast<double>(atom.c1 + k * l.t1);
  const double a2 = static_cast<double>(atom.c2 + k * l.t2);
  const double sub = atom.sub;
  return {a1 * s.va1.x + a2 * s.va2.x + sub * s.vab.x, a1 * s.va1.y + a2 * s.va2.y + sub * s.vab.y};
}

// Applies the length rule to the axial position v of an atom copy: false
// when a tube of fractional length drops it; a periodic tube folds v into
// its length instead.
bool keep_copy(double& v, const TubeLength& t) {
  if (!t.whole) return !(v - kTolerance > t.lt);
  v = v - std::floor(v / t.lt + kTolerance) * t.lt;
  return true;
}

// The fixed quantities of one scene: the axes (A along the tube, B and C
// across it), the fraction f of the full turn, the scaled diameter.
struct SceneShape {
  int A, B, C;
  double f;
  double radius_scale;
  double axial_scale;
  double length;
};

// Where a scene puts an atom copy at axial position v and u turns around
// the circumference, before the shift.  Along the axis: v scaled, a negative
// scale mirroring the tube within its length.  Across it: the sheet bent
// through the fraction f of the full turn, from the flat sheet (f = 0) at -R
// to the closed tube of radius R around the axis (f = 1).
Position3 place_copy(double v, double u, const SceneShape& s) {
  const double phi = kTwoPi * u;
  Position3 pos;
  pos[s.A] = s.axial_scale > 0.0 ? v * s.axial_scale : (v - s.length) * s.axial_scale;
  if (s.f < kTolerance) {
    pos[s.B] = s.radius_scale * phi * 0.5;
    pos[s.C] = 0.0;
  } else {
    // An arc of radius R / f touching the sheet's plane along u = 0.
    const double arc_radius = s.radius_scale * 0.5 / s.f;
    pos[s.B] = std::sin(phi * s.f) * arc_radius;
    pos[s.C] = (1.0 - std::cos(phi * s.f)) * arc_radius;
  }
  pos[s.C] = pos[s.C] - s.radius_scale * 0.5;
  return pos;
}

}  // namespace

double cells_of_length(double length, const LatticeParams& lattice) {
  const double cells = length / lattice.lencell;
  if (!std::isfinite(cells)) {
    throw Error("Error: the tube length is too large for the unit cell of this lattice.\n");
  }
  return cells;
}

long long count_tube_atoms(const StructureParams& structure, const LatticeParams& lattice,
                           const std::vector<CellAtom>& cells, double lenunit) {
  const std::size_t natom = cell_atom_count(lattice, cells);
  const TubeLength t = tube_length(lattice, lenunit, natom);
  if (t.too_long) return kMaxCount + 1;
  if (t.whole) return t.copies * static_cast<long long>(natom);
  long long count = 0;
  for (long long k = 0; k < t.copies; ++k) {
    for (std::size_t i = 0; i < natom; ++i) {
      const Vec2 p = copy_position(cells[i], k, structure, lattice);
      double v = dot_2d(p.x, p.y, lattice.axis.x, lattice.axis.y);
      if (keep_copy(v, t)) ++count;
    }
  }
  return std::min(count, kMaxCount + 1);
}

TubeNotFinite::TubeNotFinite(bool box, int axis, bool axial, bool rolled)
    : Error(format_text("Error: the %s of the tube would not be finite along %c.\n",
                        box ? "box" : "coordinates", "xyz"[axis])),
      box_(box),
      axis_(axis),
      axial_(axial),
      rolled_(rolled) {}

TubeRoller::TubeRoller(const TubeParams& params, const LatticeParams& lattice,
                       const std::vector<CellAtom>& cells)
    : params_(params), lattice_(lattice), cells_(cells) {
  check_spec();
  measure_box();
}

// Refuses what a trajectory header cannot describe.
void TubeRoller::check_spec() const {
  if (params_.axis < 0 || params_.axis > 2) {
    throw Error(format_text("Error: invalid tube axis %d.\n", params_.axis));
  }
  if (!std::isfinite(params_.cells)) {
    throw Error("Error: the tube length is not a finite number of unit cells.\n");
  }
  if (params_.steps < 0 || params_.steps == INT_MAX) {
    throw Error(format_text("Error: %d wrapping steps cannot be written.\n", params_.steps));
  }
}

// The repetition along the tube, the atom count, and the box with the
// placement shift.
void TubeRoller::measure_box() {
  const int A = params_.axis;
  const int B = (params_.axis + 1) % 3;
  const int C = (params_.axis + 2) % 3;
  natom_ = cell_atom_count(lattice_, cells_);
  const TubeLength t = tube_length(lattice_, params_.cells, natom_);
  length_ = t.lt;
  whole_ = t.whole;
  copies_ = t.copies;
  atom_count_ = count_tube_atoms(params_.structure, lattice_, cells_, params_.cells);
  if (atom_count_ > kMaxCount) {
    throw Error(format_text("Error: the tube is too long: more than %d atoms.\n", INT_MAX));
  }

  Position3 shift = params_.shift;
  Position3 box{0.0, 0.0, 0.0};
  box[A] = std::fabs(params_.axial_scale) * t.lt;
  box[B] = std::fabs(params_.diameter_scale) * lattice_.diameter * 4.0;
  box[C] = std::fabs(params_.diameter_scale) * lattice_.diameter * 4.0;
  if (params_.centred) {
    // Centred on the origin.
    shift[A] = shift[A] - box[A] * 0.5;
  } else {
    // Inside the box that starts at the origin, the axis through the middle
    // of its cross-section.
    shift[B] = shift[B] + box[B] * 0.5;
    shift[C] = shift[C] + box[C] * 0.5;
  }
  box[0] = box[0] + std::fabs(params_.shift[0]) * 2.0;
  box[1] = box[1] + std::fabs(params_.shift[1]) * 2.0;
  box[2] = box[2] + std::fabs(params_.shift[2]) * 2.0;
  for (int axis = 0; axis < 3; ++axis) {
    if (!std::isfinite(box[axis])) throw TubeNotFinite(true, axis, axis == A, false);
  }
  box_ = box;
  shift_ = shift;
}

void TubeRoller::roll_scene(int scene, const AtomSink& sink,
                            std::vector<std::uint8_t>* sublattice) const {
  const TubeLength t{length_, whole_, 0.0, copies_, false};
  const double lench2 = lattice_.lench * lattice_.lench;
  // Fraction of the full turn: 0 is the flat sheet, 1 the closed tube.
  const double f = params_.steps == 0 ? 1.0 : static_cast<double>(scene) / params_.steps;
  const bool rolled = f >= kTolerance && f < 1.0;
  const SceneShape shape{params_.axis,
                         (params_.axis + 1) % 3,
                         (params_.axis + 2) % 3,
                         f,
                         lattice_.diameter * params_.diameter_scale,
                         params_.axial_scale,
                         t.lt};
  // The atoms go out in runs: one call of the sink per run, not per atom.
  constexpr std::size_t kRun = 4096;
  std::array<Position3, kRun> run;
  std::size_t filled = 0;
  for (long long k = 0; k < t.copies; ++k) {
    for (std::size_t i = 0; i < natom_; ++i) {
      const Vec2 p = copy_position(cells_[i], k, params_.structure, lattice_);
      double v = dot_2d(p.x, p.y, lattice_.axis.x, lattice_.axis.y);
      if (!keep_copy(v, t)) continue;

      // Turns around the circumference, with the seam opposite the line
      // through the lattice origin.
      double u = dot_2d(p.x, p.y, lattice_.Ch.x, lattice_.Ch.y) / lench2;
      u = u - std::floor(u + 0.4999999);

      Position3 pos = place_copy(v, u, shape);
      for (int axis = 0; axis < 3; ++axis) {
        pos[axis] = pos[axis] + shift_[axis];
        if (!std::isfinite(pos[axis])) throw TubeNotFinite(false, axis, axis == params_.axis, rolled);
      }
      run[filled++] = pos;
      if (sublattice != nullptr) sublattice->push_back(static_cast<std::uint8_t>(cells_[i].sub));
      if (filled == kRun) {
        sink(run.data(), filled);
        filled = 0;
      }
    }
  }
  if (filled > 0) sink(run.data(), filled);
}

}  // namespace swnt
