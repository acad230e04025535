# What the comparison scripts beside this one share (sourced; they run from
# the repository's top): the benchmark program and the faker peer at hand,
# and a quiet machine before each round.

# require_bench PROGRAM BUILD_DIR: exits with how to build PROGRAM if it is
# not there.
require_bench() {
  if [[ ! -x "$1" ]]; then
    echo "no $1: cmake -S . -B $2 -G Ninja -DCMAKE_BUILD_TYPE=Release" \
         "-DTAVISOR_BUILD_BENCHMARKS=ON && cmake --build $2 -j2" >&2
    exit 1
  fi
  if [[ ! -d bench/peer/node_modules/@faker-js/faker ]]; then
    (cd bench/peer && npm ci --no-audit --no-fund --loglevel=error)
  fi
}

# Idle share (percent) of all cores over the next 2 s, from /proc/stat.
idle_percent() {
  local a b
  a=($(head -n 1 /proc/stat)); sleep 2; b=($(head -n 1 /proc/stat))
  local total=0 i
  for i in 1 2 3 4 5 6 7 8; do total=$((total + b[i] - a[i])); done
  echo $(( total > 0 ? 100 * (b[4] + b[5] - a[4] - a[5]) / total : 0 ))
}
# Waits until the cores are quiet or QUIET_WAIT seconds have passed; prints
# the last idle share seen.
await_quiet() {
  local deadline=$((SECONDS + ${QUIET_WAIT:-60})) idle
  while idle=$(idle_percent); ((idle < 90 && SECONDS < deadline)); do :; done
  echo "$idle"
}
# ratio A B: A / B with two decimals.
ratio() { node -e 'console.log((Number(process.argv[1]) / Number(process.argv[2])).toFixed(2))' "$1" "$2"; }
