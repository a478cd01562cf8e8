// Reading trajectory files: a header of three integers and five reals, then
// the coordinate triples of every scene.  Numbers are separated by white
// space of any kind (blank, tab, CR, LF, VT, FF); line breaks mean nothing.
// Integers follow the "%d" conversion of scanf, reals follow "%lf" exactly
// (every notation it accepts, correctly rounded), also where numbers follow
// one another without a separator ("1.5-2.5" is two numbers).  The time is
// linear in the size of the input, whatever its layout.  Unlike a bare scanf
// loop, every read is checked: a file that ends early or holds something
// that is not a number is reported, never read as made-up values.
#pragma once

#include <cstdio>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace swnt {

struct TrajectoryHeader {
  long long lead = 0;  // not interpreted; carried into some outputs
  long long nmol = 0;  // atoms per scene
  long long ndat = 0;  // number of scenes
  double boxx = 0.0, boxy = 0.0, boxz = 0.0;
  double aux1 = 0.0, aux2 = 0.0;
};

class TrajectoryReader {
 public:
  TrajectoryReader() = default;
  ~TrajectoryReader();
  TrajectoryReader(const TrajectoryReader&) = delete;
  TrajectoryReader& operator=(const TrajectoryReader&) = delete;

  // False when the file cannot be opened or read at once (missing,
  // unreadable, a directory).
  bool open(const std::string& path);

  // Reads the eight header numbers.  The integers must lie in the 32-bit
  // range, and nmol and ndat must not be negative.
  bool read_header(TrajectoryHeader& header);

  // One "%d" integer (32-bit range) or one "%lf" real.
  bool read_int(long long& value);
  bool read_real(double& value);
  bool read_triple(double& x, double& y, double& z) {
    return read_real(x) && read_real(y) && read_real(z);
  }

  // Consumes everything up to and including the next line feed; false when
  // the file ends before one, or none comes within 16 MiB.
  bool skip_line();

  // True when no byte follows the last number read: the end of the file was
  // met while reading it.
  bool at_end();

  // Why the last read failed, e.g. "the file ends before the data its header
  // announces".
  const std::string& error() const { return error_; }

 private:
  bool fill();                        // more bytes into the buffer; false at end of file
  // Skips white space and shows the next token, or its first `limit` bytes
  // when it is longer; `whole` tells which.  False at end of file.
  bool peek_token(std::size_t limit, std::string_view& token, bool& whole);
  bool fail(std::string reason);
  // Fails with `what` followed by the token at hand, quoted.
  bool fail_at_token(const std::string& what);

  std::FILE* file_ = nullptr;
  std::vector<char> buffer_;
  std::size_t pos_ = 0;  // next unread byte
  std::size_t end_ = 0;  // end of the valid bytes
  bool eof_ = false;
  std::string error_;
};

// A trajectory to read: the file to open, and the name that messages give
// it.  The two differ where a program reads its own scratch copy of a file
// (wrapping's run-private temporary trajectory): messages then name the file
// the user knows.  A plain file name converts to an input of that name.
struct TrajectoryInput {
  TrajectoryInput(const std::string& file) : path(file), name(file) {}
  TrajectoryInput(const char* file) : path(file), name(file) {}
  TrajectoryInput(std::string file, std::string shown)
      : path(std::move(file)), name(std::move(shown)) {}
  std::string path;
  std::string name;
};

// Opens a trajectory and reads its header, printing the error line
// ("Error: file access failed for ..." or "Error: invalid trajectory file
// ...") when either fails.
bool open_trajectory(TrajectoryReader& reader, TrajectoryHeader& header,
                     const TrajectoryInput& input);

}  // namespace swnt
