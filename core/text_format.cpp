#include "core/text_format.hpp"

#include <charconv>
#include <cstdint>
#include <cmath>
#include <cstdarg>
#include <cstdio>
#include <cstring>

namespace swnt {

namespace {

void append_padded(std::string& out, const char* text, std::size_t length, int width) {
  if (width > 0 && length < static_cast<std::size_t>(width)) {
    out.append(static_cast<std::size_t>(width) - length, ' ');
  }
  out.append(text, length);
}

__extension__ using Uint128 = unsigned __int128;

constexpr std::uint64_t kPowersOfTen[] = {1,         10,         100,         1000,
                                          10000,     100000,     1000000,     10000000,
                                          100000000, 1000000000, 10000000000, 100000000000};

// The decimals the fast conversion below takes, and the magnitude below
// which the scaled value fits 64 bits with room to spare (below 10^18): up
// to 9 decimals below 10^9, and up to 11 (the coordinates of a .gro file)
// below 10^7.
constexpr int kFastPrecisionMax = 9;
constexpr double kFastMagnitudeLimit = 1e9;
constexpr int kFastPrecisionWide = 11;
constexpr double kFastMagnitudeLimitWide = 1e7;

bool fast_fixed(double value, int precision) {
  const double magnitude = std::fabs(value);
  return precision >= 1 && ((precision <= kFastPrecisionMax && magnitude < kFastMagnitudeLimit) ||
                            (precision <= kFastPrecisionWide && magnitude < kFastMagnitudeLimitWide));
}

// "%.*f" for a finite value that fast_fixed() accepts, in integer arithmetic: the value is m * 2^e exactly, so m * 10^precision
// shifted right by -e, rounded half to even on the exact remainder, is the
// printed number scaled by 10^precision.  printf rounds the exact binary
// value the same way, so the digits are the same.  Returns the length
// written to `text` (at least 32 bytes).
std::size_t format_fixed_small(char* text, double value, int precision) {
  std::uint64_t bits = 0;
  std::memcpy(&bits, &value, sizeof bits);
  const bool negative = (bits >> 63) != 0;
  const int biased = static_cast<int>((bits >> 52) & 0x7FF);
  std::uint64_t mantissa = bits & ((std::uint64_t{1} << 52) - 1);
  int exponent = 0;
  if (biased == 0) {
    exponent = -1074;  // subnormal (or zero)
  } else {
    mantissa |= std::uint64_t{1} << 52;
    exponent = biased - 1075;
  }
  // Below 10^9 < 2^52 the exponent is negative: the value is m / 2^shift.
  const int shift = -exponent;
  const std::uint64_t scale = kPowersOfTen[precision];
  std::uint64_t scaled = 0;  // the value times 10^precision, rounded
  if (shift < 100) {
    const Uint128 product = static_cast<Uint128>(mantissa) * scale;  // below 2^90
    const Uint128 quotient = product >> shift;                        // below 10^18
    const Uint128 remainder = product - (quotient << shift);
    const Uint128 half = static_cast<Uint128>(1) << (shift - 1);
    scaled = static_cast<std::uint64_t>(quotient);
    if (remainder > half || (remainder == half && (scaled & 1) != 0)) ++scaled;
  }
  // A shift of 100 or more leaves less than half a unit: 0.
  char* at = text;
  if (negative) *at++ = '-';
  const std::uint64_t whole = scaled / scale;
  std::uint64_t fraction = scaled % scale;
  at = std::to_chars(at, text + 32, whole).ptr;
  *at++ = '.';
  for (int k = precision - 1; k >= 0; --k) {
    at[k] = static_cast<char>('0' + fraction % 10);
    fraction /= 10;
  }
  at += precision;
  return static_cast<std::size_t>(at - text);
}

}  // namespace

void append_fixed(std::string& out, double value, int width, int precision) {
  if (fast_fixed(value, precision)) {
    char text[32];
    append_padded(out, text, format_fixed_small(text, value, precision), width);
    return;
  }
#if defined(__cpp_lib_to_chars)
  if (std::isfinite(value)) {
    // std::to_chars with a precision rounds exactly as printf does (the exact
    // binary value, ties to even), so the digits are identical.  A double
    // needs at most 309 integer digits.
    char text[400];
    const auto result =
        std::to_chars(text, text + sizeof text, value, std::chars_format::fixed, precision);
    append_padded(out, text, static_cast<std::size_t>(result.ptr - text), width);
    return;
  }
#endif
  // Rare: printf itself, for infinities and NaNs, and for every value where
  // the standard library has no to_chars for doubles (that of the WebAssembly
  // build).
  out += format_text("%*.*f", width, precision, value);
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

std::string printable(std::string_view text) {
  static constexpr char kHex[] = "0123456789ABCDEF";
  std::string shown;
  shown.reserve(text.size());
  for (const char c : text) {
    const auto byte = static_cast<unsigned char>(c);
    if (byte >= 0x20 && byte < 0x7F) {
      shown += c;
    } else {
      shown += "\\x";
      shown += kHex[byte >> 4];
      shown += kHex[byte & 0x0F];
    }
  }
  return shown;
}

}  // namespace swnt
