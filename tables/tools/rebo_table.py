#!/usr/bin/python3
"""Structure table of relaxed tubes from the Brenner (REBO) potential.

Each tube (n, m) starts from the ideal tube that wrapping itself builds (the
unit cell of its unit-cell list, rolled with its mapping, bond 1.42 AA),
periodic along the axis with a vacuum across.  LAMMPS relaxes the atoms and
the axial cell length; the relaxed tube is unrolled into a sheet and the
three sheet vectors va1, va2, vab are fitted so that wrapping rebuilds the
relaxed tube.  Every entry is verified by rolling it again and comparing with
the relaxed atoms.  The geometry and the driver below serve the tight-binding
table as well (dftb_table.py), with CP2K in place of LAMMPS.

Commands:
  rebo_table.py run [--jobs 2] [--limit N] [--only n,m ...]
      relax every missing tube (smallest cells first) and append one result
      line per tube to the results file; safe to interrupt and run again
  rebo_table.py assemble
      write the table file from the accepted results
  rebo_table.py graphene
      relax flat graphene and print its bond length and energy per atom
  rebo_table.py check [--table FILE] n,m ...
      relax the tubes again and compare with the entries of the table
      (vectors and diameter to 1e-8 AA); exit status 77 without LAMMPS
"""

import argparse
import json
import math
import os
import re
import shutil
import subprocess
import sys
import tempfile
from concurrent.futures import ProcessPoolExecutor, as_completed

import numpy as np

HERE = os.path.dirname(os.path.abspath(__file__))
TABLES = os.path.dirname(HERE)
RESULTS = os.path.join(TABLES, "optbre_results.jsonl")
TABLE = os.path.join(TABLES, "optbre.dat")

LMP = os.environ.get("LMP", "lmp")
POTENTIAL = os.environ.get("REBO_POTENTIAL", "/usr/share/lammps/potentials/CH.rebo")

BOND = 1.42            # bond length of the starting tube (AA)
VACUUM = 12.0          # vacuum across the tube (AA), at least 10
PZZ_TOL = 5e-4         # |p_zz| target (bar)
FMAX_TOL = 1e-8        # largest force target (eV/AA)
MAX_ROUNDS = 30        # alternations of cell relaxation and fixed-cell relaxation
RESIDUAL_TOL = 1e-5    # largest accepted distance between rolled entry and relaxed atom (AA)
DIAMETER_MIN, DIAMETER_MAX = 3.0, 25.0   # ideal diameters covered (AA)
PI = 3.141592653589793


# ---------------------------------------------------------------- lattice
def gcd(a, b):
    return math.gcd(abs(a), abs(b))


def cylindrical(a):
    """Ideal sheet vectors of bond length a, as wrapping builds them."""
    y = math.sqrt(3.0) * 0.5 * a
    return (1.5 * a, y), (1.5 * a, -y), (a, 0.0)


def lattice(n, m, va1, va2):
    ch = (n * va1[0] + m * va2[0], n * va1[1] + m * va2[1])
    lench = math.sqrt(ch[0] * ch[0] + ch[1] * ch[1])
    dr = gcd(n + 2 * m, 2 * n + m)
    t1 = (n + 2 * m) // dr
    t2 = -(2 * n + m) // dr
    t = (t1 * va1[0] + t2 * va2[0], t1 * va1[1] + t2 * va2[1])
    lent = math.sqrt(t[0] * t[0] + t[1] * t[1])
    axis = (-ch[1] / lench, ch[0] / lench)
    lencell = t[0] * axis[0] + t[1] * axis[1]
    if lencell < 0:
        axis = (-axis[0], -axis[1])
        lencell = -lencell
    natom = 2 * (2 * (n * n + n * m + m * m) // dr)
    return dict(ch=ch, lench=lench, t=t, lent=lent, axis=axis, lencell=lencell,
                t1=t1, t2=t2, natom=natom, diameter=lench / PI)


def unit_cell(n, m):
    """wrapping's unit-cell list (c1, c2, sub), selected on the 1.44 AA sheet."""
    va1, va2, vab = cylindrical(1.44)
    lat = lattice(n, m, va1, va2)
    ch, t = lat["ch"], lat["t"]
    cells = []
    for c1 in range(0, n + lat["t1"] + 1):
        for c2 in range(lat["t2"], m + 1):
            for sub in (0, 1):
                px = c1 * va1[0] + c2 * va2[0]
                py = c1 * va1[1] + c2 * va2[1]
                qx = sub * vab[0] + px
                qy = sub * vab[1] + py
                u = (qx * ch[0] + qy * ch[1]) / (lat["lench"] * lat["lench"])
                v = (qx * t[0] + qy * t[1]) / (lat["lent"] * lat["lencell"])
                if -0.0001 <= u <= 0.9999 and -0.0001 <= v <= 0.9999:
                    cells.append((c1, c2, sub))
    assert len(cells) == lat["natom"], (n, m, len(cells))
    return cells


def roll(cells, va1, va2, vab, lat):
    """Cylinder coordinates of the cell atoms with wrapping's mapping:
    phi = 2 pi (p . Ch) / |Ch|^2, axial = p . axis, radius |Ch| / (2 pi)."""
    c = np.array(cells, dtype=float)
    px = c[:, 0] * va1[0] + c[:, 1] * va2[0] + c[:, 2] * vab[0]
    py = c[:, 0] * va1[1] + c[:, 1] * va2[1] + c[:, 2] * vab[1]
    ch = lat["ch"]
    u = (px * ch[0] + py * ch[1]) / (lat["lench"] ** 2)
    phi = 2.0 * PI * u
    z = px * lat["axis"][0] + py * lat["axis"][1]
    return phi, z


def chiralities():
    out = []
    for n in range(1, 60):
        for m in range(0, n + 1):
            d = math.sqrt(3.0) * BOND * math.sqrt(n * n + n * m + m * m) / PI
            if DIAMETER_MIN <= d <= DIAMETER_MAX:
                out.append((n, m))
    # Smallest cells first, so that an interrupted run leaves the most useful tubes.
    out.sort(key=lambda nm: (lattice(nm[0], nm[1], *cylindrical(BOND)[:2])["natom"], nm))
    return out


# ---------------------------------------------------------------- LAMMPS
INPUT = """units metal
atom_style atomic
boundary p p p
atom_modify map array sort 0 0.0
read_data {data}
mass 1 12.011
pair_style rebo
pair_coeff * * {potential} C
thermo_style custom step pe pzz lz fmax
thermo_modify norm no
min_style cg
variable i loop {rounds}
label cycle
fix relax all box/relax z 0.0 vmax 0.0001
minimize 0.0 1e-10 2000 20000
unfix relax
minimize 0.0 1e-10 5000 50000
run 0
print "ROUND $i $(pzz:%.10e) $(fmax:%.10e) $(lz:%.17g) $(pe:%.17g)"
if "$(abs(pzz)) < {pzz_tol} && $(fmax) < {fmax_tol}" then "jump SELF done"
next i
jump SELF cycle
label done
write_dump all custom {dump} id x y z modify format float %.17g sort id
print "FINAL $(lz:%.17g) $(pe:%.17g) $(pzz:%.10e) $(fmax:%.10e)"
"""


def run_lammps(workdir, data_text, rounds=MAX_ROUNDS):
    data = os.path.join(workdir, "tube.data")
    dump = os.path.join(workdir, "tube.dump")
    inp = os.path.join(workdir, "in.relax")
    with open(data, "w") as f:
        f.write(data_text)
    with open(inp, "w") as f:
        f.write(INPUT.format(data=data, potential=POTENTIAL, rounds=rounds, dump=dump,
                             pzz_tol=PZZ_TOL, fmax_tol=FMAX_TOL))
    env = dict(os.environ, OMP_NUM_THREADS="1")
    proc = subprocess.run([LMP, "-in", inp, "-log", "none"],
                          cwd=workdir, env=env, capture_output=True, text=True)
    out = proc.stdout
    if proc.returncode != 0:
        raise RuntimeError("LAMMPS failed: " + proc.stdout[-2000:] + proc.stderr[-2000:])
    rounds_done = len(re.findall(r"^ROUND ", out, re.M))
    final = re.search(r"^FINAL (\S+) (\S+) (\S+) (\S+)", out, re.M)
    if final is None:
        raise RuntimeError("LAMMPS gave no final line")
    lz, pe, pzz, fmax = (float(x) for x in final.groups())
    pos = {}
    with open(dump) as f:
        lines = f.read().splitlines()
    start = lines.index("ITEM: ATOMS id x y z") + 1
    for line in lines[start:]:
        i, x, y, z = line.split()
        pos[int(i)] = (float(x), float(y), float(z))
    xyz = np.array([pos[i + 1] for i in range(len(pos))])
    return dict(lz=lz, pe=pe, pzz=pzz, fmax=fmax, rounds=rounds_done, xyz=xyz)


def data_file(xyz, box):
    lines = ["tube", "", "%d atoms" % len(xyz), "1 atom types", ""]
    for k, name in enumerate("xyz"):
        lines.append("%.17g %.17g %slo %shi" % (box[k][0], box[k][1], name, name))
    lines += ["", "Atoms # atomic", ""]
    for i, p in enumerate(xyz):
        lines.append("%d 1 %.17g %.17g %.17g" % (i + 1, p[0], p[1], p[2]))
    return "\n".join(lines) + "\n"


def lammps_version():
    out = subprocess.run([LMP, "-h"], capture_output=True, text=True).stdout
    found = re.search(r"Simulator - (.+)", out)
    return found.group(1).strip() if found else "unknown"


# ---------------------------------------------------------------- one tube
def ideal_tube(n, m):
    """The starting tube of every engine: wrapping's unit cell rolled on the
    ideal sheet, axis along z through the origin, z wrapped into one cell.
    `half` is the half width of the box across (radius plus vacuum)."""
    va1, va2, vab = cylindrical(BOND)
    lat0 = lattice(n, m, va1, va2)
    cells = unit_cell(n, m)
    phi0, z0 = roll(cells, va1, va2, vab, lat0)
    r0 = lat0["diameter"] * 0.5
    lz0 = lat0["lencell"]
    zf = z0 - np.floor(z0 / lz0) * lz0
    xyz0 = np.column_stack([r0 * np.cos(phi0), r0 * np.sin(phi0), zf])
    return dict(cells=cells, phi0=phi0, z0=z0, lz0=lz0, xyz0=xyz0, half=r0 + VACUUM)


def relax_tube(n, m):
    before = os.times()
    tube = ideal_tube(n, m)
    cells, lz0, half = tube["cells"], tube["lz0"], tube["half"]
    box = [(-half, half), (-half, half), (0.0, lz0)]
    with tempfile.TemporaryDirectory(prefix="rebo_") as work:
        res = run_lammps(work, data_file(tube["xyz0"], box))
    fit = unroll(n, m, cells, res["xyz"], res["lz"], tube["phi0"], tube["z0"], lz0)
    after = os.times()
    cpu = sum(after[:4]) - sum(before[:4])
    return dict(n=n, m=m, natom=len(cells), lencell=res["lz"], energy=res["pe"] / len(cells),
                pzz=res["pzz"], fmax=res["fmax"], rounds=res["rounds"],
                cpu=cpu, **fit)


def unroll(n, m, cells, xyz, lz, phi0, z0, lz0):
    """Fits the sheet vectors of a relaxed tube and checks them by rolling."""
    from scipy.optimize import least_squares

    xy = xyz[:, :2]

    def radial(c):
        r = np.hypot(xy[:, 0] - c[0], xy[:, 1] - c[1])
        return r - r.mean()

    centre = least_squares(radial, xy.mean(axis=0), xtol=1e-15, ftol=1e-15, gtol=1e-15).x
    dx, dy = xy[:, 0] - centre[0], xy[:, 1] - centre[1]
    radius = float(np.hypot(dx, dy).mean())
    phi = np.arctan2(dy, dx)
    phi = phi + 2.0 * PI * np.round((phi0 - phi) / (2.0 * PI))
    zref = z0 * (lz / lz0)
    z = xyz[:, 2] + lz * np.round((zref - xyz[:, 2]) / lz)
    s = radius * phi

    dr = gcd(n + 2 * m, 2 * n + m)
    t1, t2 = (n + 2 * m) // dr, -(2 * n + m) // dr
    # n va1 + m va2 = (2 pi R, 0) and t1 va1 + t2 va2 = (0, Lz), in
    # (circumference, axis) components.
    mat = np.array([[n, m], [t1, t2]], dtype=float)
    rhs = np.array([[2.0 * PI * radius, 0.0], [0.0, lz]])
    a1, a2 = np.linalg.solve(mat, rhs)
    c = np.array(cells, dtype=float)
    rest = np.column_stack([s, z]) - np.outer(c[:, 0], a1) - np.outer(c[:, 1], a2)
    sub = c[:, 2] == 1
    offset = rest[~sub].mean(axis=0)
    ab = rest[sub].mean(axis=0) - offset

    # Into the ideal sheet's frame: Ch along its ideal direction, the axis a
    # quarter turn counter-clockwise of it.
    ideal = lattice(n, m, *cylindrical(BOND)[:2])
    e = np.array(ideal["ch"]) / ideal["lench"]
    a = np.array([-e[1], e[0]])

    def to_sheet(v):
        return [float(round(v[0] * e[0] + v[1] * a[0], 10)), float(round(v[0] * e[1] + v[1] * a[1], 10))]

    va1, va2, vab = to_sheet(a1), to_sheet(a2), to_sheet(ab)

    # Verification with the vectors as written: roll them with wrapping's
    # mapping and compare with the relaxed atoms after the best rotation
    # about the axis and shift along it.
    lat = lattice(n, m, va1, va2)
    phi_r, z_r = roll(cells, va1, va2, vab, lat)
    rr = lat["diameter"] * 0.5
    rot = np.mean(phi - phi_r)
    shift = np.mean(z - z_r)
    rolled = np.column_stack([rr * np.cos(phi_r + rot), rr * np.sin(phi_r + rot), z_r + shift])
    relaxed = np.column_stack([dx, dy, z])
    residual = float(np.max(np.linalg.norm(rolled - relaxed, axis=1)))
    return dict(diameter=2.0 * radius, va1=va1, va2=va2, vab=vab, residual=residual,
                built_diameter=lat["diameter"], built_lencell=lat["lencell"])


# ---------------------------------------------------------------- graphene
def graphene():
    a = BOND
    w = math.sqrt(3.0) * a
    xyz = np.array([[0.0, 0.0, 0.0], [a, 0.0, 0.0], [1.5 * a, 0.5 * w, 0.0], [2.5 * a, 0.5 * w, 0.0]])
    box = [(0.0, 3.0 * a), (0.0, w), (-10.0, 10.0)]
    inp = INPUT.replace("fix relax all box/relax z 0.0", "fix relax all box/relax x 0.0 y 0.0 couple xy")
    inp = inp.replace("$(abs(pzz))", "$(abs(pxx))").replace("pzz:", "pxx:")
    with tempfile.TemporaryDirectory(prefix="rebo_") as work:
        data = os.path.join(work, "g.data")
        with open(data, "w") as f:
            f.write(data_file(xyz, box))
        path = os.path.join(work, "in.g")
        with open(path, "w") as f:
            f.write(inp.format(data=data, potential=POTENTIAL, rounds=MAX_ROUNDS,
                               dump=os.path.join(work, "g.dump"), pzz_tol=PZZ_TOL, fmax_tol=FMAX_TOL)
                    .replace("thermo_style custom step pe pzz lz fmax",
                             "thermo_style custom step pe pxx lx fmax")
                    .replace("$(lz:", "$(lx:"))
        out = subprocess.run([LMP, "-in", path, "-log", "none"],
                             capture_output=True, text=True, env=dict(os.environ, OMP_NUM_THREADS="1")).stdout
    final = re.search(r"^FINAL (\S+) (\S+)", out, re.M)
    lx, pe = float(final.group(1)), float(final.group(2))
    return dict(bond=lx / 3.0, energy=pe / 4.0)


# ---------------------------------------------------------------- driver
# The driver serves every engine: an engine module provides RESULTS, TABLE,
# chiralities(), relax_tube(n, m), accepted(r), describe(r), graphene(),
# header(graphene_energy) and missing().
def load_results(path):
    done = {}
    if os.path.exists(path):
        with open(path) as f:
            for line in f:
                line = line.strip()
                if line:
                    r = json.loads(line)
                    done[(r["n"], r["m"])] = r
    return done


def append_result(path, r):
    with open(path, "a") as f:
        f.write(json.dumps(r, sort_keys=True) + "\n")
        f.flush()
        os.fsync(f.fileno())


def accepted(r):
    """A converged relaxation whose entry rebuilds the relaxed atoms."""
    return r["residual"] <= RESIDUAL_TOL and abs(r["pzz"]) < PZZ_TOL and r["fmax"] < FMAX_TOL


def describe(r):
    return "pzz %.1e fmax %.1e rounds %d" % (r["pzz"], r["fmax"], r["rounds"])


def header(graphene_energy):
    return ("Brenner REBO relaxed SWNTs (LAMMPS %s, pair_style rebo, CH.rebo; graphene %.10f eV/atom); "
            "group 2: relaxed diameter [AA], strain energy per atom relative to graphene [eV], "
            "atoms per cell" % (lammps_version(), graphene_energy))


def cmd_run(args, engine):
    done = load_results(engine.RESULTS)
    todo = [nm for nm in engine.chiralities() if nm not in done]
    if args.only:
        todo = [tuple(int(x) for x in s.split(",")) for s in args.only]
    if args.limit:
        todo = todo[: args.limit]
    print("%d tubes to relax" % len(todo), flush=True)
    with ProcessPoolExecutor(max_workers=args.jobs) as pool:
        futures = {pool.submit(engine.relax_tube, n, m): (n, m) for n, m in todo}
        for fut in as_completed(futures):
            n, m = futures[fut]
            try:
                r = fut.result()
            except Exception as exc:  # not recorded, so that a rerun tries again
                print("(%d,%d) failed: %s" % (n, m, exc), flush=True)
                continue
            r["accepted"] = engine.accepted(r)
            if not args.only:
                append_result(engine.RESULTS, r)
            print("(%d,%d) natom %d d %.6f lencell %.6f E %.6f residual %.2e %s cpu %.1fs %s"
                  % (n, m, r["natom"], r["diameter"], r["lencell"], r["energy"], r["residual"],
                     engine.describe(r), r["cpu"], "" if r["accepted"] else "REJECTED"), flush=True)


def cmd_assemble(_args, engine):
    done = load_results(engine.RESULTS)
    g = engine.graphene()
    entries = sorted((r for r in done.values() if engine.accepted(r)), key=lambda r: (r["n"], r["m"]))
    lines = [engine.header(g["energy"])]
    for r in entries:
        lines.append("%d %d" % (r["n"], r["m"]))
        lines.append("%.10f %.10f %d" % (r["diameter"], r["energy"] - g["energy"], r["natom"]))
        for v in ("va1", "va2", "vab"):
            lines.append("%.10f %.10f" % tuple(r[v]))
    tmp = engine.TABLE + ".tmp"
    with open(tmp, "w") as f:
        f.write("\n".join(lines) + "\n")
        f.flush()
        os.fsync(f.fileno())
    os.replace(tmp, engine.TABLE)
    print("%d entries written to %s" % (len(entries), engine.TABLE))


def read_table(path):
    with open(path) as f:
        f.readline()
        tokens = f.read().split()
    entries = {}
    for k in range(0, len(tokens) - len(tokens) % 11, 11):
        t = tokens[k:k + 11]
        entries[(int(t[0]), int(t[1]))] = dict(diameter=float(t[2]), strain=float(t[3]), natom=int(t[4]),
                                               vectors=[float(x) for x in t[5:11]])
    return entries


def missing():
    """What the engine lacks on this machine, or None."""
    if shutil.which(LMP) is None or not os.path.exists(POTENTIAL):
        return "LAMMPS or " + POTENTIAL
    return None


def cmd_check(args, engine):
    lacking = engine.missing()
    if lacking:
        print("%s not found: check skipped" % lacking)
        sys.exit(77)
    table = read_table(args.table)
    failed = False
    for chirality in args.tubes:
        n, m = (int(x) for x in chirality.split(","))
        if (n, m) not in table:
            print("(%d,%d) not in %s" % (n, m, args.table))
            failed = True
            continue
        r = engine.relax_tube(n, m)
        e = table[(n, m)]
        got = r["va1"] + r["va2"] + r["vab"]
        worst = max(abs(a - b) for a, b in zip(got, e["vectors"]))
        worst = max(worst, abs(r["diameter"] - e["diameter"]))
        ok = worst <= 1e-8 and r["natom"] == e["natom"] and engine.accepted(r)
        print("(%d,%d) largest difference %.2e AA, residual %.2e AA: %s"
              % (n, m, worst, r["residual"], "ok" if ok else "MISMATCH"))
        failed = failed or not ok
    sys.exit(1 if failed else 0)


def main_for(engine):
    parser = argparse.ArgumentParser(description=engine.__doc__,
                                     formatter_class=argparse.RawDescriptionHelpFormatter)
    sub = parser.add_subparsers(dest="cmd", required=True)
    p = sub.add_parser("run")
    p.add_argument("--jobs", type=int, default=2)
    p.add_argument("--limit", type=int, default=0)
    p.add_argument("--only", nargs="*", help="n,m pairs to relax and print, without recording them")
    sub.add_parser("assemble")
    sub.add_parser("graphene")
    p = sub.add_parser("check")
    p.add_argument("--table", default=engine.TABLE)
    p.add_argument("tubes", nargs="+")
    args = parser.parse_args()
    if args.cmd == "run":
        cmd_run(args, engine)
    elif args.cmd == "assemble":
        cmd_assemble(args, engine)
    elif args.cmd == "check":
        cmd_check(args, engine)
    else:
        g = engine.graphene()
        print("bond %.6f AA, energy %.6f eV/atom" % (g["bond"], g["energy"]))


if __name__ == "__main__":
    main_for(sys.modules[__name__])
