#include "converters/converter_cli.hpp"

#include <cstdio>

#include "files/file_errors.hpp"
#include "formats/pv.hpp"
#include "formats/tinker.hpp"
#include "formats/xmol.hpp"

namespace swnt {

namespace {

// The number of arguments after the program name.
std::size_t argument_count(const std::vector<std::string>& args) {
  return args.empty() ? 0 : args.size() - 1;
}

// Runs the writer; a failed conversion is not a success.
template <class Writer>
int exit_status(Writer&& writer) {
  return run_guarded(writer) == 0 ? 0 : 1;
}

}  // namespace

int run_ballconv(const std::vector<std::string>& args) {
  const std::size_t count = argument_count(args);
  if (count != 2 && count != 3) {
    std::printf("Error: two or three arguments are required.\n");
    return 1;
  }
  int centred = 1;
  if (count == 3) {
    // Only the first character of the mode counts: "centre" is 'c', "Move" is 'm'.
    const std::string& mode = args[3];
    const char letter = mode.empty() ? '\0' : mode[0];
    if (letter == 'm' || letter == 'M') {
      centred = 1;
    } else if (letter == 'c' || letter == 'C') {
      centred = 0;
    } else {
      std::printf("Error: Invalid argument <%s>. \n", printable(mode).c_str());
      return 1;
    }
  }
  return exit_status([&] { return write_pv_file(args[1], args[2], 0, centred); });
}

int run_xyzframes(const std::vector<std::string>& args) {
  if (argument_count(args) != 2) {
    std::printf("Error: two arguments are required.\n");
    return 1;
  }
  return exit_status([&] { return write_xmol_xyz(args[1], args[2], 0, "XMOL XYZ FORMAT"); });
}

int run_linkframes(const std::vector<std::string>& args) {
  if (argument_count(args) != 2) {
    std::printf("Error: two arguments are required.\n");
    return 1;
  }
  return exit_status([&] { return write_tinker_xyz(args[1], args[2], 0, "TINKER XYZ FORMAT"); });
}

}  // namespace swnt
