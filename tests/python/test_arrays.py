"""(2) The arrays are views on the C++ memory, without a copy: read-only, their
base the object that owns the memory, valid as long as a view lives."""
import gc

import numpy as np
import pytest

import swnt


@pytest.fixture(scope="module")
def big():
    return swnt.tube(10, 10, cells=25000)  # 10^6 atoms


def test_positions_are_a_read_only_view_without_copy(big):
    assert len(big) == 1000000
    a = big.positions
    b = big.positions
    assert a.shape == (1000000, 3) and a.dtype == np.float64
    assert a is not b
    assert np.shares_memory(a, b)
    assert a.ctypes.data == b.ctypes.data
    assert a.base is big and b.base is big
    assert not a.flags.writeable and not a.flags.owndata
    with pytest.raises(ValueError):
        a[0, 0] = 1.0
    with pytest.raises(ValueError):
        a.flags.writeable = True


def test_a_view_outlives_its_structure():
    t = swnt.tube(10, 10, cells=25000)
    view = t.positions
    copy = view.copy()
    del t
    gc.collect()
    # The structure lives on in the view's base until the view goes.
    assert view.base is not None
    filler = [np.ones(1000000) for _ in range(8)]  # memory freed meanwhile would be reused
    assert np.array_equal(view, copy)
    del filler


def test_topology_arrays_are_views_too():
    t = swnt.tube(10, 10, cells=250)
    top = t.topology()
    bonds = top.bonds
    assert bonds.dtype == np.int32 and bonds.shape == (15000, 2)
    assert bonds.base is top and not bonds.flags.writeable
    assert np.shares_memory(bonds, top.bonds)
    assert top.angles.shape == (30000, 3)
    assert top.dihedrals.shape == (60000, 4)
    assert top.impropers.shape == (10000, 4)
    assert top.molecules.shape == (10000,) and set(top.molecules) == {0}
    assert top.positions.base is top and top.images.base is top
    images, positions = top.images, top.positions
    del top
    gc.collect()
    assert images.shape == (10000, 3) and np.isfinite(positions).all()
    assert (bonds[:, 0] < bonds[:, 1]).all()


def test_properties():
    t = swnt.tube(10, 10, cells=10, lattice="rebo")
    assert t.species.tolist() == ["C"] * len(t)
    assert t.cell.shape == (3, 3) and t.cell[2, 2] == pytest.approx(10 * t.info["unit_cell_length"])
    assert t.pbc.tolist() == [False, False, True]
    assert swnt.tube(10, 10, length=40.0).pbc.tolist() == [False, False, False]
    assert swnt.tube(10, 10, cells=10, periodic=False).pbc.tolist() == [False, False, False]
    assert swnt.tube(10, 10, cells=10, axis="x").pbc.tolist() == [True, False, False]
    assert t.description == "(10,10) SWNT" and "(10,10) SWNT" in repr(t)
    info = t.info
    assert info["table"].endswith("optbre.dat") and info["periodic"] and info["axis"] == "z"
    assert info["T"] == pytest.approx(info["unit_cell_length"])
    # Centred on the origin, wrapping's default placement.
    assert abs(t.positions.mean(axis=0)).max() < t.info["unit_cell_length"] / 2
    frames = swnt.rolling(8, 4, steps=3)
    assert frames.shape == (4, len(swnt.tube(8, 4)), 3) and frames.flags.writeable
    assert [f["name"] for f in swnt.formats()] == [
        "trajectory", "pv", "xmol", "tinker", "lammps", "extxyz", "pdb", "gromacs", "psf"]
