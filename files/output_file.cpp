#include "files/output_file.hpp"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <filesystem>
#include <system_error>
#include <vector>

#include "files/interruption.hpp"

namespace swnt {

namespace fs = std::filesystem;

OutputFile::~OutputFile() { discard(); }

void OutputFile::start(const std::string& path) {
  discard();
  path_ = path;
  failed_ = false;
  buffer_.reserve(kBlockSize + 4096);
}

bool OutputFile::open(const std::string& path) {
  start(path);

  std::error_code ec;
  fs::path target(path);
  const auto status = fs::status(target, ec);
  if (fs::exists(status) && !fs::is_regular_file(status)) {
    if (fs::is_directory(status)) return false;
    // A device or pipe: write straight into it.
    file_ = std::fopen(path.c_str(), "wb");
    return file_ != nullptr;
  }
  // A file the user may not write (made read-only) is not replaced either;
  // one that another program has just removed is no obstacle.
  if (fs::exists(status) && access(path.c_str(), W_OK) != 0 && errno != ENOENT) return false;
  // A symbolic link to a file is followed, so that the file it names is replaced.
  if (fs::is_symlink(fs::symlink_status(target, ec)) && fs::exists(status)) {
    target = fs::canonical(target, ec);
    if (ec) return false;
  }
  path_ = target.string();
  return create_scratch(path_);
}

// The scratch file lies in the target's directory so that the final move
// is a rename within one file system.  It is enlisted for removal on an
// interruption in the same step as it is created.
bool OutputFile::create_scratch(const std::string& target) {
  const std::string base = target + ".partial-" + std::to_string(getpid()) + "-";
  for (int attempt = 0; attempt < 100; ++attempt) {
    scratch_ = base + std::to_string(attempt);
    const InterruptionHold hold;
    file_ = std::fopen(scratch_.c_str(), "wbx");
    if (file_ != nullptr) {
      keep_permissions(target, scratch_);  // before any data goes in
      scratch_slot_ = enlist_scratch(scratch_.c_str());
      return true;
    }
    if (errno != EEXIST) break;
  }
  scratch_.clear();
  return false;
}

void OutputFile::flush() {
  if (file_ == nullptr || buffer_.empty()) return;
  if (!failed_ && std::fwrite(buffer_.data(), 1, buffer_.size(), file_) != buffer_.size()) {
    failed_ = true;
  }
  buffer_.clear();
}

void OutputFile::write_direct(std::string_view data) {
  flush();
  if (file_ != nullptr && !failed_ && std::fwrite(data.data(), 1, data.size(), file_) != data.size()) {
    failed_ = true;
  }
}

bool OutputFile::finish() {
  if (finished_) return true;
  if (file_ == nullptr) return false;
  flush();
  if (std::fflush(file_) != 0 || std::ferror(file_) != 0) failed_ = true;
  if (std::fclose(file_) != 0) failed_ = true;
  file_ = nullptr;
  if (failed_) {
    discard();
    return false;
  }
  finished_ = true;
  return true;
}

bool OutputFile::commit() {
  if (!finish()) return false;
  if (scratch_.empty() || move_to(path_)) return true;  // a device was written in place
  failed_ = true;
  discard();
  return false;
}

namespace {

// Appends everything `in` holds to `out`; false when it cannot be read.
bool append_stream(std::FILE* in, OutputFile& out) {
  std::string block(std::size_t{1} << 20, '\0');
  std::size_t got = 0;
  while ((got = std::fread(block.data(), 1, block.size(), in)) > 0) {
    out.write(std::string_view(block.data(), got));
  }
  return std::ferror(in) == 0;
}

}  // namespace

bool OutputFile::move_to(const std::string& target) {
  if (!finished_ || scratch_.empty()) return false;
  keep_permissions(target, scratch_);
  if (std::rename(scratch_.c_str(), target.c_str()) == 0) {
    forget_scratch();
    return true;
  }
  if (errno != EXDEV) return false;
  // Another file system: a copy made beside the target replaces it.
  std::FILE* in = std::fopen(scratch_.c_str(), "rb");
  if (in == nullptr) return false;
  OutputFile copy;
  copy.start(target);
  const bool copied = copy.create_scratch(target) && append_stream(in, copy);
  std::fclose(in);
  if (!copied || !copy.commit()) return false;
  discard();
  return true;
}

std::string OutputFile::release() {
  std::string name = finished_ ? scratch_ : std::string();
  if (finished_) forget_scratch();
  return name;
}

void OutputFile::forget_scratch() {
  withdraw_scratch(scratch_slot_);
  scratch_slot_ = -1;
  scratch_.clear();
}

void OutputFile::discard() {
  if (file_ != nullptr) {
    std::fclose(file_);
    file_ = nullptr;
  }
  // Removed before it is withdrawn, so that an interruption never misses it.
  if (!scratch_.empty()) std::remove(scratch_.c_str());
  forget_scratch();
  buffer_.clear();
  finished_ = false;
}

namespace {

// Copies the file `source` into the new file `target`, which must not exist
// yet; false (and nothing left) when it cannot be done.
bool copy_into_new(const std::string& source, const std::string& target) {
  std::FILE* in = std::fopen(source.c_str(), "rb");
  if (in == nullptr) return false;
  std::FILE* out = std::fopen(target.c_str(), "wbx");
  bool copied = out != nullptr;
  if (copied) {
    keep_permissions(source, target);
    std::string block(std::size_t{1} << 20, '\0');
    std::size_t got = 0;
    while (copied && (got = std::fread(block.data(), 1, block.size(), in)) > 0) {
      copied = std::fwrite(block.data(), 1, got, out) == got;
    }
    copied = copied && std::ferror(in) == 0;
    copied = std::fclose(out) == 0 && copied;
    if (!copied) std::remove(target.c_str());
  }
  std::fclose(in);
  return copied;
}

// Keeps the existing regular file `target` reachable under a free scratch
// name beside it (`kept`), without taking it from its own name; `kept` is
// left empty when there is no such file.  False when it cannot be kept.
bool keep_old_file(const std::string& target, std::string& kept) {
  kept.clear();
  struct stat old_file {};
  if (lstat(target.c_str(), &old_file) != 0) return errno == ENOENT;
  if (!S_ISREG(old_file.st_mode)) return true;
  const std::string base = target + ".partial-" + std::to_string(getpid()) + "-";
  for (int attempt = 0; attempt < 100; ++attempt) {
    const std::string name = base + std::to_string(attempt);
    if (link(target.c_str(), name.c_str()) == 0) {
      kept = name;
      return true;
    }
    if (errno == EEXIST) continue;
    // No hard links here (or not to this file): a copy keeps it.
    if (copy_into_new(target, name)) {
      kept = name;
      return true;
    }
    if (errno != EEXIST) return false;
  }
  return false;
}

}  // namespace

const OutputFile* commit_together(std::span<OutputFile> files) {
  const auto give_up = [&](const OutputFile& failed) {
    for (OutputFile& file : files) file.discard();
    return &failed;
  };
  for (OutputFile& file : files) {
    if (!file.finish()) return give_up(file);
  }
  // A device has no scratch file: it was written in place.
  std::vector<bool> to_move(files.size());
  for (std::size_t k = 0; k < files.size(); ++k) to_move[k] = !files[k].scratch_path().empty();

  const InterruptionHold hold;
  std::vector<std::string> kept(files.size());
  std::size_t moved = 0;
  for (; moved < files.size(); ++moved) {
    OutputFile& file = files[moved];
    if (!to_move[moved]) continue;
    if (!keep_old_file(file.path(), kept[moved]) || !file.move_to(file.path())) break;
  }
  if (moved == files.size()) {
    for (const std::string& name : kept) {
      if (!name.empty()) std::remove(name.c_str());
    }
    return nullptr;
  }
  // Back as they were: the old files return to their names, new names go.
  if (!kept[moved].empty()) std::remove(kept[moved].c_str());
  for (std::size_t k = moved; k-- > 0;) {
    if (!to_move[k]) continue;
    const std::string& target = files[k].path();
    if (!kept[k].empty()) {
      std::rename(kept[k].c_str(), target.c_str());
    } else {
      std::remove(target.c_str());
    }
  }
  return give_up(files[moved]);
}

bool copy_file(const std::string& source, const std::string& target) {
  std::FILE* in = std::fopen(source.c_str(), "rb");
  if (in == nullptr) return false;
  OutputFile out;
  const bool copied = out.open(target) && append_stream(in, out);
  std::fclose(in);
  return copied && out.commit();
}

void keep_permissions(const std::string& target, const std::string& replacement) {
  struct stat old_file {};
  if (stat(target.c_str(), &old_file) != 0 || !S_ISREG(old_file.st_mode)) return;
  // The group first, as changing it may clear mode bits.  The set-id bits
  // are not carried over.
  if (chown(replacement.c_str(), static_cast<uid_t>(-1), old_file.st_gid) != 0) {
    // A user who is not a member of that group cannot give it: the file
    // keeps the user's group.
  }
  chmod(replacement.c_str(), old_file.st_mode & 0777);
}

bool remove_if_exists(const std::string& path) {
  std::error_code ec;
  fs::remove(path, ec);
  return !ec;
}

}  // namespace swnt
