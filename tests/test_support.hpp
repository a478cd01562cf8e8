// Helpers shared by the tests: a fresh temporary directory per test, running
// a built program in it, and whole-file reads and writes.
#pragma once

#include <filesystem>
#include <string>
#include <vector>

namespace test_support {

// A directory of its own under the system's temporary directory, removed
// with everything in it when the object goes out of scope.
class TempDir {
 public:
  TempDir();
  ~TempDir();
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;

  const std::filesystem::path& path() const { return path_; }
  std::filesystem::path operator/(const std::string& name) const { return path_ / name; }

 private:
  std::filesystem::path path_;
};

struct RunResult {
  int status = -1;     // exit status, or -1 when the program did not exit normally
  std::string output;  // everything the program wrote to standard output
};

// Runs `program` with `args` in the working directory `cwd`, without a shell.
RunResult run_program(const std::string& program, const std::vector<std::string>& args,
                      const std::filesystem::path& cwd);

std::string read_file(const std::filesystem::path& path);
void write_file(const std::filesystem::path& path, const std::string& content);
bool file_exists(const std::filesystem::path& path);

// Names of the files in `dir`, sorted.
std::vector<std::string> list_dir(const std::filesystem::path& dir);

}  // namespace test_support
