#include "builder/driver.hpp"

int main(int argc, char** argv) { return swnt::run_wrapping({argv, argv + argc}); }
