#include "trajectory/text_format.hpp"

#include <charconv>
#include <cmath>
#include <cstdarg>
#include <cstdio>

namespace swnt {

namespace {

void append_padded(std::string& out, const char* text, std::size_t length, int width) {
  if (width > 0 && length < static_cast<std::size_t>(width)) {
    out.append(static_cast<std::size_t>(width) - length, ' ');
  }
  out.append(text, length);
}

}  // namespace

void append_fixed(std::string& out, double value, int width, int precision) {
  if (!std::isfinite(value)) {
    // Rare: let printf spell infinities and NaNs.
    char text[64];
    const int length = std::snprintf(text, sizeof text, "%*.*f", width, precision, value);
    out.append(text, static_cast<std::size_t>(length));
    return;
  }
  // std::to_chars with a precision rounds exactly as printf does (the exact
  // binary value, ties to even), so the digits are identical.  A double
  // needs at most 309 integer digits.
  char text[400];
  const auto result =
      std::to_chars(text, text + sizeof text, value, std::chars_format::fixed, precision);
  append_padded(out, text, static_cast<std::size_t>(result.ptr - text), width);
}

void append_int(std::string& out, long long value, int width) {
  char text[32];
  const auto result = std::to_chars(text, text + sizeof text, value);
  append_padded(out, text, static_cast<std::size_t>(result.ptr - text), width);
}

std::string format_text(const char* fmt, ...) {
  va_list args;
  va_start(args, fmt);
  va_list copy;
  va_copy(copy, args);
  const int size = std::vsnprintf(nullptr, 0, fmt, copy);
  va_end(copy);
  std::string text(static_cast<std::size_t>(size > 0 ? size : 0) + 1, '\0');
  std::vsnprintf(text.data(), text.size(), fmt, args);
  va_end(args);
  text.resize(static_cast<std::size_t>(size > 0 ? size : 0));
  return text;
}

}  // namespace swnt
