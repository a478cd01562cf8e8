// Helpers shared by the tests: a fresh temporary directory per test, running
// a built program in it, and whole-file reads and writes.
#pragma once

#include <filesystem>
#include <map>
#include <string>
#include <utility>
#include <vector>

#include "cli/program.hpp"

namespace test_support {

// Runs library work as a program does: what it logs is printed, an Error is
// printed and gives its status, work that ends normally gives 0.
template <class Work>
int run_printing(Work&& work) {
  return swnt::run_program([&] {
    work();
    return 0;
  });
}

// The progress Log of a verbose run, or none.
inline swnt::Log progress_log(int verbose) { return verbose ? swnt::kPrint : swnt::Log(); }

// A directory of its own under the system's temporary directory, removed
// with everything in it when the object goes out of scope.
class TempDir {
 public:
  // Made under `base`: the system's temporary directory unless another is named.
  explicit TempDir(const std::filesystem::path& base = std::filesystem::temp_directory_path());
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
  int signal = 0;      // the signal that ended it, if one did
  std::string output;  // everything the program wrote to standard output
};

// How a program is started besides its arguments.
struct RunOptions {
  std::vector<std::pair<std::string, std::string>> env;  // added to the environment
  std::string preload;                     // a library loaded first (LD_PRELOAD); empty for none
  unsigned long long file_size_limit = 0;  // bytes a written file may reach; 0 for no limit
  bool unprivileged = false;               // when run as root, run as the user nobody
};

// The user id of nobody, for runs in which file permissions must count.
inline constexpr unsigned kNobody = 65534;

// Runs `program` with `args` in the working directory `cwd`, without a shell.
RunResult run_program(const std::string& program, const std::vector<std::string>& args,
                      const std::filesystem::path& cwd, const RunOptions& options = {});

// A program started by start_program and not yet waited for, so that several
// can run at once.  Its standard output goes to a pipe that wait_program
// reads (the pipe holds some 64 KiB, more than the messages of a run).
struct StartedProgram {
  int pid = -1;
  int output_fd = -1;
};
StartedProgram start_program(const std::string& program, const std::vector<std::string>& args,
                             const std::filesystem::path& cwd, const RunOptions& options = {});
RunResult wait_program(const StartedProgram& started);

// True when the two existing paths lie on one file system.
bool same_file_system(const std::filesystem::path& a, const std::filesystem::path& b);

std::string read_file(const std::filesystem::path& path);
void write_file(const std::filesystem::path& path, const std::string& content);
bool file_exists(const std::filesystem::path& path);

// Names of the files in `dir`, sorted.
std::vector<std::string> list_dir(const std::filesystem::path& dir);

// Every entry of the directory tree `dir` with its content (or what it is),
// to compare the state of all files before and after a run.
std::map<std::string, std::string> snapshot(const std::filesystem::path& dir);

// The seven programs of the tool set.
inline const std::vector<std::string> kProgramNames = {"wrapping", "ballconv", "xyzframes", "linkframes",
                                                       "scenejoin", "topoconv", "assemble"};

}  // namespace test_support
