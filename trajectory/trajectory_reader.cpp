#include "trajectory/trajectory_reader.hpp"

#include <charconv>
#include <climits>
#include <cstring>

#include "trajectory/messages.hpp"

namespace swnt {

namespace {

constexpr std::size_t kChunk = 1 << 20;

// The characters scanf skips as white space.
inline bool is_space(char c) {
  return c == ' ' || c == '\n' || c == '\t' || c == '\r' || c == '\v' || c == '\f';
}

std::string quoted(std::string_view token) {
  constexpr std::size_t kShown = 40;
  std::string text = "\"";
  text.append(token.substr(0, kShown));
  if (token.size() > kShown) text += "...";
  text += "\"";
  return text;
}

}  // namespace

TrajectoryReader::~TrajectoryReader() {
  if (file_ != nullptr) std::fclose(file_);
}

bool TrajectoryReader::open(const std::string& path) {
  if (file_ != nullptr) std::fclose(file_);
  file_ = std::fopen(path.c_str(), "rb");
  if (file_ == nullptr) return false;
  buffer_.assign(kChunk, '\0');
  pos_ = end_ = 0;
  eof_ = false;
  error_.clear();
  fill();
  // A directory opens but cannot be read.
  return std::ferror(file_) == 0;
}

bool TrajectoryReader::fill() {
  if (eof_ || file_ == nullptr) return false;
  if (pos_ > 0) {
    std::memmove(buffer_.data(), buffer_.data() + pos_, end_ - pos_);
    end_ -= pos_;
    pos_ = 0;
  }
  if (end_ == buffer_.size()) buffer_.resize(buffer_.size() * 2);
  const std::size_t got = std::fread(buffer_.data() + end_, 1, buffer_.size() - end_, file_);
  end_ += got;
  if (got == 0) eof_ = true;
  return got > 0;
}

bool TrajectoryReader::next_token(std::string_view& token) {
  for (;;) {
    while (pos_ < end_ && is_space(buffer_[pos_])) ++pos_;
    if (pos_ < end_) break;
    if (!fill()) return false;
  }
  // Make sure the whole token is in the buffer, so that it is converted as
  // one piece even when it straddles a block boundary.
  std::size_t stop = pos_;
  for (;;) {
    while (stop < end_ && !is_space(buffer_[stop])) ++stop;
    if (stop < end_ || eof_) break;
    const std::size_t offset = stop - pos_;
    if (!fill()) break;
    stop = pos_ + offset;
  }
  token = std::string_view(buffer_.data() + pos_, stop - pos_);
  return true;
}

bool TrajectoryReader::fail(std::string reason) {
  if (error_.empty()) error_ = std::move(reason);
  return false;
}

bool TrajectoryReader::read_int(long long& value) {
  if (!error_.empty()) return false;
  std::string_view token;
  if (!next_token(token)) return fail("the file ends before the data its header announces");
  // "%d": an optional sign, then decimal digits up to the first other character.
  std::size_t i = 0;
  bool negative = false;
  if (token[i] == '+' || token[i] == '-') negative = token[i++] == '-';
  const std::size_t digits = i;
  long long magnitude = 0;
  while (i < token.size() && token[i] >= '0' && token[i] <= '9') {
    if (magnitude <= static_cast<long long>(INT_MAX) + 1) {
      magnitude = magnitude * 10 + (token[i] - '0');
    }
    ++i;
  }
  if (i == digits) return fail("not an integer where an integer is expected: " + quoted(token));
  value = negative ? -magnitude : magnitude;
  if (value > INT_MAX || value < INT_MIN) {
    return fail("integer out of the 32-bit range: " + quoted(token.substr(0, i)));
  }
  pos_ += i;
  return true;
}

bool TrajectoryReader::read_real(double& value) {
  if (!error_.empty()) return false;
  std::string_view token;
  if (!next_token(token)) return fail("the file ends before the data its header announces");
  const char* first = token.data();
  const char* last = first + token.size();
  const auto result = std::from_chars(first, last, value);
  if (result.ec == std::errc() && result.ptr == last) {
    pos_ += token.size();
    return true;
  }
  // Everything the fast path does not take as a whole token (a leading '+',
  // hexadecimal notation, values beyond the double range, a token glued to
  // the next number) goes through scanf itself, so the result is exactly
  // what "%lf" gives.
  const std::string text(token);
  int consumed = 0;
  if (std::sscanf(text.c_str(), "%lf%n", &value, &consumed) != 1 || consumed <= 0) {
    return fail("not a number where a number is expected: " + quoted(token));
  }
  pos_ += static_cast<std::size_t>(consumed);
  return true;
}

bool TrajectoryReader::skip_line() {
  for (;;) {
    while (pos_ < end_) {
      if (buffer_[pos_++] == '\n') return true;
    }
    if (!fill()) return false;
  }
}

bool TrajectoryReader::at_end() {
  return pos_ >= end_ && !fill();
}

bool TrajectoryReader::read_header(TrajectoryHeader& header) {
  if (!read_int(header.lead) || !read_int(header.nmol) || !read_int(header.ndat) ||
      !read_real(header.boxx) || !read_real(header.boxy) || !read_real(header.boxz) ||
      !read_real(header.aux1) || !read_real(header.aux2)) {
    return false;
  }
  if (header.nmol < 0) return fail("negative number of atoms " + std::to_string(header.nmol));
  if (header.ndat < 0) return fail("negative number of scenes " + std::to_string(header.ndat));
  return true;
}

bool open_trajectory(TrajectoryReader& reader, TrajectoryHeader& header, const std::string& path) {
  if (!reader.open(path)) {
    print_access_error(path);
    return false;
  }
  if (!reader.read_header(header)) {
    print_data_error(path, reader.error());
    return false;
  }
  return true;
}

}  // namespace swnt
