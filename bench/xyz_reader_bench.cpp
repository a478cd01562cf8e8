// Reading extended XYZ: a periodic (10,10) tube along z of 10^4, 10^5 and
// 10^6 atoms, as topoconv writes it (Lattice, pbc "F F T", Origin, one
// "C x y z" line per atom with eight decimals), read frame by frame into a
// Frame.  The time per atom must not grow with the atoms.
#include <benchmark/benchmark.h>
#include <stdlib.h>
#include <unistd.h>

#include <cstdio>
#include <string>

#include "formats/registry.hpp"
#include "formats/xyz_reader.hpp"
#include "geometry/lattice.hpp"
#include "geometry/structure.hpp"
#include "geometry/tube.hpp"
#include "geometry/unit_cell.hpp"

namespace {

// The (10,10) tube of `atoms` atoms (40 a unit cell), periodic along z, as an
// extended XYZ file in the temporary directory.
class TubeFile {
 public:
  explicit TubeFile(long long atoms) {
    char name[] = "/tmp/swnt-xyz-bench-XXXXXX";
    const int fd = mkstemp(name);
    if (fd < 0) std::abort();
    close(fd);
    path_ = name;

    const swnt::StructureParams sheet = swnt::cylindrical_structure(1.44);
    const swnt::LatticeParams lattice = swnt::compute_lattice_params(10, 10, sheet);
    const std::vector<swnt::CellAtom> cells = swnt::build_unit_cell(10, 10);
    swnt::TubeParams params;
    params.n = params.m = 10;
    params.structure = sheet;
    params.cells = static_cast<double>(atoms / 40);
    params.axis = 2;
    const swnt::TubeRoller roller(params, lattice, cells);
    swnt::Topology tube;
    roller.roll_scene(0, [&](const swnt::Position3* positions, std::size_t count) {
      tube.positions.insert(tube.positions.end(), positions, positions + count);
    });
    tube.kind.assign(tube.positions.size(), 0);
    for (int k = 0; k < 3; ++k) {
      tube.cell.lo[k] = -0.5 * roller.box()[k];
      tube.cell.hi[k] = 0.5 * roller.box()[k];
    }
    tube.cell.periodic = {false, false, true};

    const auto writer = swnt::find_format("extxyz")->frame_writer({});
    swnt::OutputFile out;
    if (!out.open(path_)) std::abort();
    writer->write_frame(tube, {"tube", 1, 1, false}, out);
    if (!out.commit()) std::abort();
  }
  ~TubeFile() { std::remove(path_.c_str()); }
  const std::string& path() const { return path_; }

 private:
  std::string path_;
};

void BM_ReadExtendedXyzTube(benchmark::State& state) {
  const TubeFile file(state.range(0));
  for (auto _ : state) {
    swnt::Frame frame;  // its storage made anew, as in a run of topoconv
    swnt::XyzReader reader("tube.extxyz");
    reader.open(file.path());
    if (!reader.read_frame(frame) || reader.read_frame(frame)) std::abort();
    benchmark::DoNotOptimize(frame.positions.data());
  }
  state.SetItemsProcessed(state.iterations() * state.range(0));
}

}  // namespace

BENCHMARK(BM_ReadExtendedXyzTube)->RangeMultiplier(10)->Range(10000, 1000000)->Unit(benchmark::kMillisecond);

BENCHMARK_MAIN();
