#include <string>
#include <vector>

#include "joiner/join.hpp"

int main(int argc, char** argv) {
  return swnt::run_scenejoin(std::vector<std::string>(argv, argv + argc));
}
