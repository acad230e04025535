#!/usr/bin/env bash
# The hand-over's protocols model-checked with SPIN (verification/): every
# correct model must pass an exhaustive search, and every model with a known
# fault must give a counterexample, the one that fault is about (a faulty
# model that passes, or fails for another reason, fails the stage).
# Prints one line per check and closes with "N passed, N failed".
set -uo pipefail
cd "$(dirname "$0")/.."
models="$PWD/verification"
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

jobs=2   # checks run at once (the machine has two cores)
count=0

# check NAME MODEL MODE EXPECT FLAGS...
#   MODE    safety: assertions and the end checks (pan -E: the models judge
#           their own end states in Watchdog); cycles: the same, and no
#           cycle at all, so every run ends (pan -l, no progress labels);
#           big: safety for the large state spaces (pan compiled with -O2)
#   EXPECT  "pass", or a piece of the assertion the fault must violate
#           (extended regular expression); a faulty model is searched for
#           every counterexample, so that the expected one is among them
# Runs in the background; its line goes to $work/NNN.result.
check() {
  count=$((count + 1))
  while (($(jobs -rp | wc -l) >= jobs)); do wait -n; done
  run_check "$(printf '%s/%03d.result' "$work" "$count")" "$@" &
}

run_check() {
  local result=$1 name=$2 model=$3 mode=$4 expect=$5
  shift 5
  local dir="$work/$name" cflags=(-O0 -DSAFETY) run=(-E -m2000000 -w22)
  mkdir -p "$dir"
  case $mode in
    cycles) cflags=(-O0 -DNP) run=(-E -l -m2000000 -w22) ;;
    big) cflags=(-O2 -DSAFETY) run=(-E -m2000000 -w24) ;;
  esac
  # A faulty model: every counterexample, so that the expected one is among
  # them (a large one: the first).
  [[ $expect != pass && $mode != big ]] && run+=(-c0 -e)
  local started=$SECONDS verdict detail
  if ! (cd "$dir" && spin -a "$@" "$models/variant_$model.pml" >spin.log 2>&1 &&
        nice -n 10 gcc "${cflags[@]}" -w -o pan pan.c >gcc.log 2>&1); then
    verdict=FAIL detail="does not build: $(tail -n 3 "$dir"/*.log | tr '\n' ' ')"
  else
    # A search that outgrows the stage is cut off (and fails it).
    (cd "$dir" && timeout 300 nice -n 10 ./pan "${run[@]}" >pan.log 2>&1)
    local states errors violations
    states=$(awk '/states, stored/ { print $1; exit }' "$dir/pan.log")
    errors=$(sed -n 's/.*errors: \([0-9]*\).*/\1/p' "$dir/pan.log" | head -n 1)
    violations=$(grep -E '^pan:[0-9]+: ' "$dir/pan.log" | cut -d' ' -f2- | sed 's/ (at depth.*//' | sort -u)
    detail="${states:-?} states, $((SECONDS - started)) s"
    if [[ -z $errors ]]; then
      verdict=FAIL detail="no result: $(tail -n 3 "$dir/pan.log" | tr '\n' ' ')"
    elif grep -q 'max search depth too small\|out of memory' "$dir/pan.log"; then
      verdict=FAIL detail="search not exhaustive ($detail)"
    elif [[ $expect == pass ]]; then
      if [[ $errors == 0 ]]; then
        verdict=ok
      else
        verdict=FAIL detail="$detail: $(head -n 1 <<<"$violations")"
      fi
    elif [[ $errors == 0 ]]; then
      verdict=FAIL detail="no counterexample ($detail)"
    elif grep -Eq -- "$expect" <<<"$violations"; then
      verdict=ok detail="counterexample: $(grep -E -- "$expect" <<<"$violations" | head -n 1) ($detail)"
    else
      verdict=FAIL detail="other counterexample: $(head -n 1 <<<"$violations") ($detail)"
    fi
  fi
  printf '%-4s %-32s %s\n' "$verdict" "$name" "$detail" >"$result"
}

# The correct models. A stop at any moment: one producer making two
# batches (and no cycle: every run ends), two producers making one each.
for v in a b c d e; do
  check "$v-stop-1x2" "$v" cycles pass -DPRODUCERS=1 -DBATCHES=2
done
for v in a b c d e; do
  check "$v-stop-2x1" "$v" big pass -DPRODUCERS=2 -DBATCHES=1
done
# No stop: nobody may wait for ever while a producer still has batches to
# make (a lost wake-up that a stop would hide).
for v in a b c d e; do
  check "$v-nostop-1x2" "$v" safety pass -DPRODUCERS=1 -DBATCHES=2 -DNOSTOP
  check "$v-nostop-2x2" "$v" safety pass -DPRODUCERS=2 -DBATCHES=2 -DNOSTOP
  check "$v-nostop-3x1" "$v" safety pass -DPRODUCERS=3 -DBATCHES=1 -DNOSTOP
done

# The faults, each against the property it breaks.
check fault-pass-without-notify    c safety 'parked' -DPRODUCERS=2 -DBATCHES=1 -DNOSTOP -DFAULT_PASS_NO_NOTIFY
check fault-a-announce-no-notify   a safety 'parked' -DNOSTOP -DFAULT_A_NO_NOTIFY
check fault-handback-crosses-stop  c safety '!\(clearing\)' -DFAULT_NO_FENCE
check fault-old-final-wait         c safety '!\(clearing\)' -DFAULT_OLD_WAIT
check fault-old-final-wait-polls   c cycles 'non-progress cycle' -DFAULT_OLD_WAIT
check fault-a-take-fenced          a big 'stopDone' -DPRODUCERS=2 -DBATCHES=1 -DA_TAKE_FENCED
check fault-leave-ignores-batch-b  b safety '!\(barProd\)' -DFAULT_LEAVE_IGNORES_BATCH
check fault-leave-ignores-batch-c  c safety '\(sem<1\)' -DFAULT_LEAVE_IGNORES_BATCH
check fault-leave-ignores-batch-d  d safety 'latchCount\[obj\]>0' -DFAULT_LEAVE_IGNORES_BATCH
check fault-leave-ignores-batch-e  e safety '!\(promSet\[obj2\]\)' -DFAULT_LEAVE_IGNORES_BATCH
check fault-d-clear-before-latch   d safety 'writingPtr|latchCount' -DFAULT_D_CLEAR_FIRST
check fault-b-last-signal-waits    b safety '!\(freed\)' -DFAULT_B_LAST_WAIT
check fault-notice-no-wait         c safety 'printed\[i\]==1' -DFAULT_NOTICE_NO_WAIT
check fault-view-forgets-given     c safety '!\(delivered\[r\]\)' -DFAULT_VIEW_FORGETS_GIVEN
# The one read the layouts cannot order: after a spurious wake-up.
check limit-spurious-wake-up       c safety '!\(clearing\)' -DSPURIOUS
wait

passed=0
failed=0
for result in "$work"/*.result; do
  cat "$result"
  if [[ $(cut -c1-4 "$result") == "ok  " ]]; then passed=$((passed + 1)); else failed=$((failed + 1)); fi
done
failed=$((failed + count - passed - failed))   # a check that left no line
echo "$passed passed, $failed failed"
((failed == 0))
