// Formats written as one file per scene (XMOL and TINKER XYZ): the naming
// rule of the files, and the frame both writers share: the trajectory is
// opened, and every scene becomes a file of its own, put in place only once
// it is complete.
#pragma once

#include <string>
#include <string_view>

#include "core/error.hpp"
#include "core/text_format.hpp"
#include "files/file_errors.hpp"
#include "files/file_identity.hpp"
#include "files/output_file.hpp"
#include "formats/trajectory.hpp"

namespace swnt {

// The file name of scene `scene` (counted from 1): from the last '.' of the
// name's last path component on, the name is replaced by the scene number
// printed with "%03d.xyz"; a name without such a '.' gets that text appended.
std::string scene_file_name(const std::string& output_name, long long scene);

// The part of `name` from the last '.' of its last path component on ("" when
// there is none): what scene_file_name replaces.
std::string extension_of(const std::string& name);

// The title line of the per-scene files of the (n,m) tube in the format
// titled `format_title` (Format::title): "(n,m) SWNT-<format title> FORMAT",
// as wrapping gives it.
std::string tube_scene_title(int n, int m, std::string_view format_title);

// The most scene files one conversion writes, and the error line for a
// trajectory of more scenes.
inline constexpr long long kMaxSceneFiles = 1000000;
std::string too_many_scene_files(long long scenes);

// write_scene(reader, out) reads one scene from `reader` and writes its file
// into `out`.  Throws Error; the files of the scenes before a failed one stay.
template <class WriteScene>
void write_xyz_scenes(const TrajectoryInput& input, const std::string& output_name,
                      const Log& progress, WriteScene&& write_scene) {
  TrajectoryReader reader(input);
  const TrajectoryHeader& header = reader.header();
  if (progress) {
    progress(format_text(" -- nmol: %lld\n", header.nmol));
    progress(format_text(" -- ndat: %lld\n", header.ndat));
  }
  // Refused before any file is written: more files than anyone means to
  // make (a header of no atoms and 2^31 - 1 scenes would have made files
  // without end), and a scene file that is the input itself.
  if (header.ndat > kMaxSceneFiles) throw Error(too_many_scene_files(header.ndat));
  for (long long scene = 1; scene <= header.ndat; ++scene) {
    const std::string name = scene_file_name(output_name, scene);
    if (overwrites_input(name, input.path)) throw input_overwrite_error(name, input.name);
  }
  OutputFile out;
  for (long long scene = 1; scene <= header.ndat; ++scene) {
    if (progress && scene % 10 == 0) progress(format_text(" -- step:%4lld\n", scene));
    const std::string name = scene_file_name(output_name, scene);
    if (!out.open(name)) throw write_error(name);
    write_scene(reader, out);
    if (!out.commit()) throw write_error(name);
  }
}

}  // namespace swnt
