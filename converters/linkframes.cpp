// linkframes: converts a trajectory file into TINKER XYZ files, one per scene.
#include "converters/converter_cli.hpp"

int main(int argc, char** argv) { return swnt::run_linkframes({argv, argv + argc}); }
