// Reading numbers from a file as scanf reads them: integers follow the "%d"
// conversion, reals follow "%lf" exactly (every notation it accepts,
// correctly rounded), also where numbers follow one another without a
// separator ("1.5-2.5" is two numbers).  Numbers are separated by white
// space of any kind (blank, tab, CR, LF, VT, FF); line breaks mean nothing.
// The time is linear in the size of the input, whatever its layout.  Unlike
// a bare scanf loop, every read is checked: a file that ends early or holds
// something that is not a number is reported, never read as made-up values.
// Trajectories and structure tables are read through it.
#pragma once

#include <string>
#include <string_view>
#include <utility>

#include "files/block_input.hpp"

namespace swnt {

class NumberStream : private BlockInput {
 public:
  NumberStream() = default;

  // False when the file cannot be opened or read at once (missing,
  // unreadable, a directory).
  bool open(const std::string& path);

  // Reads `text` (a copy of it) as the whole content of a file: for data
  // made in memory that must be read back exactly as the file would be.
  void open_text(std::string_view text);

  // One "%d" integer (32-bit range) or one "%lf" real.
  bool read_int(long long& value);
  bool read_real(double& value);
  bool read_triple(double& x, double& y, double& z) {
    return read_real(x) && read_real(y) && read_real(z);
  }

  // Consumes everything up to and including the next line feed; false when
  // the file ends before one, or none comes within 16 MiB.
  bool skip_line();

  // The same, keeping the line's bytes, without its line feed (nor a
  // carriage return before it), in `line`; on false, `line` holds what was
  // consumed.
  bool read_line(std::string& line);

  // True when no byte follows the last number read: the end of the file was
  // met while reading it.
  bool at_end();

  // Records `reason` as the cause of the failure (unless one is recorded
  // already) and returns false: for a reader's own checks of what it read.
  bool fail(std::string reason);

  // Why the last read failed, e.g. "the file ends before the data its header
  // announces".
  const std::string& error() const { return error_; }

 private:
  // Skips white space and shows the next token, or its first `limit` bytes
  // when it is longer; `whole` tells which.  False at end of file.
  bool peek_token(std::size_t limit, std::string_view& token, bool& whole);
  // Fails with `what` followed by the token at hand, quoted.
  bool fail_at_token(const std::string& what);
  // skip_line, and read_line when `line` is not null.
  bool take_line(std::string* line);

  std::string error_;
};

}  // namespace swnt
