#include "formats/scene_files.hpp"

namespace swnt {

namespace {

// Where the last path component of `name` begins.
std::size_t last_component(const std::string& name) {
  const std::size_t slash = name.rfind('/');
  if (slash != std::string::npos) return slash + 1;
  const std::size_t backslash = name.rfind('\\');
  return backslash != std::string::npos ? backslash + 1 : 0;
}

}  // namespace

std::string extension_of(const std::string& name) {
  // Only a '.' in the last path component marks an extension: "../out" has
  // none.
  const std::size_t dot = name.rfind('.');
  if (dot == std::string::npos || dot < last_component(name)) return std::string();
  return name.substr(dot);
}

std::string tube_scene_title(int n, int m, std::string_view format_title) {
  return format_text("(%d,%d) SWNT-", n, m) + std::string(format_title) + " FORMAT";
}

std::string scene_file_name(const std::string& output_name, long long scene) {
  std::string name = output_name;
  name.resize(name.size() - extension_of(output_name).size());
  name += format_text("%03lld.xyz", scene);
  return name;
}

std::string too_many_scene_files(long long scenes) {
  return format_text("Error: %lld scenes would make as many XYZ files, more than the %lld that "
                     "one conversion writes.\n",
                     scenes, kMaxSceneFiles);
}

}  // namespace swnt
