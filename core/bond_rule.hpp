// The distance rule by which every program of the tool set finds bonds.
#pragma once

namespace swnt {

// Two atoms closer than this (Angstrom, strictly) are bonded.
inline constexpr double kBondCutoff = 1.8;

}  // namespace swnt
