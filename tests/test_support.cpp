#include "test_support.hpp"

#include <fcntl.h>
#include <grp.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <stdexcept>

namespace test_support {

TempDir::TempDir(const std::filesystem::path& base) {
  std::string pattern = (base / "swnt-test-XXXXXX").string();
  if (mkdtemp(pattern.data()) == nullptr) throw std::runtime_error("mkdtemp failed");
  path_ = pattern;
}

TempDir::~TempDir() {
  std::error_code ec;
  // Tests may make files or directories read-only; give the owner write access back first.
  for (auto it = std::filesystem::recursive_directory_iterator(path_, ec);
       !ec && it != std::filesystem::recursive_directory_iterator(); it.increment(ec)) {
    std::filesystem::permissions(it->path(), std::filesystem::perms::owner_all,
                                 std::filesystem::perm_options::add, ec);
  }
  std::filesystem::permissions(path_, std::filesystem::perms::owner_all,
                               std::filesystem::perm_options::add, ec);
  std::filesystem::remove_all(path_, ec);
}

RunResult run_program(const std::string& program, const std::vector<std::string>& args,
                      const std::filesystem::path& cwd, const RunOptions& options) {
  return wait_program(start_program(program, args, cwd, options));
}

StartedProgram start_program(const std::string& program, const std::vector<std::string>& args,
                             const std::filesystem::path& cwd, const RunOptions& options) {
  int pipe_fds[2];
  if (pipe2(pipe_fds, O_CLOEXEC) != 0) throw std::runtime_error("pipe failed");
  std::fflush(nullptr);
  const pid_t pid = fork();
  if (pid < 0) throw std::runtime_error("fork failed");
  if (pid == 0) {
    dup2(pipe_fds[1], STDOUT_FILENO);
    close(pipe_fds[0]);
    close(pipe_fds[1]);
    for (const auto& [name, value] : options.env) setenv(name.c_str(), value.c_str(), 1);
    if (!options.preload.empty()) {
      setenv("LD_PRELOAD", options.preload.c_str(), 1);
      // The library comes before the sanitizer runtime in a sanitized build.
      const char* asan = std::getenv("ASAN_OPTIONS");
      const std::string asan_options = std::string(asan != nullptr ? asan : "") +
                                       (asan != nullptr && *asan != '\0' ? ":" : "") +
                                       "verify_asan_link_order=0";
      setenv("ASAN_OPTIONS", asan_options.c_str(), 1);
    }
    if (options.file_size_limit > 0) {
      // A write beyond the limit then fails with EFBIG, like one on a full disk.
      signal(SIGXFSZ, SIG_IGN);
      const rlimit limit{options.file_size_limit, options.file_size_limit};
      if (setrlimit(RLIMIT_FSIZE, &limit) != 0) _exit(125);
    }
    if (options.unprivileged && geteuid() == 0) {
      if (setgroups(0, nullptr) != 0 || setgid(kNobody) != 0 || setuid(kNobody) != 0) _exit(125);
    }
    if (chdir(cwd.c_str()) != 0) _exit(126);
    std::vector<char*> argv;
    argv.push_back(const_cast<char*>(program.c_str()));
    for (const auto& arg : args) argv.push_back(const_cast<char*>(arg.c_str()));
    argv.push_back(nullptr);
    execv(program.c_str(), argv.data());
    _exit(127);
  }
  close(pipe_fds[1]);
  return {pid, pipe_fds[0]};
}

RunResult wait_program(const StartedProgram& started) {
  RunResult result;
  char buffer[65536];
  ssize_t got;
  while ((got = read(started.output_fd, buffer, sizeof buffer)) > 0) {
    result.output.append(buffer, static_cast<std::size_t>(got));
  }
  close(started.output_fd);
  int wait_status = 0;
  waitpid(started.pid, &wait_status, 0);
  result.status = WIFEXITED(wait_status) ? WEXITSTATUS(wait_status) : -1;
  if (WIFSIGNALED(wait_status)) result.signal = WTERMSIG(wait_status);
  return result;
}

std::string read_file(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) throw std::runtime_error("cannot read " + path.string());
  std::ostringstream content;
  content << in.rdbuf();
  return content.str();
}

void write_file(const std::filesystem::path& path, const std::string& content) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  if (!out) throw std::runtime_error("cannot write " + path.string());
  out << content;
}

bool same_file_system(const std::filesystem::path& a, const std::filesystem::path& b) {
  struct stat info_a = {};
  struct stat info_b = {};
  return stat(a.c_str(), &info_a) == 0 && stat(b.c_str(), &info_b) == 0 &&
         info_a.st_dev == info_b.st_dev;
}

bool file_exists(const std::filesystem::path& path) {
  std::error_code ec;
  return std::filesystem::exists(std::filesystem::symlink_status(path, ec));
}

std::vector<std::string> list_dir(const std::filesystem::path& dir) {
  std::vector<std::string> names;
  for (const auto& entry : std::filesystem::directory_iterator(dir)) {
    names.push_back(entry.path().filename().string());
  }
  std::sort(names.begin(), names.end());
  return names;
}

std::map<std::string, std::string> snapshot(const std::filesystem::path& dir) {
  namespace fs = std::filesystem;
  std::map<std::string, std::string> files;
  for (const auto& entry : fs::recursive_directory_iterator(dir)) {
    const std::string name = fs::relative(entry.path(), dir).string();
    const auto status = fs::symlink_status(entry.path());
    if (fs::is_symlink(status)) {
      files[name] = "<link to " + fs::read_symlink(entry.path()).string() + ">";
    } else if (fs::is_regular_file(status)) {
      files[name] = read_file(entry.path());
    } else if (fs::is_directory(status)) {
      files[name] = "<directory>";
    } else {
      files[name] = "<special>";
    }
  }
  return files;
}

}  // namespace test_support
