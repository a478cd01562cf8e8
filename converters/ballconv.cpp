// ballconv: converts a trajectory file into a pv scene file.
#include "converters/converter_cli.hpp"
#include "files/interruption.hpp"

int main(int argc, char** argv) {
  swnt::install_interruption_handlers();
  return swnt::run_ballconv({argv, argv + argc});
}
