// Binned neighbour search against the plain all-pairs loop on tube-like
// point sets (atoms on a cylinder surface, about 1.42 Angstrom apart): a thin
// (10,10)-sized tube, where the cells around the tube are mostly occupied,
// and a wide (60,60)-sized one, whose box is mostly empty space.
#include <benchmark/benchmark.h>

#include <cmath>
#include <random>
#include <vector>

#include "core/neighbour_search.hpp"

namespace {

// `per_ring` atoms on each ring of the cylinder, rings 1.23 Angstrom apart.
std::vector<swnt::Position3> tube_points(std::size_t count, std::size_t per_ring) {
  std::mt19937_64 rng(7);
  std::uniform_real_distribution<double> jitter(-0.05, 0.05);
  const double radius = 1.42 * 1.5 * static_cast<double>(per_ring) / swnt::kTwoPi;
  std::vector<swnt::Position3> points;
  points.reserve(count);
  for (std::size_t i = 0; i < count; ++i) {
    const double ring = static_cast<double>(i / per_ring);
    const double phi = swnt::kTwoPi * static_cast<double>(i % per_ring) /
                           static_cast<double>(per_ring) +
                       swnt::kPi / static_cast<double>(per_ring) * std::fmod(ring, 2.0);
    points.push_back({radius * std::cos(phi) + jitter(rng), radius * std::sin(phi) + jitter(rng),
                      ring * 1.23 + jitter(rng)});
  }
  return points;
}

bool close(const std::vector<swnt::Position3>& p, std::uint32_t i, std::uint32_t j) {
  const double dx = p[i][0] - p[j][0];
  const double dy = p[i][1] - p[j][1];
  const double dz = p[i][2] - p[j][2];
  return std::sqrt(dx * dx + dy * dy + dz * dz) < 1.8;
}

// One search object for every iteration, as a writer keeps one for all its
// scenes.
void binned(benchmark::State& state, std::size_t per_ring) {
  const auto points = tube_points(static_cast<std::size_t>(state.range(0)), per_ring);
  swnt::NeighbourSearch search;
  std::vector<swnt::AtomPair> pairs;
  for (auto _ : state) {
    pairs.clear();
    search.find_close_pairs(
        points, 1.8, [&](std::uint32_t i, std::uint32_t j) { return close(points, i, j); }, pairs);
    benchmark::DoNotOptimize(pairs.data());
  }
  state.SetItemsProcessed(state.iterations() * state.range(0));
}

void BM_BinnedThinTube(benchmark::State& state) { binned(state, 20); }
void BM_BinnedWideTube(benchmark::State& state) { binned(state, 120); }

void BM_AllPairs(benchmark::State& state) {
  const auto points = tube_points(static_cast<std::size_t>(state.range(0)), 20);
  std::vector<swnt::AtomPair> pairs;
  const auto count = static_cast<std::uint32_t>(points.size());
  for (auto _ : state) {
    pairs.clear();
    for (std::uint32_t i = 0; i < count; ++i) {
      for (std::uint32_t j = i + 1; j < count; ++j) {
        if (close(points, i, j)) pairs.push_back({i, j});
      }
    }
    benchmark::DoNotOptimize(pairs.data());
  }
  state.SetItemsProcessed(state.iterations() * state.range(0));
}

}  // namespace

BENCHMARK(BM_BinnedThinTube)->RangeMultiplier(10)->Range(1000, 1000000)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_BinnedWideTube)->RangeMultiplier(10)->Range(1000, 1000000)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_AllPairs)->RangeMultiplier(10)->Range(1000, 10000)->Unit(benchmark::kMillisecond);

BENCHMARK_MAIN();
