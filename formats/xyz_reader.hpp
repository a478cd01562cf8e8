// Reading XYZ files frame by frame into Frames: extended XYZ as ASE writes
// it (a Lattice of any three vectors, pbc flags, Properties with any
// columns, several frames) and plain XYZ (element and three coordinates per
// line, no cell).
//
// A frame is a line with the atom count, a comment line and one line per
// atom.  The comment line is read as ASE reads it, as key=value pairs
// (values quoted with "" '' {} or [] may hold blanks; keys in any case);
// when it gives a Lattice or Properties the frame is extended XYZ:
//   Lattice="ax ay az bx by bz cx cy cz"  the edge vectors a, b, c (nine
//       numbers, blanks or commas between them), a right-handed set with a
//       volume;
//   pbc="T T F"    which of a, b, c repeat (T, F, True or False, one value
//       for all three or three); with a Lattice and without pbc all three;
//   Origin="x y z" the corner of the cell (default 0 0 0), as our own
//       writer gives it;
//   Properties=species:S:1:pos:R:3:...  the columns of the atom lines as
//       name:type:count, the types S (text), R (real), I (integer) and L
//       (logical); species (S:1) and pos (R:3) must be there, an integer
//       column molecule (I:1) numbers the molecules from 1, every other
//       column is passed over.  Without Properties: species:S:1:pos:R:3.
// An atom line then holds exactly the fields its Properties give.  Without
// Lattice and Properties (or when the reader is told the file is plain) the
// comment line is free text and an atom line holds an element and three
// coordinates, further fields passed over; the cell is zero, every axis
// open.
//
// Elements are chemical symbols in any case ("C", "c", "Cl", "CL"), kept as
// the periodic table writes them.  Numbers are read as strtod reads them, a
// whole field each (decimal or exponent notation, a leading sign,
// hexadecimal floating point); inf and nan are refused.  The species of a
// frame are carbon first, hydrogen next, each when present, then the other
// elements in the order they first appear.  A cell is turned into Cell's
// form (core/cell.hpp), the positions with it.
//
// Hostile input ends in an Error naming the file and the line: memory grows
// with what the file holds, never with a count it announces.
#pragma once

#include <array>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "core/cell.hpp"
#include "core/model.hpp"
#include "files/line_reader.hpp"

namespace swnt {

// The most atoms a frame may hold (as many as a trajectory may).
inline constexpr long long kMaxXyzAtoms = 2147483647;

struct XyzSettings {
  // Every comment line is free text: plain XYZ, without a cell.
  bool plain = false;
  // The periodic axes instead of the file's pbc flags.
  std::optional<PeriodicAxes> periodic;
};

class XyzReader {
 public:
  // A reader whose messages name the file `name`.
  explicit XyzReader(std::string name, const XyzSettings& settings = {});
  // Opens the file `path` (an Error "file access failed" when it cannot be
  // read).
  void open(const std::string& path);
  // Reads `text` (copied) exactly as a file of that content.
  void open_text(std::string_view text);

  // Reads the next frame into `frame`; false at the end of the file.
  bool read_frame(Frame& frame);
  // Reads past the next frame, checking its count line and that its lines
  // are there; false at the end of the file.
  bool skip_frame();
  // The frames read or passed so far.
  long long frames() const { return frames_; }
  // Starts again from the first frame; false when the file cannot be read
  // a second time (a pipe).
  bool rewind();

  const std::string& name() const { return name_; }

 private:
  struct Column {
    enum Role { species, pos, molecule, other } role;
    std::size_t count;
  };
  // The atom count of the next frame; false at the end of the file.
  bool read_count(long long& count);
  // The comment line, handed to `comment`, then the lines of `count` atoms,
  // each handed to `atom`.
  template <class Comment, class Atom>
  void read_lines(long long count, Comment&& comment, Atom&& atom);
  void read_comment(std::string_view line);
  void read_properties(const std::string& value);
  void read_atom(std::string_view line, long long count, Frame& frame);
  void add_element(std::string_view symbol, Frame& frame);
  double read_real(std::string_view field, const char* what) const;
  void finish_species(Frame& frame);
  // An Error at the line last read, or at the end of the file.
  [[noreturn]] void fail(const std::string& reason) const;
  [[noreturn]] void fail_at_end(const std::string& reason) const;

  LineReader lines_;
  std::string name_;
  XyzSettings settings_;
  long long frames_ = 0;
  long long count_line_ = 0;  // the line of the current frame's count
  // The current frame: its columns, and whether it is extended XYZ.
  std::vector<Column> columns_;
  bool extended_ = false;
  std::size_t fields_ = 0;   // the fields of an atom line that the columns give
  std::string properties_;   // the Properties as given, for messages
  CellPlacement placement_;
  // Per element (atomic number), its place among the frame's species, or
  // -1; the elements in the order they first appear.
  std::array<short, 128> order_of_element_{};
  std::vector<unsigned char> elements_;
  // The symbol of the last atom, and its element, for the next one.
  std::string last_symbol_;
  int last_element_ = 0;
};

}  // namespace swnt
