// The fuzz harness of the XYZ writers: the input goes to a file, an older
// file stands under the first scene's name, and afterwards the scene files
// must be exactly those of the plain version, or, where the input is bad,
// the files of the scenes before the bad one, with nothing else touched and
// no scratch file left behind.
#pragma once

#include <string>
#include <vector>

#include "cli/program.hpp"
#include "fuzz_support.hpp"
#include "formats/trajectory.hpp"
#include "reference.hpp"

namespace fuzz {

using XyzWriter = void (*)(const swnt::TrajectoryInput&, const std::string&, const std::string&,
                          const swnt::Log&);
using XyzReference = RefScenes (*)(const std::string&, const std::string&);

inline std::string scene_name(long long scene) { return format_text("out%03lld.xyz", scene); }

inline void check_xyz_writer(const std::uint8_t* data, std::size_t size, XyzWriter writer,
                             XyzReference reference, const std::string& title) {
  silence_stdout();
  clear_scratch();
  const fs::path dir = scratch_dir();
  const std::string input = (dir / "in.dat").string();
  write_bytes(input, as_text(data, size));
  {
    // A header of no atoms and many scenes asks for that many empty files:
    // allowed, but too slow to be worth fuzzing.
    RefReader in(input);
    RefHeader header;
    if (ref_read_header(in, header) && header.nmol == 0 && header.ndat > 64) return;
  }
  const std::string previous = "an older file\n";
  write_bytes(dir / scene_name(1), previous);

  const RefScenes expected = reference(input, title);
  const int result = swnt::run_program([&] {
    writer(input, (dir / "out.xyz").string(), title, swnt::Log());
    return 0;
  });
  FUZZ_CHECK(result == (expected.ok ? 0 : 1), "result differs from the plain version");

  std::vector<std::string> names{"in.dat"};
  for (std::size_t k = 0; k < expected.files.size(); ++k) {
    const std::string name = scene_name(static_cast<long long>(k) + 1);
    FUZZ_CHECK(read_bytes(dir / name) == expected.files[k], "scene file differs from the plain version");
    names.push_back(name);
  }
  // The scene that failed leaves no file of its own; the older file of the
  // first scene stays as it was unless the first scene was written.
  if (expected.files.empty()) {
    FUZZ_CHECK(read_bytes(dir / scene_name(1)) == previous, "older file changed");
    names.push_back(scene_name(1));
  }
  std::sort(names.begin(), names.end());
  FUZZ_CHECK(scratch_names() == names, "unexpected files left in the output directory");
}

}  // namespace fuzz
