#include "files/file_identity.hpp"

#include <filesystem>
#include <system_error>

namespace swnt {

namespace fs = std::filesystem;

bool same_file(const std::string& a, const std::string& b) {
  if (a == b) return true;
  std::error_code ec;
  if (fs::exists(a, ec) && fs::exists(b, ec)) {
    const bool equivalent = fs::equivalent(a, b, ec);
    if (!ec) return equivalent;
  }
  std::error_code ec_a, ec_b;
  const fs::path absolute_a = fs::absolute(a, ec_a);
  const fs::path absolute_b = fs::absolute(b, ec_b);
  if (ec_a || ec_b) return false;
  if (absolute_a.lexically_normal() == absolute_b.lexically_normal()) return true;
  const fs::path canonical_a = fs::weakly_canonical(absolute_a, ec_a);
  const fs::path canonical_b = fs::weakly_canonical(absolute_b, ec_b);
  return !ec_a && !ec_b && canonical_a == canonical_b;
}

bool overwrites_input(const std::string& output, const std::string& input) {
  std::error_code ec;
  return fs::exists(output, ec) && same_file(output, input);
}

}  // namespace swnt
