#!/usr/bin/env bash
# Builds the benchmarks (Release, in build-release unless BUILD names another
# build folder), runs every one of bench/ and prints one table: ours, the
# floor, their ratio and its goal. Timing is not a test: a ratio past its goal
# is printed as such and the exit status stays 0.
#
#   scripts/bench.sh                 # build-release, every benchmark
#   BUILD=build scripts/bench.sh     # an existing build folder, as it is
#   scripts/bench.sh bench_audit     # only these programs
set -euo pipefail
here="$(cd "$(dirname "$0")/.." && pwd)"
build="${BUILD:-$here/build-release}"
out="${BENCH_OUT:-$build/bench-results}"

if [ -z "${BUILD:-}" ]; then
  bash "$here/scripts/setup.sh" >&2
  cmake -S "$here" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release >&2
  cmake --build "$build" --target benchmarks >&2
fi

programs=("$@")
if [ ${#programs[@]} -eq 0 ]; then
  for p in "$build"/bench/bench_*; do
    [ -x "$p" ] && [ -f "$p" ] && programs+=("$(basename "$p")")
  done
fi

mkdir -p "$out"
export QT_QPA_PLATFORM="${QT_QPA_PLATFORM:-offscreen}"
for p in "${programs[@]}"; do
  echo "Midiendo $p ..." >&2
  start=$(date +%s)
  if ! "$build/bench/$p" --benchmark_format=json --benchmark_out="$out/$p.json" \
       --benchmark_out_format=json >/dev/null 2>"$out/$p.err"; then
    echo "  $p no terminó; vea $out/$p.err" >&2
  fi
  echo "  $p: $(( $(date +%s) - start )) s" >&2
done
python3 "$here/scripts/bench_table.py" "$out"
