// Fuzzes the trajectory reader and the neighbour search behind the TINKER
// XYZ writer: any input gives byte for byte the files of the all-pairs plain
// version (nmol + 1 lines each), or an error with nothing half written.
#include "formats/tinker.hpp"
#include "writer_harness.hpp"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  fuzz::check_xyz_writer(data, size, swnt::write_tinker_xyz, fuzz::reference_tinker,
                         "TINKER XYZ FORMAT");
  return 0;
}
