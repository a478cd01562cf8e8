#include "builder/output_stage.hpp"

#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <new>
#include <string>
#include <system_error>
#include <vector>

#include "builder/tube_writer.hpp"
#include "cli/program.hpp"
#include "core/error.hpp"
#include "core/text_format.hpp"
#include "files/file_errors.hpp"
#include "files/file_identity.hpp"
#include "files/output_file.hpp"
#include "formats/registry.hpp"
#include "formats/scene_files.hpp"
#include "geometry/unit_cell.hpp"

namespace swnt {

namespace {

namespace fs = std::filesystem;

// The unit cell, checked in check mode, written as the trajectory into
// `trajectory`: a scratch file of this run beside the temporary name, so
// that runs sharing a working directory never share a file.  The list lives
// only while the trajectory is written.
void write_temporary_trajectory(OutputFile& trajectory, const WrapOptions& options,
                                const std::string& temporary_name,
                                const StructureParams& structure, const LatticeParams& lattice) {
  std::vector<CellAtom> cells;
  try {
    cells = build_unit_cell(options.cn, options.cm, debug_log(options));
  } catch (const std::bad_alloc&) {
    throw Error(format_text("Error: not enough memory for the unit cell of (%d,%d) SWNT.\n",
                               options.cn, options.cm));
  }
  if (options.check) check_cell_bonds(cells, options);
  write_wrapped_tube(trajectory, temporary_name, cells, structure, lattice, options);
}

// True when `path` names something that is neither a regular file nor a
// link: a device such as /dev/null or /dev/full, a pipe or a directory.
bool is_special_file(const std::string& path) {
  std::error_code ec;
  const fs::file_status status = fs::symlink_status(path, ec);
  return fs::exists(status) && !fs::is_regular_file(status) && !fs::is_symlink(status);
}

// Moves the trajectory to its final name.  The new file replaces the old one
// in one step, so that the name never stands empty; failing to remove the
// old file (there may be none, or it is still there) is only a warning.
// When the move fails the data is saved under the temporary name.  A device
// or pipe as the output cannot be replaced (deleting it would even destroy a
// device node): the trajectory is written into it instead.
int save_trajectory(OutputFile& trajectory, const std::string& temporary_name,
                    const std::string& outfile) {
  if (is_special_file(outfile)) {
    if (copy_file(trajectory.scratch_path(), outfile)) return 0;
    throw write_error(outfile);
  }
  std::error_code ec;
  const bool existed = fs::exists(fs::symlink_status(outfile, ec));
  // A file the user made read-only is neither deleted nor replaced.
  const bool read_only = fs::exists(outfile, ec) && access(outfile.c_str(), W_OK) != 0;
  const bool saved = !read_only && trajectory.move_to(outfile);
  if (!existed || !saved) {
    std::printf("Warning: failed to remove old %s file.\n", printable(outfile).c_str());
  }
  if (!saved) {
    std::printf("Warning: failed to save %s file.\n", printable(outfile).c_str());
    // Should even the temporary name fail, the run's own scratch file keeps the data.
    const std::string kept =
        trajectory.move_to(temporary_name) ? temporary_name : trajectory.release();
    std::printf(" -- Data is saved as %s.\n", kept.c_str());
  }
  return 0;
}

// Refuses, before anything is built, output out of all proportion: a unit
// cell beyond kMaxCellAtoms, too many scene files.
void check_output_size(const WrapOptions& options, const LatticeParams& lattice) {
  if (lattice.natom > kMaxCellAtoms) {
    throw Error(format_text(
        "Error: the unit cell of (%d,%d) SWNT holds %d atoms; wrapping builds at most %d, since "
        "the cell is held in memory (%.1f GB for this one) and each copy of it takes %.1f GB of "
        "trajectory.\n",
        options.cn, options.cm, lattice.natom, kMaxCellAtoms,
        lattice.natom * static_cast<double>(sizeof(CellAtom)) * 1e-9, lattice.natom * 48e-9));
  }
  const long long scenes = static_cast<long long>(options.nwrap) + 1;
  if ((options.fchange == 2 || options.fchange == 3) && scenes > kMaxSceneFiles) {
    throw Error(too_many_scene_files(scenes));
  }
}

// Refuses, before anything is written, an output that is the temporary
// file, a directory as the trajectory, and anything but a regular file
// under the temporary name; gives a trajectory without a name its default
// name.
void prepare_output(WrapOptions& options, const std::string& temporary_name, bool trajectory_form) {
  if (trajectory_form && options.outfile.empty()) {
    options.outfile = options.indir + std::string(kDefaultOutputBase) + ".dat";
  }
  // Moving or converting the temporary file onto itself would destroy it.
  if (same_file(options.outfile, temporary_name)) {
    throw Error(format_text("Error: output file %s is the temporary file.\n",
                            printable(options.outfile).c_str()));
  }
  // A directory cannot take the trajectory; deleting an empty one as "the
  // old output" would lose it.
  std::error_code ec;
  if (trajectory_form && fs::is_directory(options.outfile, ec)) {
    throw Error(
        format_text("Error: output file %s is a directory.\n", printable(options.outfile).c_str()));
  }
  // A run replaces a regular file under the temporary name.  Anything else
  // there (a link, a pipe) is the user's: it is left alone and the run
  // refused.
  const fs::file_status temporary = fs::symlink_status(temporary_name, ec);
  if (fs::exists(temporary) && !fs::is_regular_file(temporary)) {
    throw Error(format_text("Error: cannot write file %s\n", temporary_name.c_str()));
  }
}

// The converted forms that `fchange` chooses (1 pv, 2 XMOL XYZ, 3 TINKER
// XYZ) by their names in the registry; the XYZ files get the tube's title
// (tube_scene_title), which the pv file does not use.
constexpr const char* kConvertedForms[] = {"pv", "xmol", "tinker"};

}  // namespace

int run_output_stage(WrapOptions& options, const std::string& temporary_name,
                     const StructureParams& structure, const LatticeParams& lattice) {
  check_output_size(options, lattice);
  const bool trajectory_form = options.fchange < 1 || options.fchange > 3;
  prepare_output(options, temporary_name, trajectory_form);

  OutputFile trajectory;  // removed at the end unless it was moved into place
  write_temporary_trajectory(trajectory, options, temporary_name, structure, lattice);
  // As in a run of its own, the new trajectory takes the place of what an
  // earlier run may have left under the temporary name.
  remove_if_exists(temporary_name);
  if (trajectory_form) return save_trajectory(trajectory, temporary_name, options.outfile);

  // The writers read the run's scratch file; their messages name the
  // temporary file.  The pv file keeps the coordinates as they stand when
  // the tube is centred, and moves them by half the box otherwise.
  const Format& format = *find_format(kConvertedForms[options.fchange - 1]);
  ConversionSettings settings;
  settings.title = tube_scene_title(options.cn, options.cm, format.title);
  settings.shift_half_box = options.fcenter == 0;
  format.convert(TrajectoryInput(trajectory.scratch_path(), temporary_name), options.outfile,
                 settings, options.debug ? kPrint : Log());
  return 0;
}

}  // namespace swnt
