#include "files/line_reader.hpp"

#include <cstring>

namespace swnt {

bool LineReader::open(const std::string& path) {
  too_long_ = false;
  line_number_ = 0;
  return open_file(path);
}

void LineReader::open_text(std::string_view text) {
  too_long_ = false;
  line_number_ = 0;
  open_bytes(text);
}

bool LineReader::rewind() {
  if (!rewind_bytes()) return false;
  too_long_ = false;
  line_number_ = 0;
  return true;
}

bool LineReader::next(std::string_view& line) {
  if (too_long_) return false;
  std::size_t searched = 0;  // bytes of the line known to hold no line feed
  for (;;) {
    const char* start = buffer_.data() + pos_;
    const std::size_t available = end_ - pos_;
    const void* feed = std::memchr(start + searched, '\n', available - searched);
    std::size_t length = 0;
    std::size_t skip = 0;
    if (feed != nullptr) {
      length = static_cast<std::size_t>(static_cast<const char*>(feed) - start);
      skip = 1;
    } else {
      searched = available;
      if (available <= kMaxLine && fill()) continue;
      if (available == 0) return false;  // the end of the file
      length = available;                // the last line, without a line feed
    }
    if (length > kMaxLine) {
      too_long_ = true;
      ++line_number_;
      return false;
    }
    line = std::string_view(buffer_.data() + pos_, length);
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    pos_ += length + skip;
    ++line_number_;
    return true;
  }
}

}  // namespace swnt
