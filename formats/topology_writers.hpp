// Files for simulation engines, written from a Topology: the LAMMPS data
// file, extended XYZ and PDB, each with the box and its periodic axes.  The
// writers append to an OutputFile and hand it full blocks as they go.
#pragma once

#include <string>

#include "files/output_file.hpp"
#include "core/topology.hpp"

namespace swnt {

// The LAMMPS atom styles: full (id mol type q x y z ix iy iz, with bonds,
// angles, dihedrals and impropers), molecular (the same without q) and
// atomic (id type x y z, atoms only, for many-body potentials).
enum class LammpsStyle { full, molecular, atomic };

// A whole LAMMPS data file; `title` is its first line.
void write_lammps_data(const Topology& topology, LammpsStyle style, const std::string& title,
                       OutputFile& out);

// One frame of extended XYZ: the atom count, a line with the box as a
// diagonal Lattice, the Properties, the pbc flags and the box's Origin (its
// lower corner), then one line per atom.
void write_extxyz_frame(const Topology& topology, OutputFile& out);

// PDB.  The largest atom serial and molecule (residue) number that the fixed
// columns hold in the hybrid-36 convention (decimal up to 99999 and 9999,
// then base 36 led by a letter).
inline constexpr long long kPdbMaxSerial = 87440031;
inline constexpr long long kPdbMaxResidue = 2436111;

// The line that names the periodic axes, once at the top of the file.
void write_pdb_remark(const PeriodicAxes& periodic, OutputFile& out);
// CRYST1 and one HETATM record per atom (one residue per molecule), inside
// MODEL/ENDMDL when `model` is not 0.  False, with the reason in `error`,
// when an atom, a molecule number or a coordinate does not fit its columns.
bool write_pdb_model(const Topology& topology, long long model, OutputFile& out,
                     std::string& error);
// The CONECT records of every bond (each atom with its partners, four to a
// record), then END.
void write_pdb_bonds(const Topology& topology, OutputFile& out);

// `value` in `width` columns: decimal while it fits, then the hybrid-36
// digits (upper case, then lower case); empty when it is beyond both.
std::string hybrid36(long long value, int width);

}  // namespace swnt
