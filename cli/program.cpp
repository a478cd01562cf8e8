#include "cli/program.hpp"

namespace swnt {

void print_text(std::string_view text) { std::fwrite(text.data(), 1, text.size(), stdout); }

}  // namespace swnt
