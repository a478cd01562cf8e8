// Finding the pairs of atoms closer than a cut-off in time linear in the
// number of atoms: the atoms are binned into cubic cells at least as wide as
// the cut-off, and only atoms of neighbouring cells are compared.  The result
// equals the all-pairs definition exactly: the caller's own distance test
// decides every pair, and the pairs come in the all-pairs order (first atom
// ascending, second atom ascending).
#pragma once

#include <algorithm>
#include <array>
#include <cstdint>
#include <vector>

namespace swnt {

struct AtomPair {
  std::uint32_t first;   // the smaller index
  std::uint32_t second;  // the larger index
};

using Position3 = std::array<double, 3>;

// Cells of atoms.  Atoms with a coordinate that is not finite are left out:
// any distance to them is infinite or not a number, so no test can pass.
// When the coordinates span too many cells for binning to help (huge
// coordinates), every atom lands in one cell, which is the all-pairs search.
class CellGrid {
 public:
  // `reach`: no pair farther apart than this along any axis can be close.
  CellGrid(const std::vector<Position3>& positions, double reach);

  // Calls f(j) for every atom j > i in the cells around atom i's cell, in no
  // particular order.
  template <class F>
  void for_each_candidate_after(std::uint32_t i, F&& f) const;

 private:
  std::int64_t cell_index(std::int64_t cx, std::int64_t cy, std::int64_t cz) const {
    return (cx * dims_[1] + cy) * dims_[2] + cz;
  }

  std::vector<std::array<std::int32_t, 3>> cell_of_;  // per atom; cx = -1 when left out
  std::array<std::int64_t, 3> dims_{1, 1, 1};
  std::vector<std::uint32_t> cell_start_;  // atoms of cell c: order_[cell_start_[c] .. cell_start_[c+1])
  std::vector<std::uint32_t> order_;       // atom indices sorted by cell
};

template <class F>
void CellGrid::for_each_candidate_after(std::uint32_t i, F&& f) const {
  const auto& cell = cell_of_[i];
  if (cell[0] < 0) return;
  for (std::int64_t cx = std::max<std::int64_t>(cell[0] - 1, 0);
       cx <= std::min<std::int64_t>(cell[0] + 1, dims_[0] - 1); ++cx) {
    for (std::int64_t cy = std::max<std::int64_t>(cell[1] - 1, 0);
         cy <= std::min<std::int64_t>(cell[1] + 1, dims_[1] - 1); ++cy) {
      for (std::int64_t cz = std::max<std::int64_t>(cell[2] - 1, 0);
           cz <= std::min<std::int64_t>(cell[2] + 1, dims_[2] - 1); ++cz) {
        const auto c = static_cast<std::size_t>(cell_index(cx, cy, cz));
        for (std::uint32_t k = cell_start_[c]; k < cell_start_[c + 1]; ++k) {
          if (order_[k] > i) f(order_[k]);
        }
      }
    }
  }
}

// Appends to `pairs` every pair i < j for which close(i, j) holds, ordered by
// i, then j.  `positions` (Angstrom) serve only to bin the atoms: close(i, j)
// must imply that the two positions differ by at most `reach` on every axis.
template <class Close>
void find_close_pairs(const std::vector<Position3>& positions, double reach, Close&& close,
                      std::vector<AtomPair>& pairs) {
  const CellGrid grid(positions, reach);
  std::vector<std::uint32_t> found;
  const auto count = static_cast<std::uint32_t>(positions.size());
  for (std::uint32_t i = 0; i < count; ++i) {
    found.clear();
    grid.for_each_candidate_after(i, [&](std::uint32_t j) {
      if (close(i, j)) found.push_back(j);
    });
    std::sort(found.begin(), found.end());
    for (const std::uint32_t j : found) pairs.push_back({i, j});
  }
}

}  // namespace swnt
