// xyzframes: converts a trajectory file into XMOL XYZ files, one per scene.
#include "converters/converter_cli.hpp"

int main(int argc, char** argv) { return swnt::run_xyzframes({argv, argv + argc}); }
