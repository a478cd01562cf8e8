#include "builder/driver.hpp"

#include <cmath>
#include <cstdio>
#include <filesystem>
#include <new>
#include <system_error>

#include "builder/options.hpp"
#include "builder/output_stage.hpp"
#include "builder/tube_writer.hpp"
#include "cli/program.hpp"
#include "core/error.hpp"
#include "core/text_format.hpp"
#include "files/file_identity.hpp"
#include "formats/structure_table.hpp"
#include "geometry/lattice.hpp"
#include "geometry/structure.hpp"
#include "geometry/tube.hpp"

namespace swnt {

namespace {

// The sheet of the run: the ideal honeycomb of the bond length, or, for a
// bond length that is not positive, the entry of the structure table.
StructureParams run_structure(const WrapOptions& options) {
  const Log debug = debug_log(options);
  if (options.lacc > 0.0) return cylindrical_structure(options.lacc, debug);
  if (debug) {
    debug(format_text(" -- read structure file from <%s>.\n", printable(options.optfile).c_str()));
  }
  const StructureTableEntry entry = read_structure_table(options.optfile, options.cn, options.cm);
  return table_structure(entry.va1, entry.va2, entry.vab);
}

int run(const std::vector<std::string>& args) {
  const std::string temporary_name = kTemporaryTrajectory;
  if (args.size() < 2) throw Error("Error: No arguments.\n");

  WrapOptions options;
  if (options.debug) std::printf("Debug mode: on\n");
  if (options.check) std::printf("Check mode: on\n");

  // The table location and the directory of a parameter file are known
  // before any option is applied, so that the options can build on them.
  options.progdir = program_directory(args[0]);
  options.optfile = options.progdir + "opttb.dat";
  if (args.size() == 2) {
    options.indir = directory_of(args[1]);
    read_parameter_file(args[0], args[1], options);
  } else {
    set_parameters(args, options);
  }

  if (options.debug) {
    std::printf("\n");
    std::printf("Making graphene and SWNT structure.\n");
  }
  const StructureParams structure = run_structure(options);
  const LatticeParams lattice =
      compute_lattice_params(options.cn, options.cm, structure, debug_log(options));
  check_tube_lattice(structure, lattice);

  // A negative length is minus a length in Angstrom; from here on it is a
  // number of unit cells.
  if (options.lenunit < 0.0) options.lenunit = cells_of_length(-options.lenunit, lattice);

  if (options.debug) print_options(options);
  if (options.fprint != 0) print_text(structure_report(structure, lattice));
  if (options.nwrap < 0) return 0;  // reports only

  // The trajectory is written under the temporary name first: an input of
  // that name would be destroyed by the run.
  if (args.size() == 2 && same_file(args[1], temporary_name)) {
    throw Error(format_text("Error: parameter file %s is the temporary file.\n",
                               printable(args[1]).c_str()));
  }
  if (!(options.lacc > 0.0) && same_file(options.optfile, temporary_name)) {
    throw Error(format_text("Error: structure table %s is the temporary file.\n",
                               printable(options.optfile).c_str()));
  }

  return run_output_stage(options, temporary_name, structure, lattice);
}

}  // namespace

int run_wrapping(const std::vector<std::string>& args) {
  return run_program([&] { return run(args); });
}

}  // namespace swnt
