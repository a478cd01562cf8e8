// The force field a program is asked for by name: one of the sets shipped
// with the programs, or a parameter file of the user's (its format is
// described at parse_forcefield).
#pragma once

#include <cstddef>
#include <string>

#include "core/forcefield.hpp"

namespace swnt {

// The largest parameter file read (bytes): far more than any set needs.
inline constexpr std::size_t kMaxForceFieldBytes = 1 << 20;

// The shipped set `name` names ("default" among them), or else the set of
// the parameter file at that path, named by the path as given.  Throws
// FileError "Error: unknown force field <NAME>: ..." when it is neither a
// shipped set nor a file that can be read, and Error for a file larger than
// kMaxForceFieldBytes or a mistake in it.
ForceField load_forcefield(const std::string& name);

}  // namespace swnt
