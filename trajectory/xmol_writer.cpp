#include "trajectory/xmol_writer.hpp"

#include <cstdio>

#include "trajectory/messages.hpp"
#include "trajectory/output_file.hpp"
#include "trajectory/text_format.hpp"
#include "trajectory/tinker_writer.hpp"
#include "trajectory/trajectory_reader.hpp"

namespace swnt {

int write_xmol_xyz(const std::string& input_path, const std::string& output_name, int verbose,
                   const std::string& title) {
  if (verbose) std::printf("Making xmol XYZ file...\n");

  TrajectoryReader reader;
  TrajectoryHeader header;
  if (!open_trajectory(reader, header, input_path)) return 1;
  if (verbose) {
    std::printf(" -- nmol: %lld\n", header.nmol);
    std::printf(" -- ndat: %lld\n", header.ndat);
  }

  // Streams: every atom line goes out as soon as its triple is read.  A scene
  // file becomes visible only once all its atoms have been read and written.
  OutputFile out;
  for (long long scene = 1; scene <= header.ndat; ++scene) {
    if (verbose && scene % 10 == 0) std::printf(" -- step:%4lld\n", scene);
    const std::string name = scene_file_name(output_name, scene);
    if (!out.open(name)) {
      print_write_error(name);
      return 1;
    }
    std::string& text = out.buffer();
    append_int(text, header.nmol, 0);
    text += '\n';
    text += title;
    text += '\n';
    for (long long atom = 0; atom < header.nmol; ++atom) {
      double xyz[3] = {0.0, 0.0, 0.0};
      if (!reader.read_triple(xyz[0], xyz[1], xyz[2])) {
        out.discard();
        print_data_error(input_path, reader.error());
        return 1;
      }
      text += "C    ";
      for (const double value : xyz) {
        append_fixed(text, value, 14, 6);
        text += "  ";
      }
      text += '\n';
      out.flush_if_full();
    }
    if (!out.commit()) {
      print_write_error(name);
      return 1;
    }
  }
  return 0;
}

}  // namespace swnt
