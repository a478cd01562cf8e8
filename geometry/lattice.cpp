#include "geometry/lattice.hpp"

#include <cmath>
#include <cstdlib>
#include <utility>

#include "core/text_format.hpp"
#include "geometry/debug_log.hpp"

namespace swnt {

int greatest_common_divisor(int a, int b) {
  long long l = std::llabs(static_cast<long long>(a));
  long long s = std::llabs(static_cast<long long>(b));
  if (s > l) std::swap(s, l);
  if (s == 0) return static_cast<int>(l);
  for (;;) {
    const long long r = l % s;
    if (r == 0) return static_cast<int>(s);
    l = s;
    s = r;
  }
}

LatticeParams compute_lattice_params(int n, int m, const StructureParams& structure,
                                     const Log& debug) {
  if (debug) log_debug(debug, format_text(" -- set structure of (%d,%d) SWNT.\n", n, m));
  const Vec2& va1 = structure.va1;
  const Vec2& va2 = structure.va2;
  const double dn = n;
  const double dm = m;

  LatticeParams p;
  p.n = n;
  p.m = m;
  p.Ch = {dn * va1.x + dm * va2.x, dn * va1.y + dm * va2.y};
  p.lench = length_2d(p.Ch.x, p.Ch.y);
  p.diameter = p.lench / kPi;

  // Cosine of the chiral angle; rounding may push it just above 1.
  double c = dot_2d(va1.x, va1.y, p.Ch.x, p.Ch.y) / length_2d(va1.x, va1.y) / p.lench;
  if (c > 1.0) c = 0.9999999999999999;
  p.chiralangle = std::acos(c) * 180.0 / kPi;

  // Wide arithmetic, so that no intermediate overflows; the chiralities the
  // programs accept keep every result within 32 bits.
  const long long sum1 = static_cast<long long>(n) + 2LL * m;
  const long long sum2 = 2LL * n + m;
  p.dr = greatest_common_divisor(static_cast<int>(sum1), static_cast<int>(sum2));
  p.t1 = static_cast<int>(sum1 / p.dr);
  p.t2 = static_cast<int>(-sum2 / p.dr);
  const double dt1 = p.t1;
  const double dt2 = p.t2;
  p.T = {dt1 * va1.x + dt2 * va2.x, dt1 * va1.y + dt2 * va2.y};
  p.lent = length_2d(p.T.x, p.T.y);

  // Ch turned a quarter turn counter-clockwise, normalised, and oriented
  // along T whatever the handedness of the lattice vectors.
  p.axis = {-p.Ch.y / p.lench, p.Ch.x / p.lench};
  p.lencell = dot_2d(p.T.x, p.T.y, p.axis.x, p.axis.y);
  if (p.lencell < 0.0) {
    p.axis.x *= -1.0;
    p.axis.y *= -1.0;
    p.lencell *= -1.0;
  }

  const long long hexagons =
      2LL * (static_cast<long long>(n) * n + static_cast<long long>(n) * m +
             static_cast<long long>(m) * m) / p.dr;
  p.nhex = static_cast<int>(hexagons);
  p.natom = static_cast<int>(2 * hexagons);
  return p;
}

std::string structure_report(const StructureParams& structure, const LatticeParams& lattice) {
  std::string report = "\n";
  report += format_text("Structural parameters of (%d, %d) SWNT\n", lattice.n, lattice.m);
  report += "Basic parameters of SWNT\n";
  report += format_text(" -- diameter:     %lf[AA]\n", lattice.diameter);
  report += format_text(" -- chiral angle: %lf[deg]\n", lattice.chiralangle);
  report += format_text(" -- number of atoms in SWNT unit cell: %d\n", lattice.natom);
  report += "Primitive lattice vectors of graphene\n";
  report += format_text(" -- va1[AA] = (%lf, %lf)\n", structure.va1.x, structure.va1.y);
  report += format_text(" -- va2[AA] = (%lf, %lf)\n", structure.va2.x, structure.va2.y);
  report += format_text(" -- vab[AA] = (%lf, %lf)\n", structure.vab.x, structure.vab.y);
  report += "Primitive lattice vectors of SWNT on 2D graphene\n";
  report += format_text(" -- Ch[AA] = %d va1 %+d va2 = (%lf, %lf)\n", lattice.n, lattice.m,
                        lattice.Ch.x, lattice.Ch.y);
  report += format_text(" -- T[AA]  = %d va1 %+d va2 = (%lf, %lf)\n", lattice.t1, lattice.t2,
                        lattice.T.x, lattice.T.y);
  return report;
}

}  // namespace swnt
