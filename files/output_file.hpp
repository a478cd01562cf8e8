// A text or binary output file that never leaves a half-written file under
// its final name.  Data goes to a scratch file beside the target, which
// replaces the target only when commit() succeeds; a file that is not
// committed is removed and any earlier file of that name stays untouched.
// A replaced file keeps its permission bits and group.  Targets that are not
// regular files (a device such as /dev/null or /dev/full, a pipe) are written
// directly, since they cannot be replaced.
//
// Scratch names hold the process id and are created exclusively, so that
// runs in one directory never share one; an interrupted program removes its
// own (trajectory/interruption.hpp).
#pragma once

#include <cstdio>
#include <span>
#include <string>
#include <string_view>

namespace swnt {

class OutputFile {
 public:
  OutputFile() = default;
  ~OutputFile();
  OutputFile(const OutputFile&) = delete;
  OutputFile& operator=(const OutputFile&) = delete;

  // Creates the scratch file (or opens the device).  False when it cannot be
  // created, or when the target is a directory or a file the user may not
  // write; nothing has been touched then.
  bool open(const std::string& path);

  // Text or bytes to write.  Appending goes to an in-memory buffer that is
  // handed to the file in large blocks; call flush_if_full() now and then.
  // A block of data that is large already goes to the file as it is, after
  // what is buffered.
  std::string& buffer() { return buffer_; }
  void write(std::string_view data) {
    if (data.size() >= kDirectSize) {
      write_direct(data);
      return;
    }
    buffer_.append(data);
    flush_if_full();
  }
  void flush_if_full() {
    if (buffer_.size() >= kBlockSize) flush();
  }

  // Writes what is buffered, closes (unless finish() did) and moves the file
  // to its name.  False when any write, the close or the move failed; the scratch file is then
  // removed and the target stays as it was.
  bool commit();

  // Writes what is buffered and closes the file, which stays under its
  // scratch name (scratch_path()) until moved or discarded.  False when a
  // write or the close failed; the scratch file is then removed.
  bool finish();

  // Moves a finished scratch file to `target` the way a rename does: the
  // name itself is replaced in one step (a link there is replaced, not
  // followed), on another file system by a copy through a scratch file
  // beside `target`.  False when it cannot be done; the target is then as it
  // was and the scratch file stays.
  bool move_to(const std::string& target);

  // Keeps a finished scratch file where it is, no longer removed by this
  // object, and returns its name.
  std::string release();

  // True once a write has failed (a full disk, say); commit() will fail.
  bool failed() const { return failed_; }

  // Drops everything written so far (also done by the destructor).
  void discard();

  const std::string& path() const { return path_; }
  const std::string& scratch_path() const { return scratch_; }

 private:
  static constexpr std::size_t kBlockSize = 1 << 20;
  static constexpr std::size_t kDirectSize = 1 << 15;
  void start(const std::string& path);  // forgets any earlier file
  void write_direct(std::string_view data);
  bool create_scratch(const std::string& target);
  void flush();
  void forget_scratch();

  std::string path_;     // final name
  std::string scratch_;  // name written to, removed unless committed; empty for a device
  int scratch_slot_ = -1;  // its entry among the files an interruption removes
  std::FILE* file_ = nullptr;
  std::string buffer_;
  bool failed_ = false;
  bool finished_ = false;
};

// Puts the files of one output (a topology and its coordinates, say) in
// place together: the set under their names is either the old one or the
// new one, never a mix.  Every file is written and closed first; then each
// scratch file is moved to its name, with the interruption signals held
// back, while every file it replaces stays reachable under a scratch name
// of its own beside it (a hard link, so that the name never goes missing;
// a copy on a file system without hard links).  When a write, a close or a
// move fails, the files already moved are put back as they were (a new name
// is removed again) and the rest are discarded; otherwise the kept old files
// are removed once the last move has succeeded.  Returns null when every
// file is in place, else the file that failed (its path() names it).
// Devices are written into, as by commit(), and cannot be taken back.
const OutputFile* commit_together(std::span<OutputFile> files);

// Copies the file `source` to `target` through an OutputFile: a file is
// replaced in one step, a device is written into.  False when the source
// cannot be read or the copy cannot be written; the target is then as it was.
bool copy_file(const std::string& source, const std::string& target);

// Gives the file `replacement`, which is to take the place of `target`, the
// permission bits of the existing file `target` and its group where the user
// may set it.  Nothing happens when `target` does not exist: a new file has
// the mode the umask gives it.
void keep_permissions(const std::string& target, const std::string& replacement);

// Removes a file; true when it is gone afterwards (also when it never existed).
bool remove_if_exists(const std::string& path);

}  // namespace swnt
