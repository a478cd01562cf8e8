"""Type stub of the Python module swnt (installed as swnt/__init__.pyi)."""
import os
from typing import Literal, Sequence, TypedDict, Union

import numpy as np
import numpy.typing as npt

__version__: str
__all__: list[str]

StrPath = Union[str, bytes, "os.PathLike[str]", "os.PathLike[bytes]"]
Axes = Union[str, Sequence[bool]]
Axis = Literal["x", "y", "z", "X", "Y", "Z"]
Style = Literal["full", "molecular", "atomic"]

class Error(ValueError):
    """A value the tools refuse, with the message of the programs' "Error: " line."""

class FileError(OSError):
    """A file that cannot be read or written."""

class SwntWarning(UserWarning):
    """A doubtful finding, the programs' "Warning: " lines."""

class FormatInfo(TypedDict):
    name: str
    title: str
    extensions: list[str]
    topology: bool

class Topology:
    """The bonded topology of a structure; read-only int32 views, atoms from 0."""
    @property
    def bonds(self) -> npt.NDArray[np.int32]:
        """(M, 2): the bonded pairs, lower atom first, sorted."""
    @property
    def angles(self) -> npt.NDArray[np.int32]:
        """(K, 3): i, centre, k."""
    @property
    def dihedrals(self) -> npt.NDArray[np.int32]:
        """(K, 4): i, j, k, l over the bond j-k."""
    @property
    def impropers(self) -> npt.NDArray[np.int32]:
        """(K, 4): the centre, then its three neighbours."""
    @property
    def molecules(self) -> npt.NDArray[np.int32]:
        """(N,): each atom's molecule, from 0."""
    @property
    def positions(self) -> npt.NDArray[np.float64]:
        """(N, 3): the atoms as placed in the box."""
    @property
    def images(self) -> npt.NDArray[np.int32]:
        """(N, 3): the image flags."""
    @property
    def species(self) -> npt.NDArray[np.str_]:
        """(N,): the element symbols."""
    @property
    def cell(self) -> npt.NDArray[np.float64]:
        """(3, 3): the box as a diagonal matrix."""
    @property
    def origin(self) -> npt.NDArray[np.float64]:
        """(3,): the lower corner of the box."""
    @property
    def pbc(self) -> npt.NDArray[np.bool_]:
        """(3,): the periodic axes."""
    def to_ase(self) -> "ase.Atoms":  # type: ignore[name-defined]  # noqa: F821
        """The atoms as an ase.Atoms with the cell and pbc."""
    def __len__(self) -> int: ...

class Structure:
    """Atoms of carbon (and hydrogen) in an orthogonal box; immutable."""
    @property
    def positions(self) -> npt.NDArray[np.float64]:
        """(N, 3), Angstrom: a read-only view on the structure's memory."""
    @property
    def species(self) -> npt.NDArray[np.str_]:
        """(N,): the element symbols."""
    @property
    def cell(self) -> npt.NDArray[np.float64]:
        """(3, 3): the box as a diagonal matrix."""
    @property
    def pbc(self) -> npt.NDArray[np.bool_]:
        """(3,): the periodic axes."""
    @property
    def info(self) -> dict[str, object]:
        """The structural parameters of a tube (the structure report's), or the atom counts."""
    @property
    def description(self) -> str:
        """"(n,m) SWNT" for a tube, the formula otherwise."""
    def topology(
        self,
        *,
        cutoff: float = 1.8,
        periodic: Axes | None = None,
        trim: bool = False,
        hydrogenate: bool = False,
        ch: float | None = None,
    ) -> Topology:
        """The bonded topology, as topoconv finds it."""
    def to_ase(self) -> "ase.Atoms":  # type: ignore[name-defined]  # noqa: F821
        """The structure as an ase.Atoms with the cell and pbc."""
    def write(
        self,
        path: StrPath,
        format: str | None = None,
        *,
        style: Style | None = None,
        periodic: Axes | None = None,
        cutoff: float | None = None,
        trim: bool = False,
        hydrogenate: bool = False,
        ch: float | None = None,
        forcefield: StrPath | None = None,
        terms: bool = True,
        source: str | None = None,
    ) -> None:
        """Writes the structure in any format of the registry with the programs' bytes."""
    def __len__(self) -> int: ...

def tube(
    n: int,
    m: int,
    *,
    cells: float | None = None,
    length: float | None = None,
    lattice: Literal["ideal", "rebo", "tb"] | StrPath = "ideal",
    bond: float | None = None,
    axis: Axis = "z",
    periodic: bool | None = None,
    centred: bool = True,
    shift: tuple[float, float, float] = (0.0, 0.0, 0.0),
    axial_scale: float = 1.0,
    diameter_scale: float = 1.0,
) -> Structure:
    """The (n,m) tube as wrapping builds it."""

def rolling(
    n: int,
    m: int,
    steps: int = 20,
    *,
    cells: float | None = None,
    length: float | None = None,
    lattice: Literal["ideal", "rebo", "tb"] | StrPath = "ideal",
    bond: float | None = None,
    axis: Axis = "z",
    centred: bool = True,
    shift: tuple[float, float, float] = (0.0, 0.0, 0.0),
    axial_scale: float = 1.0,
    diameter_scale: float = 1.0,
) -> npt.NDArray[np.float64]:
    """The scenes of wrapping -w, (steps + 1, N, 3)."""

def from_ase(atoms: "ase.Atoms") -> Structure:  # type: ignore[name-defined]  # noqa: F821
    """A Structure of the carbon and hydrogen atoms of an ase.Atoms in an orthogonal cell."""

def formats() -> list[FormatInfo]:
    """The formats write() takes."""
