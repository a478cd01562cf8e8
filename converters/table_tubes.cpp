#include "converters/table_tubes.hpp"

#include <set>
#include <utility>

#include "core/error.hpp"
#include "geometry/lattice.hpp"
#include "geometry/structure.hpp"
#include "geometry/vec2.hpp"

namespace swnt {

namespace {

// The lattice wrapping builds the entry's tube on, or nothing when wrapping
// refuses the entry.
std::optional<LatticeParams> table_lattice(const StructureTableTube& tube,
                                           const StructureParams& sheet) {
  try {
    check_chirality(tube.n, tube.m);
    const LatticeParams lattice = compute_lattice_params(tube.n, tube.m, sheet);
    check_tube_lattice(sheet, lattice);
    return lattice;
  } catch (const Error&) {
    return std::nullopt;
  }
}

}  // namespace

std::vector<FoundTube> tubes_of_table(const std::vector<StructureTableTube>& tubes,
                                      std::optional<double> graphene_energy,
                                      const FinderWindow& window) {
  check_finder_window(window);
  std::vector<FoundTube> found;
  std::set<std::pair<int, int>> seen;
  for (const StructureTableTube& entry : tubes) {
    if (!seen.insert({entry.n, entry.m}).second) continue;
    if (entry.n < 1 || entry.m < 0 || entry.m > entry.n) continue;
    if (!in_finder_window(window, entry.n, entry.m, entry.diameter, entry.atoms)) continue;
    const StructureParams sheet =
        table_structure(entry.vectors.va1, entry.vectors.va2, entry.vectors.vab);
    const std::optional<LatticeParams> lattice = table_lattice(entry, sheet);
    if (!lattice) continue;
    FoundTube tube;
    tube.n = entry.n;
    tube.m = entry.m;
    tube.diameter = entry.diameter;
    tube.angle = lattice->chiralangle;
    tube.atoms = entry.atoms;
    tube.period = lattice->lencell;
    tube.metallic = is_metallic(entry.n, entry.m);
    tube.gap = gap_estimate(length_2d(sheet.vab.x, sheet.vab.y), entry.diameter, tube.metallic);
    tube.recorded = true;
    tube.energy_is_strain = !graphene_energy.has_value();
    tube.energy = entry.strain_energy + graphene_energy.value_or(0.0);
    found.push_back(tube);
  }
  sort_found_tubes(found);
  return found;
}

}  // namespace swnt
