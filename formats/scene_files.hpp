// The frame shared by both XYZ writers: the trajectory is opened, and every
// scene becomes a file of its own, named by scene_file_name and put in place
// only once it is complete.
#pragma once

#include <cstdio>
#include <string>

#include "files/file_identity.hpp"
#include "files/file_errors.hpp"
#include "files/output_file.hpp"
#include "formats/tinker.hpp"
#include "files/number_stream.hpp"

namespace swnt {

// write_scene(reader, header, out) reads one scene from `reader` and writes
// its file into `out`; it returns false after its own error message.
// Returns 0 when every scene file is written, 1 after an error message.
template <class WriteScene>
int write_xyz_scenes(const TrajectoryInput& input, const std::string& output_name, int verbose,
                     WriteScene&& write_scene) {
  TrajectoryReader reader;
  TrajectoryHeader header;
  if (!open_trajectory(reader, header, input)) return 1;
  if (verbose) {
    std::printf(" -- nmol: %lld\n", header.nmol);
    std::printf(" -- ndat: %lld\n", header.ndat);
  }
  // Refused before any file is written: more files than anyone means to
  // make (a header of no atoms and 2^31 - 1 scenes would have made files
  // without end), and a scene file that is the input itself.
  if (header.ndat > kMaxSceneFiles) {
    std::printf("%s", too_many_scene_files(header.ndat).c_str());
    return 1;
  }
  for (long long scene = 1; scene <= header.ndat; ++scene) {
    const std::string name = scene_file_name(output_name, scene);
    if (overwrites_input(name, input.path)) {
      print_input_overwrite_error(name, input.name);
      return 1;
    }
  }
  OutputFile out;
  for (long long scene = 1; scene <= header.ndat; ++scene) {
    if (verbose && scene % 10 == 0) std::printf(" -- step:%4lld\n", scene);
    const std::string name = scene_file_name(output_name, scene);
    if (!out.open(name)) {
      print_write_error(name);
      return 1;
    }
    // A scene that fails is dropped; the files of the scenes before it stay.
    if (!write_scene(reader, header, out)) return 1;
    if (!out.commit()) {
      print_write_error(name);
      return 1;
    }
  }
  return 0;
}

}  // namespace swnt
