#include "builder/tube_writer.hpp"

#include "cli/program.hpp"
#include "core/error.hpp"
#include "core/text_format.hpp"
#include "files/file_errors.hpp"
#include "formats/trajectory.hpp"
#include "geometry/bond_check.hpp"

namespace swnt {

namespace {

// The message for a tube whose box or coordinates along an axis would not
// be finite (a scale or a shift too large for a double), naming the options
// that shape it there: those set away from their defaults, else the length
// or the lattice.
Error not_finite_error(const TubeNotFinite& fault, const WrapOptions& options) {
  const int axis = fault.axis();
  const bool axial = fault.axial();
  std::string names;
  auto add = [&names](const std::string& name) { names += (names.empty() ? "" : ", ") + name; };
  if (axial && options.magaxis != 1.0) add(format_text("-ra %g", options.magaxis));
  if (!axial && options.magdiam != 1.0) add(format_text("-rd %g", options.magdiam));
  if (!axial && fault.rolled() && options.nwrap > 1) add(format_text("-w %d", options.nwrap));
  const double shift[3] = {options.shiftx, options.shifty, options.shiftz};
  if (shift[axis] != 0.0) add(format_text("-s%c %g", "xyz"[axis], shift[axis]));
  if (names.empty() && axial) add(format_text("-u %g", options.lenunit));
  if (names.empty() || axial) {
    if (!(options.lacc > 0.0)) {
      add("the structure table " + printable(options.optfile));
    } else if (options.lacc != kIdealBondLength) {
      add(format_text("-c %g", options.lacc));
    }
  }
  return Error(format_text("Error: the %s of the tube would not be finite with these options: %s.\n",
                           fault.box() ? "box" : "coordinates", names.c_str()));
}

TrajectoryHeader trajectory_header(const TubeRoller& roller) {
  TrajectoryHeader header;
  header.nmol = roller.atom_count();
  header.ndat = roller.scene_count();
  header.boxx = roller.box()[0];
  header.boxy = roller.box()[1];
  header.boxz = roller.box()[2];
  return header;
}

// The header, then every scene's atoms, each appended as it is placed.
void write_scenes(OutputFile& file, const TubeRoller& roller) {
  std::string& out = file.buffer();
  append_trajectory_header(out, trajectory_header(roller), TrajectoryLayout::built);
  for (int scene = 0; scene < roller.scene_count(); ++scene) {
    roller.roll_scene(scene, [&](const Position3* positions, std::size_t count) {
      for (std::size_t i = 0; i < count; ++i) {
        append_trajectory_atom(out, positions[i], TrajectoryLayout::built);
        file.flush_if_full();
      }
    });
  }
}

}  // namespace

TubeParams tube_params(const WrapOptions& options, const StructureParams& structure) {
  TubeParams params;
  params.n = options.cn;
  params.m = options.cm;
  params.structure = structure;
  params.cells = options.lenunit;
  params.axis = options.iaxis;
  params.axial_scale = options.magaxis;
  params.diameter_scale = options.magdiam;
  params.shift = {options.shiftx, options.shifty, options.shiftz};
  params.centred = options.fcenter != 0;
  params.steps = options.nwrap;
  return params;
}

Log debug_log(const WrapOptions& options) { return options.debug ? kPrint : Log(); }

void check_cell_bonds(const std::vector<CellAtom>& cells, const WrapOptions& options) {
  check_bond_counts(cells, options.cn, options.cm, debug_log(options));
  print_text("OK: All atoms has 3 bonds.\n");
}

void write_wrapped_tube(OutputFile& file, const std::string& path,
                        const std::vector<CellAtom>& cells, const StructureParams& structure,
                        const LatticeParams& lattice, const WrapOptions& options) {
  try {
    const TubeRoller roller(tube_params(options, structure), lattice, cells);
    if (!file.open(path)) throw write_error(path);
    // Nothing is in place before commit(): on an error the file is dropped.
    write_scenes(file, roller);
    if (!file.finish()) throw write_error(path);
  } catch (const TubeNotFinite& fault) {
    throw not_finite_error(fault, options);
  }
}

}  // namespace swnt
