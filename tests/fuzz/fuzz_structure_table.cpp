// Fuzzes the structure table reader against the plain reading of the table
// with fscanf: the first two bytes give the chirality looked up, the rest is
// the table.  Both must find the same entry (the same vectors, bit for bit)
// or both report it missing; the reader must always end.
#include <cmath>
#include <cstring>
#include <string>

#include "core/error.hpp"
#include "formats/structure_table.hpp"
#include "geometry/structure.hpp"
#include "fuzz_support.hpp"
#include "reference.hpp"

namespace {

struct Lookup {
  bool found = false;
  swnt::StructureParams vectors;
};

// The table reading as plainly written: skip the header line, then read
// entries until the key matches; an entry cut short or ending at the end of
// the file means the key is missing.
Lookup plain_lookup(const std::string& path, int cn, int cm) {
  Lookup result;
  fuzz::RefReader in(path);
  if (!in.skip_line()) return result;
  long long n = 0, m = 0, unused_int = 0;
  double unused = 0.0;
  swnt::StructureParams& s = result.vectors;
  while (n != cn || m != cm) {
    const bool read = in.read_int(n) && in.read_int(m) && in.read_real(unused) &&
                      in.read_real(unused) && in.read_int(unused_int) && in.read_real(s.va1.x) &&
                      in.read_real(s.va1.y) && in.read_real(s.va2.x) && in.read_real(s.va2.y) &&
                      in.read_real(s.vab.x) && in.read_real(s.vab.y);
    if (!read || in.at_eof()) return result;
  }
  result.found = true;
  return result;
}

bool same(double a, double b) {
  return (std::isnan(a) && std::isnan(b)) || std::memcmp(&a, &b, sizeof a) == 0;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace fuzz;
  if (size < 2) return 0;
  silence_stdout();
  const int cn = data[0] == 0 ? 1 : static_cast<signed char>(data[0]);
  const int cm = static_cast<signed char>(data[1]);
  const std::string path = (scratch_dir() / "table.dat").string();
  write_bytes(path, as_text(data + 2, size - 2));

  const Lookup expected = plain_lookup(path, cn, cm);
  Lookup got;
  try {
    const swnt::StructureTableEntry e = swnt::read_structure_table(path, cn, cm);
    got.vectors = {{e.va1[0], e.va1[1]}, {e.va2[0], e.va2[1]}, {e.vab[0], e.vab[1]}};
    got.found = true;
  } catch (const swnt::Error& error) {
    const std::string message = error.what();
    FUZZ_CHECK(message == format_text("Error: parameters for (%d,%d) SWNT do not exist in the file.\n",
                                      cn, cm),
               "unexpected message");
  }
  FUZZ_CHECK(got.found == expected.found, "found by one reading and not by the other");
  if (got.found) {
    const swnt::StructureParams& a = got.vectors;
    const swnt::StructureParams& b = expected.vectors;
    FUZZ_CHECK(same(a.va1.x, b.va1.x) && same(a.va1.y, b.va1.y) && same(a.va2.x, b.va2.x) &&
                   same(a.va2.y, b.va2.y) && same(a.vab.x, b.vab.x) && same(a.vab.y, b.vab.y),
               "vectors differ");
  }
  return 0;
}
