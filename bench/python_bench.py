#!/usr/bin/env python3
"""Figures of the Python module swnt against ASE, as markdown rows.

    cmake -S . -B build && cmake --build build -j2
    PYTHONPATH=build/python /usr/bin/python3 bench/python_bench.py

Times (wall clock, median of BENCH_RUNS runs, default 5; ASE's builder 3)
a (10,10) tube of 10^6 atoms: swnt.tube(10, 10, cells=25000) with to_ase()
against ase.build.nanotube(10, 10, length=25000) (both periodic along z, the
same atoms), and the topology of that tube.  Exits with status 77 when swnt
is not importable (the module was not built), so that a caller can skip the
rows.
"""
import os
import statistics
import sys
import time

try:
    import swnt
except ImportError as missing:
    print(f"swnt is not importable ({missing}): build the module (python3-pybind11, pybind11-dev) "
          "and set PYTHONPATH=build/python")
    sys.exit(77)

RUNS = int(os.environ.get("BENCH_RUNS", "5"))
CELLS = 25000  # 40 atoms a cell: 10^6 atoms


def median_time(work, runs):
    times = []
    for _ in range(runs):
        start = time.perf_counter()
        work()
        times.append(time.perf_counter() - start)
    return statistics.median(times)


def met(value, target):
    return "met" if value else f"not met ({target})"


def main():
    tube_time = median_time(lambda: swnt.tube(10, 10, cells=CELLS), RUNS)
    ours = median_time(lambda: swnt.tube(10, 10, cells=CELLS).to_ase(), RUNS)
    t = swnt.tube(10, 10, cells=CELLS)
    topology_time = median_time(lambda: t.topology(), RUNS)

    def every_term():
        top = t.topology()
        return top.bonds, top.angles, top.dihedrals, top.impropers, top.molecules

    terms_time = median_time(every_term, RUNS)
    top = every_term()
    print(f"Atoms: {len(t)}; bonds {len(top[0])}, angles {len(top[1])}, dihedrals {len(top[2])}, "
          f"impropers {len(top[3])}; median of {RUNS} runs (ASE: 3).")
    print()
    print("| work | swnt [s] | peer [s] | peer / swnt | target |")
    print("|---|---:|---:|---:|---|")
    try:
        import ase.build
    except ImportError:
        print(f"| swnt.tube(10, 10, cells={CELLS}) + to_ase() | {ours:.3f} | | | ASE missing |")
    else:
        peer = median_time(lambda: ase.build.nanotube(10, 10, length=CELLS), 3)
        ratio = peer / ours
        print(f"| swnt.tube(10, 10, cells={CELLS}) + to_ase() vs ase.build.nanotube(10, 10, "
              f"length={CELLS}) | {ours:.3f} | {peer:.3f} | {ratio:.1f} | at least 10 x: "
              f"{met(ratio >= 10, 'at least 10 x')} |")
    print(f"| of which swnt.tube() alone | {tube_time:.3f} | | | |")
    print(f"| t.topology() of 10^6 atoms (bonds, neighbours, molecules) | {topology_time:.3f} | | | "
          f"within 1 s: {met(topology_time <= 1.0, 'within 1 s')} |")
    print(f"| t.topology() and its bonds, angles, dihedrals, impropers, molecules as arrays | "
          f"{terms_time:.3f} | | | |")


if __name__ == "__main__":
    main()
