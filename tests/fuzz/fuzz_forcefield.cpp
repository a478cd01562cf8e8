// Fuzzes the force-field parameter file reader: any text ends in a set or
// in one message line "Error: fuzz.ff ...", and a set read is whole: every
// atom entry is found by its element, every bonded entry by its own elements
// (forwards and backwards), and reading the same text again gives the same.
#include <cstdint>
#include <string>
#include <string_view>

#include "core/error.hpp"
#include "core/forcefield.hpp"
#include "fuzz_support.hpp"

namespace {

bool one_error_line(const std::string& message) {
  return message.rfind("Error: ", 0) == 0 && message.size() > 8 && message.back() == '\n' &&
         message.find('\n') == message.size() - 1;
}

// A concrete element for a pattern ("*" becomes carbon).
std::string_view concrete(const std::string& element) {
  return element == "*" ? std::string_view("C") : std::string_view(element);
}

void check_set(const swnt::ForceField& set) {
  for (const swnt::AtomParams& atom : set.atoms) {
    FUZZ_CHECK(&set.atom(atom.element) == &atom, "atom entry not found by its element");
    FUZZ_CHECK(set.pair(atom.element, atom.element).sigma == atom.sigma, "like pair changed");
  }
  for (const auto& bond : set.bonds) {
    const auto& e = bond.elements;
    FUZZ_CHECK(&set.bond(concrete(e[0]), concrete(e[1])) == &set.bond(concrete(e[1]), concrete(e[0])),
               "bond differs by direction");
  }
  for (const auto& angle : set.angles) {
    const auto& e = angle.elements;
    set.angle(concrete(e[0]), concrete(e[1]), concrete(e[2]));
  }
  for (const auto& dihedral : set.dihedrals) {
    const auto& e = dihedral.elements;
    FUZZ_CHECK(&set.dihedral(concrete(e[0]), concrete(e[1]), concrete(e[2]), concrete(e[3])) ==
                   &set.dihedral(concrete(e[3]), concrete(e[2]), concrete(e[1]), concrete(e[0])),
               "dihedral differs by direction");
  }
  for (const auto& improper : set.impropers) {
    const auto& e = improper.elements;
    FUZZ_CHECK(&set.improper(concrete(e[0]), concrete(e[1]), concrete(e[2]), concrete(e[3])) ==
                   &set.improper(concrete(e[0]), concrete(e[3]), concrete(e[1]), concrete(e[2])),
               "improper differs by the order of its outer atoms");
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view text(reinterpret_cast<const char*>(data), size);
  std::string first;
  try {
    const swnt::ForceField set = swnt::parse_forcefield(text, "fuzz.ff");
    check_set(set);
    first = set.source;
  } catch (const swnt::Error& error) {
    FUZZ_CHECK(one_error_line(error.what()), "not one line beginning \"Error: \"");
    first = error.what();
  }
  std::string second;
  try {
    second = swnt::parse_forcefield(text, "fuzz.ff").source;
  } catch (const swnt::Error& error) {
    second = error.what();
  }
  FUZZ_CHECK(first == second, "a second reading differs");
  return 0;
}
