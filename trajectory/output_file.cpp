#include "trajectory/output_file.hpp"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <filesystem>
#include <system_error>

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
  // A file the user may not write (made read-only) is not replaced either.
  if (fs::exists(status) && access(path.c_str(), W_OK) != 0) return false;
  // A symbolic link to a file is followed, so that the file it names is replaced.
  if (fs::is_symlink(fs::symlink_status(target, ec)) && fs::exists(status)) {
    target = fs::canonical(target, ec);
    if (ec) return false;
  }
  // The scratch file lies in the target's directory so that the final move
  // is a rename within one file system.
  const std::string base = target.string() + ".partial-" + std::to_string(getpid()) + "-";
  for (int attempt = 0; attempt < 100; ++attempt) {
    scratch_ = base + std::to_string(attempt);
    file_ = std::fopen(scratch_.c_str(), "wbx");
    if (file_ != nullptr) {
      path_ = target.string();
      keep_permissions(path_, scratch_);  // before any data goes in
      return true;
    }
    if (errno != EEXIST) break;
  }
  scratch_.clear();
  return false;
}

bool OutputFile::open_exclusive(const std::string& path) {
  start(path);
  file_ = std::fopen(path.c_str(), "wbx");
  if (file_ == nullptr) return false;
  scratch_ = path;  // the final move renames it onto itself
  return true;
}

void OutputFile::flush() {
  if (file_ == nullptr || buffer_.empty()) return;
  if (!failed_ && std::fwrite(buffer_.data(), 1, buffer_.size(), file_) != buffer_.size()) {
    failed_ = true;
  }
  buffer_.clear();
}

bool OutputFile::commit() {
  if (file_ == nullptr) return false;
  flush();
  if (std::fflush(file_) != 0 || std::ferror(file_) != 0) failed_ = true;
  if (std::fclose(file_) != 0) failed_ = true;
  file_ = nullptr;
  if (!failed_ && !scratch_.empty() && std::rename(scratch_.c_str(), path_.c_str()) != 0) {
    failed_ = true;
  }
  if (failed_) {
    if (!scratch_.empty()) std::remove(scratch_.c_str());
    scratch_.clear();
    return false;
  }
  scratch_.clear();
  return true;
}

void OutputFile::discard() {
  if (file_ != nullptr) {
    std::fclose(file_);
    file_ = nullptr;
  }
  if (!scratch_.empty()) {
    std::remove(scratch_.c_str());
    scratch_.clear();
  }
  buffer_.clear();
}

bool copy_file(const std::string& source, const std::string& target) {
  std::FILE* in = std::fopen(source.c_str(), "rb");
  if (in == nullptr) return false;
  OutputFile out;
  bool ok = out.open(target);
  std::string block(std::size_t{1} << 20, '\0');
  while (ok) {
    const std::size_t got = std::fread(block.data(), 1, block.size(), in);
    if (got == 0) break;
    out.write(std::string_view(block.data(), got));
  }
  ok = ok && std::ferror(in) == 0;
  std::fclose(in);
  return ok && out.commit();
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
