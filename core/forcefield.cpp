#include "core/forcefield.hpp"

#include "core/error.hpp"

namespace swnt {

// Filled in by the force-field work; until then no set is shipped.
ForceField parse_forcefield(std::string_view /*text*/, std::string_view name) {
  throw Error("Error: the force field " + std::string(name) + " cannot be read yet.\n");
}

std::vector<std::string_view> shipped_forcefield_names() { return {}; }

bool shipped_forcefield(std::string_view /*name*/, ForceField& /*forcefield*/) { return false; }

}  // namespace swnt
