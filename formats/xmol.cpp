#include "formats/xmol.hpp"

#include <cstdio>

#include "files/file_errors.hpp"
#include "files/output_file.hpp"
#include "core/text_format.hpp"
#include "files/number_stream.hpp"
#include "formats/scene_files.hpp"

namespace swnt {

int write_xmol_xyz(const TrajectoryInput& input, const std::string& output_name, int verbose,
                   const std::string& title) {
  if (verbose) std::printf("Making xmol XYZ file...\n");
  // Streams: every atom line goes out as soon as its triple is read.
  return write_xyz_scenes(input, output_name, verbose,
                          [&](TrajectoryReader& reader, const TrajectoryHeader& header,
                              OutputFile& out) {
                            std::string& text = out.buffer();
                            append_int(text, header.nmol, 0);
                            text += '\n';
                            text += title;
                            text += '\n';
                            for (long long atom = 0; atom < header.nmol; ++atom) {
                              double xyz[3] = {0.0, 0.0, 0.0};
                              if (!reader.read_triple(xyz[0], xyz[1], xyz[2])) {
                                print_data_error(input.name, reader.error());
                                return false;
                              }
                              text += "C    ";
                              for (const double value : xyz) {
                                append_fixed(text, value, 14, 6);
                                text += "  ";
                              }
                              text += '\n';
                              out.flush_if_full();
                            }
                            return true;
                          });
}

}  // namespace swnt
