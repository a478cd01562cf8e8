#!/usr/bin/env bash
# Whole-process benchmark of the seven programs: builds a Release tree of its
# own, makes (10,10) tubes of 10^4, 10^5 and 10^6 atoms with `wrapping` (and
# assemblies of as many with `assemble`), and
# prints, as Markdown tables, the median wall time and the peak memory of
# every program at every size, the growth of the time per decade of
# atoms x scenes, and, where python3-ase and openbabel are installed, the
# same work done by them in the same run (for ASE's writers of LAMMPS data
# and extended XYZ, the time of ase.io.write alone).
#
# Usage: bench/run.sh            the figures above
#        bench/run.sh parallel   runs at once against the same runs in a row:
#                                wall time of four wrapping runs of each
#                                output form and of four joins, started one
#                                after another and all at once in one
#                                working directory (the outputs compared)
#        bench/run.sh baseline REV
#                                the programs of this tree against those of
#                                the commit REV (built from a git worktree into
#                                BENCH_BUILD_DIR-baseline), row by row at the
#                                largest size, the two builds timed in turns
#                                so that the other work of a shared machine
#                                weighs on both alike; the outputs compared
# Settings (environment):
#   BENCH_BUILD_DIR  build directory          (default: build-bench in the source tree)
#   BENCH_RUNS       runs per measurement     (default: 5; the median is shown)
#   BENCH_PEER_RUNS  runs per peer measurement (default: 3)
#   BENCH_PYTHON     interpreter with ASE      (default: /usr/bin/python3)
#   BENCH_SIZES      atom counts, multiples of 10^4 (default: "10000 100000 1000000")
set -euo pipefail
export LC_ALL=C

root="$(cd "$(dirname "$0")/.." && pwd)"
build="${BENCH_BUILD_DIR:-$root/build-bench}"
runs="${BENCH_RUNS:-5}"
peer_runs="${BENCH_PEER_RUNS:-3}"
python="${BENCH_PYTHON:-/usr/bin/python3}"
read -r -a sizes <<< "${BENCH_SIZES:-10000 100000 1000000}"

note() { echo "$@" >&2; }

if [ -z "${EPOCHREALTIME:-}" ]; then
  echo "bench/run.sh needs bash 5 or later (EPOCHREALTIME)" >&2
  exit 1
fi

note "== Building Release into $build"
cmake -S "$root" -B "$build" -DCMAKE_BUILD_TYPE=Release -DSWNT_BUILD_TESTS=OFF \
  -DSWNT_BUILD_BENCH=OFF > "$build.log" 2>&1 || { cat "$build.log" >&2; exit 1; }
cmake --build "$build" -j2 >> "$build.log" 2>&1 || { cat "$build.log" >&2; exit 1; }
rm -f "$build.log"
wrapping="$build/wrapping"
ballconv="$build/ballconv"
xyzframes="$build/xyzframes"
linkframes="$build/linkframes"
scenejoin="$build/scenejoin"
topoconv="$build/topoconv"
assemble="$build/assemble"

work="$(mktemp -d "${TMPDIR:-/tmp}/swnt-bench.XXXXXX")"
trap 'rm -rf "$work"' EXIT

inputs="$work/inputs"   # made once per size, never timed
run="$work/run"         # working directory of the timed runs, emptied after each measurement
mkdir -p "$inputs" "$run"

# median DIVISOR FORMAT: the median of the numbers on standard input,
# divided and printed so.
median() {
  sort -n | awk -v d="$1" -v f="$2" '{v[NR] = $1} END {
    m = NR % 2 ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2; printf f, m / d }'
}
if [ "${1:-}" = parallel ]; then
  # batch WAY PREPARE COMMAND...: runs every command (one argument each, a
  # shell command line) in one directory, WAY "row" one after another or
  # "once" all at the same time, after the untimed PREPARE; prints the
  # microseconds taken (nothing when a run failed) and leaves the outputs in
  # $work/WAY.
  batch() {
    local way=$1 prepare=$2 start end command pids=()
    shift 2
    rm -rf "${work:?}/$way" && mkdir -p "$work/$way"
    (cd "$work/$way" && eval "$prepare")
    start=${EPOCHREALTIME/./}
    for command in "$@"; do
      if [ "$way" = row ]; then
        (cd "$work/$way" && eval "$command" > /dev/null) || return 0
      else
        (cd "$work/$way" && eval "$command" > /dev/null) &
        pids+=($!)
      fi
    done
    for command in "${pids[@]}"; do wait "$command" || return 0; done
    end=${EPOCHREALTIME/./}
    echo $((end - start))
  }
  # compare TEXT PREPARE COMMAND...: one table row, the best of $runs
  # batches each way (taken in turns, so that the work of others on a shared
  # machine weighs on both alike); the outputs of both ways must be the same.
  compare() {
    local text=$1 prepare=$2 row="" once="" k t
    shift 2
    for ((k = 0; k < runs; k++)); do
      for way in row once; do
        t=$(batch "$way" "$prepare" "$@")
        [ -n "$t" ] || { note "a run failed: $text"; exit 1; }
        if [ "$way" = row ]; then row+="$t"$'\n'; else once+="$t"$'\n'; fi
      done
    done
    diff -r "$work/row" "$work/once" > /dev/null || { note "outputs differ: $text"; exit 1; }
    row=$(printf '%s' "$row" | sort -n | awk 'NR == 1 { printf "%.3f", $1 / 1e6 }')
    once=$(printf '%s' "$once" | sort -n | awk 'NR == 1 { printf "%.3f", $1 / 1e6 }')
    echo "| $text | $# | $row | $once | $(awk -v a="$row" -v b="$once" 'BEGIN { printf "%.2f", a / b }') |"
  }
  (cd "$inputs" && "$wrapping" 10 10 -u 12500 -w 1 -f half.dat > /dev/null)
  chiralities=("10 10" "12 8" "17 0" "14 5")
  tubes() {  # tubes OPTIONS...: four wrapping runs of some 6.4 x 10^5 atoms (all but -p)
    local k
    for k in 0 1 2 3; do echo "'$wrapping' ${chiralities[k]} -l 40000 $* -f out$k"; done
  }
  note "== $runs batches of four runs each way"
  echo "Machine: $(nproc) cores, load average $(cut -d ' ' -f 1 /proc/loadavg) at the start; best of $runs batches each way; every batch in one working directory."
  echo
  echo "| four runs of | runs | in a row [s] | at once [s] | speed-up |"
  echo "|---|---:|---:|---:|---:|"
  for form in "" "-p -l 600 -w 30" "-xx" "-xt"; do
    mapfile -t commands < <(tubes $form)
    compare "wrapping ${form:-(trajectory)}" ":" "${commands[@]}"
  done
  joins=()
  for k in 0 1 2 3; do joins+=("'$scenejoin' t$k.dat a$k.dat"); done
  compare "scenejoin of two halves (10^6 atoms)" \
    "for k in 0 1 2 3; do cp '$inputs/half.dat' t\$k.dat; cp '$inputs/half.dat' a\$k.dat; done" "${joins[@]}"
  exit 0
fi

if [ "${1:-}" = baseline ]; then
  rev="${2:?bench/run.sh baseline REV}"
  base_build="$build-baseline"
  base_src="$base_build-src"  # one place, so that its build tree is reused
  note "== Building $rev (Release) into $base_build"
  git -C "$root" worktree remove --force "$base_src" > /dev/null 2>&1 || rm -rf "$base_src"
  git -C "$root" worktree add --detach "$base_src" "$rev" > /dev/null 2>&1 ||
    { note "cannot check out $rev"; exit 1; }
  trap 'git -C "$root" worktree remove --force "$base_src" > /dev/null 2>&1; rm -rf "$work"' EXIT
  cmake -S "$base_src" -B "$base_build" -DCMAKE_BUILD_TYPE=Release -DSWNT_BUILD_TESTS=OFF \
    -DSWNT_BUILD_BENCH=OFF > "$work/baseline.log" 2>&1 &&
    cmake --build "$base_build" -j2 >> "$work/baseline.log" 2>&1 || { cat "$work/baseline.log" >&2; exit 1; }
  atoms="${sizes[${#sizes[@]} - 1]}"
  cells=$((atoms / 40))
  scenes=$((atoms / 10000))
  (cd "$inputs" && "$wrapping" 10 10 -u "$cells" -f tube.dat > /dev/null)
  (cd "$inputs" && "$wrapping" 10 10 -u "$((cells / 2))" -f half.dat > /dev/null)
  (cd "$inputs" && "$wrapping" 10 10 -u 250 -w "$((scenes - 1))" -f scenes.dat > /dev/null)
  (cd "$inputs" && "$wrapping" 10 10 -u "$cells" -az -f tube_z.dat > /dev/null)
  # timed DIR PREPARE PROGRAM ARGS...: one run of DIR/PROGRAM in an emptied
  # working directory, its microseconds on standard output, its outputs kept
  # in $work/out-<DIR's name>.
  timed() {
    local dir=$1 prepare=$2 program=$3 start end
    shift 3
    find "$run" -mindepth 1 -delete
    (cd "$run" && eval "$prepare")
    start=${EPOCHREALTIME/./}
    (cd "$run" && "$dir/$program" "$@" > "$work/output" 2>&1) || {
      note "failed: $dir/$program $*"; cat "$work/output" >&2; exit 1; }
    end=${EPOCHREALTIME/./}
    rm -rf "$work/out-$(basename "$dir")" && cp -r "$run" "$work/out-$(basename "$dir")"
    echo $((end - start))
  }
  # row TEXT PREPARE PROGRAM ARGS...: the median of $runs runs of each build.
  row() {
    local text=$1 prepare=$2 before="" after="" k
    shift 2
    local t
    for ((k = 0; k < runs; k++)); do
      t=$(timed "$base_build" "$prepare" "$@") || exit 1
      before+="$t"$'\n'
      t=$(timed "$build" "$prepare" "$@") || exit 1
      after+="$t"$'\n'
    done
    diff -r "$work/out-$(basename "$base_build")" "$work/out-$(basename "$build")" > /dev/null ||
      { note "outputs differ: $text"; exit 1; }
    before=$(printf '%s' "$before" | median 1e6 %.3f)
    after=$(printf '%s' "$after" | median 1e6 %.3f)
    echo "| $text | $before | $after | $(awk -v a="$after" -v b="$before" 'BEGIN { printf "%.3f", a / b }') |"
  }
  note "== $runs runs of each build, in turns, at $atoms atoms"
  echo "Machine: $(nproc) cores, load average $(cut -d ' ' -f 1 /proc/loadavg) at the start; $atoms atoms; median of $runs runs of each build, taken in turns."
  echo
  echo "| program and work | $rev [s] | this tree [s] | this / $rev |"
  echo "|---|---:|---:|---:|"
  row "wrapping 10 10 -u L (trajectory)" ":" wrapping 10 10 -u "$cells"
  row "wrapping 10 10 -u L -xx (XMOL XYZ)" ":" wrapping 10 10 -u "$cells" -xx
  row "wrapping 10 10 -u L -xt (TINKER XYZ)" ":" wrapping 10 10 -u "$cells" -xt
  row "xyzframes (XMOL XYZ)" ":" xyzframes "$inputs/tube.dat" tube.xyz
  row "linkframes (TINKER XYZ, bonds)" ":" linkframes "$inputs/tube.dat" tube.xyz
  row "scenejoin of two halves" "cp '$inputs/half.dat' a.dat && cp '$inputs/half.dat' b.dat" scenejoin a.dat b.dat
  row "ballconv, scenes of 10^4 atoms" ":" ballconv "$inputs/scenes.dat" tube.pv
  row "topoconv --periodic z (LAMMPS full, all terms)" ":" topoconv --periodic z "$inputs/tube_z.dat" tube.data
  row "topoconv --periodic z --style atomic" ":" topoconv --periodic z --style atomic "$inputs/tube_z.dat" tube.data
  row "topoconv --periodic z (extended XYZ)" ":" topoconv --periodic z "$inputs/tube_z.dat" tube.extxyz
  row "topoconv --hydrogenate, open tube (LAMMPS full)" ":" topoconv --hydrogenate "$inputs/tube_z.dat" tube.data
  row "topoconv --hydrogenate, open tube (extended XYZ)" ":" topoconv --hydrogenate "$inputs/tube_z.dat" tube.extxyz
  exit 0
fi

timer=""
if [ -x /usr/bin/time ]; then timer=/usr/bin/time; fi

have_ase=0
if [ -x "$python" ] && "$python" -c 'import ase.build, ase.io' > /dev/null 2>&1; then have_ase=1; fi
have_obabel=0
if command -v obabel > /dev/null 2>&1; then have_obabel=1; fi

# measure RUNS PREPARE COMMAND...: runs COMMAND in $run RUNS times, after the
# untimed shell command PREPARE each time, and sets the globals `seconds`
# (median wall time) and `megabytes` (median peak resident memory, "n/a"
# without /usr/bin/time).
measure() {
  local count=$1 prepare=$2
  shift 2
  local times="" memories="" k start end
  for ((k = 0; k < count; k++)); do
    (cd "$run" && eval "$prepare")
    start=${EPOCHREALTIME/./}
    if [ -n "$timer" ]; then
      (cd "$run" && "$timer" -f %M -o "$work/memory" "$@" > "$work/output" 2>&1) || {
        note "failed: $*"; cat "$work/output" >&2; exit 1; }
      memories+="$(tail -n 1 "$work/memory")"$'\n'
    else
      (cd "$run" && "$@" > "$work/output" 2>&1) || {
        note "failed: $*"; cat "$work/output" >&2; exit 1; }
    fi
    end=${EPOCHREALTIME/./}
    times+="$((end - start))"$'\n'
  done
  find "$run" -mindepth 1 -delete
  seconds=$(printf '%s' "$times" | median 1e6 %.3f)
  if [ -n "$memories" ]; then
    megabytes=$(printf '%s' "$memories" | median 1024 %.1f)
  else
    megabytes="n/a"
  fi
}

# peer_write FORMAT CELLS: the median over $peer_runs runs of the time that
# ase.io.write takes to write ASE's own (10,10) tube of CELLS cells in FORMAT
# (the tube is built before the clock starts); sets `seconds` and
# `megabytes` (not measured: "n/a").
peer_write() {
  local times="" k
  for ((k = 0; k < peer_runs; k++)); do
    times+="$(cd "$run" && "$python" -c "
import time
from ase.build import nanotube
from ase.io import write
tube = nanotube(10, 10, length=$2, bond=1.44)
start = time.perf_counter()
write('tube.out', tube, format='$1')
print(round((time.perf_counter() - start) * 1e6))" 2> /dev/null)"$'\n'
    find "$run" -mindepth 1 -delete
  done
  seconds=$(printf '%s' "$times" | sort -n | awk '{v[NR] = $1} END {
    m = NR % 2 ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2; printf "%.3f", m / 1e6 }')
  megabytes="n/a"
}

# Results, one line per measurement: key, size, atoms x scenes, seconds, megabytes.
results="$work/results"
: > "$results"
record() { echo "$1 $2 $3 $seconds $megabytes" >> "$results"; }

for atoms in "${sizes[@]}"; do
  cells=$((atoms / 40))     # a (10,10) unit cell holds 40 atoms
  scenes=$((atoms / 10000))  # pv scenes of 10^4 atoms (the pv format holds at most 32767)
  note "== $atoms atoms"
  # (wrapping takes a value that begins with '/' for an option: relative names)
  (cd "$inputs" && "$wrapping" 10 10 -u "$cells" -f tube.dat > /dev/null)
  (cd "$inputs" && "$wrapping" 10 10 -u "$((cells / 2))" -f half.dat > /dev/null)
  (cd "$inputs" && "$wrapping" 10 10 -u 250 -w "$((scenes - 1))" -f scenes.dat > /dev/null)
  # The same numbers glued into one token ("+1.5-2.5..."), which "%lf" reads alike.
  { head -n 3 "$inputs/tube.dat"; tail -n +4 "$inputs/tube.dat" | sed -E 's/ +([0-9])/+\1/g; s/ //g' | tr -d '\n'
    echo; } > "$inputs/glued.dat"

  measure "$runs" ":" "$wrapping" 10 10 -u "$cells"
  record wrapping "$atoms" "$atoms"
  measure "$runs" ":" "$wrapping" 10 10 -u "$cells" -xx
  record wrapping-xx "$atoms" "$atoms"
  measure "$runs" ":" "$wrapping" 10 10 -u "$cells" -xt
  record wrapping-xt "$atoms" "$atoms"
  measure "$runs" ":" "$xyzframes" "$inputs/tube.dat" tube.xyz
  record xyzframes "$atoms" "$atoms"
  measure "$runs" ":" "$xyzframes" "$inputs/glued.dat" tube.xyz
  record xyzframes-glued "$atoms" "$atoms"
  measure "$runs" ":" "$linkframes" "$inputs/tube.dat" tube.xyz
  record linkframes "$atoms" "$atoms"
  measure "$runs" "cp '$inputs/half.dat' a.dat && cp '$inputs/half.dat' b.dat" "$scenejoin" a.dat b.dat
  record scenejoin "$atoms" "$atoms"
  measure "$runs" ":" "$ballconv" "$inputs/scenes.dat" tube.pv
  record ballconv "$atoms" "$atoms"

  # topoconv on a periodic tube along z, and ASE's writers on ASE's own tube.
  (cd "$inputs" && "$wrapping" 10 10 -u "$cells" -az -f tube_z.dat > /dev/null)
  measure "$runs" ":" "$topoconv" --periodic z "$inputs/tube_z.dat" tube.data
  record topoconv-full "$atoms" "$atoms"
  measure "$runs" ":" "$topoconv" --periodic z --style atomic "$inputs/tube_z.dat" tube.data
  record topoconv-atomic "$atoms" "$atoms"
  measure "$runs" ":" "$topoconv" --periodic z "$inputs/tube_z.dat" tube.extxyz
  record topoconv-extxyz "$atoms" "$atoms"
  # The same tube read back from that extended XYZ file (periodic by its pbc flags).
  "$topoconv" --periodic z "$inputs/tube_z.dat" "$inputs/tube_z.extxyz" > /dev/null
  measure "$runs" ":" "$topoconv" --style atomic "$inputs/tube_z.extxyz" tube.data
  record topoconv-xyz-input "$atoms" "$atoms"
  # The engines' files: GROMACS (.top + .gro) of the same tube, and the
  # CHARMM set (.psf, .prm, .crd, .pdb) of a (100,100) tube of as many atoms,
  # short enough for the coordinates of its PDB file.
  measure "$runs" ":" "$topoconv" --periodic z "$inputs/tube_z.dat" tube.top
  record topoconv-gromacs "$atoms" "$atoms"
  (cd "$inputs" && "$wrapping" 100 100 -u $((cells / 10)) -az -zc -f wide_z.dat > /dev/null)
  measure "$runs" ":" "$topoconv" --periodic z "$inputs/wide_z.dat" tube.psf
  record topoconv-psf "$atoms" "$atoms"
  # The same tube open, its ends terminated with hydrogen and not.
  for format in data extxyz; do
    measure "$runs" ":" "$topoconv" "$inputs/tube_z.dat" "tube.$format"
    record "topoconv-open-$format" "$atoms" "$atoms"
    measure "$runs" ":" "$topoconv" --hydrogenate "$inputs/tube_z.dat" "tube.$format"
    record "topoconv-ends-$format" "$atoms" "$atoms"
  done

  # assemble: a periodic triple wall (5,5)@(10,10)@(15,15), 120 atoms per
  # common period, and a periodic bundle of 7 (10,10) tubes, 280 atoms per
  # period, both written as LAMMPS full with all their terms.
  measure "$runs" ":" "$assemble" --periodic --wall 5,5 --wall 10,10 --wall 15,15 \
    --cells $((atoms / 120)) walls.data
  record assemble-walls "$atoms" "$((atoms / 120 * 120))"
  measure "$runs" ":" "$assemble" --periodic --bundle 7 --wall 10,10 --cells $((atoms / 280)) bundle.data
  record assemble-bundle "$atoms" "$((atoms / 280 * 280))"
  # A periodic (10,10) tube (40 atoms per period) with 1 % nitrogen, 100
  # vacancies and 100 Stone-Wales defects (fewer where a small tube holds
  # fewer apart), as LAMMPS full.
  defects=$(( atoms >= 100000 ? 100 : 10 ))
  measure "$runs" ":" "$assemble" --periodic --wall 10,10 --cells $((atoms / 40)) --dope N:0.01 \
    --vacancies "$defects" --stone-wales "$defects" --seed 1 defects.data
  record assemble-defects "$atoms" "$((atoms / 40 * 40 - defects))"
  if [ "$have_ase" = 1 ]; then
    peer_write lammps-data "$cells"
    record ase-lammps "$atoms" "$atoms"
    peer_write extxyz "$cells"
    record ase-extxyz "$atoms" "$atoms"
  fi

  # The peers build and convert the tube along z, the axis ASE builds along;
  # the tools here get the same tube the same way.
  if [ "$have_ase" = 1 ]; then
    measure "$runs" ":" "$wrapping" 10 10 -u "$cells" -az -xx
    record ours-build "$atoms" "$atoms"
    measure "$peer_runs" ":" "$python" -c "
from ase.build import nanotube
from ase.io import write
write('tube.xyz', nanotube(10, 10, length=$cells, bond=1.44), format='xyz')"
    record ase-build "$atoms" "$atoms"
  fi
  if [ "$have_obabel" = 1 ]; then
    (cd "$inputs" && "$xyzframes" tube_z.dat tube_z.xyz)
    measure "$runs" ":" "$linkframes" "$inputs/tube_z.dat" tube.xyz
    record ours-bonds "$atoms" "$atoms"
    measure "$peer_runs" ":" obabel -ixyz "$inputs/tube_z001.xyz" -as -ocml -O tube.cml
    record obabel-bonds "$atoms" "$atoms"
  fi
  find "$inputs" -mindepth 1 -delete
done

note "== pv: 32000 atoms x 21 scenes"
(cd "$inputs" && "$wrapping" 40 40 -u 200 -w 20 -f pv.dat > /dev/null)
measure "$runs" ":" "$ballconv" "$inputs/pv.dat" tube.pv
record ballconv-max 32000 672000

# The finder of assemble: every tube up to 50 Angstrom across on the ideal
# sheet, and every tube of the REBO table in that window.
note "== assemble --find"
find_tubes=$("$assemble" --find --diameter 0:50 | grep -vc '^#')
measure "$runs" ":" "$assemble" --find --diameter 0:50
record assemble-find "$find_tubes" "$find_tubes"
find_table_tubes=$("$assemble" --find --diameter 0:50 --lattice rebo | grep -vc '^#')
measure "$runs" ":" "$assemble" --find --diameter 0:50 --lattice rebo
record assemble-find-rebo "$find_table_tubes" "$find_table_tubes"

# ---------------------------------------------------------------- tables
value() {  # value KEY SIZE FIELD (4 = seconds, 5 = megabytes)
  awk -v k="$1" -v s="$2" -v f="$3" '$1 == k && $2 == s { print $f }' "$results"
}
# target KEY SIZE: "seconds megabytes" limits, "-" where none is set.
target() {
  case "$1 $2" in
    "wrapping 1000000") echo "0.6 20" ;;
    "wrapping-xx 1000000") echo "1.2 -" ;;
    "wrapping-xt 1000000") echo "2.0 -" ;;
    "linkframes 1000000") echo "1.5 -" ;;
    "xyzframes 1000000") echo "0.8 -" ;;
    "xyzframes-glued 1000000") echo "0.8 -" ;;
    "scenejoin 1000000") echo "1.0 -" ;;
    "topoconv-full 1000000") echo "3.0 1024" ;;
    "topoconv-atomic 1000000") echo "0.6 -" ;;
    "topoconv-extxyz 1000000") echo "0.5 -" ;;
    "topoconv-xyz-input 1000000") echo "1.0 -" ;;
    "topoconv-gromacs 1000000") echo "3.0 -" ;;
    "topoconv-psf 1000000") echo "3.0 -" ;;
    "assemble-walls 1000000") echo "3.0 -" ;;
    "assemble-bundle 1000000") echo "3.0 -" ;;
    "assemble-defects 1000000") echo "4.0 -" ;;
    "ballconv-max 32000") echo "0.5 -" ;;
    *) echo "- -" ;;
  esac
}

# verdict KEY SIZE: sets `limit` (the target as text) and `met` (yes, no, or
# empty without a target).
verdict() {
  local s m ts tm
  s=$(value "$1" "$2" 4)
  m=$(value "$1" "$2" 5)
  read -r ts tm <<< "$(target "$1" "$2")"
  limit="" met=""
  [ -n "$s" ] || return 0
  if [ "$ts" != "-" ]; then
    limit="<= $ts s"
    met=$(awk -v a="$s" -v b="$ts" 'BEGIN { print (a <= b) ? "yes" : "no" }')
  fi
  if [ "$tm" != "-" ]; then
    limit="$limit, < $tm MB"
    if [ "$m" = "n/a" ]; then
      met="$met (memory not measured)"
    else
      met=$(awk -v a="$m" -v b="$tm" -v t="$met" 'BEGIN { print (a < b && t == "yes") ? "yes" : "no" }')
    fi
  fi
}

describe() {  # what each row does
  case "$1" in
    wrapping) echo 'wrapping 10 10 -u L (trajectory)' ;;
    wrapping-xx) echo 'wrapping 10 10 -u L -xx (XMOL XYZ)' ;;
    wrapping-xt) echo 'wrapping 10 10 -u L -xt (TINKER XYZ)' ;;
    xyzframes) echo 'xyzframes (XMOL XYZ)' ;;
    xyzframes-glued) echo 'xyzframes, numbers glued into one token' ;;
    linkframes) echo 'linkframes (TINKER XYZ, bonds)' ;;
    scenejoin) echo 'scenejoin of two halves' ;;
    ballconv) echo 'ballconv, scenes of 10^4 atoms' ;;
    ballconv-max) echo 'ballconv, (40,40) tube, 21 scenes' ;;
    topoconv-full) echo 'topoconv --periodic z (LAMMPS full, all terms)' ;;
    topoconv-atomic) echo 'topoconv --periodic z --style atomic' ;;
    topoconv-extxyz) echo 'topoconv --periodic z (extended XYZ)' ;;
    topoconv-xyz-input) echo 'topoconv --style atomic, reading that extended XYZ' ;;
    topoconv-gromacs) echo 'topoconv --periodic z (GROMACS .top and .gro)' ;;
    topoconv-psf) echo 'topoconv --periodic z, (100,100) tube (psf, prm, crd, pdb)' ;;
    topoconv-open-data) echo 'topoconv, open tube (LAMMPS full)' ;;
    topoconv-ends-data) echo 'topoconv --hydrogenate, open tube (LAMMPS full)' ;;
    topoconv-open-extxyz) echo 'topoconv, open tube (extended XYZ)' ;;
    topoconv-ends-extxyz) echo 'topoconv --hydrogenate, open tube (extended XYZ)' ;;
    assemble-walls) echo 'assemble --periodic (5,5)@(10,10)@(15,15) (LAMMPS full)' ;;
    assemble-bundle) echo 'assemble --periodic --bundle 7, (10,10) tubes (LAMMPS full)' ;;
    assemble-defects) echo 'assemble --periodic (10,10), 1 % N, 100 vacancies, 100 Stone-Wales (LAMMPS full)' ;;
  esac
}

cpu=$(awk -F': ' '/^model name/ { print $2; exit }' /proc/cpuinfo 2> /dev/null || true)
compiler=$(c++ --version 2> /dev/null | head -n 1 || true)
echo "Machine: ${cpu:-unknown CPU}, $(nproc) cores; ${compiler:-unknown compiler}; median of $runs runs (peers: $peer_runs)."
echo
header="| program and work |"
rule="|---|"
for atoms in "${sizes[@]}"; do
  header+=" $atoms |"
  rule+="---:|"
done
echo "Wall time [s] and peak memory [MB] by atoms x scenes:"
echo
echo "$header target at 10^6 | met |"
echo "$rule---|---|"
for key in wrapping wrapping-xx wrapping-xt xyzframes xyzframes-glued linkframes scenejoin ballconv \
    topoconv-full topoconv-atomic topoconv-extxyz topoconv-xyz-input topoconv-gromacs topoconv-psf topoconv-open-data topoconv-ends-data \
    topoconv-open-extxyz topoconv-ends-extxyz assemble-walls assemble-bundle assemble-defects; do
  line="| $(describe "$key") |"
  for atoms in "${sizes[@]}"; do
    line+=" $(value "$key" "$atoms" 4) s, $(value "$key" "$atoms" 5) MB |"
  done
  verdict "$key" 1000000
  echo "$line $limit | $met |"
done
echo
verdict ballconv-max 32000
echo "$(describe ballconv-max) (32000 atoms x 21 scenes; the pv format holds at most 32767 atoms):" \
  "$(value ballconv-max 32000 4) s, $(value ballconv-max 32000 5) MB; target $limit: $met."
echo
echo "assemble --find --diameter 0:50 ($find_tubes tubes of the ideal sheet):" \
  "$(value assemble-find "$find_tubes" 4) s, $(value assemble-find "$find_tubes" 5) MB;" \
  "with --lattice rebo ($find_table_tubes tubes of the REBO table):" \
  "$(value assemble-find-rebo "$find_table_tubes" 4) s, $(value assemble-find-rebo "$find_table_tubes" 5) MB."

if [ "${#sizes[@]}" -gt 1 ]; then
  echo
  header="| program and work |"
  rule="|---|"
  for ((k = 1; k < ${#sizes[@]}; k++)); do
    header+=" time ${sizes[k]} / time ${sizes[k - 1]} (linear: $(awk -v a="${sizes[k]}" -v b="${sizes[k - 1]}" 'BEGIN { printf "%.1f", a / b }')) |"
    rule+="---:|"
  done
  echo "Growth of the wall time from size to size of atoms x scenes (linear growth gives the ratio of the sizes; process start-up weighs on the smallest size):"
  echo
  echo "$header"
  echo "$rule"
  for key in wrapping wrapping-xx wrapping-xt xyzframes xyzframes-glued linkframes scenejoin ballconv \
      topoconv-full topoconv-atomic topoconv-extxyz topoconv-xyz-input topoconv-gromacs topoconv-psf topoconv-open-data topoconv-ends-data \
      topoconv-open-extxyz topoconv-ends-extxyz assemble-walls assemble-bundle assemble-defects; do
    line="| $(describe "$key") |"
    for ((k = 1; k < ${#sizes[@]}; k++)); do
      line+=" $(awk -v a="$(value "$key" "${sizes[k]}" 4)" -v b="$(value "$key" "${sizes[k - 1]}" 4)" \
        'BEGIN { printf (b > 0) ? "%.1f" : "n/a", (b > 0) ? a / b : 0 }') |"
    done
    echo "$line"
  done
fi

peer_table() {  # peer_table OURS PEER "ours text" "peer text" TARGET_RATIO "work"
  echo
  echo "| work | atoms | $3 [s] | $4 [s] | peer / ours | target |"
  echo "|---|---:|---:|---:|---:|---|"
  for atoms in "${sizes[@]}"; do
    local ours peer
    ours=$(value "$1" "$atoms" 4)
    peer=$(value "$2" "$atoms" 4)
    [ -n "$ours" ] && [ -n "$peer" ] || continue
    local ratio target_text=""
    ratio=$(awk -v a="$peer" -v b="$ours" 'BEGIN { printf "%.1f", a / b }')
    if [ "$atoms" = 1000000 ]; then
      target_text="at least $5 x: $(awk -v r="$ratio" -v t="$5" 'BEGIN { print (r >= t) ? "met" : "not met" }')"
    fi
    echo "| $6 | $atoms | $ours | $peer | $ratio | $target_text |"
  done
}

# What --hydrogenate adds to the same conversion of the open tube.
echo
echo "| open tube | atoms | without [s] | with --hydrogenate [s] | with / without | target |"
echo "|---|---:|---:|---:|---:|---|"
for format in data extxyz; do
  for atoms in "${sizes[@]}"; do
    without=$(value "topoconv-open-$format" "$atoms" 4)
    with=$(value "topoconv-ends-$format" "$atoms" 4)
    ratio=$(awk -v a="$with" -v b="$without" 'BEGIN { printf "%.2f", a / b }')
    target_text=""
    if [ "$atoms" = 1000000 ]; then
      target_text="at most 1.3: $(awk -v r="$ratio" 'BEGIN { print (r <= 1.3) ? "met" : "not met" }')"
    fi
    echo "| $([ "$format" = data ] && echo "LAMMPS full" || echo "extended XYZ") | $atoms | $without | $with | $ratio | $target_text |"
  done
done

if [ "$have_ase" = 1 ]; then
  peer_table ours-build ase-build "wrapping -az -xx" "ASE nanotube + write" 5 "build a (10,10) tube, write XYZ"
else
  echo
  echo "ASE (python3-ase) not found with $python: no comparison with ase.build.nanotube."
fi
if [ "$have_ase" = 1 ]; then
  peer_table topoconv-full ase-lammps "topoconv (full)" "ase.io.write lammps-data" 5 \
    "periodic tube as a LAMMPS data file"
  peer_table topoconv-atomic ase-lammps "topoconv --style atomic" "ase.io.write lammps-data" 5 \
    "periodic tube as a LAMMPS data file"
  peer_table topoconv-extxyz ase-extxyz "topoconv" "ase.io.write extxyz" 5 \
    "periodic tube as extended XYZ"
fi
if [ "$have_obabel" = 1 ]; then
  peer_table ours-bonds obabel-bonds "linkframes" "obabel -as -ocml" 7 "find bonds, write a bonded file"
else
  echo
  echo "obabel (openbabel) not found: no comparison of the bonded conversion."
fi
