#include "trajectory/neighbour_search.hpp"

#include <cmath>
#include <limits>

namespace swnt {

namespace {

// Beyond this many cells a grid costs more than it saves.
constexpr double kMaxCellsPerAxis = 1 << 20;

}  // namespace

CellGrid::CellGrid(const std::vector<Position3>& positions, double reach) {
  const std::size_t count = positions.size();
  cell_of_.assign(count, {-1, 0, 0});

  Position3 low{std::numeric_limits<double>::infinity(), std::numeric_limits<double>::infinity(),
                std::numeric_limits<double>::infinity()};
  Position3 high{-low[0], -low[1], -low[2]};
  bool any = false;
  for (const auto& p : positions) {
    if (!std::isfinite(p[0]) || !std::isfinite(p[1]) || !std::isfinite(p[2])) continue;
    any = true;
    for (int a = 0; a < 3; ++a) {
      low[a] = std::min(low[a], p[a]);
      high[a] = std::max(high[a], p[a]);
    }
  }

  // Cells somewhat wider than the reach, so that rounding in the cell index
  // can never separate two atoms that are within reach by more than one cell.
  const double width = reach * 1.25 + 1e-9;
  bool binned = any && width > 0.0 && std::isfinite(width);
  double total = 1.0;
  for (int a = 0; binned && a < 3; ++a) {
    const double span = (high[a] - low[a]) / width;
    if (!(span < kMaxCellsPerAxis)) binned = false;
    else dims_[a] = static_cast<std::int64_t>(span) + 1;
    total *= static_cast<double>(dims_[a]);
  }
  // A sparse grid (few atoms spread over a huge box) would waste memory.
  if (binned && total > 8.0 * static_cast<double>(count) + 4096.0) binned = false;
  if (!binned) dims_ = {1, 1, 1};

  for (std::size_t i = 0; i < count; ++i) {
    const auto& p = positions[i];
    if (!std::isfinite(p[0]) || !std::isfinite(p[1]) || !std::isfinite(p[2])) continue;
    std::array<std::int32_t, 3> cell{0, 0, 0};
    if (binned) {
      for (int a = 0; a < 3; ++a) {
        const auto c = static_cast<std::int64_t>((p[a] - low[a]) / width);
        cell[a] = static_cast<std::int32_t>(std::clamp<std::int64_t>(c, 0, dims_[a] - 1));
      }
    }
    cell_of_[i] = cell;
  }

  // Counting sort of the atoms by cell; within a cell they keep index order.
  const auto cells = static_cast<std::size_t>(dims_[0] * dims_[1] * dims_[2]);
  cell_start_.assign(cells + 1, 0);
  for (std::size_t i = 0; i < count; ++i) {
    if (cell_of_[i][0] < 0) continue;
    ++cell_start_[static_cast<std::size_t>(cell_index(cell_of_[i][0], cell_of_[i][1], cell_of_[i][2])) + 1];
  }
  for (std::size_t c = 0; c < cells; ++c) cell_start_[c + 1] += cell_start_[c];
  order_.assign(cell_start_[cells], 0);
  std::vector<std::uint32_t> next(cell_start_.begin(), cell_start_.end() - 1);
  for (std::size_t i = 0; i < count; ++i) {
    if (cell_of_[i][0] < 0) continue;
    const auto c = static_cast<std::size_t>(cell_index(cell_of_[i][0], cell_of_[i][1], cell_of_[i][2]));
    order_[next[c]++] = static_cast<std::uint32_t>(i);
  }
}

}  // namespace swnt
