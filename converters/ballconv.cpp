// ballconv: converts a trajectory file into a pv scene file.
#include "converters/converter_cli.hpp"

int main(int argc, char** argv) { return swnt::run_ballconv({argv, argv + argc}); }
