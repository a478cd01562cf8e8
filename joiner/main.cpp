// scenejoin: appends the atoms of further trajectories to a target, scene
// by scene.
#include <string>
#include <vector>

#include "files/interruption.hpp"
#include "joiner/join.hpp"

int main(int argc, char** argv) {
  swnt::install_interruption_handlers();
  return swnt::run_scenejoin(std::vector<std::string>(argv, argv + argc));
}
