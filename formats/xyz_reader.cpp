#include "formats/xyz_reader.hpp"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdlib>
#include <optional>
#include <utility>

#include "core/elements.hpp"
#include "core/text_format.hpp"
#include "files/file_errors.hpp"

namespace swnt {

namespace {

static_assert(kElementCount < 255, "the kinds of a frame's atoms are bytes");

// The blanks that separate the fields of a line (a line holds no line
// feed; a carriage return is a blank, so CR LF files read as LF ones).
inline bool is_blank(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\v' || c == '\f'; }

bool is_blank_line(std::string_view line) {
  for (const char c : line) {
    if (!is_blank(c)) return false;
  }
  return true;
}

// The fields of a line, one after the other.
class Fields {
 public:
  explicit Fields(std::string_view line) : at_(line.data()), end_(line.data() + line.size()) {}
  bool next(std::string_view& field) {
    while (at_ < end_ && is_blank(*at_)) ++at_;
    if (at_ == end_) return false;
    const char* start = at_;
    while (at_ < end_ && !is_blank(*at_)) ++at_;
    field = std::string_view(start, static_cast<std::size_t>(at_ - start));
    return true;
  }

 private:
  const char* at_;
  const char* end_;
};

std::size_t count_fields(std::string_view line) {
  Fields fields(line);
  std::size_t count = 0;
  for (std::string_view field; fields.next(field);) ++count;
  return count;
}

// A piece of the input as a message shows it: quoted, at most 40 bytes,
// every byte printable.
std::string shown(std::string_view text) {
  constexpr std::size_t kShown = 40;
  std::string quoted(1, '"');
  quoted += printable(text.substr(0, kShown));
  if (text.size() > kShown) quoted += "...";
  quoted += '"';
  return quoted;
}

bool equal_ignoring_case(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (std::size_t k = 0; k < a.size(); ++k) {
    const auto lower = [](char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; };
    if (lower(a[k]) != lower(b[k])) return false;
  }
  return true;
}

// The pieces of a value separated by blanks or commas, as ASE splits the
// numbers of a Lattice or the flags of pbc: the first `N` into `items`, and
// how many there are.
template <std::size_t N>
std::size_t value_items(std::string_view value, std::array<std::string_view, N>& items) {
  std::size_t count = 0;
  std::size_t k = 0;
  const auto separator = [](char c) { return c == ',' || is_blank(c) || c == '\n'; };
  while (k < value.size()) {
    while (k < value.size() && separator(value[k])) ++k;
    const std::size_t start = k;
    while (k < value.size() && !separator(value[k])) ++k;
    if (k > start) {
      if (count < N) items[count] = value.substr(start, k - start);
      ++count;
    }
  }
  return count;
}

// The values of the keys a comment line may give, each the last with '='
// (any case of the key); null where a key is not given.
struct CommentKeys {
  std::optional<std::string> lattice, properties, pbc, origin;
  bool unclosed = false;  // a quote or bracket never closed
};

// Reads a comment line as ASE's key=value parser does: blanks separate
// pairs, '=' a key from its value (blanks around it allowed, further '='
// kept in the value), a backslash takes the next character as it is, and
// "", '', {} and [] hold text with blanks.  One pair is held at a time, so
// that memory stays within the size of the line.
CommentKeys comment_keys(std::string_view line) {
  const auto space = [](char c) { return is_blank(c) || c == '\n'; };
  while (!line.empty() && space(line.front())) line.remove_prefix(1);
  while (!line.empty() && space(line.back())) line.remove_suffix(1);
  struct Pair {
    std::string key, value;
    bool has_value = false;
    std::size_t piece = 0;  // the length of the piece being read (key or value part)
    bool empty() const { return key.empty() && !has_value; }
  };
  CommentKeys keys;
  const auto take = [&](const Pair& pair) {
    if (!pair.has_value) return;
    if (equal_ignoring_case(pair.key, "Lattice")) keys.lattice = pair.value;
    if (equal_ignoring_case(pair.key, "Properties")) keys.properties = pair.value;
    if (equal_ignoring_case(pair.key, "pbc")) keys.pbc = pair.value;
    if (equal_ignoring_case(pair.key, "Origin")) keys.origin = pair.value;
  };
  // The pair before a blank stays open while the next one is empty: an '='
  // then belongs to it ("key = value").
  Pair pair;
  Pair before;
  bool before_open = false;
  const auto add = [&](char c) {
    if (before_open) {
      take(before);
      before_open = false;
    }
    (pair.has_value ? pair.value : pair.key) += c;
    ++pair.piece;
  };
  char closer = '\0';
  bool escaped = false;
  for (const char c : line) {
    if (escaped) {
      add(c);
      escaped = false;
    } else if (c == '\\') {
      escaped = true;
    } else if (closer != '\0') {
      if (c == closer) {
        closer = '\0';
      } else {
        add(c);
      }
    } else if (c == '"' || c == '\'') {
      closer = c;
    } else if (c == '{' || c == '[') {
      closer = c == '{' ? '}' : ']';
    } else if (space(c)) {
      if (pair.piece == 0) continue;
      before = std::move(pair);
      before_open = true;
      pair = Pair();
    } else if (c == '=') {
      if (pair.empty() && before_open) {
        pair = std::move(before);
        before_open = false;
      }
      if (pair.has_value) pair.value += '=';
      pair.has_value = true;
      pair.piece = 0;
    } else {
      add(c);
    }
  }
  if (before_open) take(before);
  take(pair);
  keys.unclosed = closer != '\0';
  return keys;
}

// A whole field as strtod reads it: false when it is no number at all.
bool parse_real(std::string_view field, double& value) {
#if defined(__cpp_lib_to_chars)  // from_chars for doubles; absent in older libraries
  const char* end = field.data() + field.size();
  const auto result = std::from_chars(field.data(), end, value);
  if (result.ec == std::errc() && result.ptr == end) return true;
#endif
  // What from_chars leaves (a leading '+', hexadecimal, values beyond the
  // range of a double) goes to strtod itself.
  const std::string text(field);
  char* stop = nullptr;
  value = std::strtod(text.c_str(), &stop);
  return !text.empty() && stop == text.c_str() + text.size();
}

}  // namespace

XyzReader::XyzReader(std::string name, const XyzSettings& settings)
    : name_(std::move(name)), settings_(settings) {}

void XyzReader::open(const std::string& path) {
  if (!lines_.open(path)) throw access_error(name_);
  frames_ = 0;
}

void XyzReader::open_text(std::string_view text) {
  lines_.open_text(text);
  frames_ = 0;
}

void XyzReader::fail(const std::string& reason) const {
  throw Error(format_text("Error: invalid XYZ file %s: line %lld: ", printable(name_).c_str(),
                          lines_.line_number()) +
              reason + ".\n");
}

void XyzReader::fail_at_end(const std::string& reason) const {
  throw Error("Error: invalid XYZ file " + printable(name_) + ": " + reason + ".\n");
}

bool XyzReader::rewind() {
  if (!lines_.rewind()) return false;
  frames_ = 0;
  return true;
}

bool XyzReader::read_count(long long& count) {
  const auto too_long = [&] {
    fail(format_text("a line of more than %zu characters", LineReader::kMaxLine));
  };
  std::string_view line;
  if (!lines_.next(line)) {
    if (lines_.too_long()) too_long();
    return false;
  }
  if (is_blank_line(line)) {
    // Blank lines may end the file, and nothing else may follow them.
    const long long blank = lines_.line_number();
    while (lines_.next(line)) {
      if (!is_blank_line(line)) {
        throw Error(format_text("Error: invalid XYZ file %s: line %lld: an empty line where the "
                                "atom count of frame %lld is expected.\n",
                                printable(name_).c_str(), blank, frames_ + 1));
      }
    }
    if (lines_.too_long()) too_long();
    return false;
  }
  count_line_ = lines_.line_number();
  Fields fields(line);
  std::string_view field;
  fields.next(field);
  std::string_view digits = field;
  if (!digits.empty() && digits.front() == '+') digits.remove_prefix(1);
  bool number = !digits.empty() && !fields.next(field);
  count = 0;
  for (const char c : digits) {
    number = number && c >= '0' && c <= '9';
    if (!number) break;
    if (count <= kMaxXyzAtoms) count = count * 10 + (c - '0');
  }
  if (!number) {
    fail(shown(line) + format_text(" where the atom count of frame %lld is expected", frames_ + 1));
  }
  if (count > kMaxXyzAtoms) {
    fail(format_text("the atom count %s is more than the %lld atoms a frame may hold",
                     shown(digits).c_str(), kMaxXyzAtoms));
  }
  return true;
}

template <class Comment, class Atom>
void XyzReader::read_lines(long long count, Comment&& comment, Atom&& atom) {
  const auto ended = [&](const std::string& what) {
    if (lines_.too_long()) {
      fail(format_text("a line of more than %zu characters", LineReader::kMaxLine));
    }
    fail_at_end(what);
  };
  std::string_view line;
  if (!lines_.next(line)) {
    ended(format_text("the file ends before the comment line of frame %lld (line %lld)",
                      frames_ + 1, count_line_ + 1));
  }
  comment(line);
  for (long long a = 0; a < count; ++a) {
    if (!lines_.next(line)) {
      ended(format_text("the file ends after %lld of the %lld atoms that line %lld announces", a,
                        count, count_line_));
    }
    atom(line);
  }
}

bool XyzReader::skip_frame() {
  long long count = 0;
  if (!read_count(count)) return false;
  read_lines(count, [](std::string_view) {}, [](std::string_view) {});
  ++frames_;
  return true;
}

bool XyzReader::read_frame(Frame& frame) {
  long long count = 0;
  if (!read_count(count)) return false;
  frame.positions.clear();
  frame.kind.clear();
  frame.molecule.clear();
  frame.molecule_count = 0;
  order_of_element_.fill(-1);
  elements_.clear();
  read_lines(
      count, [&](std::string_view line) { read_comment(line); },
      [&](std::string_view line) { read_atom(line, count, frame); });
  finish_species(frame);
  placement_.place(frame.positions);
  frame.cell = placement_.cell;
  ++frames_;
  return true;
}

double XyzReader::read_real(std::string_view field, const char* what) const {
  double value = 0.0;
  if (!parse_real(field, value)) fail(format_text("%s %s is not a number", what, shown(field).c_str()));
  if (!std::isfinite(value)) {
    fail(format_text("%s %s is not a finite number", what, shown(field).c_str()));
  }
  return value;
}

void XyzReader::read_comment(std::string_view line) {
  columns_.assign({{Column::species, 1}, {Column::pos, 3}});
  fields_ = 4;
  properties_.clear();
  extended_ = false;
  placement_ = CellPlacement{};
  PeriodicAxes periodic = settings_.periodic.value_or(PeriodicAxes{false, false, false});
  placement_.cell.periodic = periodic;
  if (settings_.plain) return;

  const CommentKeys keys = comment_keys(line);
  extended_ = keys.lattice || keys.properties;
  if (!extended_) return;
  if (keys.unclosed) fail("a quote or bracket of the comment line is never closed");
  if (keys.properties) read_properties(*keys.properties);
  if (!keys.lattice) return;

  LatticeVectors vectors{};
  std::array<std::string_view, 9> numbers;
  const std::size_t given = value_items(*keys.lattice, numbers);
  if (given != 9) fail(format_text("the Lattice holds %zu numbers where nine are needed", given));
  for (std::size_t k = 0; k < 9; ++k) vectors[k / 3][k % 3] = read_real(numbers[k], "the Lattice value");
  Position3 origin{0.0, 0.0, 0.0};
  if (keys.origin) {
    std::array<std::string_view, 3> corner;
    const std::size_t numbers_given = value_items(*keys.origin, corner);
    if (numbers_given != 3) {
      fail(format_text("the Origin holds %zu numbers where three are needed", numbers_given));
    }
    for (std::size_t k = 0; k < 3; ++k) origin[k] = read_real(corner[k], "the Origin value");
  }
  // With a Lattice, every axis repeats unless pbc says otherwise.
  PeriodicAxes flags{true, true, true};
  if (keys.pbc) {
    std::array<std::string_view, 3> items;
    const std::size_t flags_given = value_items(*keys.pbc, items);
    if (flags_given != 1 && flags_given != 3) {
      fail("pbc " + shown(*keys.pbc) + " is not one or three of T and F");
    }
    for (std::size_t k = 0; k < 3; ++k) {
      const std::string_view item = items[flags_given == 1 ? 0 : k];
      if (equal_ignoring_case(item, "T") || equal_ignoring_case(item, "True")) {
        flags[k] = true;
      } else if (equal_ignoring_case(item, "F") || equal_ignoring_case(item, "False")) {
        flags[k] = false;
      } else {
        fail("pbc " + shown(*keys.pbc) + " is not one or three of T and F");
      }
    }
  }
  periodic = settings_.periodic.value_or(flags);
  const std::string error = place_lattice(vectors, origin, periodic, placement_);
  if (!error.empty()) fail("the Lattice makes no cell: " + error);
}

void XyzReader::read_properties(const std::string& value) {
  properties_ = value;
  columns_.clear();
  fields_ = 0;
  const std::string shown_value = shown(value);
  // The fields between colons, one after the other.
  std::string_view rest = value;
  bool more = true;
  const auto next_part = [&] {
    const std::size_t colon = rest.find(':');
    const std::string_view part = rest.substr(0, colon);
    more = colon != std::string_view::npos;
    rest.remove_prefix(more ? colon + 1 : rest.size());
    return part;
  };
  bool species = false;
  bool pos = false;
  bool molecule = false;
  while (more) {
    const std::string_view name = next_part();
    if (!more) fail("the Properties " + shown_value + " are not name:type:count triples");
    const std::string_view type = next_part();
    if (!more) fail("the Properties " + shown_value + " are not name:type:count triples");
    const std::string_view count_text = next_part();
    std::size_t count = 0;
    const char* end = count_text.data() + count_text.size();
    const auto result = std::from_chars(count_text.data(), end, count);
    if (result.ec != std::errc() || result.ptr != end || count == 0 ||
        count > LineReader::kMaxLine) {
      fail("the Properties give column " + shown(name) + " the count " + shown(count_text) +
           ", not a positive whole number");
    }
    if (type != "S" && type != "R" && type != "I" && type != "L") {
      fail("the Properties give column " + shown(name) + " the unknown type " + shown(type) +
           " (S, R, I or L)");
    }
    const auto special = [&](bool& seen, const char* what, std::string_view want_type,
                             std::size_t want_count) {
      if (seen) fail("the Properties name the column " + shown(name) + " twice");
      if (type != want_type || count != want_count) {
        fail(format_text("the Properties give the column %s as %s, not %s", what,
                         shown(std::string(type) + ":" + std::string(count_text)).c_str(),
                         (std::string(want_type) + ":" + std::to_string(want_count)).c_str()));
      }
      seen = true;
    };
    Column::Role role = Column::other;
    if (equal_ignoring_case(name, "species")) {
      special(species, "species", "S", 1);
      role = Column::species;
    } else if (equal_ignoring_case(name, "pos")) {
      special(pos, "pos", "R", 3);
      role = Column::pos;
    } else if (equal_ignoring_case(name, "molecule")) {
      special(molecule, "molecule", "I", 1);
      role = Column::molecule;
    }
    // Columns passed over one after another are passed over as one.
    if (role == Column::other && !columns_.empty() && columns_.back().role == Column::other) {
      columns_.back().count += count;
    } else {
      columns_.push_back({role, count});
    }
    fields_ += count;
  }
  if (!pos) fail("the Properties " + shown_value + " have no column pos (pos:R:3)");
  if (!species) fail("the Properties " + shown_value + " have no column species (species:S:1)");
}

void XyzReader::add_element(std::string_view symbol, Frame& frame) {
  if (symbol != last_symbol_ || last_element_ == 0) {
    const Element* element = find_element(symbol);
    if (element == nullptr) fail("unknown element " + shown(symbol));
    last_symbol_.assign(symbol);
    last_element_ = element->number;
  }
  const int z = last_element_;
  if (order_of_element_[static_cast<std::size_t>(z)] < 0) {
    order_of_element_[static_cast<std::size_t>(z)] = static_cast<short>(elements_.size());
    elements_.push_back(static_cast<unsigned char>(z));
  }
  frame.kind.push_back(static_cast<std::uint8_t>(z));
}

void XyzReader::read_atom(std::string_view line, long long count, Frame& frame) {
  Fields fields(line);
  std::string_view field;
  Position3 p{};
  if (!extended_) {
    std::string_view x, y, z;
    if (!fields.next(field) || !fields.next(x) || !fields.next(y) || !fields.next(z)) {
      fail(shown(line) + " is not an element and three coordinates");
    }
    add_element(field, frame);
    frame.positions.push_back(
        {read_real(x, "the coordinate"), read_real(y, "the coordinate"), read_real(z, "the coordinate")});
    return;
  }
  const auto wrong_fields = [&] {
    fail(format_text("%zu fields where the Properties %s give %zu", count_fields(line),
                     shown(properties_.empty() ? "species:S:1:pos:R:3" : properties_).c_str(),
                     fields_));
  };
  for (const Column& column : columns_) {
    switch (column.role) {
      case Column::species:
        if (!fields.next(field)) wrong_fields();
        add_element(field, frame);
        break;
      case Column::pos:
        for (double& c : p) {
          if (!fields.next(field)) wrong_fields();
          c = read_real(field, "the coordinate");
        }
        break;
      case Column::molecule: {
        if (!fields.next(field)) wrong_fields();
        long long number = 0;
        const char* end = field.data() + field.size();
        const auto result = std::from_chars(field.data(), end, number);
        if (result.ec != std::errc() || result.ptr != end || number < 1 || number > count) {
          fail(format_text("the molecule %s is not a whole number from 1 to %lld, the atoms of "
                           "the frame",
                           shown(field).c_str(), count));
        }
        frame.molecule.push_back(static_cast<std::uint32_t>(number));
        frame.molecule_count = std::max(frame.molecule_count, static_cast<std::uint32_t>(number));
        break;
      }
      case Column::other:
        for (std::size_t k = 0; k < column.count; ++k) {
          if (!fields.next(field)) wrong_fields();
        }
        break;
    }
  }
  if (fields.next(field)) wrong_fields();
  frame.positions.push_back(p);
}

void XyzReader::finish_species(Frame& frame) {
  frame.species.clear();
  std::array<std::uint8_t, 128> kind_of_element{};
  const auto add = [&](int z) {
    kind_of_element[static_cast<std::size_t>(z)] = static_cast<std::uint8_t>(frame.species.size());
    frame.species.push_back(element_species(element_by_number(z)));
  };
  if (order_of_element_[6] >= 0) add(6);
  if (order_of_element_[1] >= 0) add(1);
  for (const unsigned char z : elements_) {
    if (z != 1 && z != 6) add(z);
  }
  if (frame.species.empty()) frame.species.push_back(kCarbon);
  for (std::uint8_t& kind : frame.kind) kind = kind_of_element[kind];
}

}  // namespace swnt
