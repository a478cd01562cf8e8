#include "joiner/join.hpp"

#include <unistd.h>

#include <climits>
#include <cstdio>
#include <filesystem>
#include <system_error>

#include "files/file_identity.hpp"
#include "files/file_errors.hpp"
#include "files/output_file.hpp"
#include "core/text_format.hpp"
#include "files/number_stream.hpp"

namespace swnt {

namespace {

namespace fs = std::filesystem;

void append_triple(std::string& out, double x, double y, double z) {
  append_fixed(out, x, 15, 7);
  out += ' ';
  append_fixed(out, y, 15, 7);
  out += ' ';
  append_fixed(out, z, 15, 7);
  out += '\n';
}

// Copies `count` coordinate triples from `reader` to `out`.
bool copy_atoms(TrajectoryReader& reader, long long count, OutputFile& out) {
  double x = 0.0, y = 0.0, z = 0.0;
  for (long long i = 0; i < count; ++i) {
    if (!reader.read_triple(x, y, z)) return false;
    append_triple(out.buffer(), x, y, z);
    out.flush_if_full();
  }
  return true;
}

double larger(double first, double second) { return second > first ? second : first; }

// Refuses a command line whose files overlap: an attached file that is the
// target (joining it would delete the target) or the temporary file.
bool check_names(const std::vector<std::string>& args) {
  const std::string& target = args[1];
  if (same_file(target, kJoinTempName)) {
    std::printf("Error: cannot use %s: %s is the temporary file of the join.\n",
                printable(target).c_str(), kJoinTempName);
    return false;
  }
  for (std::size_t i = 2; i < args.size(); ++i) {
    if (same_file(args[i], target)) {
      std::printf("Error: cannot attach %s: it is the target file %s.\n",
                  printable(args[i]).c_str(), printable(target).c_str());
      return false;
    }
    if (same_file(args[i], kJoinTempName)) {
      std::printf("Error: cannot use %s: %s is the temporary file of the join.\n",
                  printable(args[i]).c_str(), kJoinTempName);
      return false;
    }
  }
  return true;
}

// Refuses files that a join would destroy: a device or a pipe as the target
// would be replaced by a regular file and as an attached file deleted after
// the join; a target the user may not write (read-only) would be replaced.
// A directory is reported by the reading, like any unreadable input.
bool check_files(const std::vector<std::string>& args) {
  for (std::size_t i = 1; i < args.size(); ++i) {
    std::error_code ec;
    const fs::file_status status = fs::status(args[i], ec);
    if (fs::exists(status) && !fs::is_regular_file(status) && !fs::is_directory(status)) {
      std::printf("Error: cannot join %s: it is not a regular file.\n", printable(args[i]).c_str());
      return false;
    }
  }
  std::error_code ec;
  if (fs::is_regular_file(args[1], ec) && access(args[1].c_str(), W_OK) != 0) {
    print_write_error(args[1]);
    return false;
  }
  return true;
}

// The file that a join replaces: the target, or the file a symbolic link
// there names.  Empty when a link leads nowhere.
std::string replaced_file(const std::string& target) {
  std::error_code ec;
  if (!fs::is_symlink(fs::symlink_status(target, ec))) return target;
  const fs::path named = fs::canonical(target, ec);
  return ec ? std::string() : named.string();
}

// Attaches one file to the target.  The finished join replaces the target
// in one atomic step (across file systems through a copy beside it), so
// that the target always holds either its old or its new content.  On
// failure the target keeps its previous content, the attached file stays,
// and no file of this step is left behind.
bool attach_file(const std::string& target, const std::string& attached) {
  std::error_code ec;
  if (fs::exists(fs::symlink_status(kJoinTempName, ec))) {
    std::printf(
        "Error: the temporary file %s exists already (left by an interrupted run?); "
        "move it away and run again.\n",
        kJoinTempName);
    return false;
  }
  OutputFile joined;
  if (join_trajectories(joined, kJoinTempName, target, attached) != 0) return false;
  const std::string destination = replaced_file(target);
  if (destination.empty() || !joined.move_to(destination)) {
    print_write_error(target);
    return false;
  }
  if (std::remove(attached.c_str()) != 0) {
    std::printf("Warning: cannot delete %s; its atoms are in %s now.\n",
                printable(attached).c_str(), printable(target).c_str());
  }
  return true;
}

}  // namespace

int join_trajectories(OutputFile& out, const std::string& output, const std::string& first_input,
                      const std::string& second_input) {
  TrajectoryReader first;
  TrajectoryHeader head1;
  if (!open_trajectory(first, head1, first_input)) return 1;
  TrajectoryReader second;
  TrajectoryHeader head2;
  if (!open_trajectory(second, head2, second_input)) return 1;
  if (head1.ndat != head2.ndat) {
    std::printf("Error: number of scenes are different");
    std::printf(" (%lld and %lld).\n", head1.ndat, head2.ndat);
    return 1;
  }
  // Both counts are 32-bit values, so the sum is exact in long long; the
  // joined file must still be able to state it as a "%d" integer.
  const long long nmol = head1.nmol + head2.nmol;
  if (nmol > INT_MAX) {
    std::printf("Error: cannot join %s and %s: %lld atoms per scene are too many for one file.\n",
                printable(first_input).c_str(), printable(second_input).c_str(), nmol);
    return 1;
  }

  if (!out.open(output)) {
    print_write_error(output);
    return 1;
  }
  std::string& text = out.buffer();
  append_int(text, head1.lead, 0);
  text += ' ';
  append_int(text, nmol, 0);
  text += ' ';
  append_int(text, head1.ndat, 0);
  text += '\n';
  append_fixed(text, larger(head1.boxx, head2.boxx), 0, 6);
  text += ' ';
  append_fixed(text, larger(head1.boxy, head2.boxy), 0, 6);
  text += ' ';
  append_fixed(text, larger(head1.boxz, head2.boxz), 0, 6);
  text += '\n';
  append_fixed(text, head1.aux1, 0, 6);
  text += ' ';
  append_fixed(text, head1.aux2, 0, 6);
  text += '\n';

  // With no atoms at all the scenes are empty: nothing to copy however many.
  const long long scenes = nmol > 0 ? head1.ndat : 0;
  for (long long scene = 0; scene < scenes && !out.failed(); ++scene) {
    if (!copy_atoms(first, head1.nmol, out)) {
      print_data_error(first_input, first.error());
      return 1;
    }
    if (!copy_atoms(second, head2.nmol, out)) {
      print_data_error(second_input, second.error());
      return 1;
    }
  }
  if (!out.finish()) {
    print_write_error(output);
    return 1;
  }
  return 0;
}

int run_scenejoin(const std::vector<std::string>& args) {
  if (args.size() < 3) {
    std::printf("Error: two or three arguments are required.\n");
    return 1;
  }
  if (!check_names(args) || !check_files(args)) return 1;
  for (std::size_t i = 2; i < args.size(); ++i) {
    if (run_guarded([&] { return attach_file(args[1], args[i]) ? 0 : 1; }) != 0) return 1;
  }
  return 0;
}

}  // namespace swnt
