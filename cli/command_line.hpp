// The long options of topoconv and assemble: "--name VALUE" or
// "--name=VALUE", flags without a value, "--" ending the options, and
// -h/--help, in any order among the operands.
#pragma once

#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "core/error.hpp"

namespace swnt {

enum class OptionKind { unknown, flag, valued };

struct CommandLineRules {
  // What an option name (without its value) is.
  std::function<OptionKind(std::string_view name)> kind;
  // Applies an option as it comes, in order; a flag's value is empty.
  std::function<void(const std::string& name, const std::string& value)> apply;
  // The error of a mistake, from its message (a sentence without "Error: ").
  std::function<Error(const std::string& message)> usage_error;
};

// Walks args (program name first): operands go to `operands`, options to
// rules.apply as they come.  False at -h or --help, where the walk stops.
// Throws the usage error of an unknown option, a flag given a value or an
// option without one.
bool walk_command_line(const std::vector<std::string>& args, const CommandLineRules& rules,
                       std::vector<std::string>& operands);

}  // namespace swnt
