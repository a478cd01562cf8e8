#include "converters/converter_cli.hpp"

#include "cli/program.hpp"
#include "core/text_format.hpp"
#include "formats/registry.hpp"

namespace swnt {

namespace {

// The number of arguments after the program name.
std::size_t argument_count(const std::vector<std::string>& args) {
  return args.empty() ? 0 : args.size() - 1;
}

// Converts the trajectory `input` into `output` in the registry's format `name`.
void convert(std::string_view name, const std::string& input, const std::string& output,
             const ConversionSettings& settings) {
  find_format(name)->convert(input, output, settings, Log());
}

}  // namespace

int run_ballconv(const std::vector<std::string>& args) {
  return run_program([&] {
    const std::size_t count = argument_count(args);
    if (count != 2 && count != 3) throw Error("Error: two or three arguments are required.\n");
    bool shift_half_box = false;
    if (count == 3) {
      // Only the first character of the mode counts: "centre" is 'c', "Move" is 'm'.
      const std::string& mode = args[3];
      const char letter = mode.empty() ? '\0' : mode[0];
      if (letter == 'c' || letter == 'C') {
        shift_half_box = true;
      } else if (letter != 'm' && letter != 'M') {
        throw Error("Error: Invalid argument <" + printable(mode) + ">. \n");
      }
    }
    convert("pv", args[1], args[2], {"", shift_half_box});
    return 0;
  });
}

int run_xyzframes(const std::vector<std::string>& args) {
  return run_program([&] {
    if (argument_count(args) != 2) throw Error("Error: two arguments are required.\n");
    convert("xmol", args[1], args[2], {"XMOL XYZ FORMAT", false});
    return 0;
  });
}

int run_linkframes(const std::vector<std::string>& args) {
  return run_program([&] {
    if (argument_count(args) != 2) throw Error("Error: two arguments are required.\n");
    convert("tinker", args[1], args[2], {"TINKER XYZ FORMAT", false});
    return 0;
  });
}

}  // namespace swnt
