// Binned neighbour search against the plain all-pairs loop on tube-like
// point sets (atoms on a cylinder surface, about 1.42 Angstrom apart).
#include <benchmark/benchmark.h>

#include <cmath>
#include <random>
#include <vector>

#include "trajectory/neighbour_search.hpp"

namespace {

std::vector<swnt::Position3> tube_points(std::size_t count) {
  // A (10,10)-sized cylinder: 40 atoms per 2.46 Angstrom of length.
  std::mt19937_64 rng(7);
  std::uniform_real_distribution<double> jitter(-0.05, 0.05);
  const double radius = 6.78;
  std::vector<swnt::Position3> points;
  points.reserve(count);
  for (std::size_t i = 0; i < count; ++i) {
    const double ring = static_cast<double>(i / 20);
    const double phi = 6.283185307179586 * static_cast<double>(i % 20) / 20.0 + 0.157 * std::fmod(ring, 2.0);
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

void BM_Binned(benchmark::State& state) {
  const auto points = tube_points(static_cast<std::size_t>(state.range(0)));
  std::vector<swnt::AtomPair> pairs;
  for (auto _ : state) {
    pairs.clear();
    swnt::find_close_pairs(points, 1.8,
                           [&](std::uint32_t i, std::uint32_t j) { return close(points, i, j); }, pairs);
    benchmark::DoNotOptimize(pairs.data());
  }
  state.SetItemsProcessed(state.iterations() * state.range(0));
}

void BM_AllPairs(benchmark::State& state) {
  const auto points = tube_points(static_cast<std::size_t>(state.range(0)));
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

BENCHMARK(BM_Binned)->RangeMultiplier(10)->Range(1000, 1000000)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_AllPairs)->RangeMultiplier(10)->Range(1000, 10000)->Unit(benchmark::kMillisecond);

BENCHMARK_MAIN();
