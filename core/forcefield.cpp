#include "core/forcefield.hpp"

#include <algorithm>
#include <array>
#include <cctype>
#include <charconv>
#include <cmath>
#include <cstdlib>
#include <span>

#include "core/error.hpp"
#include "core/text_format.hpp"

namespace swnt {

namespace {

// The whole of `text` as a decimal number: from_chars where the library has
// it for doubles, strtod of a copy otherwise (older libraries, as in the
// WebAssembly build); neither takes a leading '+' or blank.
bool parse_decimal(std::string_view text, double& value) {
  if (text.empty() || text[0] == '+' || std::isspace(static_cast<unsigned char>(text[0]))) return false;
#if defined(__cpp_lib_to_chars)
  const char* end = text.data() + text.size();
  const auto result = std::from_chars(text.data(), end, value, std::chars_format::general);
  return result.ec == std::errc() && result.ptr == end;
#else
  const std::string copy(text);
  const char* lower = copy.c_str();
  // strtod also reads hexadecimal numbers, which from_chars's general format does not.
  if (copy.find_first_of("xXpP") != std::string::npos) return false;
  char* end = nullptr;
  value = std::strtod(lower, &end);
  return end == lower + copy.size();
#endif
}

}  // namespace

namespace {

// The default set, as a parameter file holds it (examples/opls-aa.ff is a
// copy for users to edit).
constexpr std::string_view kOplsAa =
    R"(# OPLS-AA aromatic carbon (CA) and hydrogen (HA): the tube's carbons as
# benzene-like carbons, the hydrogens of --hydrogenate as aromatic C-H.
# Units: kcal/mol, Angstrom, degrees, elementary charges.
source W. L. Jorgensen, D. S. Maxwell, J. Tirado-Rives, J. Am. Chem. Soc. 118, 11225-11236 (1996)
combination geometric
scale14 0.5 0.5

#    element type charge sigma epsilon
atom C       CA   0      3.55  0.07
atom H       HA   0      2.42  0.03
# A nitrogen in place of a ring carbon (assemble --dope N) as OPLS-AA's
# pyridine nitrogen NC, uncharged like the carbons: OPLS balances the
# pyridine nitrogen's -0.678 on its neighbouring carbons, a carbon type that a
# set typed by element alone has not.  OPLS-AA has no boron of an aromatic
# ring: the set has no boron.
atom N       NC   0      3.25  0.17

# E = K (r - R0)^2
bond C C 469 1.40
bond C H 367 1.08
bond C N 483 1.339

# E = K (theta - THETA0)^2, the centre second
angle C C C 63 120
angle C C H 35 120
angle C N C 70 117
angle C C N 70 124
angle N C H 35 116

# E = K (1 + cos(N phi - PHASE)): OPLS's V2 = 7.25 kcal/mol as K = V2/2
dihedral * C C * 3.625 2 180
dihedral * C N * 3.625 2 180

# E = K (chi - CHI0)^2, chi the dihedral centre-a-b-c: OPLS's aromatic
# improper 1.1 (1 - cos 2 chi) in the harmonic form of the same curvature at
# the plane
improper C * * * 2.2 0
# The same for the three-bonded nitrogen of a doped tube
improper N * * * 2.2 0
)";

struct ShippedSet {
  std::string_view name;
  std::string_view text;
};

constexpr std::array<ShippedSet, 1> kShipped{{{"opls-aa", kOplsAa}}};
constexpr std::string_view kDefaultSet = "opls-aa";

const ShippedSet* find_shipped(std::string_view name) {
  if (name == "default") name = kDefaultSet;
  for (const ShippedSet& set : kShipped) {
    if (set.name == name) return &set;
  }
  return nullptr;
}

// The largest magnitude of any number of a parameter file.
constexpr double kMaxMagnitude = 1e6;
constexpr std::size_t kMaxTypeName = 6;

// Reads one parameter file line by line; every message names the line.
class Parser {
 public:
  Parser(std::string_view text, std::string_view name) : text_(text), name_(name) {
    forcefield_.name = std::string(name);
  }

  ForceField parse() {
    std::size_t start = 0;
    while (start < text_.size()) {
      const std::size_t end = std::min(text_.find('\n', start), text_.size());
      ++line_number_;
      if (line_number_ > kMaxForceFieldLines) {
        fail(format_text("more than %zu lines: no force field is that large", kMaxForceFieldLines));
      }
      std::string_view line = text_.substr(start, end - start);
      if (line.size() > kMaxForceFieldLineLength) {
        fail(format_text("more than %zu characters on one line", kMaxForceFieldLineLength));
      }
      parse_line(line);
      start = end + 1;
    }
    if (forcefield_.atoms.empty()) {
      throw Error("Error: " + printable(name_) +
                  ": no atom line: a force field gives the atom parameters of at least one "
                  "element.\n");
    }
    return std::move(forcefield_);
  }

 private:
  [[noreturn]] void fail(const std::string& reason) const {
    throw Error(format_text("Error: %s line %zu: %s.\n", printable(name_).c_str(), line_number_,
                            reason.c_str()));
  }

  static bool blank(char c) { return c == ' ' || c == '\t' || c == '\r'; }

  void split(std::string_view line) {
    fields_.clear();
    std::size_t i = 0;
    while (i < line.size()) {
      while (i < line.size() && blank(line[i])) ++i;
      const std::size_t first = i;
      while (i < line.size() && !blank(line[i])) ++i;
      if (i > first) fields_.push_back(line.substr(first, i - first));
    }
  }

  void parse_line(std::string_view line) {
    line = line.substr(0, line.find('#'));
    split(line);
    if (fields_.empty()) return;
    const std::string_view keyword = fields_[0];
    if (keyword == "source") {
      once(source_line_, "source");
      // The rest of the line as written, blanks at either end removed.
      std::string_view rest = line.substr(line.find("source") + 6);
      while (!rest.empty() && blank(rest.front())) rest.remove_prefix(1);
      while (!rest.empty() && blank(rest.back())) rest.remove_suffix(1);
      if (rest.empty()) fail("source needs a text (source TEXT)");
      forcefield_.source = std::string(rest);
    } else if (keyword == "combination") {
      expect_fields("combination geometric|arithmetic", 1);
      once(combination_line_, "combination");
      if (fields_[1] == "geometric") {
        forcefield_.combination = Combination::geometric;
      } else if (fields_[1] == "arithmetic") {
        forcefield_.combination = Combination::arithmetic;
      } else {
        fail("unknown combination <" + printable(fields_[1]) + ">: geometric or arithmetic");
      }
    } else if (keyword == "scale14") {
      expect_fields("scale14 LJ COULOMB", 2);
      once(scale_line_, "scale14");
      forcefield_.lj14 = number(1, "LJ", 0.0, 1.0);
      forcefield_.coulomb14 = number(2, "COULOMB", 0.0, 1.0);
    } else if (keyword == "atom") {
      parse_atom();
    } else if (keyword == "bond") {
      expect_fields("bond A B K R0", 4);
      BondParams p{number(3, "K", 0.0, kMaxMagnitude), number(4, "R0", 0.0, kMaxMagnitude)};
      if (p.r0 == 0.0) fail("R0 <" + printable(fields_[4]) + "> must be larger than 0");
      add_term<2>(forcefield_.bonds, p, "bond", false);
    } else if (keyword == "angle") {
      expect_fields("angle A CENTRE C K THETA0", 5);
      add_term<3>(forcefield_.angles,
                  AngleParams{number(4, "K", 0.0, kMaxMagnitude), number(5, "THETA0", 0.0, 180.0)},
                  "angle", false);
    } else if (keyword == "dihedral") {
      expect_fields("dihedral A B C D K N PHASE", 7);
      DihedralParams p;
      p.k = number(5, "K", -kMaxMagnitude, kMaxMagnitude);
      p.n = static_cast<int>(whole(6, "N", 0.0, 6.0));
      p.phase = whole(7, "PHASE", -360.0, 360.0);
      add_term<4>(forcefield_.dihedrals, p, "dihedral", false);
    } else if (keyword == "improper") {
      expect_fields("improper CENTRE A B C K CHI0", 6);
      add_term<4>(forcefield_.impropers,
                  ImproperParams{number(5, "K", 0.0, kMaxMagnitude),
                                 number(6, "CHI0", -180.0, 180.0)},
                  "improper", true);
    } else {
      fail("unknown entry <" + printable(keyword) +
           ">: source, combination, scale14, atom, bond, angle, dihedral or improper");
    }
  }

  void parse_atom() {
    expect_fields("atom ELEMENT TYPE CHARGE SIGMA EPSILON", 5);
    AtomParams atom;
    atom.element = element(1, false);
    atom.type = std::string(fields_[2]);
    const bool type_ok =
        atom.type.size() <= kMaxTypeName &&
        std::all_of(atom.type.begin(), atom.type.end(), [](char c) {
          return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') ||
                 c == '_';
        });
    if (!type_ok) {
      fail("the type <" + printable(fields_[2]) +
           "> is not 1 to 6 letters, digits or '_'");
    }
    atom.charge = number(3, "CHARGE", -kMaxMagnitude, kMaxMagnitude);
    atom.sigma = number(4, "SIGMA", 0.0, kMaxMagnitude);
    atom.epsilon = number(5, "EPSILON", 0.0, kMaxMagnitude);
    for (std::size_t k = 0; k < forcefield_.atoms.size(); ++k) {
      const AtomParams& other = forcefield_.atoms[k];
      if (other.element == atom.element) {
        fail(format_text("the atom %s is given already on line %zu", atom.element.c_str(),
                         atom_lines_[k]));
      }
      if (other.type == atom.type) {
        fail(format_text("the type %s is the type of %s already (line %zu)", atom.type.c_str(),
                         other.element.c_str(), atom_lines_[k]));
      }
    }
    forcefield_.atoms.push_back(std::move(atom));
    atom_lines_.push_back(line_number_);
  }

  void expect_fields(const char* form, std::size_t values) {
    if (fields_.size() != values + 1) {
      fail(format_text("%.*s takes %zu values (%s), not %zu", static_cast<int>(fields_[0].size()),
                       fields_[0].data(), values, form, fields_.size() - 1));
    }
  }

  void once(std::size_t& line, const char* keyword) {
    if (line != 0) fail(format_text("%s is given already on line %zu", keyword, line));
    line = line_number_;
  }

  // A chemical symbol: an upper-case letter and at most one lower-case
  // letter; or "*" where `any` allows it.
  std::string element(std::size_t field, bool any) const {
    const std::string_view text = fields_[field];
    if (any && text == "*") return "*";
    const bool symbol = !text.empty() && text.size() <= 2 && text[0] >= 'A' && text[0] <= 'Z' &&
                        (text.size() == 1 || (text[1] >= 'a' && text[1] <= 'z'));
    if (!symbol) {
      fail("<" + printable(text) + "> is not an element symbol (such as C, H or Si" +
           (any ? ", or * for any element)" : "; * only in bonded entries)"));
    }
    return std::string(text);
  }

  // A decimal number from `low` to `high`.
  double number(std::size_t field, const char* what, double low, double high) const {
    std::string_view text = fields_[field];
    if (text.size() > 1 && text[0] == '+' && text[1] != '-') text.remove_prefix(1);
    double value = 0.0;
    if (!parse_decimal(text, value) || !std::isfinite(value)) {
      fail(format_text("%s <%s> is not a number", what, printable(fields_[field]).c_str()));
    }
    if (value < low || value > high) {
      fail(format_text("%s <%s> is not from %g to %g", what, printable(fields_[field]).c_str(), low,
                       high));
    }
    return value;
  }

  // A whole number from `low` to `high`.
  double whole(std::size_t field, const char* what, double low, double high) const {
    const double value = number(field, what, low, high);
    if (value != std::floor(value)) {
      fail(format_text("%s <%s> is not a whole number", what, printable(fields_[field]).c_str()));
    }
    return value;
  }

  // A bonded entry: its elements, then its numbers (read already); the
  // same elements may not come twice.
  template <std::size_t N, class Params>
  void add_term(std::vector<TermEntry<Params, static_cast<int>(N)>>& entries, const Params& params,
                const char* kind, bool centre_first) {
    TermEntry<Params, static_cast<int>(N)> entry;
    std::array<std::string_view, N> names;
    for (std::size_t k = 0; k < N; ++k) {
      entry.elements[k] = element(k + 1, true);
      names[k] = entry.elements[k];
    }
    entry.params = params;
    for (std::size_t k = 0; k < entries.size(); ++k) {
      if (same_pattern(entries[k].elements, names, centre_first)) {
        std::string shown;
        for (const std::string_view name : names) {
          shown += ' ';
          shown += name;
        }
        fail(format_text("the %s%s is given already on line %zu", kind, shown.c_str(),
                         term_lines_[kind][k]));
      }
    }
    entries.push_back(std::move(entry));
    term_lines_[kind].push_back(line_number_);
  }

  template <std::size_t N>
  static bool same_pattern(const std::string (&have)[N], const std::array<std::string_view, N>& names,
                           bool centre_first) {
    std::array<std::string_view, N> a;
    std::copy(std::begin(have), std::end(have), a.begin());
    std::array<std::string_view, N> b = names;
    if (centre_first) {
      std::sort(a.begin() + 1, a.end());
      std::sort(b.begin() + 1, b.end());
      return a == b;
    }
    std::array<std::string_view, N> reversed = b;
    std::reverse(reversed.begin(), reversed.end());
    return a == b || a == reversed;
  }

  // The lines of the entries of each kind of term, to name in messages.
  struct TermLines {
    std::vector<std::size_t> bond, angle, dihedral, improper;
    std::vector<std::size_t>& operator[](std::string_view kind) {
      return kind == "bond" ? bond : kind == "angle" ? angle : kind == "dihedral" ? dihedral : improper;
    }
  };

  std::string_view text_;
  std::string_view name_;
  ForceField forcefield_;
  std::size_t line_number_ = 0;
  std::vector<std::string_view> fields_;
  std::size_t source_line_ = 0;
  std::size_t combination_line_ = 0;
  std::size_t scale_line_ = 0;
  std::vector<std::size_t> atom_lines_;
  TermLines term_lines_;
};

// True when an entry's element (or "*") matches an element.
bool matches(const std::string& pattern, std::string_view element) {
  return pattern == "*" || pattern == element;
}

template <std::size_t N>
bool matches_in_order(const std::string (&pattern)[N],
                      const std::array<std::string_view, N>& elements) {
  for (std::size_t k = 0; k < N; ++k) {
    if (!matches(pattern[k], elements[k])) return false;
  }
  return true;
}

// The entry for these elements: read forwards or backwards, or with the
// centre first and the other three in any order; an entry without "*"
// before one with, and then the first in the file.  Null when none matches.
template <class Params, int N>
const Params* find_entry(const std::vector<TermEntry<Params, N>>& entries,
                         std::array<std::string_view, static_cast<std::size_t>(N)> elements,
                         bool centre_first) {
  const Params* wildcard = nullptr;
  for (const TermEntry<Params, N>& entry : entries) {
    bool found = false;
    if (centre_first) {
      std::sort(elements.begin() + 1, elements.end());
      do {
        found = matches_in_order(entry.elements, elements);
      } while (!found && std::next_permutation(elements.begin() + 1, elements.end()));
    } else {
      found = matches_in_order(entry.elements, elements);
      std::reverse(elements.begin(), elements.end());
      found = found || matches_in_order(entry.elements, elements);
      std::reverse(elements.begin(), elements.end());
    }
    if (!found) continue;
    const bool exact = std::none_of(std::begin(entry.elements), std::end(entry.elements),
                                    [](const std::string& e) { return e == "*"; });
    if (exact) return &entry.params;
    if (wildcard == nullptr) wildcard = &entry.params;
  }
  return wildcard;
}

[[noreturn]] void missing(const ForceField& forcefield, const std::string& what) {
  throw Error("Error: the force field " + printable(forcefield.name) + " has no parameters for " +
              what + ".\n");
}

template <std::size_t N>
std::string term_text(const char* kind, const std::array<std::string_view, N>& elements,
                       const char* separator) {
  std::string text = std::string("the ") + kind + " ";
  for (std::size_t k = 0; k < N; ++k) {
    if (k > 0) text += separator;
    text += printable(elements[k]);
  }
  return text;
}

}  // namespace

const AtomParams& ForceField::atom(std::string_view element) const {
  for (const AtomParams& params : atoms) {
    if (params.element == element) return params;
  }
  missing(*this, "the element " + printable(element));
}

const BondParams& ForceField::bond(std::string_view a, std::string_view b) const {
  const std::array<std::string_view, 2> elements{a, b};
  const BondParams* found = find_entry(bonds, elements, false);
  if (found == nullptr) missing(*this, term_text("bond", elements, "-"));
  return *found;
}

const AngleParams& ForceField::angle(std::string_view a, std::string_view centre,
                                     std::string_view c) const {
  const std::array<std::string_view, 3> elements{a, centre, c};
  const AngleParams* found = find_entry(angles, elements, false);
  if (found == nullptr) missing(*this, term_text("angle", elements, "-"));
  return *found;
}

const DihedralParams& ForceField::dihedral(std::string_view a, std::string_view b,
                                           std::string_view c, std::string_view d) const {
  const std::array<std::string_view, 4> elements{a, b, c, d};
  const DihedralParams* found = find_entry(dihedrals, elements, false);
  if (found == nullptr) missing(*this, term_text("dihedral", elements, "-"));
  return *found;
}

const ImproperParams& ForceField::improper(std::string_view centre, std::string_view a,
                                           std::string_view b, std::string_view c) const {
  const std::array<std::string_view, 4> elements{centre, a, b, c};
  const ImproperParams* found = find_entry(impropers, elements, true);
  if (found == nullptr) {
    missing(*this, "the improper on " + printable(centre) + " with " + printable(a) + ", " +
                       printable(b) + ", " + printable(c));
  }
  return *found;
}

PairParams ForceField::pair(std::string_view a, std::string_view b) const {
  const AtomParams& first = atom(a);
  const AtomParams& second = atom(b);
  if (a == b) return {first.sigma, first.epsilon};
  const double sigma = combination == Combination::geometric
                           ? std::sqrt(first.sigma * second.sigma)
                           : (first.sigma + second.sigma) / 2.0;
  return {sigma, std::sqrt(first.epsilon * second.epsilon)};
}

ForceField parse_forcefield(std::string_view text, std::string_view name) {
  return Parser(text, name).parse();
}

std::vector<std::string_view> shipped_forcefield_names() {
  std::vector<std::string_view> names;
  for (const ShippedSet& set : kShipped) names.push_back(set.name);
  return names;
}

bool shipped_forcefield(std::string_view name, ForceField& forcefield) {
  const ShippedSet* set = find_shipped(name);
  if (set == nullptr) return false;
  forcefield = parse_forcefield(set->text, set->name);
  return true;
}

std::string_view shipped_forcefield_text(std::string_view name) {
  const ShippedSet* set = find_shipped(name);
  return set == nullptr ? std::string_view() : set->text;
}

}  // namespace swnt
