// The tubes of a structure table as the chirality finder lists them: the
// table's own relaxed figures, for the programs that search a table (the
// table comes from the formats, the finder from the geometry).
#pragma once

#include <optional>
#include <vector>

#include "formats/structure_table.hpp"
#include "geometry/chirality_finder.hpp"

namespace swnt {

// The entries of `tubes` within `window`, sorted by sort_found_tubes, each
// with the table's figures: the recorded diameter and atom count (which the
// diameter and atoms windows test), the chiral angle and period of
// compute_lattice_params on the entry's vectors (on a relaxed sheet the
// angle may differ from the ideal one the angle window tests by up to a
// degree, and pass 30), the gap of gap_estimate with the bond length |vab|
// and the recorded diameter, recorded = true, and energy = graphene_energy +
// strain energy, or the strain energy alone with energy_is_strain when the
// graphene energy is not known.  Only the first entry of a chirality counts,
// as for wrapping; an entry outside n >= m >= 0, n >= 1, or one wrapping
// refuses (vectors that make no tube) is left out.  Throws Error for a window check_finder_window
// refuses.
std::vector<FoundTube> tubes_of_table(const std::vector<StructureTableTube>& tubes,
                                      std::optional<double> graphene_energy,
                                      const FinderWindow& window);

}  // namespace swnt
