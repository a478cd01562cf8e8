// Fuzzes the pv scene writer: the first byte picks centring, the rest is the
// trajectory.  A good input gives byte for byte the file of the plain
// all-pairs version, 104 + 8 nmol + 17 nmol ndat bytes long; a bad one an
// error, with the older file of the output's name untouched and no scratch
// file left.
#include "fuzz_support.hpp"
#include "reference.hpp"
#include "cli/program.hpp"
#include "formats/pv.hpp"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace fuzz;
  if (size == 0) return 0;
  silence_stdout();
  clear_scratch();
  const bool centred = (data[0] & 1) != 0;
  const fs::path dir = scratch_dir();
  const std::string input = (dir / "in.dat").string();
  const std::string output = (dir / "out.pv").string();
  write_bytes(input, as_text(data + 1, size - 1));
  const std::string previous = "an older file\n";
  write_bytes(output, previous);

  const RefPv expected = reference_pv(input, centred);
  const int result = swnt::run_program([&] {
    swnt::write_pv_file(input, output, !centred);
    return 0;
  });
  FUZZ_CHECK(result == (expected.ok ? 0 : 1), "result differs from the plain version");
  const std::string written = read_bytes(output);
  if (expected.ok) {
    FUZZ_CHECK(written == expected.bytes, "pv file differs from the plain version");
    const auto field = [&](std::size_t at) {
      return static_cast<std::size_t>(static_cast<unsigned char>(written[at]) |
                                      static_cast<unsigned char>(written[at + 1]) << 8);
    };
    const std::size_t nmol = field(34);
    const std::size_t ndat = field(38);
    FUZZ_CHECK(field(36) == 2 * nmol, "bond slots are not twice the atoms");
    FUZZ_CHECK(written.size() == 104 + 8 * nmol + 17 * nmol * ndat, "pv file size");
  } else {
    FUZZ_CHECK(written == previous, "older file changed by a failed conversion");
  }
  FUZZ_CHECK(scratch_names() == (std::vector<std::string>{"in.dat", "out.pv"}),
             "unexpected files left in the output directory");
  return 0;
}
