// wrapping, the converters (ballconv, xyzframes, linkframes, topoconv) and
// assemble in one WebAssembly module for the viewer's page.  Like a multi-call binary, the module runs the program
// that its own path (argv[0]) names, so that the page starts each one as a
// shell starts the installed programs: wrapping and assemble find the
// structure tables beside that path.
#include <cstdio>
#include <string>
#include <string_view>
#include <vector>

#include "builder/driver.hpp"
#include "converters/assemble_cli.hpp"
#include "converters/converter_cli.hpp"
#include "converters/topoconv_cli.hpp"
#include "files/interruption.hpp"

int main(int argc, char** argv) {
  swnt::install_interruption_handlers();
  const std::vector<std::string> args(argv, argv + argc);
  const std::string_view path = args.empty() ? std::string_view() : std::string_view(args[0]);
  const std::string_view name = path.substr(path.rfind('/') + 1);
  if (name == "wrapping") return swnt::run_wrapping(args);
  if (name == "ballconv") return swnt::run_ballconv(args);
  if (name == "xyzframes") return swnt::run_xyzframes(args);
  if (name == "linkframes") return swnt::run_linkframes(args);
  if (name == "topoconv") return swnt::run_topoconv(args);
  if (name == "assemble") return swnt::run_assemble(args);
  std::printf("Error: no program named <%.*s>.\n", static_cast<int>(path.size()), path.data());
  return 127;
}
