// The chirality finder over every tube up to 5 nm wide (1282 of them on
// the lattice of 1.42 AA bonds), which must take well under 0.2 s, and over
// every tube up to 100 nm wide.
#include <benchmark/benchmark.h>

#include "geometry/chirality_finder.hpp"

namespace {

void find_up_to(benchmark::State& state, double max_diameter) {
  swnt::FinderWindow window;
  window.max_diameter = max_diameter;
  std::size_t found = 0;
  for (auto _ : state) {
    const auto tubes = swnt::find_tubes(window, 1.42);
    found = tubes.size();
    benchmark::DoNotOptimize(tubes.data());
  }
  state.counters["tubes"] = static_cast<double>(found);
  state.SetItemsProcessed(state.iterations() * static_cast<long long>(found));
}

void BM_FindUpTo5nm(benchmark::State& state) { find_up_to(state, 50.0); }
void BM_FindUpTo100nm(benchmark::State& state) { find_up_to(state, 1000.0); }

}  // namespace

BENCHMARK(BM_FindUpTo5nm)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_FindUpTo100nm)->Unit(benchmark::kMillisecond);

BENCHMARK_MAIN();
