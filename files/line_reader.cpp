#include "files/line_reader.hpp"

#include <cstring>

namespace swnt {

namespace {

constexpr std::size_t kChunk = std::size_t{1} << 20;

}  // namespace

LineReader::~LineReader() {
  if (file_ != nullptr) std::fclose(file_);
}

bool LineReader::open(const std::string& path) {
  if (file_ != nullptr) std::fclose(file_);
  file_ = std::fopen(path.c_str(), "rb");
  if (file_ == nullptr) return false;
  buffer_.assign(kChunk, '\0');
  pos_ = end_ = 0;
  eof_ = too_long_ = false;
  line_number_ = 0;
  fill();
  // A directory opens but cannot be read.
  return std::ferror(file_) == 0;
}

void LineReader::open_text(std::string_view text) {
  if (file_ != nullptr) std::fclose(file_);
  file_ = nullptr;
  buffer_.assign(text.begin(), text.end());
  pos_ = 0;
  end_ = buffer_.size();
  eof_ = true;
  too_long_ = false;
  line_number_ = 0;
}

bool LineReader::rewind() {
  if (file_ == nullptr) {
    pos_ = 0;
  } else {
    if (std::fseek(file_, 0, SEEK_SET) != 0) return false;
    std::clearerr(file_);
    pos_ = end_ = 0;
    eof_ = false;
    fill();
  }
  too_long_ = false;
  line_number_ = 0;
  return true;
}

bool LineReader::fill() {
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
