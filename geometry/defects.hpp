// Defects of an assembled structure, made before its topology is formed:
// Stone-Wales defects, vacancies and substitutional dopants at random
// places, each kept apart from the others by a rule on the bond graph.
//
// Every random choice comes from one generator, SplitMix64 (Steele, Lea and
// Flood, 2014) seeded with the run's seed: the state advances by
// 0x9E3779B97F4A7C15 per draw and is mixed by two xor-shift-multiply
// rounds.  A choice among n draws until the number lies below the largest
// multiple of n that 64 bits hold and takes it modulo n, so that every one
// of the n is equally likely.  The candidates of each kind of defect are
// shuffled so (Fisher-Yates, from the last down) and taken in that order
// where the rules allow.  Integer arithmetic only: the same seed gives the
// same sites on every machine and in the WebAssembly page.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "core/model.hpp"

namespace swnt {

class SplitMix64 {
 public:
  explicit SplitMix64(std::uint64_t seed) : state_(seed) {}
  std::uint64_t next();
  // A number from 0 to n - 1, each equally likely; n > 0.
  std::uint64_t below(std::uint64_t n);

 private:
  std::uint64_t state_;
};

// How many atoms a dopant replaces: a count, or a fraction of the carbons.
struct DopantAmount {
  Species species;
  bool fraction = false;
  double share = 0.0;    // with fraction, from 0 to 1
  long long count = 0;   // otherwise
};

enum class StoneWalesOrientation { any, axial, circumferential };

struct DefectRequest {
  long long stone_wales = 0;
  StoneWalesOrientation orientation = StoneWalesOrientation::any;
  long long vacancies = 0;
  std::vector<DopantAmount> dopants;
  bool dopants_adjacent = false;  // dopants may be bonded to each other
  std::uint64_t seed = 1;
  double cutoff = 1.8;            // bonds are the pairs closer than this
};

// What was changed, by atom numbers from 1.
struct DefectReport {
  // The two atoms of each rotated bond, numbered as written (after the
  // vacancies are removed).
  std::vector<std::array<std::uint32_t, 2>> stone_wales;
  // The removed atoms, numbered as in the structure without defects.
  std::vector<std::uint32_t> vacancies;
  // Per dopant of the request, its atoms as written.
  std::vector<std::vector<std::uint32_t>> dopants;
};

// Makes the defects of `request` in `frame` (positions, kinds and molecules
// filled, every molecule a tube wall around the axis `axis` through
// `centres[molecule - 1]`, the two coordinates across the axis in the order
// x, y, z).  Bonds through a periodic boundary along the axis count.
//
// A Stone-Wales defect turns a bond of two three-bonded atoms by 90 degrees
// about the surface normal through its midpoint and shortens it to 0.93 of
// its length (the relaxed defect's central bond is that much shorter), so
// that the distance rule bonds each of its atoms to one former neighbour of
// each: two pentagons and two heptagons in place of four hexagons.  Its
// orientation is that of the bond before the turn: axial within 45 degrees
// of the axis, circumferential beyond.  No atom within three bonds of one
// defect's two atoms is within three bonds of another's, so that no two
// share an atom or a ring.  A vacancy removes an atom that is not within
// three bonds of a Stone-Wales atom and not within two bonds of another
// vacancy.  A dopant replaces a carbon left, never one bonded to another
// dopant unless `dopants_adjacent`.  Throws Error when the rules cannot
// place as many as asked, saying how many fit.
DefectReport make_defects(Frame& frame, const DefectRequest& request,
                          const std::vector<std::array<double, 2>>& centres, int axis);

}  // namespace swnt
