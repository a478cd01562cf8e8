#include "files/block_input.hpp"

#include <cstring>

namespace swnt {

namespace {

constexpr std::size_t kBlock = std::size_t{1} << 20;

}  // namespace

BlockInput::~BlockInput() {
  if (file_ != nullptr) std::fclose(file_);
}

bool BlockInput::open_file(const std::string& path) {
  if (file_ != nullptr) std::fclose(file_);
  file_ = std::fopen(path.c_str(), "rb");
  if (file_ == nullptr) return false;
  buffer_.assign(kBlock, '\0');
  pos_ = end_ = 0;
  eof_ = false;
  fill();
  // A directory opens but cannot be read.
  return std::ferror(file_) == 0;
}

void BlockInput::open_bytes(std::string_view text) {
  if (file_ != nullptr) std::fclose(file_);
  file_ = nullptr;
  buffer_.assign(text.begin(), text.end());
  pos_ = 0;
  end_ = buffer_.size();
  eof_ = true;
}

bool BlockInput::rewind_bytes() {
  if (file_ == nullptr) {
    pos_ = 0;
    return true;
  }
  if (std::fseek(file_, 0, SEEK_SET) != 0) return false;
  std::clearerr(file_);
  pos_ = end_ = 0;
  eof_ = false;
  fill();
  return true;
}

bool BlockInput::fill() {
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

}  // namespace swnt
