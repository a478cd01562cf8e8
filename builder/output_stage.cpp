#include "builder/output_stage.hpp"

#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <new>
#include <string>
#include <system_error>
#include <utility>
#include <vector>

#include "builder/bond_check.hpp"
#include "builder/run_error.hpp"
#include "builder/unit_cell.hpp"
#include "builder/wrapper.hpp"
#include "trajectory/file_identity.hpp"
#include "trajectory/messages.hpp"
#include "trajectory/output_file.hpp"
#include "trajectory/pv_writer.hpp"
#include "trajectory/text_format.hpp"
#include "trajectory/tinker_writer.hpp"
#include "trajectory/xmol_writer.hpp"

namespace swnt {

namespace {

namespace fs = std::filesystem;

// Removes the temporary trajectory when a conversion is over, also when the
// writer failed or an exception passes through.
class TemporaryFileGuard {
 public:
  explicit TemporaryFileGuard(std::string path) : path_(std::move(path)) {}
  ~TemporaryFileGuard() { std::remove(path_.c_str()); }
  TemporaryFileGuard(const TemporaryFileGuard&) = delete;
  TemporaryFileGuard& operator=(const TemporaryFileGuard&) = delete;

 private:
  std::string path_;
};

// The unit cell, checked in check mode, written as the trajectory under the
// temporary name.  The list lives only while the trajectory is written.
void write_temporary_trajectory(const WrapOptions& options, const std::string& temporary_name,
                                const StructureParams& structure, const LatticeParams& lattice) {
  std::vector<CellAtom> cells;
  try {
    cells = build_unit_cell(options.cn, options.cm, options);
  } catch (const std::bad_alloc&) {
    throw RunError(format_text("Error: not enough memory for the unit cell of (%d,%d) SWNT.\n",
                               options.cn, options.cm));
  }
  if (options.check) check_bond_counts(cells, options);
  write_wrapped_tube(temporary_name, cells, structure, lattice, options);
}

// True when `path` names something that is neither a regular file nor a
// link: a device such as /dev/null or /dev/full, a pipe or a directory.
bool is_special_file(const std::string& path) {
  std::error_code ec;
  const fs::file_status status = fs::symlink_status(path, ec);
  return fs::exists(status) && !fs::is_regular_file(status) && !fs::is_symlink(status);
}

// A device or pipe as the output cannot be replaced (deleting it would even
// destroy a device node): the trajectory is written into it instead.
int copy_into_special_file(const std::string& temporary_name, const std::string& outfile) {
  const TemporaryFileGuard guard(temporary_name);
  if (!copy_file(temporary_name, outfile)) {
    print_write_error(outfile);
    return 1;
  }
  return 0;
}

// Moves the trajectory to its final name.  The old file goes first; failing
// to delete it (there may be none) is only a warning.  When the move fails
// the data stays under the temporary name.
int save_trajectory(const std::string& temporary_name, const std::string& outfile) {
  if (is_special_file(outfile)) return copy_into_special_file(temporary_name, outfile);
  // A file the user made read-only is neither deleted nor replaced; the data
  // stays under the temporary name.
  std::error_code ec;
  const bool read_only = fs::exists(outfile, ec) && access(outfile.c_str(), W_OK) != 0;
  keep_permissions(outfile, temporary_name);
  if (read_only || std::remove(outfile.c_str()) != 0) {
    std::printf("Warning: failed to remove old %s file.\n", printable(outfile).c_str());
  }
  if (read_only || std::rename(temporary_name.c_str(), outfile.c_str()) != 0) {
    std::printf("Warning: failed to save %s file.\n", printable(outfile).c_str());
    std::printf(" -- Data is saved as %s.\n", temporary_name.c_str());
  }
  return 0;
}

// A unit cell beyond this is refused before it is built: its list is held
// in memory and every copy of it in the trajectory takes 48 bytes an atom,
// so a larger one is gigabytes of memory and tens of gigabytes of output.
constexpr int kMaxCellAtoms = 100000000;

// Refuses, before anything is built, output out of all proportion.
void check_output_size(const WrapOptions& options, const LatticeParams& lattice) {
  if (lattice.natom > kMaxCellAtoms) {
    throw RunError(format_text(
        "Error: the unit cell of (%d,%d) SWNT holds %d atoms; wrapping builds at most %d, since "
        "the cell is held in memory (%.1f GB for this one) and each copy of it takes %.1f GB of "
        "trajectory.\n",
        options.cn, options.cm, lattice.natom, kMaxCellAtoms,
        lattice.natom * static_cast<double>(sizeof(CellAtom)) * 1e-9, lattice.natom * 48e-9));
  }
  const long long scenes = static_cast<long long>(options.nwrap) + 1;
  if ((options.fchange == 2 || options.fchange == 3) && scenes > kMaxSceneFiles) {
    throw RunError(too_many_scene_files(scenes));
  }
}

}  // namespace

int run_output_stage(WrapOptions& options, const std::string& temporary_name,
                     const StructureParams& structure, const LatticeParams& lattice) {
  check_output_size(options, lattice);
  const bool trajectory_form = options.fchange < 1 || options.fchange > 3;
  if (trajectory_form && options.outfile.empty()) {
    options.outfile = options.indir + std::string(kDefaultOutputBase) + ".dat";
  }
  // Moving or converting the temporary file onto itself would destroy it.
  if (same_file(options.outfile, temporary_name)) {
    throw RunError(format_text("Error: output file %s is the temporary file.\n",
                               printable(options.outfile).c_str()));
  }

  // A directory cannot take the trajectory; deleting an empty one as "the
  // old output" would lose it.
  std::error_code ec;
  if (trajectory_form && fs::is_directory(options.outfile, ec)) {
    throw RunError(
        format_text("Error: output file %s is a directory.\n", printable(options.outfile).c_str()));
  }
  // The temporary file is the run's own.  Anything else under its name (a
  // link to /dev/null would swallow the trajectory and then be moved to the
  // output name in its place) is left alone and the run refused.
  const fs::file_status temporary = fs::symlink_status(temporary_name, ec);
  if (fs::exists(temporary) && !fs::is_regular_file(temporary)) {
    throw RunError(format_text("Error: cannot write file %s\n", temporary_name.c_str()));
  }

  write_temporary_trajectory(options, temporary_name, structure, lattice);

  const int verbose = options.debug ? 1 : 0;
  int status = 0;
  switch (options.fchange) {
    case 1: {
      const TemporaryFileGuard guard(temporary_name);
      status = write_pv_file(temporary_name, options.outfile, verbose, options.fcenter);
      break;
    }
    case 2: {
      const TemporaryFileGuard guard(temporary_name);
      const std::string title =
          format_text("(%d,%d) SWNT-XMOL XYZ FORMAT", options.cn, options.cm);
      status = write_xmol_xyz(temporary_name, options.outfile, verbose, title);
      break;
    }
    case 3: {
      const TemporaryFileGuard guard(temporary_name);
      const std::string title =
          format_text("(%d,%d) SWNT-TINKER XYZ FORMAT", options.cn, options.cm);
      status = write_tinker_xyz(temporary_name, options.outfile, verbose, title);
      break;
    }
    default:
      status = save_trajectory(temporary_name, options.outfile);
      break;
  }
  return status == 0 ? 0 : 1;
}

}  // namespace swnt
