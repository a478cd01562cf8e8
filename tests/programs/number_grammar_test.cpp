#include "builder/number_grammar.hpp"

#include <gtest/gtest.h>

#include <climits>
#include <cmath>
#include <string>
#include <string_view>

namespace {

TEST(NumberGrammar, RealsReadTheLongestDecimalPrefix) {
  struct Case {
    const char* text;
    double value;
  };
  const Case cases[] = {
      {"  +1.5e3xyz", 1500.0}, {"1e", 1.0},     {"1e+", 1.0},       {"1.e5", 1e5},
      {".5", 0.5},             {"-.5", -0.5},   {"2E-3", 0.002},    {"\t\n\v\f\r 7", 7.0},
      {"1.5.3", 1.5},          {"-2.5", -2.5},  {"12abc", 12.0},    {"0.1", 0.1},
      {"1e-999", 0.0},         {"", 0.0},       {"-", 0.0},         {".", 0.0},
      {".e5", 0.0},            {"e5", 0.0},     {"nan", 0.0},       {"inf", 0.0},
      {"-infinity", 0.0},      {"0x10", 0.0},   {"+ 3", 0.0},       {"--3", 0.0},
      // correctly rounded, also where naive digit accumulation is not
      {"2.2250738585072011e-308", 2.2250738585072011e-308},
      {"9007199254740993", 9007199254740992.0},
      {"0.30000000000000004441", 0.30000000000000004},
  };
  for (const Case& c : cases) {
    const swnt::ParsedReal parsed = swnt::parse_real_value(c.text);
    EXPECT_FALSE(parsed.overflow) << c.text;
    EXPECT_EQ(parsed.value, c.value) << c.text;
  }
  EXPECT_TRUE(std::signbit(swnt::parse_real_value("-0").value));
}

TEST(NumberGrammar, RealOverflowIsReportedNotTurnedIntoInfinity) {
  const std::string many_digits(400, '9');
  for (std::string_view text : {"1e999", "-1e999", "1e309", many_digits.c_str()}) {
    EXPECT_TRUE(swnt::parse_real_value(text).overflow) << text;
  }
  EXPECT_FALSE(swnt::parse_real_value("1.7976931348623157e308").overflow);
}

TEST(NumberGrammar, IntegersReadSignAndDigitsOnly) {
  struct Case {
    const char* text;
    int value;
    bool overflow;
  };
  const Case cases[] = {
      {"  -42abc", -42, false},        {"+7", 7, false},
      {"1e5", 1, false},               {"2.9", 2, false},
      {"", 0, false},                  {"x1", 0, false},
      {"- 5", 0, false},               {"0x10", 0, false},
      {"2147483647", INT_MAX, false},  {"-2147483648", INT_MIN, false},
      {"000000000000000000012", 12, false},
      {"2147483648", 0, true},         {"-2147483649", 0, true},
      {"99999999999999999999999", 0, true},
  };
  for (const Case& c : cases) {
    const swnt::ParsedInt parsed = swnt::parse_int_value(c.text);
    EXPECT_EQ(parsed.overflow, c.overflow) << c.text;
    if (!c.overflow) {
      EXPECT_EQ(parsed.value, c.value) << c.text;
    }
  }
}

}  // namespace
