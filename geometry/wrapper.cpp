#include "geometry/wrapper.hpp"

#include <algorithm>
#include <climits>
#include <cmath>
#include <cstdio>

#include "core/error.hpp"
#include "geometry/vec2.hpp"
#include "files/output_file.hpp"
#include "core/text_format.hpp"

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

std::string write_error(const std::string& path) {
  return format_text("Error: cannot write file %s\n", printable(path).c_str());
}

// Refuses a tube whose box or coordinates along `axis` are not finite (a
// scale or a shift too large for a double), naming the options that shape
// it there: those set away from their defaults, else the length or the
// lattice.
Error not_finite(const char* what, const WrapOptions& options, int axis, bool axial,
                    bool rolled) {
  std::string names;
  auto add = [&names](const std::string& name) { names += (names.empty() ? "" : ", ") + name; };
  if (axial && options.magaxis != 1.0) add(format_text("-ra %g", options.magaxis));
  if (!axial && options.magdiam != 1.0) add(format_text("-rd %g", options.magdiam));
  if (!axial && rolled && options.nwrap > 1) add(format_text("-w %d", options.nwrap));
  const double shift[3] = {options.shiftx, options.shifty, options.shiftz};
  if (shift[axis] != 0.0) add(format_text("-s%c %g", "xyz"[axis], shift[axis]));
  if (names.empty() && axial) add(format_text("-u %g", options.lenunit));
  if (names.empty() || axial) {
    if (!(options.lacc > 0.0)) {
      add("the structure table " + printable(options.optfile));
    } else if (options.lacc != kIdealBondLength) {
      add(format_text("-c %g", options.lacc));
    }
  }
  return Error(
      format_text("Error: the %s of the tube would not be finite with these options: %s.\n", what,
                  names.c_str()));
}

}  // namespace

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

void write_wrapped_tube(OutputFile& file, const std::string& path,
                        const std::vector<CellAtom>& cells,
                        const StructureParams& structure, const LatticeParams& lattice,
                        const WrapOptions& options) {
  if (options.iaxis < 0 || options.iaxis > 2) {
    throw Error(format_text("Error: invalid tube axis %d.\n", options.iaxis));
  }
  const int A = options.iaxis;
  const int B = (options.iaxis + 1) % 3;
  const int C = (options.iaxis + 2) % 3;
  const std::size_t natom = cell_atom_count(lattice, cells);
  const TubeLength t = tube_length(lattice, options.lenunit, natom);

  // Refuse what the header cannot describe before anything is created.
  if (!std::isfinite(options.lenunit)) {
    throw Error("Error: the tube length is not a finite number of unit cells.\n");
  }
  if (options.nwrap < 0 || options.nwrap == INT_MAX) {
    throw Error(format_text("Error: %d wrapping steps cannot be written.\n", options.nwrap));
  }
  const long long count = count_tube_atoms(structure, lattice, cells, options.lenunit);
  if (count > kMaxCount) {
    throw Error(format_text("Error: the tube is too long: more than %d atoms.\n", INT_MAX));
  }

  double shift[3] = {options.shiftx, options.shifty, options.shiftz};
  double box[3] = {0.0, 0.0, 0.0};
  box[A] = std::fabs(options.magaxis) * t.lt;
  box[B] = std::fabs(options.magdiam) * lattice.diameter * 4.0;
  box[C] = std::fabs(options.magdiam) * lattice.diameter * 4.0;
  if (options.fcenter != 0) {
    // Centred on the origin.
    shift[A] = shift[A] - box[A] * 0.5;
  } else {
    // Inside the box that starts at the origin, the axis through the middle
    // of its cross-section.
    shift[B] = shift[B] + box[B] * 0.5;
    shift[C] = shift[C] + box[C] * 0.5;
  }
  box[0] = box[0] + std::fabs(options.shiftx) * 2.0;
  box[1] = box[1] + std::fabs(options.shifty) * 2.0;
  box[2] = box[2] + std::fabs(options.shiftz) * 2.0;
  for (int axis = 0; axis < 3; ++axis) {
    if (!std::isfinite(box[axis])) {
      throw not_finite("box", options, axis, axis == A, false);
    }
  }

  if (!file.open(path)) throw Error(write_error(path));
  std::string& out = file.buffer();
  out += format_text("0 %d %d\n", static_cast<int>(count), options.nwrap + 1);
  out += format_text("%lf  %lf  %lf\n", box[0], box[1], box[2]);
  out += "0.0  0.0\n";

  const double lench2 = lattice.lench * lattice.lench;
  const double radius_scale = lattice.diameter * options.magdiam;
  for (int s = 0; s <= options.nwrap; ++s) {
    // Fraction of the full turn: 0 is the flat sheet, 1 the closed tube.
    const double f = options.nwrap == 0 ? 1.0 : static_cast<double>(s) / options.nwrap;
    for (long long k = 0; k < t.copies; ++k) {
      for (std::size_t i = 0; i < natom; ++i) {
        const Vec2 p = copy_position(cells[i], k, structure, lattice);
        double v = dot_2d(p.x, p.y, lattice.axis.x, lattice.axis.y);
        if (!keep_copy(v, t)) continue;

        // Turns around the circumference, with the seam opposite the line
        // through the lattice origin.
        double u = dot_2d(p.x, p.y, lattice.Ch.x, lattice.Ch.y) / lench2;
        u = u - std::floor(u + 0.4999999);
        const double phi = kTwoPi * u;

        double pos[3];
        pos[A] = options.magaxis > 0.0 ? v * options.magaxis : (v - t.lt) * options.magaxis;
        if (f < kTolerance) {
          pos[B] = radius_scale * phi * 0.5;
          pos[C] = 0.0;
        } else {
          // An arc of radius R / f touching the sheet's plane along u = 0.
          const double arc_radius = radius_scale * 0.5 / f;
          pos[B] = std::sin(phi * f) * arc_radius;
          pos[C] = (1.0 - std::cos(phi * f)) * arc_radius;
        }
        pos[C] = pos[C] - radius_scale * 0.5;

        for (int axis = 0; axis < 3; ++axis) {
          const double written = pos[axis] + shift[axis];
          // Nothing is in place before commit(): the file is dropped.
          if (!std::isfinite(written)) {
            throw not_finite("coordinates", options, axis, axis == A, f >= kTolerance && f < 1.0);
          }
          append_fixed(out, written, 14, 6);
          out += "  ";
        }
        out += '\n';
        file.flush_if_full();
      }
    }
  }
  if (!file.finish()) throw Error(write_error(path));
}

}  // namespace swnt
