#include "core/neighbour_search.hpp"

#include <algorithm>
#include <bit>
#include <cmath>
#include <limits>

namespace swnt {

namespace {

// Digits of the radix sort of the cell keys.
constexpr int kDigitBits = 11;
constexpr std::size_t kDigitValues = std::size_t{1} << kDigitBits;

template <class T>
void release(std::vector<T>& storage) {
  std::vector<T>().swap(storage);
}

bool is_finite(const Position3& p) {
  return std::isfinite(p[0]) && std::isfinite(p[1]) && std::isfinite(p[2]);
}

}  // namespace

void CellGrid::build(const std::vector<Position3>& positions, double reach) {
  const std::size_t count = positions.size();
  order_.clear();
  key_.clear();
  cell_key_.clear();
  cell_begin_.clear();

  constexpr double kInfinity = std::numeric_limits<double>::infinity();
  double low[3] = {kInfinity, kInfinity, kInfinity};
  double high[3] = {-kInfinity, -kInfinity, -kInfinity};
  for (std::size_t i = 0; i < count; ++i) {
    const Position3& p = positions[i];
    if (!is_finite(p)) continue;
    order_.push_back(static_cast<std::uint32_t>(i));
    for (int a = 0; a < 3; ++a) {
      low[a] = std::min(low[a], p[a]);
      high[a] = std::max(high[a], p[a]);
    }
  }
  const std::size_t binned = order_.size();

  const double width = cell_width(reach);
  const bool gridded = binned > 0 && width > 0.0 && std::isfinite(width);
  const double inverse = gridded ? 1.0 / width : 0.0;
  double origin[3] = {0.0, 0.0, 0.0};
  std::uint64_t last[3] = {0, 0, 0};  // cell coordinates run from 0 to last
  for (int a = 0; gridded && a < 3; ++a) {
    const double span = (high[a] - low[a]) * inverse;
    if (span < static_cast<double>(kMaxCellsPerAxis)) {
      origin[a] = low[a];
      last[a] = static_cast<std::uint64_t>(span);
    } else {
      // A window of cells around the median; the atoms beyond it are put
      // into its edge cells.
      median_scratch_.clear();
      for (const std::uint32_t i : order_) median_scratch_.push_back(positions[i][a]);
      const auto middle = median_scratch_.begin() + static_cast<std::ptrdiff_t>(binned / 2);
      std::nth_element(median_scratch_.begin(), middle, median_scratch_.end());
      origin[a] = *middle - static_cast<double>(kMaxCellsPerAxis / 2) * width;
      last[a] = kMaxCellsPerAxis - 1;
    }
  }
  // The axis of the largest extent numbers the cells slowest: the cells are
  // then visited slab by slab along it, and the atoms of one slab, close
  // together in a file that runs along a tube, stay close in memory.
  int axes[3] = {0, 1, 2};
  std::stable_sort(axes, axes + 3, [&](int a, int b) { return last[a] > last[b]; });
  for (int k = 0; k < 3; ++k) dims_[k] = last[axes[k]] + 3;

  // Cell coordinates shifted by one, so that the first and last cell of
  // every axis stay empty.  Every step is monotonic in the coordinate
  // (rounded subtraction and multiplication, truncation, clamping), so two
  // atoms within reach, whose unclamped coordinates differ by less than one
  // cell, end in the same or neighbouring cells even when clamped.
  const auto cell = [&](double value, int a) -> std::uint64_t {
    const double q = (value - origin[a]) * inverse;
    if (!(q > 0.0)) return 1;
    if (q >= static_cast<double>(last[a])) return last[a] + 1;
    return static_cast<std::uint64_t>(q) + 1;
  };
  key_.resize(binned);
  std::uint64_t largest = 0;
  for (std::size_t k = 0; k < binned; ++k) {
    const Position3& p = positions[order_[k]];
    const std::uint64_t key =
        (cell(p[axes[0]], axes[0]) * dims_[1] + cell(p[axes[1]], axes[1])) * dims_[2] +
        cell(p[axes[2]], axes[2]);
    key_[k] = key;
    largest = std::max(largest, key);
  }
  sort_by_key(largest);

  cell_key_.reserve(binned);
  cell_begin_.reserve(binned + 1);
  for (std::size_t k = 0; k < binned; ++k) {
    if (k == 0 || key_[k] != key_[k - 1]) {
      cell_key_.push_back(key_[k]);
      cell_begin_.push_back(static_cast<std::uint32_t>(k));
    }
  }
  cell_begin_.push_back(static_cast<std::uint32_t>(binned));
  // Only the cells are needed from here on; the sort's storage goes back
  // before the caller's pairs take their share of memory.
  release(key_);
  release(key_scratch_);
  release(order_scratch_);
}

// Least significant digit first radix sort of key_ with order_ alongside.
// Each pass is stable, so atoms of one cell keep their index order.
void CellGrid::sort_by_key(std::uint64_t largest) {
  const std::size_t n = key_.size();
  const int bits = std::bit_width(largest);
  key_scratch_.resize(n);
  order_scratch_.resize(n);
  std::vector<std::size_t> start(kDigitValues);
  for (int shift = 0; shift < bits; shift += kDigitBits) {
    std::fill(start.begin(), start.end(), 0);
    for (const std::uint64_t key : key_) ++start[(key >> shift) & (kDigitValues - 1)];
    // A digit that all keys share leaves the order as it is.
    if (n > 0 && start[(key_[0] >> shift) & (kDigitValues - 1)] == n) continue;
    std::size_t sum = 0;
    for (std::size_t& s : start) {
      const std::size_t digit_count = s;
      s = sum;
      sum += digit_count;
    }
    for (std::size_t k = 0; k < n; ++k) {
      const std::size_t to = start[(key_[k] >> shift) & (kDigitValues - 1)]++;
      key_scratch_[to] = key_[k];
      order_scratch_[to] = order_[k];
    }
    key_.swap(key_scratch_);
    order_.swap(order_scratch_);
  }
}

void NeighbourSearch::append_in_order(std::size_t atom_count, std::vector<AtomPair>& pairs) {
  // A counting sort by the first atom, then each first atom's few partners
  // in ascending order.
  group_end_.assign(atom_count + 1, 0);
  for (const AtomPair& pair : found_) ++group_end_[pair.first + 1];
  for (std::size_t a = 0; a < atom_count; ++a) group_end_[a + 1] += group_end_[a];
  const std::size_t base = pairs.size();
  pairs.resize(base + found_.size());
  for (const AtomPair& pair : found_) pairs[base + group_end_[pair.first]++] = pair;
  std::size_t begin = 0;
  for (std::size_t a = 0; a < atom_count; ++a) {
    const std::size_t end = group_end_[a];
    if (end - begin > 1) {
      std::sort(pairs.begin() + static_cast<std::ptrdiff_t>(base + begin),
                pairs.begin() + static_cast<std::ptrdiff_t>(base + end),
                [](const AtomPair& x, const AtomPair& y) { return x.second < y.second; });
    }
    begin = end;
  }
  // The caller's own per-scene storage comes next: leave it the room.
  release(found_);
  release(group_end_);
}

void NeighbourLists::build(std::size_t atom_count, const std::vector<AtomPair>& pairs) {
  start.assign(atom_count + 1, 0);
  for (const AtomPair& pair : pairs) {
    ++start[pair.first + 1];
    ++start[pair.second + 1];
  }
  for (std::size_t a = 0; a < atom_count; ++a) start[a + 1] += start[a];
  index.resize(start[atom_count]);
  // The pairs come ordered by first atom, then second.  For atom a, the pairs
  // (i, a) with i < a therefore all come before the pairs (a, j), each group
  // ascending: filling in pair order gives ascending lists.
  next_.assign(start.begin(), start.end() - 1);
  for (const AtomPair& pair : pairs) {
    index[next_[pair.first]++] = pair.second;
    index[next_[pair.second]++] = pair.first;
  }
}

}  // namespace swnt
