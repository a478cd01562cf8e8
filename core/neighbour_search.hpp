// Finding the pairs of atoms closer than a cut-off in time linear in the
// number of atoms: the atoms are binned into cubic cells at least as wide as
// the cut-off, and only atoms of the same or neighbouring cells are compared.
// The result equals the all-pairs definition exactly: the caller's own
// distance test decides every pair, each pair is tested once, and the pairs
// come in the all-pairs order (first atom ascending, second atom ascending).
#pragma once

#include <array>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <utility>
#include <vector>

#include "core/model.hpp"

namespace swnt {

struct AtomPair {
  std::uint32_t first;   // the smaller index
  std::uint32_t second;  // the larger index
};

// The distance by which bonds are found: sqrt(dx*dx + dy*dy + dz*dz), the
// differences taken from the coordinates as they stand.
inline double distance(const Position3& a, const Position3& b) {
  const double dx = a[0] - b[0];
  const double dy = a[1] - b[1];
  const double dz = a[2] - b[2];
  return std::sqrt(dx * dx + dy * dy + dz * dz);
}

// Cells of atoms, kept sparse: only occupied cells are stored, sorted by a
// key that numbers the cells row by row, so memory grows with the atoms and
// not with the volume they span.
//
// Atoms with a coordinate that is not finite are left out: any distance to
// them is infinite or not a number, so no test can pass.  Along an axis whose
// atoms span more than about two million cells (coordinates far out of any
// real structure), the grid covers a window of that many cells around the
// median and the atoms beyond it share the cells at its edges; pairs there are
// still all found, only compared in larger groups.
//
// A writer keeps one grid for all its scenes: the cells keep their storage
// from one build() to the next, while the sort's scratch storage is returned
// after each build.
class CellGrid {
 public:
  // Cells are wider than the reach by a quarter, so that the rounding of the
  // cell coordinates can never put two atoms within reach more than one cell
  // apart.
  static double cell_width(double reach) { return reach * 1.25 + 1e-9; }

  // The most cells along one axis: the size of the window around the median.
  // Three such axes still number their cells in 64 bits.
  static constexpr std::uint64_t kMaxCellsPerAxis = std::uint64_t{1} << 21;

  // Bins the atoms.  `reach`: no pair farther apart than this along any axis
  // can be close.
  void build(const std::vector<Position3>& positions, double reach);

  // Calls f(i, j) with i < j exactly once for every pair of binned atoms that
  // lie in the same cell or in neighbouring cells, in no particular order.
  template <class F>
  void for_each_candidate_pair(F&& f) const;

 private:
  void sort_by_key(std::uint64_t largest);

  // Cells along the three axes in key order, an empty one at each end: the
  // cell (u0, u1, u2) has the key (u0 * dims_[1] + u1) * dims_[2] + u2.
  std::array<std::uint64_t, 3> dims_{3, 3, 3};
  std::vector<std::uint64_t> cell_key_;         // occupied cells, ascending keys
  std::vector<std::uint32_t> cell_begin_;  // atoms of cell c: order_[cell_begin_[c] .. cell_begin_[c + 1])
  std::vector<std::uint32_t> order_;       // binned atoms sorted by cell, by index within a cell

  // Working storage of build().
  std::vector<std::uint64_t> key_;
  std::vector<std::uint64_t> key_scratch_;
  std::vector<std::uint32_t> order_scratch_;
  std::vector<double> median_scratch_;
};

template <class F>
void CellGrid::for_each_candidate_pair(F&& f) const {
  const std::size_t cells = cell_key_.size();
  const std::uint64_t row = dims_[2];              // key step from u1 to u1 + 1
  const std::uint64_t plane = dims_[1] * dims_[2];  // key step from u0 to u0 + 1
  // Of the 26 neighbour cells, the 13 with a larger key are visited from each
  // cell, so every pair of cells meets once: u2 + 1 in the same row, and the
  // three cells u2 - 1 .. u2 + 1 of the rows (u0, u1 + 1), (u0 + 1, u1 - 1),
  // (u0 + 1, u1) and (u0 + 1, u1 + 1).  The edge cells of every axis stay
  // empty, so these keys never wrap into another row.
  const std::uint64_t row_offset[4] = {row, plane - row, plane, plane + row};
  std::size_t row_first[4] = {0, 0, 0, 0};  // first cell not below the row's range

  const std::uint32_t* const order = order_.data();
  for (std::size_t c = 0; c < cells; ++c) {
    const std::uint64_t key = cell_key_[c];
    const std::uint32_t* const own_begin = order + cell_begin_[c];
    const std::uint32_t* const own_end = order + cell_begin_[c + 1];
    for (const std::uint32_t* a = own_begin; a != own_end; ++a) {
      for (const std::uint32_t* b = a + 1; b != own_end; ++b) f(*a, *b);
    }

    // The atoms of the neighbour cells form up to five runs of order_.
    std::array<std::pair<const std::uint32_t*, const std::uint32_t*>, 5> runs;
    std::size_t run_count = 0;
    if (c + 1 < cells && cell_key_[c + 1] == key + 1) {
      runs[run_count++] = {own_end, order + cell_begin_[c + 2]};
    }
    for (int r = 0; r < 4; ++r) {
      const std::uint64_t low = key + row_offset[r] - 1;
      const std::uint64_t high = low + 2;
      std::size_t first = row_first[r];
      while (first < cells && cell_key_[first] < low) ++first;
      row_first[r] = first;
      std::size_t last = first;
      while (last < cells && cell_key_[last] <= high) ++last;
      if (last > first) runs[run_count++] = {order + cell_begin_[first], order + cell_begin_[last]};
    }
    for (std::size_t r = 0; r < run_count; ++r) {
      for (const std::uint32_t* a = own_begin; a != own_end; ++a) {
        const std::uint32_t i = *a;
        for (const std::uint32_t* b = runs[r].first; b != runs[r].second; ++b) {
          const std::uint32_t j = *b;
          if (i < j) {
            f(i, j);
          } else {
            f(j, i);
          }
        }
      }
    }
  }
}

// Finds the close pairs of one scene after another with the same working
// storage.
class NeighbourSearch {
 public:
  // Appends to `pairs` every pair i < j for which close(i, j) holds, ordered
  // by i, then j.  `positions` (Angstrom) serve only to bin the atoms:
  // close(i, j) must imply that the two positions differ by at most `reach`
  // on every axis.  close(i, j) is called once per candidate pair, always
  // with i < j, in no particular order.
  template <class Close>
  void find_close_pairs(const std::vector<Position3>& positions, double reach, Close&& close,
                        std::vector<AtomPair>& pairs) {
    grid_.build(positions, reach);
    found_.clear();
    grid_.for_each_candidate_pair([&](std::uint32_t i, std::uint32_t j) {
      if (close(i, j)) found_.push_back({i, j});
    });
    append_in_order(positions.size(), pairs);
  }

 private:
  // Appends found_ to `pairs` in the all-pairs order.
  void append_in_order(std::size_t atom_count, std::vector<AtomPair>& pairs);

  CellGrid grid_;
  std::vector<AtomPair> found_;
  std::vector<std::size_t> group_end_;
};

// The neighbours of every atom in compressed rows, made from pairs in the
// all-pairs order: the neighbours of atom a are index[start[a] .. start[a + 1]),
// ascending.  The arrays keep their capacity from one build to the next.
struct NeighbourLists {
  std::vector<std::size_t> start;
  std::vector<std::uint32_t> index;

  void build(std::size_t atom_count, const std::vector<AtomPair>& pairs);
  std::size_t count(std::size_t atom) const { return start[atom + 1] - start[atom]; }

 private:
  std::vector<std::size_t> next_;  // fill position per atom while building
};

// The same for a single scene.
template <class Close>
void find_close_pairs(const std::vector<Position3>& positions, double reach, Close&& close,
                      std::vector<AtomPair>& pairs) {
  NeighbourSearch search;
  search.find_close_pairs(positions, reach, close, pairs);
}

}  // namespace swnt
