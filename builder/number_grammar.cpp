#include "builder/number_grammar.hpp"

#include <climits>
#include <cmath>
#include <cstdlib>
#include <string>

namespace swnt {

namespace {

bool is_space(char c) {
  return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}

bool is_digit(char c) { return c >= '0' && c <= '9'; }

// Index of the first character after the leading white space.
std::size_t skip_space(std::string_view text) {
  std::size_t i = 0;
  while (i < text.size() && is_space(text[i])) ++i;
  return i;
}

// Index of the first character after a run of digits starting at `i`.
std::size_t skip_digits(std::string_view text, std::size_t i) {
  while (i < text.size() && is_digit(text[i])) ++i;
  return i;
}

}  // namespace

ParsedInt parse_int_value(std::string_view text) {
  std::size_t i = skip_space(text);
  bool negative = false;
  if (i < text.size() && (text[i] == '+' || text[i] == '-')) {
    negative = text[i] == '-';
    ++i;
  }
  // Accumulate the magnitude; the negative range is one larger.
  const long long limit = negative ? -static_cast<long long>(INT_MIN) : INT_MAX;
  long long magnitude = 0;
  ParsedInt result;
  for (; i < text.size() && is_digit(text[i]); ++i) {
    magnitude = magnitude * 10 + (text[i] - '0');
    if (magnitude > limit) {
      result.overflow = true;
      result.value = negative ? INT_MIN : INT_MAX;
      return result;
    }
  }
  result.value = static_cast<int>(negative ? -magnitude : magnitude);
  return result;
}

ParsedReal parse_real_value(std::string_view text) {
  const std::size_t start = skip_space(text);
  std::size_t i = start;
  if (i < text.size() && (text[i] == '+' || text[i] == '-')) ++i;

  const std::size_t integer_end = skip_digits(text, i);
  bool has_digits = integer_end > i;
  i = integer_end;
  if (i < text.size() && text[i] == '.') {
    const std::size_t fraction_end = skip_digits(text, i + 1);
    has_digits = has_digits || fraction_end > i + 1;
    i = fraction_end;
  }
  ParsedReal result;
  if (!has_digits) return result;  // no number: reads as 0

  // An exponent counts only when at least one digit follows the e and its sign.
  if (i < text.size() && (text[i] == 'e' || text[i] == 'E')) {
    std::size_t j = i + 1;
    if (j < text.size() && (text[j] == '+' || text[j] == '-')) ++j;
    const std::size_t exponent_end = skip_digits(text, j);
    if (exponent_end > j) i = exponent_end;
  }

  // The matched text is plain decimal notation, which strtod converts
  // correctly rounded; it is copied so that strtod cannot look past it.
  const std::string matched(text.substr(start, i - start));
  result.value = std::strtod(matched.c_str(), nullptr);
  result.overflow = std::isinf(result.value);
  return result;
}

}  // namespace swnt
