#include "formats/xmol.hpp"

#include "core/text_format.hpp"
#include "files/output_file.hpp"
#include "formats/format.hpp"
#include "formats/scene_files.hpp"

namespace swnt {

void write_xmol_xyz(const TrajectoryInput& input, const std::string& output_name,
                    const std::string& title, const Log& progress) {
  if (progress) progress("Making xmol XYZ file...\n");
  // Streams: every atom line goes out as soon as its triple is read.
  write_xyz_scenes(input, output_name, progress, [&](TrajectoryReader& reader, OutputFile& out) {
    const long long atoms = reader.header().nmol;
    std::string& text = out.buffer();
    append_int(text, atoms, 0);
    text += '\n';
    text += title;
    text += '\n';
    for (long long atom = 0; atom < atoms; ++atom) {
      const Position3 xyz = reader.read_atom();
      text += "C    ";
      for (const double value : xyz) {
        append_fixed(text, value, 14, 6);
        text += "  ";
      }
      text += '\n';
      out.flush_if_full();
    }
  });
}

namespace {

void convert_to_xmol(const TrajectoryInput& input, const std::string& output,
                     const ConversionSettings& settings, const Log& progress) {
  write_xmol_xyz(input, output, settings.title, progress);
}

}  // namespace

const Format& xmol_format() {
  static const Format format{"xmol",
                             "XMOL XYZ",
                             {".xyz"},
                             {.file_per_scene = true, .species = true},
                             convert_to_xmol,
                             nullptr};
  return format;
}

}  // namespace swnt
