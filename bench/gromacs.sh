#!/usr/bin/env bash
# The GROMACS output of topoconv timed: builds a Release tree (the one of
# bench/run.sh), makes periodic (10,10) tubes along z of 10^4, 10^5 and 10^6
# atoms, and prints as Markdown tables the median wall time and peak memory
# of `topoconv --periodic z --format gromacs` (the .top and the .gro) at each
# size with the growth per decade, and, in the same run, the time that
# `gmx x2top -pbc` takes to make the topology of the 10^5-atom tube from our
# .gro (given the small name-to-type table users write by hand), against
# ours, in wall time and in CPU time.  x2top compares every pair of atoms:
# some half an hour at 10^5 atoms, so it runs once, at the priority of the
# rest (GROMACS's tools lower their own to nice 19 unless told otherwise).
#
# Settings (environment):
#   BENCH_BUILD_DIR    build directory            (default: build-bench in the source tree)
#   BENCH_RUNS         runs per measurement       (default: 5; the median is shown)
#   BENCH_SIZES        atom counts, multiples of 40 (default: "10000 100000 1000000")
#   BENCH_X2TOP_ATOMS  the tube x2top is given    (default: 100000; 0 skips it)
set -euo pipefail
export LC_ALL=C

root="$(cd "$(dirname "$0")/.." && pwd)"
build="${BENCH_BUILD_DIR:-$root/build-bench}"
runs="${BENCH_RUNS:-5}"
read -r -a sizes <<< "${BENCH_SIZES:-10000 100000 1000000}"
x2top_atoms="${BENCH_X2TOP_ATOMS:-100000}"

note() { echo "$@" >&2; }
if [ -z "${EPOCHREALTIME:-}" ]; then
  note "bench/gromacs.sh needs bash 5 or later (EPOCHREALTIME)"
  exit 1
fi

note "== Building Release into $build"
cmake -S "$root" -B "$build" -DCMAKE_BUILD_TYPE=Release -DSWNT_BUILD_TESTS=OFF \
  -DSWNT_BUILD_BENCH=OFF > "$build.log" 2>&1 || { cat "$build.log" >&2; exit 1; }
cmake --build "$build" -j2 >> "$build.log" 2>&1 || { cat "$build.log" >&2; exit 1; }
rm -f "$build.log"

work="$(mktemp -d "${TMPDIR:-/tmp}/swnt-bench-gromacs.XXXXXX")"
trap 'rm -rf "$work"' EXIT
cd "$work"

# timed COMMAND...: runs COMMAND in $work; prints "seconds megabytes
# cpu-seconds" (wall time, peak memory, user + system time).
timed() {
  local start end
  start=${EPOCHREALTIME/./}
  /usr/bin/time -f "%M %U %S" -o memory "$@" > output 2>&1 || { note "failed: $*"; cat output >&2; exit 1; }
  end=${EPOCHREALTIME/./}
  tail -n 1 memory | awk -v t=$((end - start)) '{ printf "%.3f %.1f %.2f\n", t / 1e6, $1 / 1024, $2 + $3 }'
}
# median RUNS COMMAND...: the run of median wall time among RUNS runs (the
# lower middle one of an even number).
median() {
  local count=$1 k
  shift
  for ((k = 0; k < count; k++)); do timed "$@"; done | sort -n | awk '{ line[NR] = $0 }
    END { print line[int((NR + 1) / 2)] }'
}
tube() {  # tube ATOMS: tube_ATOMS.dat, periodic along z
  "$build/wrapping" 10 10 -u $(($1 / 40)) -az -f "tube_$1.dat" > /dev/null
}

load=$(cut -d ' ' -f 1 /proc/loadavg)
declare -A seconds megabytes cpu
for atoms in "${sizes[@]}"; do
  note "== topoconv at $atoms atoms"
  tube "$atoms"
  read -r seconds[$atoms] megabytes[$atoms] cpu[$atoms] <<< \
    "$(median "$runs" "$build/topoconv" --periodic z --format gromacs "tube_$atoms.dat" tube)"
  rm -f tube.top tube.gro
done

x2top_seconds="" ours_seconds="" x2top_cpu="" ours_cpu=""
if [ "$x2top_atoms" != 0 ] && command -v gmx > /dev/null; then
  note "== gmx x2top -pbc at $x2top_atoms atoms, and topoconv in the same run"
  mkdir -p tube.ff
  printf '%s\n' "C    CA   0.0   12.011   3    C 0.144   C 0.144   C 0.144" \
    "H    HA   0.0    1.008   1    C 0.109" > tube.ff/atomname2type.n2t
  printf '%s\n' "[ defaults ]" "1  3  yes  0.5  0.5" "" "[ atomtypes ]" \
    "CA  6  12.011  0.0  A  0.355  0.29288" "HA  1   1.008  0.0  A  0.242  0.12552" > tube.ff/forcefield.itp
  tube "$x2top_atoms"
  read -r ours_seconds _ ours_cpu <<< \
    "$(median "$runs" "$build/topoconv" --periodic z --format gromacs "tube_$x2top_atoms.dat" tube)"
  read -r x2top_seconds _ x2top_cpu <<< \
    "$(timed gmx x2top -nice 0 -f tube.gro -o x2top.top -ff tube -pbc -alldih -noparam)"
  grep -q "^There are $((x2top_atoms * 6)) proper dihedrals" output ||
    { note "x2top found other terms:"; cat output >&2; exit 1; }
fi

model=$(awk -F': ' '/^model name/ { print $2; exit }' /proc/cpuinfo 2> /dev/null || true)
echo "Machine: ${model:-unknown CPU}, $(nproc) cores, load average $load at the start and $(cut -d ' ' -f 1 /proc/loadavg) at the end; median of $runs runs (x2top: one); each run replaces the files of the one before."
echo
echo "| work | atoms | wall time [s] | CPU time [s] | peak memory [MB] | growth per decade | target |"
echo "|---|---:|---:|---:|---:|---:|---|"
previous=""
for atoms in "${sizes[@]}"; do
  growth=""
  [ -n "$previous" ] && growth=$(awk -v a="${seconds[$atoms]}" -v b="${seconds[$previous]}" 'BEGIN { printf "%.1f", a / b }')
  target=""
  [ "$atoms" = 1000000 ] && target="<= 3 s: $(awk -v s="${seconds[$atoms]}" 'BEGIN { print (s <= 3.0) ? "met" : "not met" }')"
  echo "| topoconv --periodic z --format gromacs (.top and .gro) | $atoms | ${seconds[$atoms]} | ${cpu[$atoms]} | ${megabytes[$atoms]} | $growth | $target |"
  previous=$atoms
done
if [ -n "$x2top_seconds" ]; then
  ratio=$(awk -v a="$x2top_seconds" -v b="$ours_seconds" 'BEGIN { printf "%.0f", a / b }')
  echo
  echo "| work | atoms | topoconv [s] | gmx x2top -pbc [s] | x2top / topoconv | CPU time: topoconv, x2top [s] | target |"
  echo "|---|---:|---:|---:|---:|---:|---|"
  echo "| topology of a periodic (10,10) tube | $x2top_atoms | $ours_seconds | $x2top_seconds | $ratio |" \
    "$ours_cpu, $x2top_cpu | at least 20 x: $(awk -v r="$ratio" 'BEGIN { print (r >= 20) ? "met" : "not met" }') |"
fi
