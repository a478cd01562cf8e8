#include "joiner/join.hpp"

#include <unistd.h>

#include <climits>
#include <cstdio>
#include <filesystem>
#include <system_error>

#include "cli/program.hpp"
#include "core/text_format.hpp"
#include "files/file_errors.hpp"
#include "files/file_identity.hpp"
#include "files/output_file.hpp"
#include "formats/trajectory.hpp"

namespace swnt {

namespace {

namespace fs = std::filesystem;

// Copies one scene's atoms from `reader` to `out`.
void copy_scene(TrajectoryReader& reader, OutputFile& out) {
  for (long long i = 0; i < reader.header().nmol; ++i) {
    append_trajectory_atom(out.buffer(), reader.read_atom(), TrajectoryLayout::joined);
    out.flush_if_full();
  }
}

double larger(double first, double second) { return second > first ? second : first; }

// Refuses a command line whose files overlap: an attached file that is the
// target (joining it would delete the target) or the temporary file.
void check_names(const std::vector<std::string>& args) {
  const std::string& target = args[1];
  const auto temporary_error = [](const std::string& name) {
    return Error(format_text("Error: cannot use %s: %s is the temporary file of the join.\n",
                             printable(name).c_str(), kJoinTempName));
  };
  if (same_file(target, kJoinTempName)) throw temporary_error(target);
  for (std::size_t i = 2; i < args.size(); ++i) {
    if (same_file(args[i], target)) {
      throw Error(format_text("Error: cannot attach %s: it is the target file %s.\n",
                              printable(args[i]).c_str(), printable(target).c_str()));
    }
    if (same_file(args[i], kJoinTempName)) throw temporary_error(args[i]);
  }
}

// Refuses files that a join would destroy: a device or a pipe as the target
// would be replaced by a regular file and as an attached file deleted after
// the join; a target the user may not write (read-only) would be replaced.
// A directory is reported by the reading, like any unreadable input.
void check_files(const std::vector<std::string>& args) {
  for (std::size_t i = 1; i < args.size(); ++i) {
    std::error_code ec;
    const fs::file_status status = fs::status(args[i], ec);
    if (fs::exists(status) && !fs::is_regular_file(status) && !fs::is_directory(status)) {
      throw Error("Error: cannot join " + printable(args[i]) + ": it is not a regular file.\n");
    }
  }
  std::error_code ec;
  if (fs::is_regular_file(args[1], ec) && access(args[1].c_str(), W_OK) != 0) {
    throw write_error(args[1]);
  }
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
void attach_file(const std::string& target, const std::string& attached, const Log& log) {
  std::error_code ec;
  if (fs::exists(fs::symlink_status(kJoinTempName, ec))) {
    throw Error(format_text(
        "Error: the temporary file %s exists already (left by an interrupted run?); "
        "move it away and run again.\n",
        kJoinTempName));
  }
  OutputFile joined;
  join_trajectories(joined, kJoinTempName, target, attached);
  const std::string destination = replaced_file(target);
  if (destination.empty() || !joined.move_to(destination)) throw write_error(target);
  if (std::remove(attached.c_str()) != 0) {
    log("Warning: cannot delete " + printable(attached) + "; its atoms are in " +
        printable(target) + " now.\n");
  }
}

}  // namespace

void join_trajectories(OutputFile& out, const std::string& output, const std::string& first_input,
                       const std::string& second_input) {
  TrajectoryReader first(first_input);
  TrajectoryReader second(second_input);
  const TrajectoryHeader& head1 = first.header();
  const TrajectoryHeader& head2 = second.header();
  if (head1.ndat != head2.ndat) {
    throw Error(format_text("Error: number of scenes are different (%lld and %lld).\n",
                            head1.ndat, head2.ndat));
  }
  // Both counts are 32-bit values, so the sum is exact in long long; the
  // joined file must still be able to state it as a "%d" integer.
  TrajectoryHeader joined = head1;
  joined.nmol = head1.nmol + head2.nmol;
  if (joined.nmol > INT_MAX) {
    throw Error(format_text(
        "Error: cannot join %s and %s: %lld atoms per scene are too many for one file.\n",
        printable(first_input).c_str(), printable(second_input).c_str(), joined.nmol));
  }
  joined.boxx = larger(head1.boxx, head2.boxx);
  joined.boxy = larger(head1.boxy, head2.boxy);
  joined.boxz = larger(head1.boxz, head2.boxz);

  if (!out.open(output)) throw write_error(output);
  append_trajectory_header(out.buffer(), joined, TrajectoryLayout::joined);
  // With no atoms at all the scenes are empty: nothing to copy however many.
  const long long scenes = joined.nmol > 0 ? joined.ndat : 0;
  for (long long scene = 0; scene < scenes && !out.failed(); ++scene) {
    copy_scene(first, out);
    copy_scene(second, out);
  }
  if (!out.finish()) throw write_error(output);
}

int run_scenejoin(const std::vector<std::string>& args) {
  return run_program([&] {
    if (args.size() < 3) throw Error("Error: two or three arguments are required.\n");
    check_names(args);
    check_files(args);
    for (std::size_t i = 2; i < args.size(); ++i) attach_file(args[1], args[i], kPrint);
    return 0;
  });
}

}  // namespace swnt
