#include "converters/topoconv_cli.hpp"

#include <algorithm>
#include <cctype>
#include <charconv>
#include <climits>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <optional>
#include <span>

#include "cli/command_line.hpp"
#include "cli/program.hpp"
#include "converters/output_options.hpp"
#include "core/text_format.hpp"
#include "core/topology.hpp"
#include "files/file_errors.hpp"
#include "files/file_identity.hpp"
#include "files/output_file.hpp"
#include "formats/registry.hpp"
#include "formats/scene_files.hpp"
#include "formats/trajectory.hpp"
#include "formats/xyz_reader.hpp"

namespace swnt {

namespace {

// The option column of the usage text is this wide.
constexpr std::size_t kOptionColumn = 33;

// Text in the description column, lines broken after a comma so that
// none passes column 80.
std::string wrapped(const std::string& text) {
  constexpr std::size_t kWidth = 80 - kOptionColumn;
  std::string lines;
  std::size_t start = 0;
  while (text.size() - start > kWidth) {
    const std::size_t comma = text.rfind(", ", start + kWidth - 1);
    if (comma == std::string::npos || comma < start) break;
    lines += std::string(kOptionColumn, ' ') + text.substr(start, comma + 1 - start) + '\n';
    start = comma + 2;
  }
  return lines + std::string(kOptionColumn, ' ') + text.substr(start) + '\n';
}

std::string usage() {
  std::string format_option = "  --format " + format_names(writes_frames, "|", "|");
  // Its text in the column, or on a line of its own when the names fill it.
  if (format_option.size() >= kOptionColumn) format_option += '\n';
  format_option.resize(format_option.back() == '\n' ? format_option.size() + kOptionColumn
                                                     : kOptionColumn,
                       ' ');
  return "Usage: topoconv [options] trajectory output\n" + format_option +
         "the output format; by default from the output's\n" +
         wrapped("extension: " + format_extensions(writes_frames)) +
         "  --input-format trajectory|extxyz|xyz\n"
         "                                 the input format; by default from the input's\n"
         "                                 extension: .extxyz or .xyz extended or plain XYZ\n"
         "                                 (xyz: plain, every comment line free text),\n"
         "                                 anything else a trajectory\n"
         "  --periodic AXES                the axes that repeat with the box length: x, y, z,\n"
         "                                 several (\"xz\"), or none (the default; with XYZ\n"
         "                                 input the file's pbc flags)\n"
         "  --style full|molecular|atomic  the LAMMPS atom style (default full)\n"
         "  --scene N|last|all             the scene written, counted from 1 (default last),\n"
         "                                 or all of them\n"
         "  --cutoff D                     the bond cut-off in Angstrom (default 1.8)\n"
         "  --trim                         remove the atoms with fewer than two bonds, again\n"
         "                                 until none is left (the loose atoms of open ends)\n"
         "  --hydrogenate                  --trim, then one hydrogen on every carbon with two\n"
         "                                 bonds\n"
         "  --ch D                         the C-H distance in Angstrom (default 1.09)\n"
         "  --forcefield NAME|FILE         write the parameters of a force field: default\n"
         "                                 (opls-aa), opls-aa, or a parameter file\n"
         "  --terms all|none               none: keep the molecules, write no bonds, angles,\n"
         "                                 dihedrals or impropers (for many-body potentials)\n"
         "  -h, --help                     this text\n";
}

enum class Scenes { one, last, all };

// How the input is read: as a trajectory, as XYZ (extended where a comment
// line gives a Lattice or Properties, plain otherwise), or as plain XYZ
// whatever its comment lines hold.
enum class InputFormat { trajectory, xyz, plain_xyz };

struct Request {
  std::string input;
  std::string output;
  const Format* format = nullptr;
  FrameSettings frames;
  TopologySettings topology;
  Scenes scenes = Scenes::last;
  long long scene = 0;  // with Scenes::one
  std::optional<ForceField> forcefield;  // what frames.forcefield points to
  std::optional<InputFormat> input_format;  // from --input-format or the input's extension
  bool periodic_given = false;  // --periodic, which XYZ's pbc flags give way to
  bool distance_given = false;  // --ch
};

// The per-scene files of a format that holds one scene: tube.data gives
// tube001.data, tube002.data, ...; a name without an extension gets the
// format's first.
std::string scene_output_name(const std::string& output, long long scene, const Format& format) {
  std::string name = scene_file_name(output, scene);
  name.resize(name.size() - std::string(".xyz").size());
  const std::string extension = extension_of(output);
  return name + (extension.empty() ? std::string(format.extensions.front()) : extension);
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

// A mistake on the command line: its message, then the usage.
Error usage_error(const std::string& message) { return Error("Error: " + message + "\n" + usage()); }

// Applies the option `name` with its value.
void apply_option(const std::string& name, const std::string& value, Request& request) {
  const std::string shown = printable(value);
  if (name == "--format") {
    const Format* format = find_format(value);
    if (format == nullptr || !writes_frames(*format)) {
      throw usage_error(format_text("unknown format <%s>: %s.", shown.c_str(),
                                    format_names(writes_frames).c_str()));
    }
    request.format = format;
  } else if (name == "--periodic") {
    if (!parse_axes(value, request.topology.periodic)) {
      throw usage_error(format_text(
          "unknown periodic axes <%s>: one or more of x, y, z, or none.", shown.c_str()));
    }
    request.periodic_given = true;
  } else if (name == "--input-format") {
    if (value == "trajectory" || value == "extxyz" || value == "xyz") {
      request.input_format = value == "trajectory" ? InputFormat::trajectory
                             : value == "extxyz"   ? InputFormat::xyz
                                                   : InputFormat::plain_xyz;
    } else {
      throw usage_error(format_text("unknown input format <%s>: trajectory, extxyz or xyz.",
                                    shown.c_str()));
    }
  } else if (name == "--scene") {
    if (!parse_scene(value, request)) {
      throw usage_error(format_text(
          "invalid scene <%s>: a number from 1 to 2147483647, last or all.", shown.c_str()));
    }
  } else {
    OutputOptions output{request.frames, request.topology, request.forcefield};
    apply_output_option(name, value, output, usage_error);
    request.distance_given = request.distance_given || output.distance_given;
  }
}

// The input's format, when no --input-format names it: XYZ for the
// extensions .extxyz and .xyz (any case), a trajectory for any other.
InputFormat input_format_of(const std::string& input) {
  const std::string extension = lower_case(extension_of(input));
  return extension == ".extxyz" || extension == ".xyz" ? InputFormat::xyz : InputFormat::trajectory;
}

// The output's format, when no --format names it: from its extension.
const Format& format_of_output(const std::string& output) {
  const Format* format = format_of_file(output, writes_frames);
  if (format == nullptr) {
    throw usage_error(format_text(
        "the format of <%s> is not known from its name: give --format %s.",
        printable(output).c_str(), format_names(writes_frames).c_str()));
  }
  return *format;
}

// Fills `request` from the arguments; false when the usage was asked for
// (and printed).  Throws the usage error of a mistake.
bool parse_arguments(const std::vector<std::string>& args, Request& request) {
  std::vector<std::string> files;
  const CommandLineRules rules{
      [](std::string_view name) {
        for (const std::string_view own : {"--format", "--periodic", "--scene", "--input-format"}) {
          if (name == own) return OptionKind::valued;
        }
        return output_option_kind(name);
      },
      [&](const std::string& name, const std::string& value) { apply_option(name, value, request); },
      usage_error};
  if (!walk_command_line(args, rules, files)) {
    print_text(usage());
    return false;
  }
  OutputOptions output{request.frames, request.topology, request.forcefield, request.distance_given};
  finish_output_options(output, usage_error);
  if (files.size() != 2) throw usage_error("a trajectory and an output file are required.");
  request.input = files[0];
  request.output = files[1];
  if (request.format == nullptr) request.format = &format_of_output(request.output);
  request.frames.periodic = request.topology.periodic;
  if (!request.input_format) request.input_format = input_format_of(request.input);
  return true;
}

// The scenes a conversion writes, checked against the trajectory.
struct SceneRange {
  long long first = 1;
  long long last = 1;
  bool file_per_scene = false;  // several scenes of a format that holds one
};

SceneRange scene_range(const Request& request, const TrajectoryHeader& header) {
  const std::string shown_input = printable(request.input);
  const std::array<double, 3> lengths{header.boxx, header.boxy, header.boxz};
  const std::string period = period_error(lengths, request.topology);
  if (!period.empty()) throw Error("Error: " + period + ".\n");
  if (header.ndat == 0) {
    throw Error("Error: the trajectory " + shown_input + " holds no scene.\n");
  }
  if (request.scenes == Scenes::one && request.scene > header.ndat) {
    throw Error(format_text("Error: there is no scene %lld: the trajectory %s holds %lld.\n",
                            request.scene, shown_input.c_str(), header.ndat));
  }
  SceneRange range;
  range.first = request.scenes == Scenes::one    ? request.scene
                : request.scenes == Scenes::last ? header.ndat
                                                 : 1;
  range.last = request.scenes == Scenes::all ? header.ndat : range.first;
  // A format of several files holds one scene per output as well.
  range.file_per_scene = request.scenes == Scenes::all && (request.format->can.file_per_scene ||
                                                           !request.format->companions.empty());
  // As many files or frames as scenes: no one means more than a million.
  if (request.scenes == Scenes::all && header.ndat > kMaxSceneFiles) {
    throw Error(format_text(
        "Error: the trajectory %s holds %lld scenes, more than the %lld that topoconv "
        "writes with --scene all.\n",
        shown_input.c_str(), header.ndat, kMaxSceneFiles));
  }
  return range;
}

// The topology of one scene; its warnings are printed as they come.
void build_topology(std::vector<Position3>& positions, const TrajectoryHeader& header,
                    const Request& request, long long scene, TopologyBuilder& builder,
                    Topology& topology) {
  const std::array<double, 3> lengths{header.boxx, header.boxy, header.boxz};
  const std::string where =
      request.scenes == Scenes::all ? format_text("scene %lld: ", scene) : std::string();
  builder.build(positions, lengths, request.topology, topology, kPrint, where);
}

int convert(const Request& request) {
  TrajectoryReader reader(request.input);
  const TrajectoryHeader& header = reader.header();
  const SceneRange range = scene_range(request, header);
  const auto output_name = [&](long long scene) {
    return output_file_names(range.file_per_scene
                            ? scene_output_name(request.output, scene, *request.format)
                            : request.output,
                        *request.format);
  };
  // No output may replace the trajectory it is made from.
  for (long long scene = range.first; scene <= (range.file_per_scene ? range.last : range.first);
       ++scene) {
    for (const std::string& name : output_name(scene)) {
      if (overwrites_input(name, request.input)) throw input_overwrite_error(name, request.input);
    }
  }

  const std::unique_ptr<FrameWriter> writer = request.format->frame_writer(request.frames);
  // The output, then its further files; all of them are put in place together.
  std::vector<OutputFile> files(1 + request.format->companions.size());
  OutputFile& out = files.front();
  const auto open = [&](const std::vector<std::string>& names) {
    for (std::size_t k = 0; k < files.size(); ++k) {
      if (!files[k].open(names[k])) throw write_error(names[k]);
    }
    writer->begin(out);
  };
  const auto finish = [&](const Topology& last) {
    writer->end(last, out);
    if (const OutputFile* failed = commit_together(files)) throw write_error(failed->path());
  };
  if (!range.file_per_scene) open(output_name(range.first));

  std::vector<Position3> positions;
  TopologyBuilder builder;
  Topology topology;
  FrameSource source{printable(request.input), 0, header.ndat, request.scenes == Scenes::all};
  for (long long scene = 1; scene <= range.last; ++scene) {
    if (scene < range.first) {
      reader.skip_scene();
      continue;
    }
    reader.read_scene(positions);
    build_topology(positions, header, request, scene, builder, topology);
    source.scene = scene;
    if (range.file_per_scene) open(output_name(scene));
    writer->write_frame(topology, source, out);
    if (files.size() > 1) {
      writer->write_companions(topology, source, std::span<OutputFile>(files).subspan(1));
    }
    if (range.file_per_scene) finish(topology);
  }
  if (!range.file_per_scene) finish(topology);
  return 0;
}

// The conversion of an XYZ file: its frames are the scenes, each with its
// own species and cell; the file's pbc flags are the periodic axes unless
// --periodic names them (the reader applies that).  With --scene all the
// frames are counted first, so that the outputs are known and named before
// anything is written, as from a trajectory.
int convert_xyz(const Request& request) {
  const std::string shown_input = printable(request.input);
  XyzSettings settings;
  settings.plain = request.input_format == InputFormat::plain_xyz;
  if (request.periodic_given) settings.periodic = request.topology.periodic;
  XyzReader reader(request.input, settings);
  reader.open(request.input);
  const Format& format = *request.format;
  const bool every = request.scenes == Scenes::all;
  const bool file_per_scene = every && (format.can.file_per_scene || !format.companions.empty());
  const auto no_frame = [&] {
    return Error("Error: the XYZ file " + shown_input + " holds no frame.\n");
  };

  long long total = 0;  // the frames of the file
  if (every) {
    while (reader.skip_frame()) {
      if (reader.frames() > kMaxSceneFiles) {
        throw Error(format_text(
            "Error: the XYZ file %s holds more than the %lld frames that topoconv writes with "
            "--scene all.\n",
            shown_input.c_str(), kMaxSceneFiles));
      }
    }
    total = reader.frames();
    if (total == 0) throw no_frame();
    if (!reader.rewind()) {
      throw Error("Error: cannot read " + shown_input +
                  " a second time: --scene all counts the frames of an XYZ file before it "
                  "converts them, which a pipe does not allow.\n");
    }
  }
  const auto output_name = [&](long long scene) {
    return output_file_names(
        file_per_scene ? scene_output_name(request.output, scene, format) : request.output, format);
  };
  // No output may replace the file it is made from.
  for (long long scene = 1; scene <= (file_per_scene ? total : 1); ++scene) {
    for (const std::string& name : output_name(scene)) {
      if (overwrites_input(name, request.input)) throw input_overwrite_error(name, request.input);
    }
  }

  // The frame written, its topology, and the outputs, opened once the first
  // frame has given its periodic axes.
  Frame frame;
  TopologyBuilder builder;
  Topology topology;
  std::unique_ptr<FrameWriter> writer;
  std::vector<OutputFile> files(1 + format.companions.size());
  OutputFile& out = files.front();
  const auto open = [&](const std::vector<std::string>& names) {
    if (!writer) {
      FrameSettings frames = request.frames;
      frames.periodic = topology.cell.periodic;
      writer = format.frame_writer(frames);
    }
    for (std::size_t k = 0; k < files.size(); ++k) {
      if (!files[k].open(names[k])) throw write_error(names[k]);
    }
    writer->begin(out);
  };
  const auto finish = [&] {
    writer->end(topology, out);
    if (const OutputFile* failed = commit_together(files)) throw write_error(failed->path());
  };
  FrameSource source{shown_input, 0, total, every};
  const auto write = [&](long long scene) {
    const std::string where = every ? format_text("scene %lld: ", scene) : std::string();
    TopologySettings topology_settings = request.topology;
    topology_settings.periodic = frame.cell.periodic;
    const std::string period = cell_period_error(frame.cell, topology_settings);
    if (!period.empty()) throw Error("Error: " + where + period + ".\n");
    builder.build(frame, topology_settings, topology, kPrint, where);
    source.scene = scene;
    if (file_per_scene || !writer) open(output_name(scene));
    writer->write_frame(topology, source, out);
    if (files.size() > 1) {
      writer->write_companions(topology, source, std::span<OutputFile>(files).subspan(1));
    }
    if (file_per_scene) finish();
  };

  if (every) {
    for (long long scene = 1; scene <= total; ++scene) {
      if (!reader.read_frame(frame)) {
        throw Error(format_text("Error: the XYZ file %s ends before frame %lld, which it held "
                                "when its frames were counted.\n",
                                shown_input.c_str(), scene));
      }
      write(scene);
    }
    if (!file_per_scene) finish();
    return 0;
  }
  long long scene = 0;
  if (request.scenes == Scenes::one) {
    for (long long k = 1; k < request.scene && reader.skip_frame(); ++k) {
    }
    if (reader.frames() + 1 < request.scene || !reader.read_frame(frame)) {
      if (reader.frames() == 0) throw no_frame();
      throw Error(format_text("Error: there is no scene %lld: the XYZ file %s holds %lld.\n",
                              request.scene, shown_input.c_str(), reader.frames()));
    }
    scene = request.scene;
    while (reader.skip_frame()) {
    }
  } else {
    // The last frame: each one read in turn into one of two frames.
    for (Frame next; reader.read_frame(next);) std::swap(frame, next);
    scene = reader.frames();
    if (scene == 0) throw no_frame();
  }
  source.scenes = reader.frames();
  write(scene);
  finish();
  return 0;
}

}  // namespace

int run_topoconv(const std::vector<std::string>& args) {
  return run_program([&] {
    Request request;
    if (!parse_arguments(args, request)) return 0;
    return request.input_format == InputFormat::trajectory ? convert(request)
                                                           : convert_xyz(request);
  });
}

}  // namespace swnt
