#include "formats/atom_names.hpp"

namespace swnt {

AtomNaming::AtomNaming(const Frame& frame) {
  const std::size_t n = frame.atom_count();
  residue.resize(n);
  number.resize(n);
  // The largest number of each species that its names hold in four
  // characters, and the count so far in the current residue.
  std::vector<std::uint16_t> limit, count(frame.species.size(), 0);
  for (const Species& species : frame.species) {
    const std::size_t digits = species.symbol.size() < 4 ? 4 - species.symbol.size() : 1;
    limit.push_back(digits >= 3 ? 999 : digits == 2 ? 99 : 9);
  }
  for (std::size_t i = 0; i < n; ++i) {
    const std::uint8_t kind = frame.kind[i];
    const bool new_molecule =
        i == 0 || (!frame.molecule.empty() && frame.molecule[i] != frame.molecule[i - 1]);
    if (new_molecule || count[kind] == limit[kind]) {
      ++residue_count;
      std::fill(count.begin(), count.end(), 0);
    }
    residue[i] = residue_count;
    number[i] = ++count[kind];
  }
}

}  // namespace swnt
