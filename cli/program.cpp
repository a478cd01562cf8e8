#include "cli/program.hpp"

#include <filesystem>
#include <system_error>

namespace swnt {

std::string directory_of(std::string_view path) {
  std::size_t separator = path.rfind('/');
  if (separator == std::string_view::npos) separator = path.rfind('\\');
  if (separator == std::string_view::npos) return {};
  return std::string(path.substr(0, separator + 1));
}

std::string program_directory(const std::string& program_path) {
  std::string directory = directory_of(program_path);
  if (!directory.empty()) return directory;
  std::error_code error;
  const std::filesystem::path executable = std::filesystem::read_symlink("/proc/self/exe", error);
  if (error) return directory;
  return directory_of(executable.string());
}

void print_text(std::string_view text) { std::fwrite(text.data(), 1, text.size(), stdout); }

}  // namespace swnt
