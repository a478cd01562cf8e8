#include "core/text_format.hpp"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <cstring>
#include <random>
#include <vector>

namespace {

std::string printf_fixed(double value, int width, int precision) {
  char text[512];
  std::snprintf(text, sizeof text, "%*.*f", width, precision, value);
  return text;
}

TEST(TextFormat, FixedMatchesPrintfOnRandomValues) {
  std::mt19937_64 rng(12345);
  std::uniform_real_distribution<double> uniform(-500.0, 500.0);
  std::uniform_int_distribution<std::uint64_t> bits;
  for (int i = 0; i < 200000; ++i) {
    double value = uniform(rng);
    if (i % 4 == 1) value = std::round(value * 1e6) / 1e6 + 5e-7;  // near rounding ties
    if (i % 4 == 2) {
      const std::uint64_t raw = bits(rng);
      std::memcpy(&value, &raw, sizeof value);
      if (!std::isfinite(value)) continue;
    }
    std::string ours;
    swnt::append_fixed(ours, value, 14, 6);
    ASSERT_EQ(ours, printf_fixed(value, 14, 6)) << value;
  }
}

TEST(TextFormat, FixedHandlesSignsTiesAndSpecialValues) {
  for (double value : {0.0, -0.0, -1e-9, 0.5, 1.5, 2.5, 0.125, 0.0000005, 0.0000015, 1e300, -1e-320,
                       double(INFINITY), -double(INFINITY), double(NAN)}) {
    for (int precision : {0, 2, 6, 7}) {
      std::string ours;
      swnt::append_fixed(ours, value, 15, precision);
      EXPECT_EQ(ours, printf_fixed(value, 15, precision)) << value << " " << precision;
    }
  }
}

TEST(TextFormat, FixedMatchesPrintfAtEveryPrecisionAndMagnitude) {
  // Values of every binary exponent from tiny to beyond 1e9, exact binary
  // fractions whose last printed digit is an exact tie (j / 2^k), and values
  // right at powers of ten, each at 0 to 12 decimals.
  std::mt19937_64 rng(271828);
  std::uniform_real_distribution<double> unit(1.0, 2.0);
  std::uniform_int_distribution<int> exponent(-1080, 40);
  std::uniform_int_distribution<long long> numerator(-4000000000LL, 4000000000LL);
  std::uniform_int_distribution<int> power(1, 36);
  std::vector<double> values;
  for (int i = 0; i < 60000; ++i) {
    const double sign = i % 2 == 0 ? 1.0 : -1.0;
    values.push_back(sign * std::ldexp(unit(rng), exponent(rng)));
    values.push_back(std::ldexp(static_cast<double>(numerator(rng)), -power(rng)));
  }
  for (double p = 1e-10; p < 1e12; p *= 10.0) {
    for (const double v : {p, std::nextafter(p, 0.0), std::nextafter(p, 1e300), -p}) {
      values.push_back(v);
    }
  }
  values.push_back(999999999.9999999);
  values.push_back(-999999999.99999994);
  values.push_back(1e9);
  values.push_back(std::nextafter(1e9, 0.0));
  values.push_back(9999999.999999999);
  values.push_back(std::nextafter(1e7, 0.0));
  for (const double value : values) {
    for (int precision = 0; precision <= 12; ++precision) {
      std::string ours;
      swnt::append_fixed(ours, value, 14, precision);
      ASSERT_EQ(ours, printf_fixed(value, 14, precision)) << value << " " << precision;
    }
  }
}

TEST(TextFormat, IntMatchesPrintf) {
  for (long long value : {0LL, 7LL, -7LL, 12345LL, 123456789LL, -2147483648LL}) {
    std::string ours;
    swnt::append_int(ours, value, 5);
    char text[64];
    std::snprintf(text, sizeof text, "%5lld", value);
    EXPECT_EQ(ours, text);
  }
}

}  // namespace
