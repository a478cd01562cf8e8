#include "formats/registry.hpp"

#include <cctype>

#include "core/text_format.hpp"
#include "files/file_identity.hpp"

namespace swnt {

// Every format, one line each; its entry is defined beside its code.
const Format& trajectory_format();
const Format& pv_format();
const Format& xmol_format();
const Format& tinker_format();
const Format& lammps_data_format();
const Format& extxyz_format();
const Format& pdb_format();
const Format& gromacs_format();
const Format& psf_format();

const std::vector<const Format*>& registered_formats() {
  static const std::vector<const Format*> formats{
      &trajectory_format(),  &pv_format(),     &xmol_format(), &tinker_format(),
      &lammps_data_format(), &extxyz_format(), &pdb_format(),  &gromacs_format(),
      &psf_format(),
  };
  return formats;
}

const Format* find_format(std::string_view name) {
  for (const Format* format : registered_formats()) {
    if (format->name == name) return format;
  }
  return nullptr;
}

ForceField parameters_of(const FrameSettings& settings) {
  if (settings.forcefield != nullptr) return *settings.forcefield;
  ForceField forcefield;
  if (!shipped_forcefield("default", forcefield)) {
    throw Error("Error: no default force field is shipped with this build.\n");
  }
  return forcefield;
}

std::string lower_case(std::string text) {
  for (char& c : text) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return text;
}

std::vector<std::string> output_file_names(const std::string& output, const Format& format) {
  if (format.companions.empty()) return {output};
  const std::string extension = extension_of(output);
  const std::string stem = output.substr(0, output.size() - extension.size());
  const std::string own(format.extensions.front());
  std::vector<std::string> names{extension.empty() ? stem + own : output};
  for (const std::string_view companion : format.companions) {
    names.push_back(stem + std::string(companion));
    if (same_file(names.back(), names.front())) {
      throw Error(format_text("Error: the output %s would be its own %s file: name it %s%s.\n",
                              printable(output).c_str(), std::string(companion).c_str(),
                              printable(stem).c_str(), own.c_str()));
    }
  }
  return names;
}

}  // namespace swnt
