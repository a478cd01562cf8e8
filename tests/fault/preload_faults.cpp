// A test-only preload library (LD_PRELOAD) that makes a program's file
// operations fail or interrupts the program between them.  It is built for
// the tests alone and never linked into a program.  It looks at the file
// operations a program does through the C library: opening a file for
// writing (fopen), closing such a file (fclose), rename, remove and unlink.
//
//   SWNT_FAULT_KILL_AFTER=N   the program kills itself (SIGKILL, like a power
//                             cut) right after its N-th file operation.
//   SWNT_FAULT_SIGNAL=S       the signal sent then instead of SIGKILL (an
//                             interruption such as 2, SIGINT).
//   SWNT_FAULT_SIGNAL_AGAIN=S a second signal, sent right after the next file
//                             operation (the first of the clean-up).
//   SWNT_FAULT_FAIL=OP:N[:E]  the N-th call of OP (fopen, fclose, rename,
//                             remove, unlink) fails with errno E (default
//                             EIO) without doing anything; a failing fclose
//                             still closes the stream.
//   SWNT_FAULT_LOG=PATH       one line per file operation is appended to PATH.
#include <dlfcn.h>
#include <fcntl.h>
#include <signal.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {

struct Settings {
  long kill_after = 0;
  int kill_signal = SIGKILL;
  int second_signal = 0;
  char fail_op[16] = {};
  long fail_nth = 0;
  int fail_errno = EIO;
  int log_fd = -1;
};

const Settings& settings() {
  static const Settings s = [] {
    Settings r;
    if (const char* kill = std::getenv("SWNT_FAULT_KILL_AFTER")) r.kill_after = std::atol(kill);
    if (const char* signal = std::getenv("SWNT_FAULT_SIGNAL")) r.kill_signal = std::atoi(signal);
    if (const char* again = std::getenv("SWNT_FAULT_SIGNAL_AGAIN")) r.second_signal = std::atoi(again);
    if (const char* fail = std::getenv("SWNT_FAULT_FAIL")) {
      const char* colon = std::strchr(fail, ':');
      if (colon != nullptr && static_cast<std::size_t>(colon - fail) < sizeof r.fail_op) {
        std::memcpy(r.fail_op, fail, static_cast<std::size_t>(colon - fail));
        char* rest = nullptr;
        r.fail_nth = std::strtol(colon + 1, &rest, 10);
        if (rest != nullptr && *rest == ':') r.fail_errno = std::atoi(rest + 1);
      }
    }
    if (const char* log = std::getenv("SWNT_FAULT_LOG")) {
      r.log_fd = open(log, O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC, 0644);
    }
    return r;
  }();
  return s;
}

long operations = 0;
long calls_fopen = 0, calls_fclose = 0, calls_rename = 0, calls_remove = 0, calls_unlink = 0;

// The streams opened for writing, so that only their closing counts.
constexpr int kTracked = 64;
FILE* written[kTracked] = {};

void track(FILE* file) {
  for (FILE*& slot : written) {
    if (slot == nullptr) {
      slot = file;
      return;
    }
  }
}

bool untrack(FILE* file) {
  for (FILE*& slot : written) {
    if (slot == file) {
      slot = nullptr;
      return true;
    }
  }
  return false;
}

// True when this call of `op` (its `count`-th) is to fail.
bool fails(const char* op, long count) {
  const Settings& s = settings();
  if (s.fail_nth <= 0 || std::strcmp(s.fail_op, op) != 0 || count != s.fail_nth) return false;
  errno = s.fail_errno;
  return true;
}

// Counts one file operation that was done, logs it, and ends the program
// when it is the one to be interrupted after.
void done(const char* op, const char* path) {
  const Settings& s = settings();
  ++operations;
  if (s.log_fd >= 0) {
    char line[512];
    const int length = std::snprintf(line, sizeof line, "%ld %s %s\n", operations, op, path);
    if (length > 0) {
      const ssize_t ignored = write(s.log_fd, line, static_cast<std::size_t>(length));
      (void)ignored;
    }
  }
  if (s.kill_after > 0 && operations == s.kill_after) kill(getpid(), s.kill_signal);
  if (s.second_signal > 0 && operations == s.kill_after + 1) kill(getpid(), s.second_signal);
}

template <class F>
F next(const char* name) {
  return reinterpret_cast<F>(dlsym(RTLD_NEXT, name));
}

bool for_writing(const char* mode) {
  return std::strpbrk(mode, "wa+") != nullptr;
}

FILE* open_file(const char* name, const char* path, const char* mode) {
  using Fopen = FILE* (*)(const char*, const char*);
  static const Fopen real = next<Fopen>(name);
  if (!for_writing(mode)) return real(path, mode);
  if (fails("fopen", ++calls_fopen)) return nullptr;
  FILE* file = real(path, mode);
  if (file != nullptr) {
    track(file);
    done("fopen", path);
  }
  return file;
}

}  // namespace

extern "C" {

FILE* fopen(const char* path, const char* mode) { return open_file("fopen", path, mode); }

FILE* fopen64(const char* path, const char* mode) { return open_file("fopen64", path, mode); }

int fclose(FILE* file) {
  using Fclose = int (*)(FILE*);
  static const Fclose real = next<Fclose>("fclose");
  if (!untrack(file)) return real(file);
  const bool fail = fails("fclose", ++calls_fclose);
  const int saved = errno;
  const int result = real(file);
  done("fclose", "-");
  if (fail) {
    errno = saved;
    return EOF;
  }
  return result;
}

int rename(const char* from, const char* to) noexcept {
  using Rename = int (*)(const char*, const char*);
  static const Rename real = next<Rename>("rename");
  if (fails("rename", ++calls_rename)) return -1;
  const int result = real(from, to);
  if (result == 0) done("rename", to);
  return result;
}

int remove(const char* path) noexcept {
  using Remove = int (*)(const char*);
  static const Remove real = next<Remove>("remove");
  if (fails("remove", ++calls_remove)) return -1;
  const int result = real(path);
  if (result == 0) done("remove", path);
  return result;
}

int unlink(const char* path) noexcept {
  using Unlink = int (*)(const char*);
  static const Unlink real = next<Unlink>("unlink");
  if (fails("unlink", ++calls_unlink)) return -1;
  const int result = real(path);
  if (result == 0) done("unlink", path);
  return result;
}

}  // extern "C"
