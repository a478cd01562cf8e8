// assemble: coaxial walls that repeat with one period, bundles and ropes of
// such tubes, written with their full topology; and the chirality finder.
#include "converters/assemble_cli.hpp"
#include "files/interruption.hpp"

int main(int argc, char** argv) {
  swnt::install_interruption_handlers();
  return swnt::run_assemble({argv, argv + argc});
}
