// The registry of file formats: every format the programs write or read,
// each declared beside its code.  The programs ask it for a format by name
// or by a file's extension, and list its formats in their help.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "formats/format.hpp"
#include "formats/scene_files.hpp"

namespace swnt {

// Every format, in the order of the registry.
const std::vector<const Format*>& registered_formats();

// The format of that name, or null.
const Format* find_format(std::string_view name);

// The format that an output's extension (its last '.' of the last path
// component on, any case) chooses among those `eligible` accepts, or null.
template <class Eligible>
const Format* format_of_file(const std::string& path, Eligible&& eligible);

// "a, b or c": the names of the formats `eligible` accepts.
template <class Eligible>
std::string format_names(Eligible&& eligible, std::string_view separator = ", ",
                         std::string_view last_separator = " or ");

// The extensions of the formats `eligible` accepts, as "a or b, c".
template <class Eligible>
std::string format_extensions(Eligible&& eligible);

std::string lower_case(std::string text);

// The files of one output: the output itself, then the further files of its
// format (Format::companions), named after it with its extension replaced
// (tube.top gives tube.gro).  Where the format has further files, an output
// without an extension gets the format's first one too (tube gives tube.top
// and tube.gro).  Throws Error when the output would be one of its own
// further files (tube.gro).
std::vector<std::string> output_file_names(const std::string& output, const Format& format);

template <class Eligible>
const Format* format_of_file(const std::string& path, Eligible&& eligible) {
  const std::string extension = lower_case(extension_of(path));
  for (const Format* format : registered_formats()) {
    if (!eligible(*format)) continue;
    for (const std::string_view known : format->extensions) {
      if (known == extension) return format;
    }
  }
  return nullptr;
}

template <class Eligible>
std::string format_names(Eligible&& eligible, std::string_view separator,
                         std::string_view last_separator) {
  std::vector<std::string_view> names;
  for (const Format* format : registered_formats()) {
    if (eligible(*format)) names.push_back(format->name);
  }
  std::string text;
  for (std::size_t k = 0; k < names.size(); ++k) {
    if (k > 0) text += k + 1 == names.size() ? last_separator : separator;
    text += names[k];
  }
  return text;
}

template <class Eligible>
std::string format_extensions(Eligible&& eligible) {
  std::string text;
  for (const Format* format : registered_formats()) {
    if (!eligible(*format)) continue;
    if (!text.empty()) text += ", ";
    for (std::size_t k = 0; k < format->extensions.size(); ++k) {
      if (k > 0) text += " or ";
      text += format->extensions[k];
    }
  }
  return text;
}

}  // namespace swnt
