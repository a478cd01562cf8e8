#include "formats/tinker.hpp"

#include <cstdint>
#include <vector>

#include "core/bond_rule.hpp"
#include "core/neighbour_search.hpp"
#include "core/text_format.hpp"
#include "files/output_file.hpp"
#include "formats/format.hpp"
#include "formats/scene_files.hpp"

namespace swnt {

void write_tinker_xyz(const TrajectoryInput& input, const std::string& output_name,
                      const std::string& title, const Log& progress) {
  if (progress) progress("Making tinker XYZ file...\n");
  std::vector<Position3> positions;
  std::vector<AtomPair> pairs;
  NeighbourSearch search;
  NeighbourLists neighbours;

  write_xyz_scenes(input, output_name, progress, [&](TrajectoryReader& reader, OutputFile& out) {
    reader.read_scene(positions);
    pairs.clear();
    search.find_close_pairs(
        positions, kBondCutoff,
        [&positions](std::uint32_t i, std::uint32_t j) {
          return distance(positions[i], positions[j]) < kBondCutoff;
        },
        pairs);
    neighbours.build(positions.size(), pairs);

    std::string& text = out.buffer();
    append_int(text, reader.header().nmol, 5);
    text += "  ";
    text += title;
    text += '\n';
    for (std::size_t a = 0; a < positions.size(); ++a) {
      append_int(text, static_cast<long long>(a) + 1, 6);
      text += "  C   ";
      for (const double value : positions[a]) {
        append_fixed(text, value, 11, 6);
        text += ' ';
      }
      text += "    1 ";
      for (std::size_t k = neighbours.start[a]; k < neighbours.start[a + 1]; ++k) {
        append_int(text, static_cast<long long>(neighbours.index[k]) + 1, 5);
        text += ' ';
      }
      text += '\n';
      out.flush_if_full();
    }
  });
}

namespace {

void convert_to_tinker(const TrajectoryInput& input, const std::string& output,
                       const ConversionSettings& settings, const Log& progress) {
  write_tinker_xyz(input, output, settings.title, progress);
}

}  // namespace

const Format& tinker_format() {
  static const Format format{"tinker",
                             "TINKER XYZ",
                             {".xyz"},
                             {.needs_bonds = true, .file_per_scene = true, .species = true},
                             convert_to_tinker,
                             nullptr};
  return format;
}

}  // namespace swnt
