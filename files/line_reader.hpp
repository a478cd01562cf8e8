// Reading a text file line by line in large blocks, for the formats whose
// lines mean something (XYZ).  A line ends at a line feed, which is not part
// of it, nor is a carriage return before it (CR LF files read as LF ones);
// the last line needs no line feed.  No line may be longer than
// LineReader::kMaxLine bytes, so that a file without line ends (a device
// such as /dev/zero) cannot take all memory: memory stays within a few
// blocks and that bound whatever the file holds.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

#include "files/block_input.hpp"

namespace swnt {

class LineReader : private BlockInput {
 public:
  // The longest line read (16 MiB).
  static constexpr std::size_t kMaxLine = std::size_t{16} << 20;

  LineReader() = default;

  // False when the file cannot be opened or read at once (missing,
  // unreadable, a directory).
  bool open(const std::string& path);

  // Reads `text` (a copy of it) as the whole content of a file.
  void open_text(std::string_view text);

  // The next line, valid until the next call; false at the end of the file
  // or at a line longer than kMaxLine (too_long() tells which).
  bool next(std::string_view& line);

  // True when the last next() met a line longer than kMaxLine.
  bool too_long() const { return too_long_; }

  // The number of the line last returned, from 1 (0 before the first).
  long long line_number() const { return line_number_; }

  // Starts again from the first line; false when the file cannot be read
  // again (a pipe).
  bool rewind();

 private:
  bool too_long_ = false;
  long long line_number_ = 0;
};

}  // namespace swnt
