// The trajectory file, the format every program shares: a header of three
// integers and five reals (lead, atoms per scene, scenes; the box lengths
// along x, y, z; two numbers no program interprets), then the coordinate
// triples of every scene.  Read through a NumberStream, so any white space
// separates numbers and line breaks mean nothing.  Written in one of two
// layouts: that of a built tube and that of a join.
#pragma once

#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "core/model.hpp"
#include "core/text_format.hpp"
#include "files/number_stream.hpp"

namespace swnt {

struct TrajectoryHeader {
  long long lead = 0;  // not interpreted; carried into some outputs
  long long nmol = 0;  // atoms per scene
  long long ndat = 0;  // number of scenes
  double boxx = 0.0, boxy = 0.0, boxz = 0.0;
  double aux1 = 0.0, aux2 = 0.0;
};

// Reads the eight header numbers.  The integers must lie in the 32-bit
// range, and nmol and ndat must not be negative; false otherwise, with the
// reason in numbers.error().
bool read_trajectory_header(NumberStream& numbers, TrajectoryHeader& header);

// A trajectory to read: the file to open, and the name that messages give
// it.  The two differ where a program reads its own scratch copy of a file
// (wrapping's run-private temporary trajectory): messages then name the file
// the user knows.  A plain file name converts to an input of that name.
struct TrajectoryInput {
  TrajectoryInput(const std::string& file) : path(file), name(file) {}
  TrajectoryInput(const char* file) : path(file), name(file) {}
  TrajectoryInput(std::string file, std::string shown)
      : path(std::move(file)), name(std::move(shown)) {}
  std::string path;
  std::string name;
};

// A trajectory opened for reading, scene after scene.  Every failure throws
// the Error that names the input ("Error: file access failed for ..." or
// "Error: invalid trajectory file ...").
class TrajectoryReader {
 public:
  // Opens the input and reads its header.
  explicit TrajectoryReader(const TrajectoryInput& input);
  // Reads the trajectory held in `text` (copied) exactly as from a file of
  // that content; messages name it `name`.
  TrajectoryReader(std::string_view text, const std::string& name);

  const TrajectoryHeader& header() const { return header_; }
  const TrajectoryInput& input() const { return input_; }

  // The next atom's coordinates.
  Position3 read_atom() {
    Position3 p{};
    if (!numbers_.read_triple(p[0], p[1], p[2])) throw_data_error();
    return p;
  }

  // The next scene's atoms into `positions`.  The storage grows with the
  // atoms actually read, so a header announcing more atoms than the file
  // holds cannot claim memory it never fills.
  void read_scene(std::vector<Position3>& positions);

  // Reads past the next scene.
  void skip_scene();

 private:
  [[noreturn]] void throw_data_error() const;

  TrajectoryInput input_;
  NumberStream numbers_;
  TrajectoryHeader header_;
};

// The two layouts of the trajectories the programs write.  A built tube:
// "%d %d %d", the box as "%lf  %lf  %lf", the two numbers as "%.1f  %.1f",
// atoms as "%14.6lf  " three times.  A join: "%d %d %d", "%f %f %f",
// "%f %f", atoms as "%15.7f %15.7f %15.7f".
enum class TrajectoryLayout { built, joined };

void append_trajectory_header(std::string& out, const TrajectoryHeader& header,
                              TrajectoryLayout layout);
// Inline: the atom lines are nearly all of a large trajectory.
inline void append_trajectory_atom(std::string& out, const Position3& position,
                                   TrajectoryLayout layout) {
  if (layout == TrajectoryLayout::built) {
    for (const double value : position) {
      append_fixed(out, value, 14, 6);
      out.append("  ", 2);
    }
  } else {
    append_fixed(out, position[0], 15, 7);
    out += ' ';
    append_fixed(out, position[1], 15, 7);
    out += ' ';
    append_fixed(out, position[2], 15, 7);
  }
  out += '\n';
}

}  // namespace swnt
