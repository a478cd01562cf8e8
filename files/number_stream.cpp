#include "files/number_stream.hpp"

#include <algorithm>
#include <charconv>
#include <climits>
#include <cstdint>
#include <cstdio>
#include <cstring>


namespace swnt {

namespace {

// No number and no header line is longer than this (16 MiB).
constexpr std::size_t kMaxToken = std::size_t{16} << 20;

// A number is first looked at in a window of this many bytes, which grows
// only for a number that is longer, so that a token of many numbers glued
// together costs the same per number as separate ones.
constexpr std::size_t kWindow = 64;

// The characters scanf skips as white space.
inline bool is_space(char c) {
  return c == ' ' || c == '\n' || c == '\t' || c == '\r' || c == '\v' || c == '\f';
}

// A sign can never continue a number once its digits have begun.
inline bool ends_plain_decimal(char c) { return is_space(c) || c == '-' || c == '+'; }

std::string quoted(std::string_view token) {
  constexpr std::size_t kShown = 40;
  std::string text = "\"";
  text.append(token.substr(0, kShown));
  if (token.size() > kShown) text += "...";
  text += "\"";
  return text;
}

constexpr double kExactPowersOfTen[] = {1e0,  1e1,  1e2,  1e3,  1e4,  1e5,  1e6,  1e7,
                                        1e8,  1e9,  1e10, 1e11, 1e12, 1e13, 1e14, 1e15,
                                        1e16, 1e17, 1e18, 1e19, 1e20, 1e21, 1e22};

// Converts a plain decimal number ("-12.345678": an optional sign, digits
// with at most one point, no exponent) that white space or a sign (the next
// number glued to it) follows within [first, last), when its digits form an
// integer of at most 2^53 and at most 22 of them follow the point.  Both operands of value = digits / 10^decimals
// are then exact doubles, and the one correctly rounded division gives the
// correctly rounded value of the number, which is what "%lf" gives.  Returns
// the length of the number, or 0 when it is anything else.
std::size_t parse_plain_decimal(const char* first, const char* last, double& value) {
  constexpr std::uint64_t kExactLimit = std::uint64_t{1} << 53;
  const char* at = first;
  bool negative = false;
  if (at < last && (*at == '-' || *at == '+')) negative = *at++ == '-';
  std::uint64_t digits = 0;
  int digit_count = 0;
  int decimals = 0;
  bool point = false;
  for (; at < last; ++at) {
    const char c = *at;
    if (c >= '0' && c <= '9') {
      digits = digits * 10 + static_cast<std::uint64_t>(c - '0');
      if (digits > kExactLimit) return 0;
      ++digit_count;
      if (point) ++decimals;
    } else if (c == '.' && !point) {
      point = true;
    } else {
      break;
    }
  }
  if (digit_count == 0 || at == last || !ends_plain_decimal(*at) || decimals > 22) return 0;
  double magnitude = static_cast<double>(digits);
  if (decimals > 0) magnitude /= kExactPowersOfTen[decimals];
  value = negative ? -magnitude : magnitude;
  return static_cast<std::size_t>(at - first);
}

const char* const kEndOfData = "the file ends before the data its header announces";

std::string too_long(std::string_view token) {
  return "a token of more than " + std::to_string(kMaxToken) + " characters: " + quoted(token);
}

}  // namespace

bool NumberStream::open(const std::string& path) {
  error_.clear();
  return open_file(path);
}

void NumberStream::open_text(std::string_view text) {
  error_.clear();
  open_bytes(text);
}

bool NumberStream::peek_token(std::size_t limit, std::string_view& token, bool& whole) {
  for (;;) {
    while (pos_ < end_ && is_space(buffer_[pos_])) ++pos_;
    if (pos_ < end_) break;
    if (!fill()) return false;
  }
  // Make sure the token, up to the limit, and the byte after it are in the
  // buffer, so that it is converted as one piece even when it straddles a
  // block boundary.
  std::size_t stop = pos_;
  for (;;) {
    while (stop < end_ && stop - pos_ < limit && !is_space(buffer_[stop])) ++stop;
    if (stop < end_ || eof_) break;
    // fill() moves the unread bytes to the start of the buffer, also when it
    // finds no more, so the token's end is counted again from its start.
    const std::size_t offset = stop - pos_;
    const bool more = fill();
    stop = pos_ + offset;
    if (!more) break;
  }
  token = std::string_view(buffer_.data() + pos_, stop - pos_);
  whole = stop == end_ || is_space(buffer_[stop]);
  return true;
}

bool NumberStream::fail(std::string reason) {
  if (error_.empty()) error_ = std::move(reason);
  return false;
}

bool NumberStream::fail_at_token(const std::string& what) {
  // The whole token, up to the limit beyond which none is accepted (so that
  // an endless one, a device such as /dev/zero, cannot take all memory).
  std::string_view token;
  bool whole = false;
  if (!peek_token(kMaxToken + 1, token, whole)) return fail(kEndOfData);
  if (token.size() > kMaxToken) return fail(too_long(token));
  return fail(what + quoted(token));
}

bool NumberStream::read_int(long long& value) {
  if (!error_.empty()) return false;
  // "%d": an optional sign, then decimal digits up to the first other
  // character, looked for in a window that grows while the digits fill it.
  std::string_view token;
  bool whole = false;
  std::size_t i = 0;
  for (std::size_t limit = kWindow;; limit = std::min(2 * limit, kMaxToken + 1)) {
    if (!peek_token(limit, token, whole)) return fail(kEndOfData);
    i = (token[0] == '+' || token[0] == '-') ? 1 : 0;
    while (i < token.size() && token[i] >= '0' && token[i] <= '9') ++i;
    if (i < token.size() || whole) break;
    if (token.size() > kMaxToken) return fail(too_long(token));
  }
  const bool negative = token[0] == '-';
  const std::size_t digits = (negative || token[0] == '+') ? 1 : 0;
  if (i == digits) return fail_at_token("not an integer where an integer is expected: ");
  long long magnitude = 0;
  for (std::size_t k = digits; k < i && magnitude <= static_cast<long long>(INT_MAX) + 1; ++k) {
    magnitude = magnitude * 10 + (token[k] - '0');
  }
  value = negative ? -magnitude : magnitude;
  if (value > INT_MAX || value < INT_MIN) {
    return fail("integer out of the 32-bit range: " + quoted(token.substr(0, i)));
  }
  pos_ += i;
  return true;
}

bool NumberStream::read_real(double& value) {
  if (!error_.empty()) return false;
  // Most numbers are plain decimals, converted straight from the buffer.
  while (pos_ < end_ && is_space(buffer_[pos_])) ++pos_;
  const std::size_t plain = parse_plain_decimal(buffer_.data() + pos_, buffer_.data() + end_, value);
  if (plain > 0) {
    pos_ += plain;
    return true;
  }
  std::string_view token;
  bool whole = false;
  for (std::size_t limit = kWindow;; limit = std::min(2 * limit, kMaxToken + 1)) {
    if (!peek_token(limit, token, whole)) return fail(kEndOfData);
    if (token.size() > kMaxToken) return fail(too_long(token));
#if defined(__cpp_lib_to_chars)  // from_chars for doubles; absent in older libraries
    if (whole) {
      const char* last = token.data() + token.size();
      const auto result = std::from_chars(token.data(), last, value);
      if (result.ec == std::errc() && result.ptr == last) {
        pos_ += token.size();
        return true;
      }
    }
#endif
    // Everything the fast paths do not take (a leading '+' with an exponent,
    // hexadecimal notation, values beyond the double range, a number glued
    // to the next one) goes through scanf itself, so the result is exactly
    // what "%lf" gives.  scanf looks at one byte beyond the number: a result
    // from a window it read to the end could change with more bytes.
    const std::string text(token);
    int consumed = 0;
    if (std::sscanf(text.c_str(), "%lf%n", &value, &consumed) == 1 && consumed > 0 &&
        (whole || static_cast<std::size_t>(consumed) < token.size())) {
      pos_ += static_cast<std::size_t>(consumed);
      return true;
    }
    if (whole) return fail_at_token("not a number where a number is expected: ");
  }
}

bool NumberStream::skip_line() { return take_line(nullptr); }

bool NumberStream::read_line(std::string& line) {
  line.clear();
  if (!take_line(&line)) return false;
  if (!line.empty() && line.back() == '\r') line.pop_back();
  return true;
}

bool NumberStream::take_line(std::string* line) {
  std::size_t skipped = 0;
  for (;;) {
    const std::size_t start = pos_;
    bool ended = false;
    while (pos_ < end_) {
      ++skipped;
      if (buffer_[pos_++] == '\n') {
        ended = true;
        break;
      }
    }
    if (line != nullptr) line->append(buffer_.data() + start, pos_ - start - (ended ? 1 : 0));
    if (ended) return true;
    // A line without end (a device such as /dev/zero) is not read forever.
    if (skipped > kMaxToken || !fill()) return false;
  }
}

bool NumberStream::at_end() {
  return pos_ >= end_ && !fill();
}

}  // namespace swnt
