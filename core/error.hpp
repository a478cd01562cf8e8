// How the libraries report to the programs.  A failure is an Error: it
// carries the complete text the program prints on standard output (usually
// one line beginning "Error: ") and the exit status the program ends with.
// A warning, or a progress line of a verbose run, is handed to a Log as it
// arises; the program prints it at once, so that every message keeps its
// place among the others.  The libraries themselves never print.
#pragma once

#include <functional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <utility>

namespace swnt {

class Error : public std::runtime_error {
 public:
  explicit Error(std::string message, int status = 1)
      : std::runtime_error(std::move(message)), status_(status) {}
  int status() const { return status_; }

 private:
  int status_;
};

// Receives text to show: whole lines with their line ends, or a piece of
// one (a line may be handed over in parts, as it was made).
using Log = std::function<void(std::string_view text)>;

// A Log that drops everything (no caller wants the progress lines).
inline void log_nothing(std::string_view) {}

}  // namespace swnt
