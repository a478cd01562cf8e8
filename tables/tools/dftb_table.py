#!/usr/bin/python3
"""Structure table of relaxed tubes from non-self-consistent tight binding.

The same steps as the REBO table (rebo_table.py): the ideal tube of wrapping
is relaxed, unrolled into a sheet and verified by rolling the fitted vectors
again.  The relaxation here is a CP2K cell optimisation with non-SCC DFTB
(parameter set DFTB/nonscc, C-C "cc"), the cell free along the axis only,
k-points 1 x 1 x kz along the axis, Fermi-Dirac smearing at 300 K.

Commands:
  dftb_table.py run [--jobs 2] [--limit N] [--only n,m ...]
      relax every missing tube (smallest cells first) and append one result
      line per tube to the results file; safe to interrupt and run again
  dftb_table.py assemble
      write the table file from the accepted results
  dftb_table.py graphene
      relax flat graphene and print its bond length and energy per atom
  dftb_table.py check [--table FILE] n,m ...
      relax the tubes again and compare with the entries of the table
      (vectors and diameter to 1e-8 AA); exit status 77 without CP2K
"""

import math
import os
import re
import shutil
import subprocess
import sys
import tempfile

import numpy as np

import rebo_table as tubes

HERE = os.path.dirname(os.path.abspath(__file__))
TABLES = os.path.dirname(HERE)
RESULTS = os.path.join(TABLES, "opttb_results.jsonl")
TABLE = os.path.join(TABLES, "opttb.dat")

CP2K = os.environ.get("CP2K", "cp2k.psmp")
PARAMETERS = os.environ.get("DFTB_PARAMETERS", "/usr/share/cp2k/DFTB/nonscc")

HARTREE_EV = 27.211386245988   # Hartree in eV (CODATA 2018)
K_LENGTH = 80.0                # k-points along the axis: kz * cell length >= this (AA)
ACHIRAL_MAX = 25.0             # every achiral tube up to this ideal diameter (AA)
CHIRAL_MAX = 10.0              # every chirality up to this ideal diameter (AA)
SMALL_CELL = 400               # and every chirality with at most this many atoms per cell
MAX_ITER = 500                 # cell optimisation steps

INPUT = """&GLOBAL
  PROJECT {project}
  RUN_TYPE {run_type}
  PRINT_LEVEL LOW
&END GLOBAL
&MOTION
  &CELL_OPT
    OPTIMIZER BFGS
    CONSTRAINT {constraint}
    KEEP_ANGLES T
{symmetry}    MAX_ITER {max_iter}
    MAX_FORCE 1.0E-6
    RMS_FORCE 5.0E-7
    MAX_DR 1.0E-5
    RMS_DR 5.0E-6
    PRESSURE_TOLERANCE 0.01
    EXTERNAL_PRESSURE 0.0
  &END CELL_OPT
&END MOTION
&FORCE_EVAL
  METHOD QS
  STRESS_TENSOR ANALYTICAL
  &DFT
    &QS
      METHOD DFTB
      EPS_DEFAULT 1.0E-14
      &DFTB
        SELF_CONSISTENT F
        DISPERSION F
        ORTHOGONAL_BASIS F
        DO_EWALD F
        &PARAMETER
          PARAM_FILE_PATH {parameters}
          PARAM_FILE_NAME nonscc_parameter
        &END PARAMETER
      &END DFTB
    &END QS
    &SCF
      MAX_SCF {max_scf}
      EPS_SCF 1.0E-9
      ADDED_MOS {added}
      &MIXING
        METHOD DIRECT_P_MIXING
        ALPHA 1.0
      &END MIXING
      &SMEAR ON
        METHOD FERMI_DIRAC
        ELECTRONIC_TEMPERATURE [K] 300
      &END SMEAR
    &END SCF
    &KPOINTS
      SCHEME MONKHORST-PACK {kpoints}
    &END KPOINTS
  &END DFT
  &SUBSYS
    &CELL
{cell}
      PERIODIC XYZ
    &END CELL
    &COORD
{coords}
    &END COORD
  &END SUBSYS
&END FORCE_EVAL
"""


def k_count(length):
    """Smallest even number of k-points with k * length >= K_LENGTH.

    An even Monkhorst-Pack grid contains neither Gamma nor the points at a
    third of the zone, where the bands of metallic tubes cross the Fermi
    level; sampling them exactly makes the cell length jump with kz."""
    k = max(1, int(math.ceil(K_LENGTH / length - 1e-9)))
    return k + k % 2


def run_cp2k(workdir, text, optimise=True):
    """Runs one single-threaded CP2K on the input text; returns the output
    text and the text of the final restart file (of an optimisation)."""
    inp = os.path.join(workdir, "relax.inp")
    with open(inp, "w") as f:
        f.write(text)
    env = dict(os.environ, OMP_NUM_THREADS="1")
    proc = subprocess.run([CP2K, "-i", "relax.inp", "-o", "relax.out"],
                          cwd=workdir, env=env, capture_output=True, text=True)
    out_path = os.path.join(workdir, "relax.out")
    out = open(out_path).read() if os.path.exists(out_path) else ""
    if proc.returncode != 0:
        raise RuntimeError("CP2K failed: " + out[-2000:] + proc.stderr[-2000:])
    if not optimise:
        return out, ""
    if "GEOMETRY OPTIMIZATION COMPLETED" not in out:
        raise RuntimeError("CP2K cell optimisation did not converge")
    with open(os.path.join(workdir, "relax-1.restart")) as f:
        restart = f.read()
    return out, restart


def final_energy(out):
    """The last total energy of a CP2K output, in eV."""
    energies = re.findall(r"ENERGY\| Total FORCE_EVAL \( QS \) energy \[a\.u\.\]:\s+(\S+)", out)
    return float(energies[-1]) * HARTREE_EV


def parse_result(out, restart):
    cell = restart[restart.index("&CELL\n"):]
    vectors = {}
    for name in "ABC":
        found = re.search(r"^\s+%s\s+(\S+)\s+(\S+)\s+(\S+)\s*$" % name, cell, re.M)
        vectors[name] = [float(x) for x in found.groups()]
    block = restart[restart.index("&COORD"):restart.index("&END COORD")]
    xyz = np.array([[float(v) for v in line.split()[1:4]]
                    for line in block.splitlines()[1:] if line.strip()])
    gradients = re.findall(r"Max\. gradient\s+=\s+(\S+)", out)
    pressures = re.findall(r"Pressure Deviation \[bar\]\s+=\s+(\S+)", out)
    steps = re.findall(r"OPTIMIZATION STEP:\s+(\d+)", out)
    return dict(cell=vectors, xyz=xyz, energy=final_energy(out),
                gradient=float(gradients[-1]) if gradients else 0.0,
                pressure=float(pressures[-1]) if pressures else 0.0,
                steps=int(steps[-1]) if steps else 0)


def relax_tube(n, m):
    before = os.times()
    tube = tubes.ideal_tube(n, m)
    cells, lz0, half = tube["cells"], tube["lz0"], tube["half"]
    kz = k_count(lz0)
    # CP2K's cell starts at the origin: the axis goes through its centre.
    coords = "\n".join("      C %.12f %.12f %.12f" % (x + half, y + half, z) for x, y, z in tube["xyz0"])

    def cp2k_input(run_type, max_scf, cell, coords):
        return INPUT.format(project="relax", run_type=run_type, constraint="XY", symmetry="", max_iter=MAX_ITER,
                            max_scf=max_scf, parameters=PARAMETERS, added=max(20, len(cells) // 2),
                            kpoints="1 1 %d" % kz, cell=cell, coords=coords)

    # The Hamiltonian of non-SCC DFTB does not depend on the density: one
    # diagonalisation per step gives the final density, hence exact forces
    # and stress (the geometry is bit for bit that of a converged SCF, at half
    # the cost), but CP2K reports that step's energy from the density it
    # started with. The energy is therefore evaluated once more, with the SCF
    # run to convergence, at the relaxed geometry.
    with tempfile.TemporaryDirectory(prefix="dftb_") as work:
        box = "      ABC %.12f %.12f %.12f" % (2 * half, 2 * half, lz0)
        out, restart = run_cp2k(work, cp2k_input("CELL_OPT", 1, box, coords))
    res = parse_result(out, restart)
    lz = res["cell"]["C"][2]
    cell = "\n".join("      %s %.17g %.17g %.17g" % ((name,) + tuple(res["cell"][name])) for name in "ABC")
    final = "\n".join("      C %.17g %.17g %.17g" % tuple(p) for p in res["xyz"])
    with tempfile.TemporaryDirectory(prefix="dftb_") as work:
        out, _ = run_cp2k(work, cp2k_input("ENERGY", 50, cell, final), optimise=False)
    if "SCF run converged" not in out:
        raise RuntimeError("CP2K energy of the relaxed tube did not converge")
    res["energy"] = final_energy(out)
    fit = tubes.unroll(n, m, cells, res["xyz"], lz, tube["phi0"], tube["z0"], lz0)
    after = os.times()
    cpu = sum(after[:4]) - sum(before[:4])
    return dict(n=n, m=m, natom=len(cells), lencell=lz, energy=res["energy"] / len(cells), kz=kz,
                gradient=res["gradient"], pressure=res["pressure"], steps=res["steps"], cpu=cpu, **fit)


def chiralities():
    """Every achiral tube up to 2.5 nm, every chirality up to 1.0 nm and every
    chirality with at most 400 atoms per cell (of the REBO range), smallest
    cells first."""
    out = []
    for n, m in tubes.chiralities():
        lat = tubes.lattice(n, m, *tubes.cylindrical(tubes.BOND)[:2])
        d = lat["diameter"]
        if ((m == 0 or m == n) and d <= ACHIRAL_MAX) or d <= CHIRAL_MAX or lat["natom"] <= SMALL_CELL:
            out.append((n, m))
    return out


def accepted(r):
    """A converged cell optimisation (run_cp2k refuses any other) whose entry
    rebuilds the relaxed atoms."""
    return r["residual"] <= tubes.RESIDUAL_TOL


def describe(r):
    return "kz %d gradient %.1e pressure %.1e steps %d" % (r["kz"], r["gradient"], r["pressure"], r["steps"])


def header(graphene_energy):
    return ("Non-SCC DFTB relaxed SWNTs (CP2K %s, DFTB/nonscc C-C cc, 300 K Fermi-Dirac; graphene %.10f eV/atom); "
            "group 2: relaxed diameter [AA], strain energy per atom relative to graphene [eV], "
            "atoms per cell" % (cp2k_version(), graphene_energy))


def graphene():
    """Flat graphene in its two-atom hexagonal cell, k-points as dense as the
    tubes' (k * a >= 80 AA), the cell free in the plane."""
    a0 = math.sqrt(3.0) * tubes.BOND
    k = k_count(a0)
    cell = ("      A %.12f 0.0 0.0\n      B %.12f %.12f 0.0\n      C 0.0 0.0 20.0\n      SYMMETRY HEXAGONAL"
            % (a0, -0.5 * a0, 0.5 * math.sqrt(3.0) * a0))
    # Fractional (1/3, 2/3) and (2/3, 1/3) of the cell above.
    pos = []
    for f1, f2 in ((1.0 / 3.0, 2.0 / 3.0), (2.0 / 3.0, 1.0 / 3.0)):
        pos.append((f1 * a0 - f2 * 0.5 * a0, f2 * 0.5 * math.sqrt(3.0) * a0, 10.0))
    coords = "\n".join("      C %.12f %.12f %.12f" % p for p in pos)
    text = INPUT.format(project="relax", run_type="CELL_OPT", constraint="Z", symmetry="    KEEP_SYMMETRY T\n",
                        max_iter=MAX_ITER, max_scf=50, parameters=PARAMETERS, added=8,
                        kpoints="%d %d 1" % (k, k), cell=cell, coords=coords)
    with tempfile.TemporaryDirectory(prefix="dftb_") as work:
        out, restart = run_cp2k(work, text)
    res = parse_result(out, restart)
    a = math.sqrt(sum(x * x for x in res["cell"]["A"]))
    return dict(bond=a / math.sqrt(3.0), energy=res["energy"] / 2.0)


def missing():
    """What the engine lacks on this machine, or None."""
    if shutil.which(CP2K) is None or not os.path.exists(os.path.join(PARAMETERS, "cc")):
        return "CP2K or " + os.path.join(PARAMETERS, "cc")
    return None


def cp2k_version():
    out = subprocess.run([CP2K, "--version"], capture_output=True, text=True).stdout
    found = re.search(r"CP2K version (\S+)", out)
    return found.group(1) if found else "unknown"


if __name__ == "__main__":
    tubes.main_for(sys.modules[__name__])
