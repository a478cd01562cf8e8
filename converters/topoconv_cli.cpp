#include "converters/topoconv_cli.hpp"

#include <algorithm>
#include <cctype>
#include <charconv>
#include <climits>
#include <cmath>
#include <cstdio>
#include <cstdlib>

#include "files/file_identity.hpp"
#include "cli/program.hpp"
#include "files/file_errors.hpp"
#include "files/output_file.hpp"
#include "core/text_format.hpp"
#include "formats/scene_files.hpp"
#include "core/topology.hpp"
#include "formats/topology_writers.hpp"
#include "formats/trajectory.hpp"

namespace swnt {

namespace {

constexpr const char* kUsage =
    "Usage: topoconv [options] trajectory output\n"
    "  --format lammps|extxyz|pdb     the output format; by default from the output's\n"
    "                                 extension: .data or .lmp, .extxyz or .xyz, .pdb\n"
    "  --periodic AXES                the axes that repeat with the box length: x, y, z,\n"
    "                                 several (\"xz\"), or none (the default)\n"
    "  --style full|molecular|atomic  the LAMMPS atom style (default full)\n"
    "  --scene N|last|all             the scene written, counted from 1 (default last),\n"
    "                                 or all of them\n"
    "  --cutoff D                     the bond cut-off in Angstrom (default 1.8)\n"
    "  --trim                         remove the atoms with fewer than two bonds, again\n"
    "                                 until none is left (the loose atoms of open ends)\n"
    "  --hydrogenate                  --trim, then one hydrogen on every carbon with two\n"
    "                                 bonds\n"
    "  --ch D                         the C-H distance in Angstrom (default 1.09)\n"
    "  -h, --help                     this text\n";

enum class Format { unknown, lammps, extxyz, pdb };
enum class Scenes { one, last, all };

struct Request {
  std::string input;
  std::string output;
  Format format = Format::unknown;
  LammpsStyle style = LammpsStyle::full;
  TopologySettings topology;
  Scenes scenes = Scenes::last;
  long long scene = 0;  // with Scenes::one
};

Format format_of_extension(std::string extension) {
  for (char& c : extension) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  if (extension == ".data" || extension == ".lmp") return Format::lammps;
  if (extension == ".extxyz" || extension == ".xyz") return Format::extxyz;
  if (extension == ".pdb") return Format::pdb;
  return Format::unknown;
}

// tube.data gives tube001.data, tube002.data, ...; a name without an
// extension gets ".data".
std::string lammps_scene_name(const std::string& output, long long scene) {
  std::string name = scene_file_name(output, scene);
  name.resize(name.size() - std::string(".xyz").size());
  const std::string extension = extension_of(output);
  return name + (extension.empty() ? ".data" : extension);
}

bool parse_axes(const std::string& text, PeriodicAxes& axes) {
  axes = {false, false, false};
  if (text == "none") return true;
  if (text.empty()) return false;
  for (const char c : text) {
    const int a = c == 'x' ? 0 : c == 'y' ? 1 : c == 'z' ? 2 : -1;
    if (a < 0 || axes[a]) return false;
    axes[a] = true;
  }
  return true;
}

bool parse_scene(const std::string& text, Request& request) {
  if (text == "last" || text == "all") {
    request.scenes = text == "last" ? Scenes::last : Scenes::all;
    return true;
  }
  long long value = 0;
  const char* end = text.data() + text.size();
  const auto result = std::from_chars(text.data(), end, value);
  if (result.ec != std::errc() || result.ptr != end || value < 1 || value > INT_MAX) return false;
  request.scenes = Scenes::one;
  request.scene = value;
  return true;
}

// A positive finite length in Angstrom.
bool parse_length(const std::string& text, double& length) {
  if (text.empty() || std::isspace(static_cast<unsigned char>(text[0]))) return false;
  char* end = nullptr;
  const double value = std::strtod(text.c_str(), &end);
  if (end != text.c_str() + text.size() || !std::isfinite(value) || !(value > 0.0)) return false;
  length = value;
  return true;
}

// Fills `request` from the arguments.  Returns 0 to go on, 1 after an error
// message with the usage, 2 when the usage was asked for.
int parse_arguments(const std::vector<std::string>& args, Request& request) {
  const auto usage_error = [](const std::string& message) {
    std::printf("Error: %s\n%s", message.c_str(), kUsage);
    return 1;
  };
  std::vector<std::string> files;
  bool options_end = false;
  bool distance_given = false;
  for (std::size_t k = 1; k < args.size(); ++k) {
    const std::string& arg = args[k];
    if (options_end || arg.size() < 2 || arg[0] != '-') {
      files.push_back(arg);
      continue;
    }
    if (arg == "--") {
      options_end = true;
      continue;
    }
    if (arg == "-h" || arg == "--help") {
      std::fputs(kUsage, stdout);
      return 2;
    }
    // --name VALUE or --name=VALUE.
    const std::size_t equals = arg.find('=');
    const std::string name = arg.substr(0, equals);
    if (name == "--trim" || name == "--hydrogenate") {
      if (equals != std::string::npos) {
        return usage_error(format_text("option %s takes no value.", name.c_str()));
      }
      (name == "--trim" ? request.topology.trim : request.topology.hydrogenate) = true;
      continue;
    }
    if (name != "--format" && name != "--periodic" && name != "--style" && name != "--scene" &&
        name != "--cutoff" && name != "--ch") {
      return usage_error(format_text("unknown option <%s>.", printable(arg).c_str()));
    }
    std::string value;
    if (equals != std::string::npos) {
      value = arg.substr(equals + 1);
    } else if (k + 1 < args.size()) {
      value = args[++k];
    } else {
      return usage_error(format_text("option %s needs a value.", name.c_str()));
    }
    const std::string shown = printable(value);
    if (name == "--format") {
      request.format = value == "lammps"   ? Format::lammps
                       : value == "extxyz" ? Format::extxyz
                       : value == "pdb"    ? Format::pdb
                                           : Format::unknown;
      if (request.format == Format::unknown) {
        return usage_error(
            format_text("unknown format <%s>: lammps, extxyz or pdb.", shown.c_str()));
      }
    } else if (name == "--style") {
      if (value == "full") {
        request.style = LammpsStyle::full;
      } else if (value == "molecular") {
        request.style = LammpsStyle::molecular;
      } else if (value == "atomic") {
        request.style = LammpsStyle::atomic;
      } else {
        return usage_error(
            format_text("unknown style <%s>: full, molecular or atomic.", shown.c_str()));
      }
    } else if (name == "--periodic") {
      if (!parse_axes(value, request.topology.periodic)) {
        return usage_error(format_text(
            "unknown periodic axes <%s>: one or more of x, y, z, or none.", shown.c_str()));
      }
    } else if (name == "--scene") {
      if (!parse_scene(value, request)) {
        return usage_error(format_text(
            "invalid scene <%s>: a number from 1 to 2147483647, last or all.", shown.c_str()));
      }
    } else if (name == "--ch") {
      if (!parse_length(value, request.topology.hydrogen_distance)) {
        return usage_error(format_text(
            "invalid C-H distance <%s>: a positive finite number of Angstrom.", shown.c_str()));
      }
      distance_given = true;
    } else if (!parse_length(value, request.topology.cutoff)) {
      return usage_error(format_text("invalid cut-off <%s>: a positive finite number of Angstrom.",
                                     shown.c_str()));
    }
  }
  if (distance_given && !request.topology.hydrogenate) {
    return usage_error("option --ch sets the C-H distance of --hydrogenate, which is not given.");
  }
  if (files.size() != 2) return usage_error("a trajectory and an output file are required.");
  request.input = files[0];
  request.output = files[1];
  if (request.format == Format::unknown) {
    request.format = format_of_extension(extension_of(request.output));
    if (request.format == Format::unknown) {
      return usage_error(format_text(
          "the format of <%s> is not known from its name: give --format lammps, extxyz or pdb.",
          printable(request.output).c_str()));
    }
  }
  return 0;
}

int convert(const Request& request) {
  const std::string shown_input = printable(request.input);
  TrajectoryReader reader(request.input);
  const TrajectoryHeader& header = reader.header();
  const std::array<double, 3> lengths{header.boxx, header.boxy, header.boxz};
  const std::string period = period_error(lengths, request.topology);
  if (!period.empty()) {
    std::printf("Error: %s.\n", period.c_str());
    return 1;
  }
  if (header.ndat == 0) {
    std::printf("Error: the trajectory %s holds no scene.\n", shown_input.c_str());
    return 1;
  }
  if (request.scenes == Scenes::one && request.scene > header.ndat) {
    std::printf("Error: there is no scene %lld: the trajectory %s holds %lld.\n", request.scene,
                shown_input.c_str(), header.ndat);
    return 1;
  }
  const long long first = request.scenes == Scenes::one    ? request.scene
                          : request.scenes == Scenes::last ? header.ndat
                                                           : 1;
  const long long last = request.scenes == Scenes::all ? header.ndat : first;
  const bool file_per_scene = request.scenes == Scenes::all && request.format == Format::lammps;
  // As many files or frames as scenes: no one means more than a million.
  if (request.scenes == Scenes::all && header.ndat > kMaxSceneFiles) {
    std::printf(
        "Error: the trajectory %s holds %lld scenes, more than the %lld that topoconv "
        "writes with --scene all.\n",
        shown_input.c_str(), header.ndat, kMaxSceneFiles);
    return 1;
  }
  const auto output_name = [&](long long scene) {
    return file_per_scene ? lammps_scene_name(request.output, scene) : request.output;
  };
  // No output may replace the trajectory it is made from.
  for (long long scene = first; scene <= (file_per_scene ? last : first); ++scene) {
    const std::string name = output_name(scene);
    if (overwrites_input(name, request.input)) throw input_overwrite_error(name, request.input);
  }

  OutputFile out;
  const auto open = [&](const std::string& name) {
    if (!out.open(name)) throw write_error(name);
    return true;
  };
  const auto commit = [&]() {
    if (!out.commit()) throw write_error(out.path());
    return true;
  };
  if (!file_per_scene && !open(request.output)) return 1;
  if (request.format == Format::pdb) write_pdb_remark(request.topology.periodic, out);

  std::vector<Position3> positions;
  TopologyBuilder builder;
  Topology topology;
  std::size_t first_count = 0;  // atoms written of the first scene
  for (long long scene = 1; scene <= last; ++scene) {
    // The storage grows with the atoms actually read, so a header announcing
    // more atoms than the file holds cannot claim memory it never fills.
    if (scene < first) {
      reader.skip_scene();
      continue;
    }
    reader.read_scene(positions);

    const std::string where =
        request.scenes == Scenes::all ? format_text("scene %lld: ", scene) : std::string();
    const TopologyFindings findings = builder.build(positions, lengths, request.topology, topology);
    for (const std::string& warning : findings.warnings) {
      std::printf("Warning: %s%s.\n", where.c_str(), warning.c_str());
    }
    if (!findings.error.empty()) {
      std::printf("Error: %s%s.\n", where.c_str(), findings.error.c_str());
      return 1;
    }

    if (request.format == Format::lammps) {
      const std::string name = output_name(scene);
      if (file_per_scene && !open(name)) return 1;
      const std::string title = format_text(
          "LAMMPS data file written by topoconv from %s, scene %lld of %lld, periodic axes: %s",
          shown_input.c_str(), scene, header.ndat, axes_text(request.topology.periodic).c_str());
      write_lammps_data(topology, request.style, title, out);
      if (file_per_scene && !commit()) return 1;
    } else if (request.format == Format::extxyz) {
      write_extxyz_frame(topology, out);
    } else {
      // The models of one file hold the same atoms.
      if (scene == first) first_count = topology.atom_count();
      if (topology.atom_count() != first_count) {
        std::printf(
            "Error: scene %lld keeps %zu atoms where scene %lld keeps %zu: the models of "
            "a PDB file must hold the same atoms.\n",
            scene, topology.atom_count(), first, first_count);
        return 1;
      }
      std::string error;
      if (!write_pdb_model(topology, request.scenes == Scenes::all ? scene : 0, out, error)) {
        std::printf("Error: %s%s.\n", where.c_str(), error.c_str());
        return 1;
      }
    }
  }
  // PDB holds one set of bonds: those of the last scene written.
  if (request.format == Format::pdb) write_pdb_bonds(topology, out);
  return file_per_scene || commit() ? 0 : 1;
}

}  // namespace

int run_topoconv(const std::vector<std::string>& args) {
  Request request;
  const int parsed = parse_arguments(args, request);
  if (parsed != 0) return parsed == 2 ? 0 : 1;
  return run_program([&] { return convert(request); });
}

}  // namespace swnt
