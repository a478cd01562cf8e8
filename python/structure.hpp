// The C++ side of the Python module swnt: a structure (a tube built by the
// geometry, or atoms handed over from elsewhere) with its box and periodic
// axes, its topology and its files.  Plain C++ on the libraries below it, the
// same calls as the programs make; nothing here knows Python (module.cpp
// binds it) and nothing prints: warnings are handed to a Log.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "core/error.hpp"
#include "core/model.hpp"
#include "core/topology.hpp"
#include "formats/format.hpp"
#include "geometry/lattice.hpp"
#include "geometry/structure.hpp"
#include "geometry/tube.hpp"
#include "geometry/unit_cell.hpp"

namespace swnt {

// The graphene bond length of the ideal lattice when none is given: that of
// graphene itself (and of ase.build.nanotube); wrapping's -c takes 1.44.
inline constexpr double kPythonBondLength = 1.42;

// One tube as the module's tube() and rolling() describe it.
struct TubeRequest {
  int n = 0;
  int m = 0;
  std::string table;                   // empty: the ideal lattice of `bond`
  double bond = kPythonBondLength;
  std::optional<double> cells;         // a length in unit cells ...
  std::optional<double> length;        // ... or in Angstrom (neither: 20 Angstrom)
  int axis = 2;                        // 0 = x, 1 = y, 2 = z
  double axial_scale = 1.0;
  double diameter_scale = 1.0;
  Position3 shift{0.0, 0.0, 0.0};
  bool centred = true;
  int steps = 0;
};

// A tube ready to be rolled: the sheet, the lattice, the unit cell and the
// roller, made by the calls and checks of a wrapping run in its order.
class PreparedTube {
 public:
  // Throws Error (FileError for a table that cannot be read) with the
  // programs' messages.
  explicit PreparedTube(const TubeRequest& request);
  PreparedTube(const PreparedTube&) = delete;
  PreparedTube& operator=(const PreparedTube&) = delete;

  long long atom_count() const { return roller_->atom_count(); }
  int scene_count() const { return roller_->scene_count(); }
  const Position3& box() const { return roller_->box(); }
  bool periodic() const { return roller_->periodic(); }
  double length() const { return roller_->length(); }
  double cells() const { return params_.cells; }
  const TubeParams& params() const { return params_; }
  const StructureParams& structure() const { return params_.structure; }
  const LatticeParams& lattice() const { return lattice_; }

  // The positions of scene `scene` into out[0 .. 3 * atom_count()).
  void roll(int scene, double* out) const;

 private:
  TubeParams params_;
  LatticeParams lattice_;
  std::vector<CellAtom> cells_;
  std::unique_ptr<TubeRoller> roller_;
};

// What a tube was built from, kept with its atoms for its report.
struct TubeFacts {
  TubeParams params;
  LatticeParams lattice;
  std::string table;  // empty for the ideal lattice
  double length = 0.0;
};

// Atoms of carbon and hydrogen in an orthogonal box.  Never changed once
// made: the Python arrays are views on `positions`.
struct Structure {
  std::vector<Position3> positions;
  std::vector<std::uint8_t> kinds;       // per atom 0 carbon, 1 hydrogen; empty: all carbon
  Position3 box{0.0, 0.0, 0.0};          // the box lengths, as a trajectory header holds them
  PeriodicAxes periodic{false, false, false};
  std::string description;               // "(10,10) SWNT"
  std::optional<TubeFacts> tube;         // for a tube

  bool has_hydrogen() const;
};

// The closed tube of `request` (its steps ignored); periodic along its axis
// when `periodic` says so, or, when it says nothing, when its length is a
// whole number of unit cells.  Throws Error.
Structure build_tube(const TubeRequest& request, std::optional<bool> periodic);

// The topology of the structure as it stands (positions as doubles).
// Throws Error; warnings go to `log`.
void build_topology(const Structure& structure, const TopologySettings& settings,
                    Topology& topology, const Log& log);

// How a structure is written.
struct WriteRequest {
  std::string path;
  const Format* format = nullptr;
  FrameSettings frames;       // frames.periodic is settings.periodic
  TopologySettings topology;
  std::string source;         // the trajectory the LAMMPS title names
  std::string scratch_directory;  // where the trajectory of pv, XMOL and TINKER is converted from
};

// The trajectory of the structure with the bytes of wrapping (one scene).
std::string trajectory_text(const Structure& structure);

// Writes the structure as the programs do: the trajectory as wrapping writes
// it; pv, XMOL and TINKER converted from that trajectory as wrapping
// converts it; the formats with a topology as topoconv writes that
// trajectory, the positions read back from its text.  Throws Error
// (FileError for a file that cannot be written); warnings go to `log`.
void write_structure(const Structure& structure, const WriteRequest& request, const Log& log);

}  // namespace swnt
