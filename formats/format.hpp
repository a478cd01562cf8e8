// What a file format is to the programs: its name, the extensions that
// choose it, what it can hold, and the ways it is written.  Every format
// declares this beside its code, in a Format entry that the registry
// (formats/registry.hpp) lists.
#pragma once

#include <memory>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "core/error.hpp"
#include "core/forcefield.hpp"
#include "core/topology.hpp"
#include "files/output_file.hpp"
#include "formats/trajectory.hpp"

namespace swnt {

// The decimals of coordinates and cell bounds in the files for simulation
// engines: more than any trajectory writer prints, so that nothing read is
// lost.
inline constexpr int kCoordinateDecimals = 8;

struct FormatCapabilities {
  bool needs_bonds = false;     // the bonds are found before anything is written
  bool file_per_scene = false;  // a file holds one scene: several scenes make several files
  bool species = false;         // every atom's species is written
  bool cell = false;            // the cell and its periodic axes are written
};

// How a conversion straight from a trajectory file is made.
struct ConversionSettings {
  std::string title;            // the title line of formats that have one
  bool shift_half_box = false;  // move every coordinate by minus half the box length
};

// The LAMMPS atom styles: full (id mol type q x y z ix iy iz, with bonds,
// angles, dihedrals and impropers), molecular (the same without q) and
// atomic (id type x y z, atoms only, for many-body potentials).
enum class LammpsStyle { full, molecular, atomic };

// The style that "full", "molecular" or "atomic" names; false for anything else.
bool parse_lammps_style(std::string_view text, LammpsStyle& style);

// How frames with their topology are written.
struct FrameSettings {
  LammpsStyle style = LammpsStyle::full;
  PeriodicAxes periodic{false, false, false};
  // The parameters written with the topology; null for none (the formats
  // that must carry parameters then take the default set).
  const ForceField* forcefield = nullptr;
  // False: the molecules are kept but no bonded term is written (for
  // many-body potentials, which find their own neighbours).
  bool terms = true;
  // Extended XYZ: each atom's molecule as the integer property `molecule`
  // (the other formats always carry it).
  bool molecules = false;
};

// The parameters a format that always carries them writes: those of
// --forcefield, or the default set.  Throws Error when neither is there.
ForceField parameters_of(const FrameSettings& settings);

// Where a frame comes from: the trajectory (its name as messages show it, or
// what a builder made), the scene (from 1) and the scenes it holds, whether
// every scene is written (the frames are then numbered), and the program.
struct FrameSource {
  std::string input;
  long long scene = 1;
  long long scenes = 1;
  bool every_scene = false;
  std::string program = "topoconv";  // the program that writes, as titles name it
};

// Writes frames with their topology into one output, in three steps.
// Throws Error.
class FrameWriter {
 public:
  virtual ~FrameWriter() = default;
  // Once, before the first frame.
  virtual void begin(OutputFile& /*out*/) {}
  virtual void write_frame(const Topology& topology, const FrameSource& source,
                           OutputFile& out) = 0;
  // Once, after the last frame, which is `last`.
  virtual void end(const Topology& /*last*/, OutputFile& /*out*/) {}
  // The further files of a format that writes several (Format::companions),
  // in that order, once after the frame: a format with companion files
  // holds one scene per output.
  virtual void write_companions(const Topology& /*topology*/, const FrameSource& /*source*/,
                                std::span<OutputFile> /*files*/) {}
};

struct Format {
  std::string_view name;                     // as --format takes it
  std::string_view title;                    // what the format is, in a few words
  std::vector<std::string_view> extensions;  // lower case, with the dot: they choose the format
  FormatCapabilities can;
  // From a trajectory file to the output (a name that per-scene files are
  // made from where the format has one file per scene); null where the
  // format is not written so.
  void (*convert)(const TrajectoryInput& input, const std::string& output,
                  const ConversionSettings& settings, const Log& progress) = nullptr;
  // A writer of frames with their topology; null where the format is not
  // written so.
  std::unique_ptr<FrameWriter> (*frame_writer)(const FrameSettings& settings) = nullptr;
  // The extensions of the further files that one output is made of, named
  // after it with its extension replaced (tube.top and tube.gro): every
  // file of one output is put in place together, or none is.
  std::vector<std::string_view> companions = {};
};

// The formats written as frames with their topology (the ones topoconv
// writes), as a predicate for the registry's lookups and lists.
inline bool writes_frames(const Format& format) { return format.frame_writer != nullptr; }

}  // namespace swnt
