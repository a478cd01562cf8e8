// TINKER XYZ files, one per scene, with the neighbours found by distance; and
// the naming rule of the per-scene files of both XYZ writers.
#pragma once

#include <string>

#include "files/number_stream.hpp"

namespace swnt {

// The file name of scene `scene` (counted from 1): from the last '.' of the
// name's last path component on, the name is replaced by the scene number
// printed with "%03d.xyz"; a name without such a '.' gets that text appended.
std::string scene_file_name(const std::string& output_name, long long scene);

// The most scene files one XYZ conversion writes, and the error line for a
// trajectory of more scenes.
inline constexpr long long kMaxSceneFiles = 1000000;
std::string too_many_scene_files(long long scenes);

// Returns 0 when every file is written, 1 after an error message.
int write_tinker_xyz(const TrajectoryInput& input, const std::string& output_name, int verbose,
                     const std::string& title);

}  // namespace swnt
