// Fuzzes the number grammar of the builder's option values against a
// reference made of the C library: after the leading white space, only the
// characters digits, sign, point and e can belong to a number, and strtod or
// strtoll on that stretch give the value ("nan", "inf" and "0x" forms thus
// read as 0).  The values must agree exactly, and overflow must be flagged
// exactly when the value leaves the range.
#include <cerrno>
#include <climits>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <string>

#include "builder/number_grammar.hpp"
#include "fuzz_support.hpp"

namespace {

std::string number_stretch(std::string_view text, const char* allowed) {
  std::size_t i = 0;
  while (i < text.size() && std::strchr(" \t\n\v\f\r", text[i]) != nullptr && text[i] != '\0') ++i;
  std::size_t end = i;
  while (end < text.size() && text[end] != '\0' && std::strchr(allowed, text[end]) != nullptr) ++end;
  return std::string(text.substr(i, end - i));
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view text = fuzz::as_text(data, size);

  const swnt::ParsedReal real = swnt::parse_real_value(text);
  const std::string real_text = number_stretch(text, "0123456789+-.eE");
  const double expected = std::strtod(real_text.c_str(), nullptr);
  FUZZ_CHECK(real.overflow == std::isinf(expected), "real overflow flag");
  if (!real.overflow) {
    FUZZ_CHECK(std::memcmp(&real.value, &expected, sizeof expected) == 0, "real value");
  }

  const swnt::ParsedInt integer = swnt::parse_int_value(text);
  const std::string int_text = number_stretch(text, "0123456789+-");
  errno = 0;
  const long long wide = std::strtoll(int_text.c_str(), nullptr, 10);
  const bool out_of_range = errno == ERANGE || wide > INT_MAX || wide < INT_MIN;
  FUZZ_CHECK(integer.overflow == out_of_range, "integer overflow flag");
  if (!out_of_range) FUZZ_CHECK(integer.value == wide, "integer value");
  return 0;
}
