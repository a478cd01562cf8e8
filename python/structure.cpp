#include "python/structure.hpp"

#include <cstring>
#include <filesystem>
#include <span>
#include <utility>

#include "core/text_format.hpp"
#include "files/file_errors.hpp"
#include "files/output_file.hpp"
#include "formats/registry.hpp"
#include "formats/scene_files.hpp"
#include "formats/structure_table.hpp"
#include "formats/trajectory.hpp"

namespace swnt {

namespace {

// wrapping's default length (-l 20), in Angstrom.
constexpr double kDefaultLength = 20.0;

StructureParams sheet_of(const TubeRequest& request) {
  if (request.table.empty()) return cylindrical_structure(request.bond);
  const StructureTableEntry entry = read_structure_table(request.table, request.n, request.m);
  return table_structure(entry.va1, entry.va2, entry.vab);
}

// The box lengths as the trajectory header holds them, and the header.
TrajectoryHeader header_of(const Structure& structure) {
  TrajectoryHeader header;
  header.nmol = static_cast<long long>(structure.positions.size());
  header.ndat = 1;
  header.boxx = structure.box[0];
  header.boxy = structure.box[1];
  header.boxz = structure.box[2];
  return header;
}

std::array<double, 3> lengths_of(const TrajectoryHeader& header) {
  return {header.boxx, header.boxy, header.boxz};
}

// The error of a periodic axis too short for the cut-off, as topoconv ends
// with it.
void check_period(const std::array<double, 3>& lengths, const TopologySettings& settings) {
  const std::string period = period_error(lengths, settings);
  if (!period.empty()) throw Error("Error: " + period + ".\n");
}

void commit(OutputFile& out) {
  if (!out.commit()) throw write_error(out.path());
}

void open(OutputFile& out, const std::string& path) {
  if (!out.open(path)) throw write_error(path);
}

// pv, XMOL and TINKER are converted from a trajectory file, as wrapping
// converts its own: the trajectory is written to a scratch file of this
// process in `directory` and removed afterwards.
void convert(const Structure& structure, const WriteRequest& request, const std::string& text) {
  const Format& format = *request.format;
  const std::string name = (std::filesystem::path(request.scratch_directory) / "swnt_write.dat").string();
  OutputFile trajectory;  // never committed: removed when it goes
  open(trajectory, name);
  trajectory.write(text);
  if (!trajectory.finish()) throw write_error(name);
  ConversionSettings settings;
  if (structure.tube) {
    settings.title = tube_scene_title(structure.tube->params.n, structure.tube->params.m, format.title);
    // Centred on the origin: the coordinates as they stand (wrapping -p).
    settings.shift_half_box = !structure.tube->params.centred;
  } else {
    settings.title = structure.description;
  }
  format.convert(TrajectoryInput(trajectory.scratch_path(), name), request.path, settings, Log());
}

}  // namespace

PreparedTube::PreparedTube(const TubeRequest& request) {
  // The order of a wrapping run: the chirality, the sheet, the lattice, the
  // length, the size of the unit cell, the unit cell, the roller.
  check_chirality(request.n, request.m);
  const StructureParams structure = sheet_of(request);
  lattice_ = compute_lattice_params(request.n, request.m, structure);
  check_tube_lattice(structure, lattice_);
  double cells = 0.0;
  if (request.cells) {
    cells = *request.cells;
  } else {
    cells = cells_of_length(request.length.value_or(kDefaultLength), lattice_);
  }
  if (lattice_.natom > kMaxCellAtoms) {
    throw Error(format_text(
        "Error: the unit cell of (%d,%d) SWNT holds %d atoms; at most %d are built, since the "
        "cell is held in memory (%.1f GB for this one).\n",
        request.n, request.m, lattice_.natom, kMaxCellAtoms,
        lattice_.natom * static_cast<double>(sizeof(CellAtom)) * 1e-9));
  }
  cells_ = build_unit_cell(request.n, request.m);

  params_.n = request.n;
  params_.m = request.m;
  params_.structure = structure;
  params_.cells = cells;
  params_.axis = request.axis;
  params_.axial_scale = request.axial_scale;
  params_.diameter_scale = request.diameter_scale;
  params_.shift = request.shift;
  params_.centred = request.centred;
  params_.steps = request.steps;
  roller_ = std::make_unique<TubeRoller>(params_, lattice_, cells_);
}

void PreparedTube::roll(int scene, double* out) const {
  roller_->roll_scene(scene, [&out](const Position3* positions, std::size_t count) {
    std::memcpy(out, positions, count * sizeof(Position3));
    out += 3 * count;
  });
}

bool Structure::has_hydrogen() const {
  for (const std::uint8_t kind : kinds) {
    if (kind == 1) return true;
  }
  return false;
}

Structure build_tube(const TubeRequest& request, std::optional<bool> periodic) {
  TubeRequest closed = request;
  closed.steps = 0;
  const PreparedTube tube(closed);
  Structure structure;
  structure.positions.resize(static_cast<std::size_t>(tube.atom_count()));
  tube.roll(0, structure.positions.empty() ? nullptr : structure.positions.front().data());
  structure.box = tube.box();
  if (periodic.value_or(tube.periodic()) && !tube.periodic()) {
    throw Error(format_text(
        "Error: a periodic tube needs a whole number of unit cells: %.9g cells of %f Angstrom "
        "do not repeat with the box (give cells=K, or periodic=False).\n",
        tube.cells(), tube.lattice().lencell));
  }
  structure.periodic[tube.params().axis] = periodic.value_or(tube.periodic());
  structure.description = format_text("(%d,%d) SWNT", request.n, request.m);
  structure.tube = TubeFacts{tube.params(), tube.lattice(), request.table, tube.length()};
  return structure;
}

void build_topology(const Structure& structure, const TopologySettings& settings,
                    Topology& topology, const Log& log) {
  const std::array<double, 3> lengths = structure.box;
  check_period(lengths, settings);
  std::vector<Position3> positions = structure.positions;
  TopologyBuilder builder;
  builder.build(positions, structure.kinds, lengths, settings, topology, log);
}

std::string trajectory_text(const Structure& structure) {
  std::string text;
  text.reserve(64 + structure.positions.size() * 49);
  append_trajectory_header(text, header_of(structure), TrajectoryLayout::built);
  for (const Position3& position : structure.positions) {
    append_trajectory_atom(text, position, TrajectoryLayout::built);
  }
  return text;
}

void write_structure(const Structure& structure, const WriteRequest& request, const Log& log) {
  const Format& format = *request.format;
  if (format.frame_writer == nullptr && structure.has_hydrogen()) {
    throw Error("Error: the " + std::string(format.title) +
                " is written from a trajectory, which holds no species: the hydrogen atoms of "
                "this structure would become carbon (write " +
                format_names(writes_frames) + ").\n");
  }
  const std::string text = trajectory_text(structure);
  if (format.frame_writer == nullptr && format.convert == nullptr) {
    // The trajectory itself, as wrapping writes it.
    OutputFile out;
    open(out, request.path);
    out.write(text);
    commit(out);
    return;
  }
  if (format.frame_writer == nullptr) {
    convert(structure, request, text);
    return;
  }

  // As topoconv converts the trajectory: the period checked, the output
  // opened, the scene read back from the text, its topology, one frame.
  TrajectoryReader reader(std::string_view(text), printable(request.source));
  const std::array<double, 3> lengths = lengths_of(reader.header());
  check_period(lengths, request.topology);
  const std::unique_ptr<FrameWriter> writer = format.frame_writer(request.frames);
  // The output, then the further files of its format, put in place together.
  const std::vector<std::string> names = output_file_names(request.path, format);
  std::vector<OutputFile> files(names.size());
  for (std::size_t k = 0; k < files.size(); ++k) open(files[k], names[k]);
  OutputFile& out = files.front();
  writer->begin(out);
  std::vector<Position3> positions;
  reader.read_scene(positions);
  Topology topology;
  TopologyBuilder builder;
  builder.build(positions, structure.kinds, lengths, request.topology, topology, log);
  const FrameSource source{printable(request.source), 1, 1, false};
  writer->write_frame(topology, source, out);
  if (files.size() > 1) {
    writer->write_companions(topology, source, std::span<OutputFile>(files).subspan(1));
  }
  writer->end(topology, out);
  if (const OutputFile* failed = commit_together(files)) throw write_error(failed->path());
}

}  // namespace swnt
