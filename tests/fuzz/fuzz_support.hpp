// Shared pieces of the fuzz targets: a scratch directory of the process's
// own, whole-file reads and writes, and a hard stop when an invariant fails
// (libFuzzer reports the abort with the input that caused it).
#pragma once

#include <stdlib.h>
#include <unistd.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <string_view>
#include <vector>

namespace fuzz {

namespace fs = std::filesystem;

// Stops the run with a message on standard error when `ok` is false.
#define FUZZ_CHECK(ok, what)                                                         \
  do {                                                                               \
    if (!(ok)) {                                                                     \
      std::fprintf(stderr, "invariant broken at %s:%d: %s\n", __FILE__, __LINE__, \
                   what);                                                            \
      std::abort();                                                                  \
    }                                                                                \
  } while (0)

// A directory for the files of one fuzz process, on a memory file system
// when there is one; removed when the process ends normally.
inline const fs::path& scratch_dir() {
  struct Dir {
    fs::path path;
    Dir() {
      std::string base = fs::is_directory("/dev/shm") ? "/dev/shm" : fs::temp_directory_path().string();
      std::string pattern = base + "/swnt-fuzz-XXXXXX";
      if (mkdtemp(pattern.data()) == nullptr) {
        std::perror("mkdtemp");
        std::abort();
      }
      path = pattern;
    }
    ~Dir() {
      std::error_code ec;
      fs::remove_all(path, ec);
    }
  };
  static const Dir dir;
  return dir.path;
}

// The programs print their messages on standard output; the fuzzer speaks
// on standard error, so standard output is silenced once.
inline void silence_stdout() {
  static const bool done = [] {
    return std::freopen("/dev/null", "w", stdout) != nullptr;
  }();
  (void)done;
}

inline void write_bytes(const fs::path& path, std::string_view bytes) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
  FUZZ_CHECK(out.good(), "cannot write a scratch file");
}

inline std::string read_bytes(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// Removes every file of the scratch directory.
inline void clear_scratch() {
  std::error_code ec;
  for (const auto& entry : fs::directory_iterator(scratch_dir(), ec)) fs::remove_all(entry.path(), ec);
}

// Names in the scratch directory, sorted.
inline std::vector<std::string> scratch_names() {
  std::vector<std::string> names;
  std::error_code ec;
  for (const auto& entry : fs::directory_iterator(scratch_dir(), ec)) {
    names.push_back(entry.path().filename().string());
  }
  std::sort(names.begin(), names.end());
  return names;
}

inline std::string_view as_text(const std::uint8_t* data, std::size_t size) {
  return {reinterpret_cast<const char*>(data), size};
}

}  // namespace fuzz
