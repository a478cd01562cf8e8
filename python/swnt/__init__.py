"""swnt: atomic models of single-walled carbon nanotubes.

The tubes of ``wrapping`` and the files of ``topoconv`` as Python objects,
over the same C++ libraries as the programs::

    import swnt
    t = swnt.tube(10, 10, cells=10, lattice="rebo")   # a periodic (10,10) tube along z
    t.positions                                       # (N, 3) read-only view, no copy
    bonds = t.topology().bonds                        # (M, 2), atoms from 0
    atoms = t.to_ase()                                # ase.Atoms with cell and pbc
    t.write("tube.data", style="atomic")              # the bytes topoconv writes

Errors raise swnt.Error (a ValueError) or swnt.FileError (an OSError) with
the programs' messages; warnings go through Python's warnings module as
swnt.SwntWarning.  docs/python.md is the tutorial.
"""

from ._swnt import (
    Error,
    FileError,
    Structure,
    SwntWarning,
    Topology,
    __version__,
    formats,
    from_ase,
    rolling,
    tube,
)

Structure.__module__ = __name__
Topology.__module__ = __name__

__all__ = [
    "Error",
    "FileError",
    "Structure",
    "SwntWarning",
    "Topology",
    "formats",
    "from_ase",
    "rolling",
    "tube",
]
