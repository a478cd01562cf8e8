// Reading numbers from a trajectory file in three layouts: separated by
// blanks as the programs write them, and glued into one token without
// separators ("-1.25-1.25...", which "%lf" reads as many numbers), once as
// plain decimals and once with exponents (which take the exact scanf path).
// The time per number must not grow with the length of the token.
#include <benchmark/benchmark.h>
#include <stdlib.h>
#include <unistd.h>

#include <cstdio>
#include <string>

#include "files/number_stream.hpp"

namespace {

// A file of `count` copies of `number`, each followed by `separator`.
class NumberFile {
 public:
  NumberFile(long long count, const std::string& number, const std::string& separator) {
    char name[] = "/tmp/swnt-reader-bench-XXXXXX";
    const int fd = mkstemp(name);
    if (fd < 0) std::abort();
    close(fd);
    path_ = name;
    std::string text;
    for (long long k = 0; k < count; ++k) text += number + separator;
    std::FILE* file = std::fopen(path_.c_str(), "wb");
    if (file == nullptr || std::fwrite(text.data(), 1, text.size(), file) != text.size()) std::abort();
    std::fclose(file);
  }
  ~NumberFile() { std::remove(path_.c_str()); }
  const std::string& path() const { return path_; }

 private:
  std::string path_;
};

void read_numbers(benchmark::State& state, const std::string& number, const std::string& separator) {
  const long long count = state.range(0);
  const NumberFile file(count, number, separator);
  for (auto _ : state) {
    swnt::NumberStream reader;
    if (!reader.open(file.path())) std::abort();
    double value = 0.0;
    for (long long k = 0; k < count; ++k) {
      if (!reader.read_real(value)) std::abort();
    }
    benchmark::DoNotOptimize(value);
  }
  state.SetItemsProcessed(state.iterations() * count);
}

void BM_Separated(benchmark::State& state) { read_numbers(state, "-1.250000", "  "); }
void BM_GluedPlain(benchmark::State& state) { read_numbers(state, "-1.25", ""); }
void BM_GluedExponent(benchmark::State& state) { read_numbers(state, "-1.25e-3", ""); }

}  // namespace

BENCHMARK(BM_Separated)->RangeMultiplier(10)->Range(10000, 1000000)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_GluedPlain)->RangeMultiplier(10)->Range(10000, 1000000)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_GluedExponent)->RangeMultiplier(10)->Range(10000, 1000000)->Unit(benchmark::kMillisecond);

BENCHMARK_MAIN();
