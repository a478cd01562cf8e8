"""(3) ASE: to_ase() is what ase.io.read makes of our extended XYZ (positions,
cell, pbc), ASE's neighbour list on the same pbc gives exactly our bonds, and
from_ase() brings ASE's structures back, hydrogen included."""
import warnings

import numpy as np
import pytest

import swnt

TUBES = [
    dict(n=10, m=10, cells=10),
    dict(n=10, m=10, cells=10, lattice="rebo"),
    dict(n=8, m=4, cells=1, lattice="tb"),
    dict(n=10, m=0, cells=5, axis="x"),
    dict(n=8, m=4, length=25.0),
    dict(n=10, m=5, length=30.0, bond=1.44, axis="y"),
]
IDS = [",".join(f"{k}={v}" for k, v in t.items()) for t in TUBES]


def ase_bonds(atoms, cutoff=1.8):
    from ase.neighborlist import neighbor_list
    # The open axes get a cell length of 0 (as ase.build.nanotube makes
    # them): they do not change the pairs, and ASE bins a large open box
    # slowly (15 s for 370 atoms in a 54 Angstrom box).
    atoms = atoms.copy()
    atoms.cell = np.diag(np.where(atoms.pbc, atoms.cell.lengths(), 0.0))
    i, j = neighbor_list("ij", atoms, cutoff)
    pairs = np.stack([i, j], axis=1)
    pairs = pairs[pairs[:, 0] < pairs[:, 1]]
    return pairs[np.lexsort((pairs[:, 1], pairs[:, 0]))]


@pytest.mark.parametrize("kwargs", TUBES, ids=IDS)
def test_to_ase_is_ases_reading_of_our_extended_xyz(ase, tmp_path, kwargs):
    t = swnt.tube(**kwargs)
    atoms = t.to_ase()
    t.write(tmp_path / "t.extxyz")
    read = ase.io.read(tmp_path / "t.extxyz")
    assert len(atoms) == len(read) == len(t)
    assert atoms.get_chemical_symbols() == read.get_chemical_symbols()
    assert atoms.pbc.tolist() == read.pbc.tolist() == t.pbc.tolist()
    # The file went through the trajectory's 6 decimals.
    assert np.abs(atoms.cell[:] - read.cell[:]).max() <= 5e-7
    # The file holds the atoms moved into the box along the periodic axes (a
    # seam atom a rounding below the lower face to the upper one).
    shift = read.positions - atoms.positions
    periods = np.where(t.pbc, np.diag(t.cell), 1.0)
    shift -= np.where(t.pbc, np.round(shift / periods) * periods, 0.0)
    # An atom and a box length each rounded by up to 5e-7.
    assert np.abs(shift).max() <= 1e-6
    assert np.array_equal(atoms.positions, t.positions)
    assert atoms.positions.flags.writeable  # ASE's own copy


@pytest.mark.parametrize("kwargs", TUBES, ids=IDS)
@pytest.mark.parametrize("cutoff", [1.8, 1.6])
def test_ases_neighbour_list_gives_our_bonds(ase, kwargs, cutoff):
    t = swnt.tube(**kwargs)
    bonds = t.topology(cutoff=cutoff).bonds
    assert np.array_equal(ase_bonds(t.to_ase(), cutoff), bonds)
    if t.pbc.any():
        assert len(bonds) == 3 * len(t) // 2


def test_from_ase_round_trip(ase):
    t = swnt.tube(10, 10, cells=10, lattice="rebo")
    back = swnt.from_ase(t.to_ase())
    assert np.array_equal(back.positions, t.positions)
    assert np.array_equal(back.cell, t.cell) and back.pbc.tolist() == t.pbc.tolist()
    assert np.array_equal(back.topology().bonds, t.topology().bonds)
    assert back.description == "C400" and back.info == {"atoms": 400, "carbons": 400, "hydrogens": 0}


def test_ases_own_nanotube(ase, tmp_path):
    from ase.build import nanotube
    atoms = nanotube(10, 10, length=5)
    s = swnt.from_ase(atoms)
    assert s.pbc.tolist() == [False, False, True]
    assert np.array_equal(s.topology().bonds, ase_bonds(atoms))
    s.write(tmp_path / "ase.data")
    assert "periodic axes: z" in (tmp_path / "ase.data").read_text().splitlines()[0]


def test_hydrogen_terminated_tube_through_ase(ase, tmp_path):
    t = swnt.tube(8, 4, length=25.0, bond=1.44)
    with warnings.catch_warnings():
        warnings.simplefilter("ignore", swnt.SwntWarning)
        ends = t.topology(hydrogenate=True)
        t.write(tmp_path / "ends.extxyz", hydrogenate=True)
    read = ase.io.read(tmp_path / "ends.extxyz")
    assert read.get_chemical_symbols() == ends.species.tolist()
    assert ends.species.tolist().count("H") == 24
    again = swnt.from_ase(read)
    assert again.info["hydrogens"] == 24
    top = again.topology()
    assert np.array_equal(top.bonds, ends.bonds)
    assert np.array_equal(top.angles, ends.angles)
    assert np.array_equal(top.dihedrals, ends.dihedrals)
    assert np.array_equal(top.impropers, ends.impropers)
    assert np.array_equal(ase_bonds(read), top.bonds)
    assert ends.to_ase().get_chemical_formula() == read.get_chemical_formula()
