// wrapping: builds a tube of chirality (n,m) and writes it as a trajectory,
// or converts it at once.
#include "builder/driver.hpp"
#include "files/interruption.hpp"

int main(int argc, char** argv) {
  swnt::install_interruption_handlers();
  return swnt::run_wrapping({argv, argv + argc});
}
