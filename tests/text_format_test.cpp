#include "trajectory/text_format.hpp"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <cstring>
#include <random>

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
