// One tube as a plain value, and its rolling: the unit cell repeated along
// the tube and the sheet rolled onto the cylinder, one scene at a time, from
// the flat sheet to the closed tube.  Only the unit cell is held in memory;
// the atoms of a scene are handed out one by one as they are placed.
#pragma once

#include <cstdint>
#include <functional>
#include <vector>

#include "core/error.hpp"
#include "core/model.hpp"
#include "geometry/lattice.hpp"
#include "geometry/structure.hpp"
#include "geometry/unit_cell.hpp"

namespace swnt {

// Everything that shapes one tube.  A multi-walled tube is a list of these.
struct TubeParams {
  int n = 0;                    // chirality
  int m = 0;
  StructureParams structure;    // the sheet the tube is rolled from
  double cells = 0.0;           // length in unit cells; a whole number makes it periodic
  int axis = 0;                 // tube axis: 0 = x, 1 = y, 2 = z
  double axial_scale = 1.0;     // scale along the axis; negative mirrors the tube
  double diameter_scale = 1.0;  // scale of the diameter
  Position3 shift{};            // added to every position, and twice its size to the box
  bool centred = true;          // centred on the origin, else inside a box from the origin
  int steps = 0;                // wrapping steps: steps + 1 scenes, the last the closed tube
};

// Something of the tube that would not be a finite number: the box, or the
// coordinates of an atom, along `axis`.  The facts let the program name what
// shaped it; what() holds a plain message for programs that do not.
class TubeNotFinite : public Error {
 public:
  TubeNotFinite(bool box, int axis, bool axial, bool rolled);
  bool box() const { return box_; }        // the box, else the coordinates
  int axis() const { return axis_; }       // 0 = x, 1 = y, 2 = z
  bool axial() const { return axial_; }    // `axis` is the tube axis
  bool rolled() const { return rolled_; }  // in a scene between the sheet and the tube

 private:
  bool box_;
  int axis_;
  bool axial_;
  bool rolled_;
};

// The number of unit cells of `lattice` in a tube `length` Angstrom long.
// Throws Error "Error: the tube length is too large for the unit cell of
// this lattice." when the quotient is not finite.
double cells_of_length(double length, const LatticeParams& lattice);

// Number of atoms in every scene of the tube of `cells` unit cells.  A count
// that does not fit a 32-bit integer (or a length that is not finite) gives
// a value above INT_MAX, found without walking the whole tube.
long long count_tube_atoms(const StructureParams& structure, const LatticeParams& lattice,
                           const std::vector<CellAtom>& cells, double lenunit);

// Called with the positions of the atoms of a scene, in order, a run of
// `count` of them at a time.
using AtomSink = std::function<void(const Position3* positions, std::size_t count)>;

// Rolls the tube `params` whose lattice is `lattice` and whose unit cell is
// `cells` (the list must outlive the roller).
class TubeRoller {
 public:
  // Checks that the tube can be described before anything is placed:
  // throws Error for an axis out of range, a length that is not finite,
  // steps out of range or more atoms than 32 bits count; TubeNotFinite for
  // a box that is not finite.
  TubeRoller(const TubeParams& params, const LatticeParams& lattice, const std::vector<CellAtom>& cells);

  long long atom_count() const { return atom_count_; }  // atoms in each scene
  int scene_count() const { return params_.steps + 1; }
  const Position3& box() const { return box_; }
  double length() const { return length_; }  // along the axis, in Angstrom, before scaling
  bool periodic() const { return whole_; }    // a whole number of cells: the tube repeats with its length

  // Hands every atom of `scene` (0 the flat sheet when there are steps,
  // steps the closed tube) to `sink`, in runs of a few thousand.  Throws TubeNotFinite at the first
  // coordinate that is not finite.
  // With `sublattice`, the sublattice of every atom handed out (0 for the A
  // atom of the sheet's primitive cell, 1 for the B atom) is appended to it.
  void roll_scene(int scene, const AtomSink& sink,
                  std::vector<std::uint8_t>* sublattice = nullptr) const;

 private:
  void check_spec() const;
  void measure_box();

  TubeParams params_;
  LatticeParams lattice_;
  const std::vector<CellAtom>& cells_;
  std::size_t natom_ = 0;      // cell atoms used
  double length_ = 0.0;        // tube length in Angstrom
  bool whole_ = false;         // periodic: a whole number of cells
  long long copies_ = 0;       // cell copies visited
  long long atom_count_ = 0;
  Position3 box_{};
  Position3 shift_{};          // the placement shift, centring included
};

}  // namespace swnt
