#include "core/cell.hpp"

#include <cmath>

namespace swnt {

namespace {

// Three vectors whose volume is at most this fraction of the product of
// their lengths (the product of the sines of their angles) lie in one plane
// within the rounding of their digits.
constexpr double kFlat = 1e-12;

double dot(const Position3& u, const Position3& v) { return u[0] * v[0] + u[1] * v[1] + u[2] * v[2]; }

Position3 cross(const Position3& u, const Position3& v) {
  return {u[1] * v[2] - u[2] * v[1], u[2] * v[0] - u[0] * v[2], u[0] * v[1] - u[1] * v[0]};
}

Position3 scaled(const Position3& u, double f) { return {u[0] * f, u[1] * f, u[2] * f}; }

double norm(const Position3& u) { return std::sqrt(dot(u, u)); }

// a along +x, b in the xy plane towards +y, c towards +z: the cell's own form.
bool restricted(const LatticeVectors& lattice) {
  const Position3& a = lattice[0];
  const Position3& b = lattice[1];
  const Position3& c = lattice[2];
  return a[0] > 0.0 && a[1] == 0.0 && a[2] == 0.0 && b[1] > 0.0 && b[2] == 0.0 && c[2] > 0.0;
}

bool finite(const Cell& cell) {
  for (int k = 0; k < 3; ++k) {
    if (!std::isfinite(cell.lo[k]) || !std::isfinite(cell.hi[k]) || !(cell.length(k) > 0.0)) {
      return false;
    }
  }
  return std::isfinite(cell.xy) && std::isfinite(cell.xz) && std::isfinite(cell.yz);
}

}  // namespace

Position3 CellPlacement::place(const Position3& p) const {
  if (!rotated) return p;
  const Position3 d{p[0] - origin[0], p[1] - origin[1], p[2] - origin[2]};
  return {origin[0] + dot(axes[0], d), origin[1] + dot(axes[1], d), origin[2] + dot(axes[2], d)};
}

void CellPlacement::place(std::span<Position3> positions) const {
  if (!rotated) return;
  for (Position3& p : positions) p = place(p);
}

std::string place_lattice(const LatticeVectors& lattice, const Position3& origin,
                          const PeriodicAxes& periodic, CellPlacement& placement) {
  const Position3& a = lattice[0];
  const Position3& b = lattice[1];
  const Position3& c = lattice[2];
  const double volume = dot(a, cross(b, c));
  const double extent = norm(a) * norm(b) * norm(c);
  if (!std::isfinite(volume) || !std::isfinite(extent)) {
    return "its volume is not a finite number";
  }
  if (!(std::fabs(volume) > kFlat * extent)) {
    return "its vectors lie in one plane (the cell has no volume)";
  }
  if (volume < 0.0) {
    return "its vectors a, b, c are left-handed (a negative volume): swap two of them";
  }
  CellPlacement result;
  result.origin = origin;
  Cell& cell = result.cell;
  if (restricted(lattice)) {
    cell.xy = b[0];
    cell.xz = c[0];
    cell.yz = c[1];
    cell.hi = {origin[0] + a[0], origin[1] + b[1], origin[2] + c[2]};
  } else {
    // x along a, y along the part of b perpendicular to it, z = x cross y.
    const double ax = norm(a);
    const Position3 x = scaled(a, 1.0 / ax);
    const double bx = dot(b, x);
    const Position3 b_across{b[0] - bx * x[0], b[1] - bx * x[1], b[2] - bx * x[2]};
    const double by = norm(b_across);
    const Position3 y = scaled(b_across, 1.0 / by);
    const Position3 z = cross(x, y);
    cell.xy = bx;
    cell.xz = dot(c, x);
    cell.yz = dot(c, y);
    cell.hi = {origin[0] + ax, origin[1] + by, origin[2] + dot(c, z)};
    result.rotated = true;
    result.axes = {x, y, z};
  }
  cell.lo = origin;
  cell.periodic = periodic;
  if (!finite(cell)) return "its corner and lengths are not all finite numbers";
  reduce_tilts(cell);
  placement = result;
  return {};
}

void reduce_tilts(Cell& cell) {
  const double lx = cell.length(0);
  const double ly = cell.length(1);
  if (cell.periodic[0] && std::fabs(cell.xy) > 0.5 * lx) {
    cell.xy -= std::round(cell.xy / lx) * lx;
  }
  if (cell.periodic[1] && std::fabs(cell.yz) > 0.5 * ly) {
    const double n = std::round(cell.yz / ly);
    cell.yz -= n * ly;
    cell.xz -= n * cell.xy;
  }
  if (cell.periodic[0] && std::fabs(cell.xz) > 0.5 * lx) {
    cell.xz -= std::round(cell.xz / lx) * lx;
  }
}

}  // namespace swnt
