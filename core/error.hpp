// A condition that ends a run of wrapping: the message (a complete line,
// usually beginning "Error: ") is printed on standard output by the run
// driver, which then ends with the status.
#pragma once

#include <stdexcept>
#include <string>

namespace swnt {

class RunError : public std::runtime_error {
 public:
  explicit RunError(std::string message, int status = 1)
      : std::runtime_error(std::move(message)), status_(status) {}
  int status() const { return status_; }

 private:
  int status_;
};

}  // namespace swnt
