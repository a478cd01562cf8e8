// Fuzzes the trajectory reader behind the XMOL XYZ writer: any input gives
// byte for byte the files of the plain version (nmol + 2 lines each), or an
// error with the earlier scenes complete and nothing half written.
#include "formats/xmol.hpp"
#include "writer_harness.hpp"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  fuzz::check_xyz_writer(data, size, swnt::write_xmol_xyz, fuzz::reference_xmol, "XMOL XYZ FORMAT");
  return 0;
}
