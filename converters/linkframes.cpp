// linkframes: converts a trajectory file into TINKER XYZ files, one per scene.
#include "converters/converter_cli.hpp"
#include "files/interruption.hpp"

int main(int argc, char** argv) {
  swnt::install_interruption_handlers();
  return swnt::run_linkframes({argv, argv + argc});
}
