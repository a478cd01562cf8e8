// Fuzzes scenejoin's reading and writing.  The input holds the target and
// the attached file, split at the first '@' (or in the middle).  A good pair
// leaves the target holding byte for byte the join of the plain version
// (its header summing the atoms) and the attached file deleted; a bad pair
// leaves both files exactly as they were and no temporary file.
#include <unistd.h>

#include "fuzz_support.hpp"
#include "joiner/join.hpp"
#include "reference.hpp"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace fuzz;
  silence_stdout();
  // The join's temporary file lies in the working directory; the fuzzer's
  // own paths are relative to the directory it was started in.
  static const std::string start_dir = fs::current_path().string();
  FUZZ_CHECK(chdir(scratch_dir().c_str()) == 0, "cannot enter the scratch directory");
  struct Back {
    ~Back() {
      if (chdir(start_dir.c_str()) != 0) std::abort();
    }
  } back;
  clear_scratch();

  const std::string_view text = as_text(data, size);
  std::size_t split = text.find('@');
  std::string_view target = text.substr(0, split == std::string_view::npos ? size / 2 : split);
  std::string_view attached =
      text.substr(split == std::string_view::npos ? size / 2 : split + 1);
  write_bytes("a.dat", target);
  write_bytes("b.dat", attached);

  const RefJoin expected = reference_join("a.dat", "b.dat");
  const int status = swnt::run_scenejoin({"scenejoin", "a.dat", "b.dat"});
  if (expected.ok) {
    FUZZ_CHECK(status == 0, "a good pair was refused");
    FUZZ_CHECK(read_bytes("a.dat") == expected.bytes, "joined file differs from the plain version");
    FUZZ_CHECK(scratch_names() == std::vector<std::string>{"a.dat"}, "files left after the join");
  } else {
    FUZZ_CHECK(status == 1, "a bad pair was joined");
    FUZZ_CHECK(read_bytes("a.dat") == target, "target changed by a failed join");
    FUZZ_CHECK(read_bytes("b.dat") == attached, "attached file changed by a failed join");
    FUZZ_CHECK(scratch_names() == (std::vector<std::string>{"a.dat", "b.dat"}),
               "files left after a failed join");
  }
  return 0;
}
