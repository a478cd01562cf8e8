#include "converters/output_options.hpp"

#include <cctype>
#include <cmath>
#include <cstdlib>

#include "core/text_format.hpp"
#include "files/forcefield_file.hpp"

namespace swnt {

namespace {

// A positive finite length in Angstrom.
bool parse_length(const std::string& text, double& length) {
  if (text.empty() || std::isspace(static_cast<unsigned char>(text[0]))) return false;
  char* end = nullptr;
  const double value = std::strtod(text.c_str(), &end);
  if (end != text.c_str() + text.size() || !std::isfinite(value) || !(value > 0.0)) return false;
  length = value;
  return true;
}

}  // namespace

OptionKind output_option_kind(std::string_view name) {
  if (name == "--trim" || name == "--hydrogenate") return OptionKind::flag;
  for (const std::string_view valued : {"--style", "--forcefield", "--terms", "--cutoff", "--ch"}) {
    if (name == valued) return OptionKind::valued;
  }
  return OptionKind::unknown;
}

void apply_output_option(const std::string& name, const std::string& value, OutputOptions& options,
                         const std::function<Error(const std::string&)>& usage_error) {
  const std::string shown = printable(value);
  if (name == "--trim" || name == "--hydrogenate") {
    (name == "--trim" ? options.topology.trim : options.topology.hydrogenate) = true;
  } else if (name == "--style") {
    if (!parse_lammps_style(value, options.frames.style)) {
      throw usage_error(format_text("unknown style <%s>: full, molecular or atomic.", shown.c_str()));
    }
  } else if (name == "--forcefield") {
    options.forcefield = load_forcefield(value);
  } else if (name == "--terms") {
    if (value != "all" && value != "none") {
      throw usage_error(format_text("unknown terms <%s>: all or none.", shown.c_str()));
    }
    options.frames.terms = value == "all";
  } else if (name == "--ch") {
    if (!parse_length(value, options.topology.hydrogen_distance)) {
      throw usage_error(format_text(
          "invalid C-H distance <%s>: a positive finite number of Angstrom.", shown.c_str()));
    }
    options.distance_given = true;
  } else if (!parse_length(value, options.topology.cutoff)) {
    throw usage_error(format_text("invalid cut-off <%s>: a positive finite number of Angstrom.",
                                  shown.c_str()));
  }
}

void finish_output_options(OutputOptions& options,
                           const std::function<Error(const std::string&)>& usage_error) {
  if (options.distance_given && !options.topology.hydrogenate) {
    throw usage_error("option --ch sets the C-H distance of --hydrogenate, which is not given.");
  }
  if (options.forcefield) options.frames.forcefield = &*options.forcefield;
}

}  // namespace swnt
