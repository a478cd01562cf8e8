#include "cli/command_line.hpp"

#include "core/text_format.hpp"

namespace swnt {

bool walk_command_line(const std::vector<std::string>& args, const CommandLineRules& rules,
                       std::vector<std::string>& operands) {
  bool options_end = false;
  for (std::size_t k = 1; k < args.size(); ++k) {
    const std::string& arg = args[k];
    if (options_end || arg.size() < 2 || arg[0] != '-') {
      operands.push_back(arg);
      continue;
    }
    if (arg == "--") {
      options_end = true;
      continue;
    }
    if (arg == "-h" || arg == "--help") return false;
    const std::size_t equals = arg.find('=');
    const std::string name = arg.substr(0, equals);
    const OptionKind kind = rules.kind(name);
    if (kind == OptionKind::flag) {
      if (equals != std::string::npos) {
        throw rules.usage_error(format_text("option %s takes no value.", name.c_str()));
      }
      rules.apply(name, "");
      continue;
    }
    if (kind == OptionKind::unknown) {
      throw rules.usage_error(format_text("unknown option <%s>.", printable(arg).c_str()));
    }
    std::string value;
    if (equals != std::string::npos) {
      value = arg.substr(equals + 1);
    } else if (k + 1 < args.size()) {
      value = args[++k];
    } else {
      throw rules.usage_error(format_text("option %s needs a value.", name.c_str()));
    }
    rules.apply(name, value);
  }
  return true;
}

}  // namespace swnt
