#!/usr/bin/python3
"""The species and defects of assemble, proved by independent means.

  rings      networkx finds the rings of the bonds of our LAMMPS data files
             (for every atom and every pair of its neighbours the shortest
             cycle through both bonds): a perfect periodic (10,10) tube has
             only hexagons; each Stone-Wales defect, axial or circumferential,
             one to three of them, on an armchair and a zigzag tube, puts two
             pentagons and two heptagons in place of four hexagons, the turned
             bond joining the two heptagons and lying across the orientation
             asked; every bond of a --species BN tube joins B and N; V
             vacancies leave V atoms fewer and 3V two-bonded atoms, and with
             --hydrogenate 3V hydrogens, each bonded (as written) to its own
             two-bonded carbon.
  tersoff    LAMMPS minimizes a periodic (10,10) BN tube on BNC.tersoff (box
             free along z): no atom lost, every atom keeps three bonds, each
             between 1.40 and 1.50 A.
  rebo       LAMMPS on CH.rebo: the formation energy of an axial and of a
             circumferential Stone-Wales defect in a periodic (10,10) tube
             (relaxed defect minus relaxed perfect tube) and of a vacancy (E(N-1, relaxed) - (N-1)/N E(N, perfect)) lie in
             the ranges published for REBO-type potentials.
  grompp     gmx grompp -maxwarn 0 accepts a nitrogen-doped periodic (10,10)
             tube written with the default force field, and finds a parameter
             for every bond, angle, dihedral and improper.

Bonds are the pairs closer than 1.8 A, through the periodic boundary along z.
Exit status 0, 1 or 77 as for check_interop.py.
"""

import itertools
import re
import shutil
import sys
from pathlib import Path

from check_interop import CheckFailed, require_module, run, run_check, skip

CUTOFF = 1.8
POTENTIALS = Path("/usr/share/lammps/potentials")

# Formation energies published for REBO-type (Brenner) potentials and by
# first-principles work on graphene and nanotubes: a Stone-Wales defect some
# 4.5 to 8 eV in graphene, less in a curved wall (the more, the narrower the
# tube, and by its orientation); a vacancy some 7 to 8 eV.  The ranges are
# wider on both sides: our small periodic cell and the tube's curvature move
# the figure by some tenths of an eV.
STONE_WALES_RANGE = (3.5, 8.5)   # eV
VACANCY_RANGE = (6.0, 9.0)       # eV


class Tools:
    def __init__(self, args):
        self.assemble = str(Path(args.assemble).absolute())
        self.source = Path(args.source).absolute()


def assemble(tools, work, output, *arguments):
    """Runs assemble; returns its report."""
    return run([tools.assemble, *arguments, output], work)


def read_data(path):
    """A LAMMPS data file of assemble: (elements, positions, box lengths,
    bonds), atoms in file order from 0, bonds as index pairs (None when the
    file has no Bonds section)."""
    import numpy as np
    lines = Path(path).read_text().splitlines()
    lengths = []
    for line in lines:
        m = re.match(r"\s*(\S+)\s+(\S+)\s+[xyz]lo", line)
        if m:
            lengths.append(float(m.group(2)) - float(m.group(1)))
    section, masses, atoms, bonds = None, {}, [], None
    for line in lines:
        text = line.split("#")[0].strip()
        head = line.strip().split(" ")[0] if line.strip() else ""
        if head in ("Masses", "Atoms", "Bonds", "Angles", "Dihedrals", "Impropers", "Velocities"):
            section = head
            if head == "Bonds":
                bonds = []
            continue
        if not text:
            continue
        fields = text.split()
        if section == "Masses":
            masses[int(fields[0])] = line.split("#")[1].strip()
        elif section == "Atoms":
            atoms.append(fields)
        elif section == "Bonds":
            bonds.append((int(fields[2]) - 1, int(fields[3]) - 1))
    style = re.search(r"^Atoms\s*#\s*(\w+)", "\n".join(lines), re.M).group(1)
    first = {"atomic": 2, "molecular": 3, "full": 4}[style]
    atoms.sort(key=lambda f: int(f[0]))
    if [int(f[0]) for f in atoms] != list(range(1, len(atoms) + 1)):
        raise CheckFailed(f"{path}: atom ids are not 1..{len(atoms)}")
    elements = [masses[int(f[1 if style == "atomic" else 2])] for f in atoms]
    positions = np.array([[float(x) for x in f[first:first + 3]] for f in atoms])
    return elements, positions, np.array(lengths), bonds


def close_pairs(positions, lengths, periodic_z=True):
    """The pairs closer than CUTOFF, through the periodic boundary along z."""
    import numpy as np
    from scipy.spatial import cKDTree
    shifted = positions.copy()
    box = None
    if periodic_z:
        low = shifted[:, 2].min()
        shifted[:, 2] = np.mod(shifted[:, 2] - low, lengths[2])
        big = 10 * (np.ptp(positions[:, :2]) + 10)
        shifted[:, :2] -= shifted[:, :2].min(axis=0)
        box = [big, big, lengths[2]]
    tree = cKDTree(shifted, boxsize=box)
    return {tuple(sorted(p)) for p in tree.query_pairs(CUTOFF)}


def graph(count, bonds):
    import networkx as nx
    g = nx.Graph()
    g.add_nodes_from(range(count))
    g.add_edges_from(bonds)
    return g


def rings(g):
    """Every shortest-path ring: for each atom and each pair of its
    neighbours, the shortest cycle through both bonds; as frozensets."""
    import networkx as nx
    found = set()
    for v in g.nodes:
        near = list(g.neighbors(v))
        if len(near) < 2:
            continue
        rest = g.subgraph(set(g.nodes) - {v})
        for a, b in itertools.combinations(near, 2):
            try:
                path = nx.shortest_path(rest, a, b)
            except nx.NetworkXNoPath:
                continue
            found.add(frozenset([v, *path]))
    return found


def ring_sizes(found):
    sizes = {}
    for ring in found:
        sizes[len(ring)] = sizes.get(len(ring), 0) + 1
    return dict(sorted(sizes.items()))


def expect(what, expected, found):
    if expected != found:
        raise CheckFailed(f"{what}: expected {expected}, found {found}")


def checked_bonds(work, name):
    """The bonds of work/name (molecular style) equal the close pairs."""
    elements, positions, lengths, bonds = read_data(work / name)
    written = {tuple(sorted(b)) for b in bonds}
    expect(f"{name}: the bonds written are the pairs closer than {CUTOFF} A",
           set(), written ^ close_pairs(positions, lengths))
    return elements, positions, lengths, bonds


# Tube, wrapping arguments and cells: long enough that a loop around the
# periodic cell is far longer than a heptagon.
TUBES = {"armchair": ("10,10", 6), "zigzag": ("10,0", 4)}


def check_rings(tools, work):
    require_module("networkx", "python3-networkx")
    import numpy as np
    for tube, (chirality, cells) in TUBES.items():
        assemble(tools, work, f"{tube}.data", "--wall", chirality, "--periodic", "--cells",
                 str(cells), "--style", "molecular")
        elements, positions, lengths, bonds = checked_bonds(work, f"{tube}.data")
        n = len(elements)
        perfect = ring_sizes(rings(graph(n, bonds)))
        expect(f"perfect {tube} tube of {n} atoms: rings by size", {6: n // 2}, perfect)
        print(f"ok perfect {tube}: {n} atoms, {perfect}")
        for orientation in ("axial", "circumferential"):
            for count in (1, 2, 3):
                name = f"{tube}-{orientation}-{count}.data"
                report = assemble(tools, work, name, "--wall", chirality, "--periodic", "--cells",
                                  str(cells), "--stone-wales", str(count),
                                  "--stone-wales-orientation", orientation, "--seed", str(count),
                                  "--style", "molecular")
                elements, positions, lengths, bonds = checked_bonds(work, name)
                expect(f"{name}: atoms", n, len(elements))
                g = graph(n, bonds)
                found = rings(g)
                sizes = ring_sizes(found)
                expect(f"{name}: rings by size", {5: 2 * count, 6: n // 2 - 4 * count,
                                                  7: 2 * count}, sizes)
                line = re.search(r"Stone-Wales defects, the turned bonds as written \((\d+)\): (.*)",
                                 report)
                turned = [tuple(int(x) - 1 for x in pair.split("-"))
                          for pair in re.findall(r"\d+-\d+", line.group(2))] if line else []
                expect(f"{name}: turned bonds reported", count, len(turned))
                for a, b in turned:
                    if not g.has_edge(a, b):
                        raise CheckFailed(f"{name}: turned bond {a + 1}-{b + 1} is not a bond")
                    around = sorted(len(r) for r in found if a in r and b in r)
                    expect(f"{name}: rings through the turned bond {a + 1}-{b + 1}", [7, 7], around)
                    d = positions[b] - positions[a]
                    d[2] -= lengths[2] * round(d[2] / lengths[2])
                    angle = np.degrees(np.arccos(abs(d[2]) / np.linalg.norm(d)))
                    # Axial before the turn is across the axis after it.
                    if (angle > 45) != (orientation == "axial"):
                        raise CheckFailed(f"{name}: turned bond {a + 1}-{b + 1} at {angle:.1f} "
                                          f"degrees to the axis after an {orientation} turn")
                print(f"ok {name}: {sizes}, turned bonds {[(a + 1, b + 1) for a, b in turned]}")

    assemble(tools, work, "bn.data", "--wall", "10,10", "--periodic", "--cells", "6",
             "--species", "BN", "--style", "molecular")
    elements, positions, lengths, bonds = checked_bonds(work, "bn.data")
    pairs = {tuple(sorted((elements[i], elements[j]))) for i, j in bonds}
    expect("bn.data: elements of the bonds", {("B", "N")}, pairs)
    expect("bn.data: atoms of B and N", (len(elements) // 2, len(elements) // 2),
           (elements.count("B"), elements.count("N")))
    print(f"ok bn.data: {len(bonds)} bonds, all B-N")

    n = 240
    for vacancies in (1, 3):
        name = f"vacancies-{vacancies}.data"
        assemble(tools, work, name, "--wall", "10,10", "--periodic", "--cells", "6",
                 "--vacancies", str(vacancies), "--style", "molecular")
        elements, positions, lengths, bonds = checked_bonds(work, name)
        expect(f"{name}: atoms", n - vacancies, len(elements))
        degrees = dict(graph(len(elements), bonds).degree())
        counted = {k: list(degrees.values()).count(k) for k in sorted(set(degrees.values()))}
        expect(f"{name}: atoms by bond count", {2: 3 * vacancies, 3: n - 4 * vacancies}, counted)
        print(f"ok {name}: {len(elements)} atoms, by bond count {counted}")

        name = f"hydrogenated-{vacancies}.data"
        assemble(tools, work, name, "--wall", "10,10", "--periodic", "--cells", "6",
                 "--vacancies", str(vacancies), "--hydrogenate", "--style", "molecular")
        elements, positions, lengths, bonds = read_data(work / name)
        expect(f"{name}: atoms of C and H", (n - vacancies, 3 * vacancies),
               (elements.count("C"), elements.count("H")))
        # The written bonds: the carbon pairs closer than the cut-off, and one
        # bond from each hydrogen to its carbon.  The three hydrogens of a
        # vacancy, which would meet in its middle, are tilted out of the
        # wall to either side: no pair closer than the cut-off but each
        # hydrogen and its carbon.
        pairs = close_pairs(positions, lengths)
        close = {p for p in pairs if elements[p[0]] == "C" and elements[p[1]] == "C"}
        crowding = {p for p in pairs if "H" in (elements[p[0]], elements[p[1]])}
        expect(f"{name}: pairs with a hydrogen closer than the cut-off are its bond", set(),
               crowding ^ {tuple(sorted(p)) for p in bonds if "H" in (elements[p[0]], elements[p[1]])})
        written = {tuple(sorted(p)) for p in bonds}
        expect(f"{name}: written bonds of carbons are the close pairs", set(),
               close ^ {p for p in written if elements[p[0]] == elements[p[1]] == "C"})
        carbons = graph(len(elements), close)
        hydrogens = [i for i, e in enumerate(elements) if e == "H"]
        holders = []
        for h in hydrogens:
            partners = [j for p in written if h in p for j in p if j != h]
            if len(partners) != 1 or elements[partners[0]] != "C":
                raise CheckFailed(f"{name}: hydrogen {h + 1} is bonded to "
                                  f"{[(j + 1, elements[j]) for j in partners]}")
            holders.append(partners[0])
        two_bonded = {i for i, k in carbons.degree() if k == 2 and elements[i] == "C"}
        expect(f"{name}: two-bonded carbons", 3 * vacancies, len(two_bonded))
        expect(f"{name}: carbons holding a hydrogen", two_bonded, set(holders))
        expect(f"{name}: hydrogens on one carbon", len(holders), len(set(holders)))
        h = positions[hydrogens]
        nearest = min((np.linalg.norm(a - b) for a, b in itertools.combinations(h, 2)),
                      default=float("inf"))
        print(f"ok {name}: {len(hydrogens)} hydrogens on the {len(two_bonded)} two-bonded "
              f"carbons (closest two hydrogens {nearest:.2f} A apart)")


def read_dump(path, types):
    """A LAMMPS dump of id type x y z sorted by id: (elements, positions, box
    lengths)."""
    import numpy as np
    lines = Path(path).read_text().splitlines()
    at = lines.index(next(l for l in lines if l.startswith("ITEM: BOX BOUNDS")))
    lengths = np.array([float(lines[at + k].split()[1]) - float(lines[at + k].split()[0])
                        for k in (1, 2, 3)])
    rows = [l.split() for l in lines[lines.index(next(l for l in lines
                                                      if l.startswith("ITEM: ATOMS"))) + 1:]]
    elements = [types[int(r[1]) - 1] for r in rows]
    return elements, np.array([[float(x) for x in r[2:5]] for r in rows]), lengths


def lammps(work, script):
    lmp = shutil.which("lmp") or skip("lmp not found (Debian packages lammps, lammps-data)")
    (work / "in.lmp").write_text(script)
    return run([lmp, "-log", "none", "-echo", "none", "-in", "in.lmp"], work)


def check_tersoff(tools, work):
    import numpy as np
    if not (POTENTIALS / "BNC.tersoff").exists():
        skip("BNC.tersoff not found (Debian package lammps-data)")
    shutil.copy(POTENTIALS / "BNC.tersoff", work)
    # 10 cells: the box along z (25 A) is far longer than twice the cut-off.
    assemble(tools, work, "bn.data", "--wall", "10,10", "--periodic", "--cells", "10",
             "--species", "BN", "--style", "atomic")
    elements, before, _, _ = read_data(work / "bn.data")
    masses = re.findall(r"^\s*(\d+)\s+\S+\s+#\s*(\w+)", (work / "bn.data").read_text()
                        .split("Masses")[1].split("Atoms")[0], re.M)
    types = [e for _, e in sorted((int(t), e) for t, e in masses)]
    log = lammps(work, f"""
units metal
boundary s s p
atom_style atomic
read_data bn.data
pair_style tersoff
pair_coeff * * BNC.tersoff {' '.join(types)}
thermo_style custom step atoms pe lz
fix relax all box/relax z 0.0
min_style cg
minimize 1e-12 1e-8 5000 50000
unfix relax
minimize 1e-12 1e-8 5000 50000
write_dump all custom relaxed.dump id type x y z modify sort id
""")
    elements, positions, lengths = read_dump(work / "relaxed.dump", types)
    expect("atoms after minimizing", len(before), len(elements))
    pairs = close_pairs(positions, lengths)
    degrees = dict(graph(len(elements), pairs).degree())
    expect("atoms by bond count after minimizing", {3: len(elements)},
           {k: list(degrees.values()).count(k) for k in set(degrees.values())})
    distances = []
    for i, j in pairs:
        d = positions[j] - positions[i]
        d[2] -= lengths[2] * round(d[2] / lengths[2])
        distances.append(np.linalg.norm(d))
        if {elements[i], elements[j]} != {"B", "N"}:
            raise CheckFailed(f"bond {i + 1}-{j + 1} joins {elements[i]} and {elements[j]}")
    low, high = min(distances), max(distances)
    if not (1.40 <= low and high <= 1.50):
        raise CheckFailed(f"B-N bonds from {low:.4f} to {high:.4f} A, not within 1.40..1.50")
    energy = float(re.findall(r"^\s*\d+\s+\d+\s+(\S+)\s+\S+\s*$", log, re.M)[-1])
    print(f"ok tersoff: {len(elements)} atoms, {len(pairs)} B-N bonds from {low:.4f} to "
          f"{high:.4f} A (mean {np.mean(distances):.4f}), box {lengths[2]:.4f} A along z, "
          f"{energy / len(elements):.4f} eV per atom")


def relaxed_energy(work, data):
    log = lammps(work, f"""
units metal
boundary s s p
atom_style atomic
read_data {data}
pair_style rebo
pair_coeff * * CH.rebo C
thermo_style custom step atoms pe
thermo_modify format float %.10f
min_style cg
minimize 1e-14 1e-10 20000 200000
print "relaxed energy $(pe:%.10f) atoms $(atoms)"
""")
    energy, atoms = re.search(r"^relaxed energy (\S+) atoms (\d+)", log, re.M).groups()
    return float(energy), int(atoms)


def check_rebo(tools, work):
    if not (POTENTIALS / "CH.rebo").exists():
        skip("CH.rebo not found (Debian package lammps-data)")
    shutil.copy(POTENTIALS / "CH.rebo", work)
    common = ["--wall", "10,10", "--periodic", "--cells", "8", "--lattice", "rebo",
              "--style", "atomic"]
    assemble(tools, work, "perfect.data", *common)
    perfect, n = relaxed_energy(work, "perfect.data")
    print(f"perfect (10,10) tube of {n} atoms: {perfect:.6f} eV ({perfect / n:.6f} eV per atom)")
    found = []
    for orientation in ("axial", "circumferential"):
        name = f"stone-wales-{orientation}.data"
        assemble(tools, work, name, *common, "--stone-wales", "1",
                 "--stone-wales-orientation", orientation)
        defect, m = relaxed_energy(work, name)
        expect(f"atoms of the tube with an {orientation} Stone-Wales defect", n, m)
        found.append((f"{orientation} Stone-Wales", defect - perfect, STONE_WALES_RANGE))
    assemble(tools, work, "vacancy.data", *common, "--vacancies", "1")
    vacant, m = relaxed_energy(work, "vacancy.data")
    expect("atoms of the tube with a vacancy", n - 1, m)
    found.append(("vacancy", vacant - (n - 1) / n * perfect, VACANCY_RANGE))
    for what, value, (low, high) in found:
        print(f"{what} formation energy {value:.4f} eV (range asserted {low} to {high} eV)")
    for what, value, (low, high) in found:
        if not low <= value <= high:
            raise CheckFailed(f"{what} formation energy {value:.4f} eV outside {low}..{high} eV")


def check_grompp(tools, work):
    program = shutil.which("gmx") or skip("gmx not found (Debian package gromacs)")
    shutil.copy(tools.source / "examples" / "gromacs" / "tube.mdp", work)
    # 10 cells: 2.46 nm along z, more than twice the mdp's 1.0 nm cut-offs.
    report = assemble(tools, work, "doped.top", "--wall", "10,10", "--periodic", "--cells", "10",
                      "--dope", "N:0.02", "--format", "gromacs")
    log = run([program, "grompp", "-f", "tube.mdp", "-c", "doped.gro", "-p", "doped.top",
               "-o", "doped.tpr", "-maxwarn", "0"], work)
    if re.search(r"WARNING|ERROR", log):
        raise CheckFailed(f"grompp warns:\n{log[-3000:]}")
    gro = (work / "doped.gro").read_text().splitlines()
    nitrogens = sum(1 for line in gro[2:-1] if line[10:15].strip().startswith("N"))
    expect("nitrogens in doped.gro (2% of 400)", 8, nitrogens)
    dump = run([program, "dump", "-s", "doped.tpr"], work)
    counts = {}
    for kind, atoms in (("Bond", 2), ("Angle", 3), ("Proper Dih.", 4), ("Improper Dih.", 4)):
        numbers = re.findall(rf"^\s+{re.escape(kind)}:\s+nr: (\d+)", dump, re.M)
        counts[kind] = sum(int(n) for n in numbers) // (atoms + 1)
    # A periodic three-connected tube of 400 atoms: 600 bonds, 1200 angles,
    # 2400 dihedrals, 400 impropers, whatever the elements.
    expect("grompp's bonds, angles, dihedrals and impropers",
           {"Bond": 600, "Angle": 1200, "Proper Dih.": 2400, "Improper Dih.": 400}, counts)
    print(f"ok grompp -maxwarn 0 accepted the doped tube: {nitrogens} N of 400, terms {counts}")
    print(report.strip().splitlines()[-2])


CHECKS = {"rings": check_rings, "tersoff": check_tersoff, "rebo": check_rebo,
          "grompp": check_grompp}


def main():
    require_module("scipy", "python3-scipy")
    options = {"assemble": "path of assemble", "source": "the top of the source tree"}
    return run_check(__doc__, CHECKS, options, Tools)


if __name__ == "__main__":
    sys.exit(main())
