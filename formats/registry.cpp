#include "formats/registry.hpp"

#include <cctype>

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

const std::vector<const Format*>& registered_formats() {
  static const std::vector<const Format*> formats{
      &trajectory_format(),  &pv_format(),     &xmol_format(), &tinker_format(),
      &lammps_data_format(), &extxyz_format(), &pdb_format(),  &gromacs_format(),
  };
  return formats;
}

const Format* find_format(std::string_view name) {
  for (const Format* format : registered_formats()) {
    if (format->name == name) return format;
  }
  return nullptr;
}

std::string lower_case(std::string text) {
  for (char& c : text) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return text;
}

}  // namespace swnt
