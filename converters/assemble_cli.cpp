#include "converters/assemble_cli.hpp"

#include <charconv>
#include <climits>
#include <cmath>
#include <cstdlib>
#include <map>
#include <optional>
#include <span>

#include "cli/command_line.hpp"
#include "cli/program.hpp"
#include "converters/output_options.hpp"
#include "converters/table_tubes.hpp"
#include "core/elements.hpp"
#include "core/text_format.hpp"
#include "core/topology.hpp"
#include "files/file_errors.hpp"
#include "files/output_file.hpp"
#include "formats/registry.hpp"
#include "formats/structure_table.hpp"
#include "formats/trajectory.hpp"
#include "geometry/assembly.hpp"
#include "geometry/chirality_finder.hpp"
#include "geometry/defects.hpp"

namespace swnt {

namespace {

// assemble writes the formats that hold frames with their topology, and the
// trajectory, which the other converters read.
bool writable(const Format& format) {
  return writes_frames(format) || format.name == "trajectory";
}

std::string usage() {
  return "Usage: assemble [options] output\n"
         "       assemble --find [window options]\n"
         "Walls (innermost first; each wall the tube wrapping builds on the same sheet):\n"
         "  --wall N,M                one wall of chirality (N,M); repeat for more walls\n"
         "  --walls K                 with one --wall: K walls in all, those outside it\n"
         "                            chosen by spacing and common period\n"
         "  --spacing D               the target spacing of --walls (default 3.4 Angstrom)\n"
         "  --spacing-tolerance D     how far it may miss the target (default 0.15)\n"
         "  --lattice ideal[:BOND]|rebo|tb|FILE\n"
         "                            the sheet of every wall: the ideal honeycomb of bond\n"
         "                            BOND (default ideal:1.42), a shipped structure table\n"
         "                            or a table file\n"
         "Length:\n"
         "  --cells K                 K common periods along the axis (default: the fewest\n"
         "                            longer than twice the bond cut-off)\n"
         "  --length L                an open tube L Angstrom long, walls unstrained\n"
         "  --periodic                the axis repeats with the length\n"
         "  --max-strain S            the largest axial strain of a wall, a fraction\n"
         "                            (default 0.005)\n"
         "  --max-period L            the longest common period searched (default 1000\n"
         "                            Angstrom)\n"
         "Tubes:\n"
         "  --bundle T|R,C            T tubes in whole hexagonal rings (1, 7, 19, 37 ...)\n"
         "                            or a parallelogram of R rows of C tubes\n"
         "  --gap D                   the closest distance between neighbouring tubes\n"
         "                            (default 3.2 Angstrom)\n"
         "  --rope                    periodic across the axis too: a hexagonal cell of\n"
         "                            one tube (or of R x C tubes); needs --periodic\n"
         "  --rotate W:DEG            turn wall W (from 1) about the axis, in every tube\n"
         "  --shift W:DZ              move wall W along the axis by DZ Angstrom\n"
         "  --axis x|y|z              the tube axis (default z)\n"
         "Species and defects (in every wall; the manual gives the rules):\n"
         "  --species XY              X and Y on the two sublattices (BN; bond 1.45\n"
         "                            Angstrom by default)\n"
         "  --dope ELEMENT:AMOUNT     replace a fraction (0.02) or a count (12) of the\n"
         "                            carbons, none bonded to another; repeatable\n"
         "  --dope-adjacent           dopants may be bonded to each other\n"
         "  --vacancies COUNT         remove atoms, no two within two bonds\n"
         "  --stone-wales COUNT       turn bonds by 90 degrees (5-7-7-5 defects)\n"
         "  --stone-wales-orientation axial|circumferential|any\n"
         "  --seed S                  the seed of every random choice (default 1)\n"
         "Output (as topoconv writes it):\n"
         "  --format " +
         format_names(writable, "|", "|") +
         "\n"
         "                            by default from the output's extension\n"
         "  --style full|molecular|atomic  --forcefield NAME|FILE  --terms all|none\n"
         "  --cutoff D  --trim  --hydrogenate  --ch D\n"
         "Finder:\n"
         "  --find                    list the tubes of the windows, by diameter\n"
         "  --diameter A:B            diameters from A to B Angstrom (default 0:50)\n"
         "  --angle A:B               chiral angles from A to B degrees (default 0:30)\n"
         "  --metallic, --semiconducting   only those\n"
         "  --max-atoms N             at most N atoms per unit cell\n"
         "  --csv                     comma-separated values\n"
         "  -h, --help                this text\n";
}

// The most walls of one tube: more than any tube made (and each wall makes
// the search for the common period longer).
constexpr std::size_t kMaxWalls = 50;

Error usage_error(const std::string& message) { return Error("Error: " + message + "\n" + usage()); }

// What a run asks for.
struct Request {
  // Walls.
  std::vector<std::array<int, 2>> walls;
  long long wall_total = 0;  // --walls K
  WallCriteria criteria;
  std::string lattice;  // ideal:1.42 for carbon, ideal:1.45 for a species pair
  std::vector<Species> basis;  // --species: the two sublattices
  DefectRequest defects;
  // Length.
  std::optional<long long> cells;
  std::optional<double> length;
  bool periodic = false;
  // Tubes.
  Packing packing;
  std::vector<std::pair<long long, double>> rotations;
  std::vector<std::pair<long long, double>> shifts;
  int axis = 2;
  // Output.
  std::string output;
  const Format* format = nullptr;
  FrameSettings frames;
  TopologySettings topology;
  std::optional<ForceField> forcefield;
  std::string topology_option;  // the first option that acts on the topology
  // Finder.
  bool find = false;
  std::string find_option;  // the first option that only the finder takes
  FinderWindow window;
  bool csv = false;
};

// A finite number, whole text.
bool parse_real(const std::string& text, double& value) {
  if (text.empty() || std::isspace(static_cast<unsigned char>(text[0]))) return false;
  char* end = nullptr;
  const double parsed = std::strtod(text.c_str(), &end);
  if (end != text.c_str() + text.size() || !std::isfinite(parsed)) return false;
  value = parsed;
  return true;
}

bool parse_integer(std::string_view text, long long& value) {
  const char* end = text.data() + text.size();
  const auto result = std::from_chars(text.data(), end, value);
  return result.ec == std::errc() && result.ptr == end;
}

// "A,B" (or "A:B", by `separator`) as two integers.
bool parse_pair(const std::string& text, char separator, long long& first, long long& second) {
  const std::size_t at = text.find(separator);
  if (at == std::string::npos) return false;
  return parse_integer(std::string_view(text).substr(0, at), first) &&
         parse_integer(std::string_view(text).substr(at + 1), second);
}

// "W:VALUE": a wall number from 1 and a finite number.
bool parse_wall_value(const std::string& text, std::pair<long long, double>& result) {
  const std::size_t at = text.find(':');
  if (at == std::string::npos) return false;
  return parse_integer(std::string_view(text).substr(0, at), result.first) && result.first >= 1 &&
         parse_real(text.substr(at + 1), result.second);
}

double positive(const std::string& name, const std::string& value, double largest = 1e6) {
  double parsed = 0.0;
  if (!parse_real(value, parsed) || !(parsed > 0.0) || parsed > largest) {
    throw usage_error(format_text("invalid %s <%s>: a positive number up to %g.", name.c_str(),
                                  printable(value).c_str(), largest));
  }
  return parsed;
}

long long count_of(const std::string& name, const std::string& value, long long largest) {
  long long parsed = 0;
  if (!parse_integer(value, parsed) || parsed < 1 || parsed > largest) {
    throw usage_error(format_text("invalid %s <%s>: a whole number from 1 to %lld.", name.c_str(),
                                  printable(value).c_str(), largest));
  }
  return parsed;
}

// The species of an element symbol; throws the usage error of an unknown one.
Species species_of(std::string_view symbol) {
  const Element* element = find_element(symbol);
  if (element == nullptr) {
    throw usage_error(format_text("unknown element <%s>.", printable(std::string(symbol)).c_str()));
  }
  return element_species(*element);
}

// "BN", "AlN": two element symbols, each a capital and at most one small
// letter, of two elements.
std::vector<Species> species_pair(const std::string& text) {
  std::size_t second = 1;
  while (second < text.size() && std::islower(static_cast<unsigned char>(text[second])) != 0) ++second;
  if (text.empty() || second >= text.size() || second > 2 || text.size() - second > 2) {
    throw usage_error(format_text("invalid species <%s>: two element symbols, such as BN.",
                                  printable(text).c_str()));
  }
  const Species a = species_of(std::string_view(text).substr(0, second));
  const Species b = species_of(std::string_view(text).substr(second));
  if (a.symbol == b.symbol) {
    throw usage_error(format_text("invalid species <%s>: two different elements, such as BN.",
                                  printable(text).c_str()));
  }
  return {a, b};
}

// "N:0.02" (a fraction of the carbons, from 0 to 1) or "N:12" (a count).
DopantAmount dopant(const std::string& text) {
  const std::size_t at = text.find(':');
  if (at == std::string::npos) {
    throw usage_error(format_text("invalid dopant <%s>: ELEMENT:AMOUNT, such as N:0.02 or N:12.",
                                  printable(text).c_str()));
  }
  DopantAmount amount;
  amount.species = species_of(std::string_view(text).substr(0, at));
  const std::string value = text.substr(at + 1);
  if (value.find_first_of(".eE") == std::string::npos) {
    if (!parse_integer(value, amount.count) || amount.count < 0 || amount.count > kMaxAssemblyAtoms) {
      throw usage_error(format_text("invalid dopant count <%s>: a whole number from 0 to %lld.",
                                    printable(value).c_str(), kMaxAssemblyAtoms));
    }
  } else if (!parse_real(value, amount.share) || amount.share < 0.0 || amount.share > 1.0) {
    throw usage_error(format_text("invalid dopant fraction <%s>: a number from 0 to 1.",
                                  printable(value).c_str()));
  } else {
    amount.fraction = true;
  }
  return amount;
}

// The options that take a value, and those that do not (besides those of
// the output, which topoconv takes as well).
const std::vector<std::string_view> kValued{
    "--wall",      "--walls",  "--spacing",  "--spacing-tolerance", "--lattice",
    "--cells",     "--length", "--max-strain", "--max-period",      "--bundle",
    "--gap",       "--rotate", "--shift",    "--axis",              "--format",
    "--diameter",  "--angle",  "--max-atoms", "--species",          "--dope",
    "--vacancies", "--stone-wales", "--stone-wales-orientation",    "--seed"};
const std::vector<std::string_view> kFlags{"--periodic",       "--rope", "--find", "--metallic",
                                           "--semiconducting", "--csv",  "--dope-adjacent"};

bool is_one_of(const std::vector<std::string_view>& names, std::string_view name) {
  for (const std::string_view known : names) {
    if (known == name) return true;
  }
  return false;
}

void apply_flag(const std::string& name, Request& request) {
  if (name == "--periodic") {
    request.periodic = true;
  } else if (name == "--rope") {
    request.packing.rope = true;
  } else if (name == "--find") {
    request.find = true;
  } else if (name == "--dope-adjacent") {
    request.defects.dopants_adjacent = true;
  } else {
    if (name == "--csv") {
      request.csv = true;
    } else {
      request.window.kind = name == "--metallic" ? FinderWindow::Kind::metallic
                                                 : FinderWindow::Kind::semiconducting;
    }
    if (request.find_option.empty()) request.find_option = name;
  }
}

// "A:B", two numbers from 0 up.
bool parse_range(const std::string& text, double& low, double& high) {
  const std::size_t at = text.find(':');
  return at != std::string::npos && parse_real(text.substr(0, at), low) &&
         parse_real(text.substr(at + 1), high) && low >= 0.0 && low <= high;
}

void apply_option(const std::string& name, const std::string& value, Request& request) {
  const std::string shown = printable(value);
  if (name == "--wall") {
    long long n = 0;
    long long m = 0;
    if (!parse_pair(value, ',', n, m) || n < INT_MIN || n > INT_MAX || m < INT_MIN || m > INT_MAX) {
      throw usage_error(format_text("invalid wall <%s>: N,M as two whole numbers.", shown.c_str()));
    }
    check_chirality(static_cast<int>(n), static_cast<int>(m));
    if (request.walls.size() == kMaxWalls) {
      throw usage_error(format_text("more than %zu walls.", kMaxWalls));
    }
    request.walls.push_back({static_cast<int>(n), static_cast<int>(m)});
  } else if (name == "--walls") {
    request.wall_total = count_of("wall count", value, static_cast<long long>(kMaxWalls));
  } else if (name == "--spacing") {
    request.criteria.spacing = positive("spacing", value, 50.0);
  } else if (name == "--spacing-tolerance") {
    request.criteria.tolerance = positive("spacing tolerance", value, 5.0);
  } else if (name == "--lattice") {
    request.lattice = value;
  } else if (name == "--cells") {
    request.cells = count_of("cell count", value, kMaxAssemblyAtoms);
  } else if (name == "--length") {
    request.length = positive("length", value, 1e7);
  } else if (name == "--max-strain") {
    request.criteria.max_strain = positive("largest strain", value, 0.5);
  } else if (name == "--max-period") {
    request.criteria.max_length = positive("longest period", value, 1e6);
  } else if (name == "--bundle") {
    long long rows = 0;
    long long columns = 0;
    if (parse_pair(value, ',', rows, columns)) {
      if (rows < 1 || columns < 1 || rows > 10000 || columns > 10000) {
        throw usage_error(format_text("invalid bundle <%s>: R,C from 1 to 10000 each.", shown.c_str()));
      }
      request.packing.rows = rows;
      request.packing.columns = columns;
    } else {
      long long count = 0;
      if (!parse_integer(value, count) || count < 1 || hexagonal_rings(count) < 0) {
        throw usage_error(format_text(
            "invalid bundle <%s>: a tube count of whole hexagonal rings (1, 7, 19, 37, 61 ...) "
            "or R,C rows and columns.",
            shown.c_str()));
      }
      request.packing.count = count;
      request.packing.rows = 0;
    }
  } else if (name == "--gap") {
    double gap = 0.0;
    if (!parse_real(value, gap) || gap < 0.0 || gap > 1000.0) {
      throw usage_error(format_text("invalid gap <%s>: a number of Angstrom from 0 to 1000.", shown.c_str()));
    }
    request.packing.gap = gap;
  } else if (name == "--rotate" || name == "--shift") {
    std::pair<long long, double> wall_value;
    if (!parse_wall_value(value, wall_value) || std::fabs(wall_value.second) > 1e6) {
      throw usage_error(format_text("invalid %s <%s>: W:%s, a wall from 1 and a number up to 1e6.",
                                    name.c_str() + 2, shown.c_str(),
                                    name == "--rotate" ? "DEG" : "DZ"));
    }
    (name == "--rotate" ? request.rotations : request.shifts).push_back(wall_value);
  } else if (name == "--axis") {
    if (value != "x" && value != "y" && value != "z") {
      throw usage_error(format_text("invalid axis <%s>: x, y or z.", shown.c_str()));
    }
    request.axis = value[0] - 'x';
  } else if (name == "--species") {
    request.basis = species_pair(value);
  } else if (name == "--dope") {
    request.defects.dopants.push_back(dopant(value));
  } else if (name == "--vacancies" || name == "--stone-wales") {
    long long count = 0;
    if (!parse_integer(value, count) || count < 0 || count > kMaxAssemblyAtoms) {
      throw usage_error(format_text("invalid %s count <%s>: a whole number from 0 to %lld.",
                                    name.c_str() + 2, shown.c_str(), kMaxAssemblyAtoms));
    }
    (name == "--vacancies" ? request.defects.vacancies : request.defects.stone_wales) = count;
  } else if (name == "--stone-wales-orientation") {
    if (value != "any" && value != "axial" && value != "circumferential") {
      throw usage_error(format_text("unknown orientation <%s>: axial, circumferential or any.",
                                    shown.c_str()));
    }
    request.defects.orientation = value == "any"     ? StoneWalesOrientation::any
                                  : value == "axial" ? StoneWalesOrientation::axial
                                                     : StoneWalesOrientation::circumferential;
  } else if (name == "--seed") {
    const char* end = value.data() + value.size();
    std::uint64_t seed = 0;
    const auto result = std::from_chars(value.data(), end, seed);
    if (value.empty() || result.ec != std::errc() || result.ptr != end) {
      throw usage_error(format_text("invalid seed <%s>: a whole number from 0 to 18446744073709551615.",
                                    shown.c_str()));
    }
    request.defects.seed = seed;
  } else if (name == "--format") {
    const Format* format = find_format(value);
    if (format == nullptr || !writable(*format)) {
      throw usage_error(format_text("unknown format <%s>: %s.", shown.c_str(),
                                    format_names(writable).c_str()));
    }
    request.format = format;
  } else {
    FinderWindow& window = request.window;
    if (name == "--diameter" && !parse_range(value, window.min_diameter, window.max_diameter)) {
      throw usage_error(format_text("invalid diameters <%s>: A:B, from A to B Angstrom.", shown.c_str()));
    }
    if (name == "--angle" && !parse_range(value, window.min_angle, window.max_angle)) {
      throw usage_error(format_text("invalid angles <%s>: A:B, from A to B degrees.", shown.c_str()));
    }
    if (name == "--max-atoms") window.max_atoms = count_of("atom count", value, LLONG_MAX);
    if (request.find_option.empty()) request.find_option = name;
  }
}

// Fills `request`; false when the usage was asked for (and printed).
bool parse_arguments(const std::vector<std::string>& args, Request& request) {
  std::vector<std::string> files;
  OutputOptions output{request.frames, request.topology, request.forcefield};
  const CommandLineRules rules{
      [](std::string_view name) {
        return is_one_of(kFlags, name)    ? OptionKind::flag
               : is_one_of(kValued, name) ? OptionKind::valued
                                          : output_option_kind(name);
      },
      [&](const std::string& name, const std::string& value) {
        if (output_option_kind(name) != OptionKind::unknown) {
          apply_output_option(name, value, output, usage_error);
          // The trajectory holds no topology for these to act on.
          if (request.topology_option.empty() &&
              (name == "--trim" || name == "--hydrogenate" || name == "--forcefield")) {
            request.topology_option = name;
          }
        } else if (is_one_of(kFlags, name)) {
          apply_flag(name, request);
        } else {
          apply_option(name, value, request);
        }
      },
      usage_error};
  if (!walk_command_line(args, rules, files)) {
    print_text(usage());
    return false;
  }
  finish_output_options(output, usage_error);
  if (request.lattice.empty()) request.lattice = request.basis.empty() ? "ideal:1.42" : "ideal:1.45";
  if (!request.basis.empty() && (request.lattice == "rebo" || request.lattice == "tb")) {
    throw usage_error("the shipped structure tables are tables of carbon: --species takes the ideal "
                      "lattice (--lattice ideal:BOND) or a table file.");
  }
  if (request.find) {
    if (!files.empty() || !request.walls.empty()) {
      throw usage_error("--find lists tubes: it takes no wall and no output.");
    }
    return true;
  }
  if (!request.find_option.empty()) {
    throw usage_error(format_text("option %s belongs to --find.", request.find_option.c_str()));
  }
  if (files.size() != 1) throw usage_error("one output file is required.");
  request.output = files[0];
  if (request.walls.empty()) throw usage_error("no wall: give --wall N,M.");
  if (request.wall_total > 0 && request.walls.size() != 1) {
    throw usage_error("--walls K adds walls outside a single --wall.");
  }
  if (request.cells && request.length) throw usage_error("give --cells or --length, not both.");
  if (request.length && request.periodic) {
    throw usage_error(
        "--length makes an open tube; a periodic one repeats the common period: give --cells.");
  }
  if (request.packing.rope && !request.periodic) {
    throw usage_error("--rope repeats the tubes across the axis, which needs --periodic along it.");
  }
  if (request.packing.rope && request.packing.rows == 0 && request.packing.count != 1) {
    throw usage_error("--rope holds one tube per cell: give --bundle R,C for a cell of several.");
  }
  if (request.format == nullptr) {
    request.format = format_of_file(request.output, writable);
    if (request.format == nullptr) {
      throw usage_error(format_text("the format of <%s> is not known from its name: give --format %s.",
                                    printable(request.output).c_str(),
                                    format_names(writable).c_str()));
    }
  }
  if (!writes_frames(*request.format)) {
    if (!request.topology_option.empty()) {
      throw usage_error(format_text("option %s acts on the topology, which a trajectory does not hold.",
                                    request.topology_option.c_str()));
    }
    if (request.packing.rope) {
      throw usage_error("a trajectory holds a box, not the hexagonal cell of a rope: write the "
                        "rope in a format with a cell (lammps, extxyz, pdb, gromacs, psf).");
    }
  }
  if (request.packing.rope && request.packing.rows == 0) request.packing.rows = request.packing.columns = 1;
  if (!writes_frames(*request.format) && (!request.basis.empty() || !request.defects.dopants.empty())) {
    throw usage_error("a trajectory holds carbon atoms only: write other species in a format with "
                      "species (lammps, extxyz, pdb, gromacs, psf).");
  }
  return true;
}

// The sheets of the run's lattice.  A table is read once per chirality asked.
class Sheets {
 public:
  Sheets(const std::string& lattice, const std::string& program) {
    if (lattice == "ideal" || lattice.rfind("ideal:", 0) == 0) {
      double bond = 1.42;
      if (lattice != "ideal" && (!parse_real(lattice.substr(6), bond) || !(bond > 0.0) || bond > 100.0)) {
        throw usage_error(format_text("invalid lattice <%s>: ideal:BOND with a bond length above 0 "
                                      "and up to 100 Angstrom.",
                                      printable(lattice).c_str()));
      }
      ideal_ = cylindrical_structure(bond);
      return;
    }
    table_ = lattice == "rebo" ? program_directory(program) + "optbre.dat"
             : lattice == "tb" ? program_directory(program) + "opttb.dat"
                               : lattice;
  }

  bool table() const { return !ideal_; }
  double bond() const { return ideal_ ? ideal_->vab.x : 0.0; }
  const std::string& table_path() const { return table_; }

  // The sheet of (n, m); a table without it throws its Error when `needed`,
  // and gives nothing otherwise.
  std::optional<StructureParams> operator()(int n, int m, bool needed) {
    if (ideal_) return ideal_;
    const auto key = std::make_pair(n, m);
    const auto found = read_.find(key);
    if (found != read_.end() && (found->second || !needed)) return found->second;
    std::optional<StructureParams> sheet;
    try {
      const StructureTableEntry entry = read_structure_table(table_, n, m);
      sheet = table_structure(entry.va1, entry.va2, entry.vab);
    } catch (const FileError&) {
      throw;
    } catch (const Error&) {
      if (needed) throw;
    }
    read_[key] = sheet;
    return sheet;
  }

 private:
  std::optional<StructureParams> ideal_;
  std::string table_;
  std::map<std::pair<int, int>, std::optional<StructureParams>> read_;
};

std::string chirality(const WallLattice& wall) { return format_text("(%d,%d)", wall.n, wall.m); }

std::string chirality_list(const std::vector<WallLattice>& walls, const char* separator) {
  std::string text;
  for (const WallLattice& wall : walls) text += (text.empty() ? "" : separator) + chirality(wall);
  return text;
}

std::string repeats_text(const PeriodFit& fit) {
  std::string text;
  for (const long long k : fit.repeats) text += (text.empty() ? "" : ", ") + format_text("%lld", k);
  return text;
}

// The walls outside the first, chosen one at a time, with the runners-up.
std::vector<WallLattice> choose_walls(const Request& request, Sheets& sheets,
                                      std::vector<WallLattice> walls) {
  const SheetSource source = [&](int n, int m) { return sheets(n, m, false); };
  print_text(format_text("Walls chosen outside %s (spacing %.3f +- %.3f Angstrom):\n",
                         chirality(walls.front()).c_str(), request.criteria.spacing,
                         request.criteria.tolerance));
  while (static_cast<long long>(walls.size()) < request.wall_total) {
    const std::vector<WallCandidate> candidates =
        next_wall_candidates(walls, request.criteria, source);
    if (candidates.empty()) {
      throw Error(format_text(
          "Error: no wall fits outside %s: none lies %.3f +- %.3f Angstrom out with a common "
          "period up to %g Angstrom and strains up to %g.\n",
          chirality(walls.back()).c_str(), request.criteria.spacing, request.criteria.tolerance,
          request.criteria.max_length, request.criteria.max_strain));
    }
    for (std::size_t k = 0; k < candidates.size() && k < 4; ++k) {
      const WallCandidate& c = candidates[k];
      print_text(format_text("  %s %-10s spacing %.4f  common period %.4f  largest strain %.4f %%\n",
                             k == 0 ? "wall" : "    ",
                             (k == 0 ? chirality(c.wall) : "or " + chirality(c.wall)).c_str(),
                             c.spacing, c.fit.length, c.fit.worst * 100.0));
    }
    walls.push_back(candidates.front().wall);
  }
  return walls;
}

// The common period of the walls, or the Error that lists the nearest.
PeriodFit common_period(const Request& request, const std::vector<WallLattice>& walls) {
  std::vector<double> periods;
  std::vector<long long> atoms;
  for (const WallLattice& wall : walls) {
    periods.push_back(wall.lattice.lencell);
    atoms.push_back(wall.lattice.natom);
  }
  PeriodSearch search = find_common_period(periods, atoms, request.criteria.max_strain,
                                           request.criteria.max_length);
  if (search.fit) return *search.fit;
  std::string message = format_text(
      "Error: the walls %s repeat together over no length up to %g Angstrom with axial strains "
      "up to %g%s.\n",
      chirality_list(walls, ", ").c_str(), request.criteria.max_length, request.criteria.max_strain,
      search.atom_limit ? format_text(" and at most %lld atoms", kMaxAssemblyAtoms).c_str() : "");
  if (!search.nearest.empty()) message += "The nearest (--max-strain or --max-period may allow one):\n";
  for (const PeriodFit& fit : search.nearest) {
    message += format_text("  %.4f Angstrom, repeats %s, largest strain %.4f %%\n", fit.length,
                           repeats_text(fit).c_str(), fit.worst * 100.0);
  }
  throw Error(message);
}

// The report printed on every run.
std::string report(const AssemblyPlan& plan, const std::vector<long long>& counts,
                   const PackingLayout& layout, std::size_t atoms) {
  std::string text = "Walls (innermost first):\n"
                     " wall  chirality    radius[AA] spacing[AA]  period T[AA]  repeats  "
                     "strain[%]   atoms\n";
  for (std::size_t i = 0; i < plan.walls.size(); ++i) {
    const WallLattice& wall = plan.walls[i];
    const double radius = wall.lattice.diameter * 0.5;
    const std::string spacing =
        i == 0 ? std::string("-")
               : format_text("%.4f", radius - plan.walls[i - 1].lattice.diameter * 0.5);
    const std::string repeats = plan.fit ? format_text("%lld", plan.fit->repeats[i]) : "-";
    const double strain = plan.fit ? plan.fit->strains[i] * 100.0 : 0.0;
    text += format_text("%5zu  %-11s %11.4f %11s %13.4f %8s %+10.4f %7lld\n", i + 1,
                        chirality(wall).c_str(), radius, spacing.c_str(), wall.lattice.lencell,
                        repeats.c_str(), strain, counts[i]);
  }
  const char axis = "xyz"[plan.axis];
  if (plan.fit) {
    text += format_text("Common period %.6f Angstrom, %lld along %c: length %.6f Angstrom, %s\n",
                        plan.fit->length, plan.cells, axis,
                        static_cast<double>(plan.cells) * plan.fit->length,
                        plan.periodic ? "periodic" : "open");
  } else {
    text += format_text("Length %.6f Angstrom along %c, open, walls unstrained\n", plan.length, axis);
  }
  const std::size_t tubes = layout.centres.size();
  if (plan.packing.rope) {
    text += format_text(
        "Rope: a hexagonal cell of %lld x %lld tubes, lattice constant %.4f Angstrom (gap %.4f), "
        "periodic across the axis\n",
        plan.packing.rows, plan.packing.columns, layout.lattice_constant, plan.packing.gap);
  } else if (tubes > 1) {
    text += format_text("Bundle: %zu tubes, lattice constant %.4f Angstrom (gap %.4f)\n", tubes,
                        layout.lattice_constant, plan.packing.gap);
  }
  const std::size_t molecules = tubes * plan.walls.size();
  text += format_text("Atoms: %zu in %zu molecule%s (one per wall)\n", atoms, molecules,
                      molecules == 1 ? "" : "s");
  return text;
}

// The atoms the defects changed, and the seed that chose them.
std::string defect_report(const DefectReport& changed, const Request& request) {
  const DefectRequest& asked = request.defects;
  if (asked.stone_wales == 0 && asked.vacancies == 0 && asked.dopants.empty()) return "";
  std::string text;
  const auto list = [&](const std::string& title, const std::vector<std::uint32_t>& atoms) {
    text += format_text("%s (%zu):", title.c_str(), atoms.size());
    for (const std::uint32_t atom : atoms) text += format_text(" %u", atom);
    text += '\n';
  };
  if (asked.stone_wales > 0) {
    text += format_text("Stone-Wales defects, the turned bonds as written (%zu):", changed.stone_wales.size());
    for (const auto& [a, b] : changed.stone_wales) text += format_text(" %u-%u", a, b);
    text += '\n';
  }
  if (asked.vacancies > 0) list("Vacancies, atoms of the structure without defects", changed.vacancies);
  for (std::size_t d = 0; d < changed.dopants.size(); ++d) {
    list("Dopants " + asked.dopants[d].species.symbol + ", atoms as written", changed.dopants[d]);
  }
  text += format_text("Seed %llu (SplitMix64)\n", static_cast<unsigned long long>(asked.seed));
  return text;
}

// What the assembly is called in the titles of its files: its walls.
std::string assembly_name(const AssemblyPlan& plan, std::size_t tubes) {
  std::string name = chirality_list(plan.walls, "@");
  if (tubes > 1) name += format_text(" x %zu tubes", tubes);
  return name;
}

// The trajectory of the assembly: its box the cell's lengths.
void write_trajectory(const Frame& frame, const std::string& output) {
  OutputFile out;
  if (!out.open(output)) throw write_error(output);
  TrajectoryHeader header;
  header.nmol = static_cast<long long>(frame.atom_count());
  header.ndat = 1;
  header.boxx = frame.cell.length(0);
  header.boxy = frame.cell.length(1);
  header.boxz = frame.cell.length(2);
  std::string& text = out.buffer();
  append_trajectory_header(text, header, TrajectoryLayout::built);
  for (const Position3& position : frame.positions) {
    append_trajectory_atom(text, position, TrajectoryLayout::built);
    out.flush_if_full();
  }
  if (!out.commit()) throw write_error(output);
}

// The assembly with its topology, in the request's format.
void write_topology(Frame& frame, const Request& request, const std::string& name) {
  TopologySettings settings = request.topology;
  settings.periodic = frame.cell.periodic;
  // Stone-Wales defects make bonds of their own length, through the
  // boundary too.
  settings.regular = request.defects.stone_wales == 0;
  // The tubes of a rope touch their images across the axis, unbonded.
  if (request.packing.rope) {
    for (int a = 0; a < 3; ++a) settings.unbonded[a] = a != request.axis;
  }
  const std::string period = cell_period_error(frame.cell, settings);
  if (!period.empty()) throw Error("Error: " + period + ".\n");
  const std::vector<std::string> names = output_file_names(request.output, *request.format);
  TopologyBuilder builder;
  Topology topology;
  builder.build(frame, settings, topology, kPrint);
  FrameSettings frames = request.frames;
  frames.periodic = settings.periodic;
  frames.molecules = true;
  const std::unique_ptr<FrameWriter> writer = request.format->frame_writer(frames);
  std::vector<OutputFile> files(names.size());
  for (std::size_t k = 0; k < files.size(); ++k) {
    if (!files[k].open(names[k])) throw write_error(names[k]);
  }
  FrameSource source{name, 1, 1, false, "assemble"};
  writer->begin(files.front());
  writer->write_frame(topology, source, files.front());
  if (files.size() > 1) {
    writer->write_companions(topology, source, std::span<OutputFile>(files).subspan(1));
  }
  writer->end(topology, files.front());
  if (const OutputFile* failed = commit_together(files)) throw write_error(failed->path());
}

int assemble(const std::vector<std::string>& args, Request& request) {
  Sheets sheets(request.lattice, args.front());
  std::vector<WallLattice> walls;
  for (const std::array<int, 2>& wall : request.walls) {
    const std::optional<StructureParams> sheet = sheets(wall[0], wall[1], true);
    WallLattice lattice{wall[0], wall[1], *sheet, compute_lattice_params(wall[0], wall[1], *sheet)};
    check_tube_lattice(lattice.structure, lattice.lattice);
    walls.push_back(lattice);
  }
  if (request.wall_total > 1) walls = choose_walls(request, sheets, walls);
  for (std::size_t i = 1; i < walls.size(); ++i) {
    const double spacing = (walls[i].lattice.diameter - walls[i - 1].lattice.diameter) * 0.5;
    if (!(spacing >= kMinWallSpacing)) {
      throw Error(format_text(
          "Error: the walls %s and %s overlap: their spacing is %.4f Angstrom, less than %g "
          "(walls are given innermost first).\n",
          chirality(walls[i - 1]).c_str(), chirality(walls[i]).c_str(), spacing, kMinWallSpacing));
    }
  }

  AssemblyPlan plan;
  plan.walls = walls;
  plan.axis = request.axis;
  plan.periodic = request.periodic;
  plan.packing = request.packing;
  plan.rotations.assign(walls.size(), 0.0);
  plan.shifts.assign(walls.size(), 0.0);
  for (const auto& [list, values] : {std::pair{&request.rotations, &plan.rotations},
                                     std::pair{&request.shifts, &plan.shifts}}) {
    for (const auto& [wall, value] : *list) {
      if (wall > static_cast<long long>(walls.size())) {
        throw usage_error(format_text("there is no wall %lld: the tube has %zu.", wall, walls.size()));
      }
      (*values)[static_cast<std::size_t>(wall - 1)] = value;
    }
  }
  if (request.length) {
    plan.length = *request.length;
  } else {
    plan.fit = common_period(request, walls);
    // By default the fewest periods longer than twice the bond cut-off, so
    // that a periodic tube never meets its own image.
    const double shortest = 2.0 * request.topology.cutoff;
    plan.cells = request.cells.value_or(
        static_cast<long long>(std::floor(shortest / plan.fit->length)) + 1);
    const double length = static_cast<double>(plan.cells) * plan.fit->length;
    if (plan.periodic && !(length > shortest)) {
      throw Error(format_text(
          "Error: %lld common periods make a periodic length of %.6f Angstrom, not longer than "
          "twice the bond cut-off (%g Angstrom): give --cells %lld or more.\n",
          plan.cells, length, shortest,
          static_cast<long long>(std::floor(shortest / plan.fit->length)) + 1));
    }
  }
  plan.basis = request.basis;
  Frame frame = build_assembly(plan);
  const std::vector<long long> counts = wall_atom_counts(plan);
  const PackingLayout layout = pack_tubes(plan.packing, walls.back().lattice.diameter * 0.5);
  // Each molecule's tube axis, for the surface normals of the defects.
  std::vector<std::array<double, 2>> centres;
  for (const std::array<double, 2>& centre : layout.centres) centres.insert(centres.end(), walls.size(), centre);
  DefectRequest defects = request.defects;
  defects.cutoff = request.topology.cutoff;
  const DefectReport changed = make_defects(frame, defects, centres, plan.axis);
  print_text(report(plan, counts, layout, frame.atom_count()) + defect_report(changed, request));
  if (writes_frames(*request.format)) {
    write_topology(frame, request, assembly_name(plan, layout.centres.size()));
  } else {
    write_trajectory(frame, request.output);
  }
  return 0;
}

// The tubes of the windows: on the ideal sheet, or those a table holds.
int find(const std::vector<std::string>& args, const Request& request) {
  const Sheets sheets(request.lattice, args.front());
  std::vector<FoundTube> tubes;
  if (sheets.table()) {
    const StructureTable table = read_structure_table_file(sheets.table_path());
    tubes = tubes_of_table(table.tubes, table.graphene_energy, request.window);
  } else {
    tubes = find_tubes(request.window, sheets.bond());
  }
  print_text(finder_listing(tubes, request.csv));
  return 0;
}

}  // namespace

int run_assemble(const std::vector<std::string>& args) {
  return run_program([&] {
    Request request;
    if (!parse_arguments(args, request)) return 0;
    return request.find ? find(args, request) : assemble(args, request);
  });
}

}  // namespace swnt
