#include "formats/trajectory.hpp"

#include "core/text_format.hpp"
#include "files/file_errors.hpp"
#include "formats/format.hpp"

namespace swnt {

bool read_trajectory_header(NumberStream& numbers, TrajectoryHeader& header) {
  if (!numbers.read_int(header.lead) || !numbers.read_int(header.nmol) ||
      !numbers.read_int(header.ndat) || !numbers.read_real(header.boxx) ||
      !numbers.read_real(header.boxy) || !numbers.read_real(header.boxz) ||
      !numbers.read_real(header.aux1) || !numbers.read_real(header.aux2)) {
    return false;
  }
  if (header.nmol < 0) {
    return numbers.fail("negative number of atoms " + std::to_string(header.nmol));
  }
  if (header.ndat < 0) {
    return numbers.fail("negative number of scenes " + std::to_string(header.ndat));
  }
  return true;
}

TrajectoryReader::TrajectoryReader(const TrajectoryInput& input) : input_(input) {
  if (!numbers_.open(input_.path)) throw access_error(input_.name);
  if (!read_trajectory_header(numbers_, header_)) throw_data_error();
}

TrajectoryReader::TrajectoryReader(std::string_view text, const std::string& name)
    : input_(name, name) {
  numbers_.open_text(text);
  if (!read_trajectory_header(numbers_, header_)) throw_data_error();
}

void TrajectoryReader::read_scene(std::vector<Position3>& positions) {
  positions.clear();
  for (long long a = 0; a < header_.nmol; ++a) positions.push_back(read_atom());
}

void TrajectoryReader::skip_scene() {
  for (long long a = 0; a < header_.nmol; ++a) read_atom();
}

void TrajectoryReader::throw_data_error() const { throw data_error(input_.name, numbers_.error()); }

void append_trajectory_header(std::string& out, const TrajectoryHeader& header,
                              TrajectoryLayout layout) {
  const bool built = layout == TrajectoryLayout::built;
  const char* between = built ? "  " : " ";
  append_int(out, header.lead, 0);
  out += ' ';
  append_int(out, header.nmol, 0);
  out += ' ';
  append_int(out, header.ndat, 0);
  out += '\n';
  append_fixed(out, header.boxx, 0, 6);
  out += between;
  append_fixed(out, header.boxy, 0, 6);
  out += between;
  append_fixed(out, header.boxz, 0, 6);
  out += '\n';
  append_fixed(out, header.aux1, 0, built ? 1 : 6);
  out += between;
  append_fixed(out, header.aux2, 0, built ? 1 : 6);
  out += '\n';
}

}  // namespace swnt

namespace swnt {

// Read by every program, written by wrapping and scenejoin in their own
// layouts.
const Format& trajectory_format() {
  static const Format format{"trajectory", "trajectory", {".dat", ".wrp"}, {}, nullptr, nullptr};
  return format;
}

}  // namespace swnt
