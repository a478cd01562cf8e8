#include "geometry/chirality_finder.hpp"

#include <algorithm>
#include <cmath>
#include <tuple>

#include "core/error.hpp"
#include "core/model.hpp"
#include "core/text_format.hpp"
#include "geometry/lattice.hpp"
#include "geometry/structure.hpp"

namespace swnt {

namespace {

bool diameter_fits(const FinderWindow& w, double diameter) {
  return diameter >= w.min_diameter - kDiameterTolerance * std::abs(w.min_diameter) &&
         diameter <= w.max_diameter + kDiameterTolerance * std::abs(w.max_diameter);
}

// Kind and angle: what the chirality alone decides.
bool chirality_fits(const FinderWindow& w, int n, int m) {
  if (w.kind != FinderWindow::Kind::any &&
      is_metallic(n, m) != (w.kind == FinderWindow::Kind::metallic)) {
    return false;
  }
  const double angle = ideal_chiral_angle(n, m);
  return angle >= w.min_angle - kAngleTolerance && angle <= w.max_angle + kAngleTolerance;
}

const char* type_name(bool metallic) { return metallic ? "metallic" : "semiconducting"; }

}  // namespace

bool is_metallic(int n, int m) {
  return (static_cast<long long>(n) - static_cast<long long>(m)) % 3 == 0;
}

double gap_estimate(double bond_length, double diameter, bool metallic) {
  return metallic ? 0.0 : 2.0 * bond_length * kHoppingEnergy / diameter;
}

double ideal_chiral_angle(int n, int m) {
  return std::atan2(std::sqrt(3.0) * m, 2.0 * n + m) * 180.0 / kPi;
}

void check_finder_window(const FinderWindow& w) {
  for (const double bound : {w.min_diameter, w.max_diameter, w.min_angle, w.max_angle}) {
    if (!std::isfinite(bound)) {
      throw Error(format_text("Error: a bound of the search window is not a number (%g).\n", bound));
    }
  }
  if (w.max_atoms < 0) {
    throw Error(format_text("Error: the most atoms per cell of a search is negative (%lld).\n",
                            w.max_atoms));
  }
}

bool in_finder_window(const FinderWindow& w, int n, int m, double diameter, long long atoms) {
  return diameter_fits(w, diameter) && chirality_fits(w, n, m) &&
         (w.max_atoms == 0 || atoms <= w.max_atoms);
}

void sort_found_tubes(std::vector<FoundTube>& tubes) {
  std::sort(tubes.begin(), tubes.end(), [](const FoundTube& a, const FoundTube& b) {
    return std::tie(a.diameter, a.n, a.m) < std::tie(b.diameter, b.n, b.m);
  });
}

std::vector<FoundTube> find_tubes(const FinderWindow& window, double bond_length) {
  check_finder_window(window);
  if (!(std::isfinite(bond_length) && bond_length > 0.0)) {
    throw Error(format_text("Error: the bond length of a search must be positive (%g).\n",
                            bond_length));
  }
  const StructureParams sheet = cylindrical_structure(bond_length);
  // The diameter of (1,0); that of (n,m) is unit * sqrt(n^2 + nm + m^2),
  // which grows with m, and (n,0) is the thinnest tube of every n.
  const double unit = length_2d(sheet.va1.x, sheet.va1.y) / kPi;
  if (window.max_diameter > kMaxFinderIndex * unit) {
    throw Error(format_text("Error: a search reaches tubes of %g AA at most on this lattice, the "
                            "(%d,0) tube; %g AA is wider.\n",
                            kMaxFinderIndex * unit, kMaxFinderIndex, window.max_diameter));
  }

  // The estimate may differ from the lattice's diameter in the last bits:
  // bounds a little wider select the tubes the exact test then decides on.
  constexpr double kSlack = 1e-12;
  const double lowest = (window.min_diameter - kDiameterTolerance * std::abs(window.min_diameter)) *
                        (1.0 - kSlack);
  const double highest = (window.max_diameter + kDiameterTolerance * std::abs(window.max_diameter)) *
                         (1.0 + kSlack);
  const int n_max = static_cast<int>(
      std::clamp(std::floor(highest / unit) + 1.0, 0.0, static_cast<double>(kMaxFinderIndex)));

  std::vector<FoundTube> found;
  for (int n = 1; n <= n_max; ++n) {
    for (int m = 0; m <= n; ++m) {
      const double q = static_cast<double>(n) * n + static_cast<double>(n) * m +
                       static_cast<double>(m) * m;
      const double estimate = unit * std::sqrt(q);
      if (estimate > highest) break;
      if (estimate < lowest || !chirality_fits(window, n, m)) continue;
      const LatticeParams lattice = compute_lattice_params(n, m, sheet);
      if (!in_finder_window(window, n, m, lattice.diameter, lattice.natom)) continue;
      FoundTube tube;
      tube.n = n;
      tube.m = m;
      tube.diameter = lattice.diameter;
      tube.angle = lattice.chiralangle;
      tube.atoms = lattice.natom;
      tube.period = lattice.lencell;
      tube.metallic = is_metallic(n, m);
      tube.gap = gap_estimate(bond_length, lattice.diameter, tube.metallic);
      found.push_back(tube);
    }
  }
  // By n^2 + nm + m^2, which orders the diameters of the ideal lattice
  // exactly: tubes of one diameter (such as (7,0) and (5,3)) stay together
  // in the order of n and m even where their computed diameters differ in
  // the last bit.
  const auto key = [](const FoundTube& t) {
    return static_cast<long long>(t.n) * t.n + static_cast<long long>(t.n) * t.m +
           static_cast<long long>(t.m) * t.m;
  };
  std::sort(found.begin(), found.end(), [&](const FoundTube& a, const FoundTube& b) {
    return std::make_tuple(key(a), a.n, a.m) < std::make_tuple(key(b), b.n, b.m);
  });
  return found;
}

std::string finder_listing(const std::vector<FoundTube>& tubes, bool csv) {
  const bool energies = std::any_of(tubes.begin(), tubes.end(), [](const FoundTube& t) {
    return t.recorded && !t.energy_is_strain;
  });
  const bool strains = std::any_of(tubes.begin(), tubes.end(), [](const FoundTube& t) {
    return t.recorded && t.energy_is_strain;
  });

  std::string out;
  if (csv) {
    out = "n,m,diameter,angle,atoms,T,type,gap";
    if (energies) out += ",energy";
    if (strains) out += ",strain_energy";
    out += '\n';
    for (const FoundTube& t : tubes) {
      out += format_text("%d,%d,%.10g,%.10g,%lld,%.10g,%s,%.10g", t.n, t.m, t.diameter, t.angle,
                         t.atoms, t.period, type_name(t.metallic), t.gap);
      if (energies) out += t.recorded && !t.energy_is_strain ? format_text(",%.10g", t.energy) : ",";
      if (strains) out += t.recorded && t.energy_is_strain ? format_text(",%.10g", t.energy) : ",";
      out += '\n';
    }
    return out;
  }

  // A '#' before the header, so that plotting programs skip it.
  out = format_text("#%4s %5s %13s %11s %10s %12s  %-14s %8s", "n", "m", "diameter[AA]",
                    "angle[deg]", "atoms", "T[AA]", "type", "gap[eV]");
  if (energies) out += format_text(" %16s", "energy[eV/atom]");
  if (strains) out += format_text(" %23s", "strain_energy[eV/atom]");
  out += '\n';
  for (const FoundTube& t : tubes) {
    out += format_text("%5d %5d %13.4f %11.3f %10lld %12.4f  %-14s %8.3f", t.n, t.m, t.diameter,
                       t.angle, t.atoms, t.period, type_name(t.metallic), t.gap);
    if (energies) {
      out += t.recorded && !t.energy_is_strain ? format_text(" %16.6f", t.energy)
                                               : format_text(" %16s", "-");
    }
    if (strains) {
      out += t.recorded && t.energy_is_strain ? format_text(" %23.6f", t.energy)
                                              : format_text(" %23s", "-");
    }
    out += '\n';
  }
  return out;
}

}  // namespace swnt
