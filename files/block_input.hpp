// A file read in large blocks, the ground of the file layer's readers: the
// bytes not yet taken are buffer_[pos_, end_), and fill() moves them to the
// front and reads more after them (growing the buffer when it is full, so a
// reader bounds the length of what it looks at itself).  A text given in
// memory is read the same way, as the whole content of a file.
#pragma once

#include <cstddef>
#include <cstdio>
#include <string>
#include <string_view>
#include <vector>

namespace swnt {

class BlockInput {
 public:
  BlockInput(const BlockInput&) = delete;
  BlockInput& operator=(const BlockInput&) = delete;

 protected:
  BlockInput() = default;
  ~BlockInput();

  // False when the file cannot be opened or read at once (missing,
  // unreadable, a directory).
  bool open_file(const std::string& path);
  // Reads `text` (a copy of it) as the whole content of a file.
  void open_bytes(std::string_view text);
  // Back to the first byte; false when the file cannot be read again (a
  // pipe).
  bool rewind_bytes();
  // More bytes into the buffer; false at the end of the file.
  bool fill();

  std::FILE* file_ = nullptr;
  std::vector<char> buffer_;
  std::size_t pos_ = 0;  // next unread byte
  std::size_t end_ = 0;  // end of the valid bytes
  bool eof_ = false;
};

}  // namespace swnt
