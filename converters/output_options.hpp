// The options of the files for simulation engines that topoconv and
// assemble share: --style, --forcefield, --terms, --cutoff, --ch and the
// flags --trim and --hydrogenate.
#pragma once

#include <functional>
#include <optional>
#include <string>
#include <string_view>

#include "cli/command_line.hpp"
#include "core/forcefield.hpp"
#include "core/topology.hpp"
#include "formats/format.hpp"

namespace swnt {

// Where the options go.
struct OutputOptions {
  FrameSettings& frames;
  TopologySettings& topology;
  std::optional<ForceField>& forcefield;
  bool distance_given = false;  // --ch
};

// flag for --trim and --hydrogenate, valued for the others, unknown for
// any other name.
OptionKind output_option_kind(std::string_view name);

// Applies one of them (a flag's value is empty); throws the usage error of
// a value it refuses.
void apply_output_option(const std::string& name, const std::string& value, OutputOptions& options,
                         const std::function<Error(const std::string&)>& usage_error);

// After every option: --ch without --hydrogenate is a mistake; the frames
// point to the force field read.
void finish_output_options(OutputOptions& options,
                           const std::function<Error(const std::string&)>& usage_error);

}  // namespace swnt
