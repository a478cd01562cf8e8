// The debug lines of the geometry: handed to a Log, which the program prints
// when its debug mode is on and leaves empty otherwise.
#pragma once

#include <string_view>

#include "core/error.hpp"

namespace swnt {

// Hands `text` to `debug` when a Log is there.
inline void log_debug(const Log& debug, std::string_view text) {
  if (debug) debug(text);
}

}  // namespace swnt
