#include "formats/structure_table.hpp"

#include <cmath>
#include <cstdlib>
#include <string_view>

#include "core/error.hpp"
#include "core/text_format.hpp"
#include "files/file_errors.hpp"
#include "files/number_stream.hpp"

namespace swnt {

namespace {

// One table entry: the key, the relaxed diameter, the strain energy and the
// atom count, then the three lattice vectors.  False when a number is
// missing or is not a number.  "%d" keeps the key and the count within 32
// bits.
bool read_entry(NumberStream& table, StructureTableTube& e) {
  long long n = 0;
  long long m = 0;
  if (!(table.read_int(n) && table.read_int(m) && table.read_real(e.diameter) &&
        table.read_real(e.strain_energy) && table.read_int(e.atoms) &&
        table.read_real(e.vectors.va1[0]) && table.read_real(e.vectors.va1[1]) &&
        table.read_real(e.vectors.va2[0]) && table.read_real(e.vectors.va2[1]) &&
        table.read_real(e.vectors.vab[0]) && table.read_real(e.vectors.vab[1]))) {
    return false;
  }
  e.n = static_cast<int>(n);
  e.m = static_cast<int>(m);
  return true;
}

// The next complete entry: read whole, and not the last thing in the file.
bool read_complete_entry(NumberStream& table, StructureTableTube& e) {
  return read_entry(table, e) && !table.at_end();
}

bool is_blank(char c) {
  return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\v' || c == '\f';
}

}  // namespace

StructureTableEntry read_structure_table(const std::string& path, int n, int m) {
  NumberStream table;
  if (!table.open(path)) throw access_error(path);

  const std::string missing =
      format_text("Error: parameters for (%d,%d) SWNT do not exist in the file.\n", n, m);
  // The first line is a free-form header.
  if (!table.skip_line()) throw Error(missing);

  // The first entry with the sought key wins.
  StructureTableTube entry;
  while (entry.n != n || entry.m != m) {
    if (!read_complete_entry(table, entry)) throw Error(missing);
  }
  return entry.vectors;
}

StructureTable read_structure_table_file(const std::string& path) {
  NumberStream file;
  if (!file.open(path)) throw access_error(path);

  StructureTable table;
  if (!file.read_line(table.header)) return table;
  table.graphene_energy = graphene_energy_of(table.header);
  StructureTableTube entry;
  while (read_complete_entry(file, entry)) {
    if (table.tubes.size() == kMaxStructureTableTubes) {
      throw Error(format_text("Error: structure table %s holds more than %zu entries.\n",
                              printable(path).c_str(), kMaxStructureTableTubes));
    }
    table.tubes.push_back(entry);
  }
  return table;
}

std::optional<double> graphene_energy_of(const std::string& header) {
  constexpr std::string_view kWord = "graphene";
  constexpr std::string_view kUnit = "eV/atom";
  const std::string_view text = header;
  for (std::size_t at = text.find(kWord); at != std::string_view::npos;
       at = text.find(kWord, at + 1)) {
    std::size_t i = at + kWord.size();
    if (i == text.size() || !is_blank(text[i])) continue;
    while (i < text.size() && is_blank(text[i])) ++i;
    std::size_t j = i;
    while (j < text.size() && !is_blank(text[j])) ++j;
    const std::string number(text.substr(i, j - i));
    char* end = nullptr;
    const double value = std::strtod(number.c_str(), &end);
    if (number.empty() || end != number.c_str() + number.size() || !std::isfinite(value)) continue;
    while (j < text.size() && is_blank(text[j])) ++j;
    if (text.substr(j, kUnit.size()) == kUnit) return value;
  }
  return std::nullopt;
}

}  // namespace swnt
