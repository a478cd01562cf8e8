#include "files/number_stream.hpp"
#include "formats/trajectory.hpp"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <random>
#include <string>
#include <vector>

#include "core/text_format.hpp"
#include "test_support.hpp"

namespace {

using test_support::TempDir;
using test_support::write_file;

// What scanf's "%lf" makes of `text`.
double scanf_value(const std::string& text) {
  double value = 0.0;
  EXPECT_EQ(std::sscanf(text.c_str(), "%lf", &value), 1) << text;
  return value;
}

// Bit-exact comparison that also takes NaN == NaN of the same sign.
bool same_bits(double a, double b) { return std::memcmp(&a, &b, sizeof a) == 0; }

struct Opened {
  TempDir dir;
  swnt::NumberStream reader;
  explicit Opened(const std::string& content) {
    write_file(dir / "in.dat", content);
    EXPECT_TRUE(reader.open((dir / "in.dat").string()));
  }
};

std::vector<double> read_reals(swnt::NumberStream& reader, std::size_t count) {
  std::vector<double> values;
  for (std::size_t k = 0; k < count; ++k) {
    double v = 0.0;
    EXPECT_TRUE(reader.read_real(v)) << k << ": " << reader.error();
    values.push_back(v);
  }
  return values;
}

TEST(NumberStream, HeaderReadsAlikeWhateverTheWhiteSpace) {
  const char* layouts[] = {
      "7 3 2\n20.000000  30.000000  40.000000\n0.0  0.0\n",
      "7 3 2 20 30 40 0 0",
      "7 3 2\r\n20.0 30.0 40.0\r\n0.0 0.0\r\n",
      "  \n\t7\t3\v2\f20\r30\n\n40 \t 0\r\n0",
  };
  for (const char* text : layouts) {
    Opened f(text);
    swnt::TrajectoryHeader h;
    ASSERT_TRUE(swnt::read_trajectory_header(f.reader, h)) << f.reader.error();
    EXPECT_EQ(h.lead, 7);
    EXPECT_EQ(h.nmol, 3);
    EXPECT_EQ(h.ndat, 2);
    EXPECT_EQ(h.boxx, 20.0);
    EXPECT_EQ(h.boxy, 30.0);
    EXPECT_EQ(h.boxz, 40.0);
    EXPECT_EQ(h.aux1, 0.0);
    EXPECT_EQ(h.aux2, 0.0);
  }
}

TEST(NumberStream, ReadLineKeepsTheLineWithoutItsEnd) {
  Opened f("header 1\r\n2\n\nlast");
  std::string line;
  EXPECT_TRUE(f.reader.read_line(line));
  EXPECT_EQ(line, "header 1");
  long long n = 0;
  EXPECT_TRUE(f.reader.read_int(n) && n == 2);
  EXPECT_TRUE(f.reader.read_line(line));  // the rest of the number's line
  EXPECT_EQ(line, "");
  EXPECT_TRUE(f.reader.read_line(line));
  EXPECT_FALSE(f.reader.read_line(line));  // no line end
  EXPECT_EQ(line, "last");
}

TEST(NumberStream, RealsFollowScanfInEveryNotation) {
  const std::vector<std::string> tokens = {
      "1e5",   "+1.5",     "-.5",       "0x1p3",     "0X1.8P1", "-0x.8p-2", "inf",     "-INF",
      "Infinity", "nan",   "NAN",       "-nan",      "1E-3",    "1.",       ".5",      "0",
      "-0",    "1e400",    "-1e400",    "1e-400",    "4.9e-324", "2.2250738585072011e-308",
      "0.1000000000000000055511151231257827", "123456789012345678901234567890",
      "3.14159265358979323846264338327950288", "0.30000000000000004", "1e+02", "007.5"};
  std::string text;
  for (const auto& t : tokens) text += t + "\n";
  Opened f(text);
  const auto values = read_reals(f.reader, tokens.size());
  for (std::size_t k = 0; k < tokens.size(); ++k) {
    EXPECT_TRUE(same_bits(values[k], scanf_value(tokens[k])))
        << tokens[k] << ": " << values[k] << " vs " << scanf_value(tokens[k]);
  }
  double v;
  EXPECT_FALSE(f.reader.read_real(v));
}

TEST(NumberStream, PlainDecimalsMatchScanfBitForBit) {
  // Plain decimals of every length: few and many digits (beyond the 2^53 an
  // integer of digits can hold exactly), up to 25 decimals, signs, leading
  // zeros, a point at either end, and the values the programs write.
  std::mt19937_64 rng(31);
  std::uniform_int_distribution<int> length(1, 25);
  std::uniform_int_distribution<int> digit(0, 9);
  std::uniform_int_distribution<int> choice(0, 5);
  std::vector<std::string> tokens = {"5.",  ".5",  "-.5",  "+.5", "-0.000000", "+0", "-0.",
                                     "0.0000000000000000000001", "0.00000000000000000000001",
                                     "9007199254740992", "9007199254740993", "900719925474099.3",
                                     "-900719925474099.35", "00000000000000000000000012.5"};
  for (int k = 0; k < 40000; ++k) {
    std::string token;
    const int sign = choice(rng);
    if (sign == 0) token += '-';
    if (sign == 1) token += '+';
    const int whole = length(rng) - 1;
    const int decimals = choice(rng) == 0 ? length(rng) - 1 : std::min(length(rng), 8) - 1;
    for (int d = 0; d < whole; ++d) token += static_cast<char>('0' + digit(rng));
    if (decimals > 0 || whole == 0) token += '.';
    for (int d = 0; d < std::max(decimals, whole == 0 ? 1 : 0); ++d) {
      token += static_cast<char>('0' + digit(rng));
    }
    tokens.push_back(token);
  }
  std::string text;
  for (std::size_t k = 0; k < tokens.size(); ++k) text += tokens[k] + (k % 3 == 0 ? "\n" : "  ");
  Opened f(text);
  const auto values = read_reals(f.reader, tokens.size());
  for (std::size_t k = 0; k < tokens.size(); ++k) {
    ASSERT_TRUE(same_bits(values[k], scanf_value(tokens[k])))
        << tokens[k] << ": " << values[k] << " vs " << scanf_value(tokens[k]);
  }

  // A plain decimal straddling the 1 MiB read block at every split point.
  const std::string number = "-123.456789";
  for (std::size_t shift = 0; shift <= number.size() + 1; ++shift) {
    Opened g(std::string((1u << 20) - shift, ' ') + number + " 7.25\n");
    const auto pair = read_reals(g.reader, 2);
    EXPECT_TRUE(same_bits(pair[0], -123.456789)) << shift;
    EXPECT_EQ(pair[1], 7.25) << shift;
  }
}

TEST(NumberStream, GluedTokensSplitWhereScanfStops) {
  // "%lf" stops at the first character that cannot continue the number; the
  // next conversion starts there.
  Opened f("1.5-2.5 2+3 4e2e1\n");
  const auto values = read_reals(f.reader, 4);
  EXPECT_EQ(values, (std::vector<double>{1.5, -2.5, 2.0, 3.0}));
  EXPECT_EQ(values.size(), 4u);
  double v;
  EXPECT_TRUE(f.reader.read_real(v));
  EXPECT_EQ(v, 400.0);
  EXPECT_FALSE(f.reader.read_real(v));  // "e1" is not a number
  EXPECT_EQ(f.reader.error(), "not a number where a number is expected: \"e1\"");

  // "%d" takes the digits of "12.75" and leaves ".75" to the next "%lf".
  Opened g("12.75 +8 -0");
  long long i;
  ASSERT_TRUE(g.reader.read_int(i));
  EXPECT_EQ(i, 12);
  ASSERT_TRUE(g.reader.read_real(v));
  EXPECT_EQ(v, 0.75);
  ASSERT_TRUE(g.reader.read_int(i));
  EXPECT_EQ(i, 8);
  ASSERT_TRUE(g.reader.read_int(i));
  EXPECT_EQ(i, 0);
}

TEST(NumberStream, ManyNumbersGluedIntoOneTokenReadAsScanfReadsThem) {
  // 10^5 numbers of every notation, each with a sign and none separated from
  // the next, in one token of more than a read block; "%lf" over the same
  // bytes is the reference, number for number and where it stops.
  const std::vector<std::string> notations = {"1e5", "1.5", ".5", "0x1p3", "0X1.8P1", "0x.8p-2", "inf",
                                              "INF", "Infinity", "nan", "1E-3", "1.", "0", "1e400",
                                              "4.9e-324", "123456789012345678901234567890", "007.5"};
  std::mt19937_64 rng(5);
  std::string text;
  for (int k = 0; k < 100000; ++k) {
    text += rng() % 2 ? '-' : '+';
    text += k % 3 == 0 ? notations[rng() % notations.size()]
                       : swnt::format_text("%.*f", static_cast<int>(rng() % 12), (rng() % 100000) / 7.0);
  }
  Opened f(text + "\n");
  std::FILE* reference = fmemopen(text.data(), text.size(), "r");
  ASSERT_NE(reference, nullptr);
  std::size_t count = 0;
  for (double expected = 0.0; std::fscanf(reference, "%lf", &expected) == 1; ++count) {
    double v = 0.0;
    ASSERT_TRUE(f.reader.read_real(v)) << count << ": " << f.reader.error();
    ASSERT_TRUE(same_bits(v, expected)) << count << ": " << v << " vs " << expected;
  }
  std::fclose(reference);
  EXPECT_EQ(count, 100000u);
  double v;
  EXPECT_FALSE(f.reader.read_real(v));
}

TEST(NumberStream, TokensAcrossTheBlockBoundaryReadWhole) {
  // Numbers placed so that one of them straddles the 1 MiB read block at
  // every possible split point.
  const std::string number = "-123.4567890123456789e-1";
  const std::size_t block = 1u << 20;
  for (std::size_t shift = 0; shift <= number.size() + 1; ++shift) {
    std::string text(block - shift, ' ');
    text += number + " 7.25\n";
    Opened f(text);
    const auto values = read_reals(f.reader, 2);
    EXPECT_TRUE(same_bits(values[0], scanf_value(number))) << shift;
    EXPECT_EQ(values[1], 7.25) << shift;
  }
  // One token longer than a whole block.
  std::string huge = "0." + std::string(block + 1000, '0') + "1 2";
  Opened f(huge);
  const auto values = read_reals(f.reader, 2);
  EXPECT_TRUE(same_bits(values[0], scanf_value(huge)));
  EXPECT_EQ(values[1], 2.0);
}

TEST(NumberStream, ReadsExactlyWhatIsAsked) {
  // Coordinates with more digits than any writer prints keep full precision.
  Opened f("0 1 1\n1 1 1\n0 0\n0.12345678901234567 -9.87654321098765432 1e-7 trailing junk");
  swnt::TrajectoryHeader h;
  ASSERT_TRUE(swnt::read_trajectory_header(f.reader, h));
  double x, y, z;
  ASSERT_TRUE(f.reader.read_triple(x, y, z));
  EXPECT_EQ(x, 0.12345678901234567);
  EXPECT_EQ(y, -9.87654321098765432);
  EXPECT_EQ(z, 1e-7);
}

TEST(NumberStream, BadInputIsReportedNeverMadeUp) {
  struct Case {
    std::string text;
    std::string error;
  };
  const std::vector<Case> cases = {
      {"", "the file ends before the data its header announces"},
      {"0 2 1\n20 30 40\n0", "the file ends before the data its header announces"},
      {"0 x 1\n20 30 40\n0 0\n", "not an integer where an integer is expected: \"x\""},
      {"0 - 1\n20 30 40\n0 0\n", "not an integer where an integer is expected: \"-\""},
      {"0 2 1\n20 abc 40\n0 0\n", "not a number where a number is expected: \"abc\""},
      {"0 2 1\n20 30 40\n0 " + std::string(60, 'q'),
       "not a number where a number is expected: \"" + std::string(40, 'q') + "...\""},
      {"2147483648 1 1\n1 1 1\n0 0\n", "integer out of the 32-bit range: \"2147483648\""},
      {"0 -2147483649 1\n1 1 1\n0 0\n", "integer out of the 32-bit range: \"-2147483649\""},
      {"0 1 99999999999999999999999\n1 1 1\n0 0\n",
       "integer out of the 32-bit range: \"99999999999999999999999\""},
      {"0 -1 1\n1 1 1\n0 0\n", "negative number of atoms -1"},
      {"0 1 -3\n1 1 1\n0 0\n", "negative number of scenes -3"},
  };
  for (const Case& c : cases) {
    Opened f(c.text);
    swnt::TrajectoryHeader h;
    EXPECT_FALSE(swnt::read_trajectory_header(f.reader, h)) << c.text;
    EXPECT_EQ(f.reader.error(), c.error) << c.text;
    // The first error stays, and every later read fails.
    long long i;
    double v;
    EXPECT_FALSE(f.reader.read_int(i));
    EXPECT_FALSE(f.reader.read_real(v));
    EXPECT_EQ(f.reader.error(), c.error);
  }
  // The 32-bit extremes themselves are fine.
  Opened f("-2147483648 2147483647 0 1 1 1 0 0");
  swnt::TrajectoryHeader h;
  ASSERT_TRUE(swnt::read_trajectory_header(f.reader, h)) << f.reader.error();
  EXPECT_EQ(h.lead, -2147483648LL);
  EXPECT_EQ(h.nmol, 2147483647LL);

  // A scene cut short.
  Opened g("0 2 1\n1 1 1\n0 0\n1 2 3\n4 5\n");
  ASSERT_TRUE(swnt::read_trajectory_header(g.reader, h));
  double x, y, z;
  EXPECT_TRUE(g.reader.read_triple(x, y, z));
  EXPECT_FALSE(g.reader.read_triple(x, y, z));
  EXPECT_EQ(g.reader.error(), "the file ends before the data its header announces");
}

TEST(NumberStream, MissingFileOrDirectoryCannotBeOpened) {
  TempDir dir;
  swnt::NumberStream reader;
  EXPECT_FALSE(reader.open((dir / "missing.dat").string()));
  std::filesystem::create_directory(dir / "sub");
  EXPECT_FALSE(reader.open((dir / "sub").string()));
  // The same reader can still open a proper file afterwards.
  write_file(dir / "ok.dat", "1 2 3");
  ASSERT_TRUE(reader.open((dir / "ok.dat").string()));
  long long v;
  ASSERT_TRUE(reader.read_int(v));
  EXPECT_EQ(v, 1);
}

}  // namespace
