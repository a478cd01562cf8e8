// The chemical elements: symbol, standard atomic mass and the most bonds an
// atom of the element forms, for atoms read from files that name their
// elements.  Carbon and hydrogen are kCarbon and kHydrogen of core/model.hpp.
#pragma once

#include <string_view>

#include "core/model.hpp"

namespace swnt {

struct Element {
  int number;               // atomic number, 1 to kElementCount
  std::string_view symbol;  // as the periodic table writes it: "C", "Cl"
  double mass;              // atomic mass units
};

// Hydrogen to oganesson.
inline constexpr int kElementCount = 118;

// The element whose symbol `symbol` is, in any case ("Cl", "cl", "CL"); null
// when no element has that symbol.
const Element* find_element(std::string_view symbol);

// The element of atomic number `number` (1 to kElementCount).
const Element& element_by_number(int number);

// The most bonds an atom of element `number` forms (the valence that the
// warning about atoms with more bonds than their element forms compares
// with):
//   hydrogen 1; carbon 3, the sp2 network of a tube or a sheet;
//   the other main-group elements of the second period keep the octet:
//     Li 1, Be 2, B 3, N 3, O 2, F 1;
//   main-group elements from the third period on as many as their valence
//     electrons: groups 1, 2, 13 to 17 form 1, 2, 3 to 7 (PF5, SF6, IF7);
//   noble gases 0;
//   transition metals, lanthanides and actinides 12, the neighbours of the
//   densest packing.
int element_valence(int number);

// The species of an element: its symbol, mass and valence; kCarbon and
// kHydrogen exactly for carbon and hydrogen.
Species element_species(const Element& element);

}  // namespace swnt
