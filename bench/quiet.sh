# Waiting for a quiet machine before a benchmark round, for the scripts
# beside this one (sourced; they run from the repository's top).

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
