#include "formats/tinker.hpp"

#include <cstdint>
#include <cstdio>
#include <vector>

#include "core/bond_rule.hpp"
#include "files/file_errors.hpp"
#include "core/neighbour_search.hpp"
#include "files/output_file.hpp"
#include "core/text_format.hpp"
#include "files/number_stream.hpp"
#include "formats/scene_files.hpp"

namespace swnt {

std::string scene_file_name(const std::string& output_name, long long scene) {
  // Only a '.' in the last path component marks an extension: "../out"
  // becomes "../out001.xyz", not ".001.xyz".
  std::size_t component = 0;
  const std::size_t slash = output_name.rfind('/');
  if (slash != std::string::npos) {
    component = slash + 1;
  } else {
    const std::size_t backslash = output_name.rfind('\\');
    if (backslash != std::string::npos) component = backslash + 1;
  }
  std::string name = output_name;
  const std::size_t dot = name.rfind('.');
  if (dot != std::string::npos && dot >= component) name.resize(dot);
  name += format_text("%03lld.xyz", scene);
  return name;
}

std::string too_many_scene_files(long long scenes) {
  return format_text("Error: %lld scenes would make as many XYZ files, more than the %lld that "
                     "one conversion writes.\n",
                     scenes, kMaxSceneFiles);
}

int write_tinker_xyz(const TrajectoryInput& input, const std::string& output_name, int verbose,
                     const std::string& title) {
  if (verbose) std::printf("Making tinker XYZ file...\n");
  // The storage grows with the atoms actually read, so a header announcing
  // more atoms than the file holds cannot claim memory it never fills.
  std::vector<Position3> positions;
  std::vector<AtomPair> pairs;
  NeighbourSearch search;
  NeighbourLists neighbours;

  return write_xyz_scenes(input, output_name, verbose, [&](TrajectoryReader& reader,
                                                                const TrajectoryHeader& header,
                                                                OutputFile& out) {
    const auto atom_count = static_cast<std::size_t>(header.nmol);
    for (std::size_t a = 0; a < atom_count; ++a) {
      double x = 0.0, y = 0.0, z = 0.0;
      if (!reader.read_triple(x, y, z)) {
        print_data_error(input.name, reader.error());
        return false;
      }
      if (a < positions.size()) {
        positions[a] = {x, y, z};
      } else {
        positions.push_back({x, y, z});
      }
    }

    pairs.clear();
    search.find_close_pairs(
        positions, kBondCutoff,
        [&positions](std::uint32_t i, std::uint32_t j) {
          return distance(positions[i], positions[j]) < kBondCutoff;
        },
        pairs);
    neighbours.build(atom_count, pairs);

    std::string& text = out.buffer();
    append_int(text, header.nmol, 5);
    text += "  ";
    text += title;
    text += '\n';
    for (std::size_t a = 0; a < atom_count; ++a) {
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
    return true;
  });
}

}  // namespace swnt
