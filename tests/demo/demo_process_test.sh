#!/usr/bin/env bash
# Runs tavisor-demo as a user would and checks what it prints.
# Usage: demo_process_test.sh CASE DEMO_EXECUTABLE DATA_DIR
# The print-out is Windows-1252: compare bytes, not characters.
set -uo pipefail
export LC_ALL=C

case_name=$1
demo=$(cd "$(dirname "$2")" && pwd)/$(basename "$2")
data=$3
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
out=$work/out.txt
failures=0

fail() {
  echo "FAIL: $*"
  failures=$((failures + 1))
}

# run [ARGS...] < input: runs the demo from an unrelated directory.
run() {
  (cd "$work" && "$demo" "$@") >"$out" 2>&1
  status=$?
}

expect_status() {
  [[ $status == "$1" ]] || fail "exit status $status, expected $1"
}

expect() {
  grep -qF -- "$1" "$out" || fail "missing: $1"
}

expect_not() {
  if grep -qF -- "$1" "$out"; then fail "unexpected: $1"; fi
}

# expect_count TEXT N: TEXT appears on exactly N lines.
expect_count() {
  local n
  n=$(grep -cF -- "$1" "$out")
  [[ $n == "$2" ]] || fail "\"$1\" on $n lines, expected $2"
}

# expect_record HEADING EXPECTED: the lines after HEADING up to the next
# heading are EXPECTED, byte for byte.
expect_record() {
  awk -v h="$1" '$0 == h { f = 1; next } /^--- / { f = 0 } f' "$out" >"$work/record.txt"
  printf '%s' "$2" >"$work/expected.txt"
  cmp -s "$work/record.txt" "$work/expected.txt" || {
    fail "record after \"$1\" differs:"
    diff "$work/expected.txt" "$work/record.txt" | cat -v
  }
}

case $case_name in
  default)
    run
    expect_status 0
    expect "Reference lists loaded from \"$data\""
    expect "--- random record 3 of 3"
    expect " (selts: "
    expect "Vaatlus toimus: "
    expect_record "--- test record 10" $'Mudatilder (selts: kurvitsalised, sugukond: kurvitslased)\n'$'1)Asukoht: 58\xb034\'43" N 26\xb07\'32" E\n'$'Vaatlus toimus: 06:17:00 11-05-2020\n'$'Lindude arvu ei \xf5nnestunud kokku lugeda\n'$'2)Asukoht: Vinni vald\n'$'Vaatlus toimus: 12:26:00 08-07-2019\n'$'N\xe4htud 6 lindu\n'$'3)Asukoht: 58\xb056\'5" N 23\xb028\'20" E\n'$'Vaatlus toimus: 11:27:00 11-07-2020\n'$'Lindude arvu ei \xf5nnestunud kokku lugeda\n'$'\n'
    expect_record "--- test record 0" $'\xd5\xf5netuvi (selts: tuvilised, sugukond: tuvilased)\n'$'1)Asukoht: V\xf5ru vald\n'$'Vaatlus toimus: 16:40:00 17-09-2025\n'$'N\xe4htud 1 lind\n'$'\n'
    expect_count "Generator in DLL started" 1
    expect " items generated"
    expect "--- producer 1 (A), batch 2, record 1 of "
    expect_count "Loop in DLL broken off" 1
    expect_count "Type a command" 1
    expect "All producers ended: 1 producer(s), 2 batch(es), "
    ;;

  utf8)
    run --utf8 --variant e --batches 1
    expect_status 0
    expect $'\xc3\x95\xc3\xb5netuvi (selts: tuvilised, sugukond: tuvilased)'
    expect $'V\xc3\xb5ru vald'
    expect_not $'\xd5\xf5netuvi'
    expect "--- producer 1 (E), batch 1, record 1 of "
    expect "Loop in DLL broken off"
    expect "All producers ended: 1 producer(s), 1 batch(es), "
    ;;

  interactive)
    run --interactive <<EOF
Help
random 2
random 0
random x
random 1 2
test 3
test 17
test -1
test abc
test
bogus
start F
start A X
start
status
start a CE
start b d
status
load $data
wait 30
stop
stop
wait
status
random 1
generate 40 -o gen.csv -o gen.txt --threads 2
generate --test --bogus
generate --help
quit
random 1
EOF
    expect_status 0
    expect "Wrote 40 records in "
    expect 'generate: The following argument was not expected: --bogus'
    expect "Usage: generate COUNT|--test [-o FILE]..."
    expect "Usage: generate [OPTIONS] [COUNT]"
    # Relative names mean the directory the program started in.
    [[ $(grep -c '^1)Asukoht: ' "$work/gen.txt") == 40 ]] || fail "gen.txt lacks 40 records"
    [[ $(cut -d, -f1 "$work/gen.csv" | sort -u | wc -l) == 41 ]] || fail "gen.csv lacks 40 records"
    expect "Interactive mode: type help for the commands"
    for command in "random [N]" "test N" "start X..." "wait [S]" stop status "load DIR" help quit \
      "timeline FILE" \
      "generate COUNT|--test [-o FILE]..."; do
      expect "  $command "
    done
    expect "--- random record 2 of 2"
    expect 'random: "0" is not a number from 1 to 100'
    expect 'random: "x" is not a number from 1 to 100'
    expect "Usage: random [N]"
    expect "--- test record 3"
    expect "Test record 17 does not exist: use 0 to 16"
    expect "Test record -1 does not exist: use 0 to 16"
    expect 'test: "abc" is not a number (use 0 to 16)'
    expect "Usage: test N"
    expect 'Unknown command "bogus": type help for the commands'
    expect 'start: unknown variant "F": the variants are A, B, C, D and E; nothing started'
    expect 'start: unknown variant "X"'
    expect "Usage: start X..."
    expect "Reference lists loaded; no producer running"
    expect "Reference lists loaded; producers running: ACEBD"
    expect "Stop the running producers first"
    expect_count "Generator in DLL started" 5
    number=0
    for letter in A C E B D; do
      number=$((number + 1))
      expect "Started producer $number (variant $letter)"
      expect "--- producer $number ($letter), batch 1, record 1 of "
    done
    expect_not "Started producer 6"
    expect "Every running producer has delivered another batch"
    expect "Stopped 5 producer(s)"
    expect_count "No producer is running" 2
    expect_count "Loop in DLL broken off" 5
    expect_count "Type a command" 5
    expect_count "--- random record 1 of 1" 1
    expect "All producers ended: 5 producer(s), "
    expect_count "Bye" 1
    ;;

  missing_lists)
    mkdir "$work/empty" "$work/short"
    head -n 3 "$data/Eesti linnud.txt" >"$work/short/Eesti linnud.txt"
    cp "$data/Eesti omavalitsused.txt" "$work/short/"
    run --interactive --data "$work/empty" <<EOF
random 2
start c
test 16
status
load $work/none
load $work/short
load $data
random
start c
wait 25
EOF
    expect_status 0
    expect "Cannot load the reference lists from \"$work/empty\": Unable to open file \"Eesti linnud.txt\""
    expect "No random records: the reference lists did not load"
    expect "Producer C not started: the reference lists did not load"
    expect "--- test record 16"
    expect "Reference lists not loaded; no producer running"
    expect "Cannot load the reference lists: cannot change to the directory \"$work/none\""
    expect "Cannot load the reference lists from \"$work/short\": File \"Eesti linnud.txt\" is corrupted, number of species cannot be less than 414"
    expect "Reference lists loaded from \"$data\""
    expect "--- random record 1 of 1"
    expect "Started producer 1 (variant C)"
    expect "--- producer 1 (C), batch 1, record 1 of "
    expect "All producers ended: 1 producer(s), "
    expect "Bye"
    ;;

  bad_options)
    # Usage errors: exit status 2, what was wrong, and where the usage is.
    while IFS='|' read -r args message hint; do
      read -ra words <<<"$args"
      run "${words[@]}"
      expect_status 2
      expect "tavisor-demo: $message"
      expect "Run \"tavisor-demo $hint--help\" for the usage"
    done <<'CASES'
--variant G|--variant: needs one of the letters A to E, not "G"|
--bogus|The following argument was not expected: --bogus|
--batches many|--batches: "many" is not a whole number|
--batches 101|--batches: 101 is not in the range 0 to 100|
--data|--data: 1 required DIR missing|
--timeline run.png|--timeline: FILE must end in .json, .svg or .html|
generate 5 --timeline run.json|generate excludes --timeline|generate 
generate|generate: give a COUNT of random records, or --test|generate 
generate 1000000000001|COUNT: 1000000000001 is not in the range 0 to 1000000000000|generate 
generate abc|COUNT: "abc" is not a whole number|generate 
generate 1e3|COUNT: "1e3" is not a whole number|generate 
generate 10k|COUNT: "10k" is not a whole number|generate 
generate 0x10|COUNT: "0x10" is not a whole number|generate 
generate +5|COUNT: "+5" is not a whole number|generate 
generate 5 --test|COUNT excludes --test|generate 
generate 5 --format xml|--format: xml not in {jsonl,json,csv,text,sqlite}|generate 
generate 5 --threads 0|--threads: 0 is not in the range 1 to 64|generate 
generate 5 --threads 65|--threads: 65 is not in the range 1 to 64|generate 
generate 5 --threads 2x|--threads: "2x" is not a whole number|generate 
generate 5 --seed -1|--seed: "-1" is not a whole number|generate 
generate 5 --seed 18446744073709551616|--seed: 18446744073709551616 is not in the range 0 to 18446744073709551615|generate 
generate 5 --shard 2|--shard: needs I/N, whole numbers with 1 <= I <= N <= 1000000, not "2"|generate 
generate 5 --shard 0/4|--shard: needs I/N|generate 
generate 5 --shard 5/4|--shard: needs I/N|generate 
generate --test --seed 1|generate: --seed and --shard apply to random records, not to --test|generate 
generate 5 -o a.json --shard 1/2|generate: --shard cannot split one JSON document (.json): use JSON Lines (.jsonl)|generate 
generate 5 -o a.xml|generate: --output "a.xml": unknown extension ".xml" (.jsonl, .ndjson, .json, .csv or .txt, each may end in .gz or .zst): name the form with --format|generate 
generate 5 -o a.tsv.gz|generate: --output "a.tsv.gz": unknown extension ".tsv.gz"|generate 
generate 5 -o birds|generate: --output "birds": no extension|generate 
generate 5 --bogus|The following argument was not expected: --bogus|generate 
generate 5 -o a.csv -o a.csv|generate: --output "a.csv" is named twice|generate 
generate 5 -o a.csv -o ./a.csv|generate: --output "a.csv" and "./a.csv" are the same file|generate 
generate 5 -o a.csv --encoding utf-8|generate: --encoding applies to the text form only|generate 
generate 5 --encoding latin1|--encoding: latin1 not in {windows-1252,utf-8}|generate 
-i generate 5|generate excludes --interactive|generate 
CASES
    run --help
    expect_status 0
    expect "Usage: tavisor-demo [OPTIONS] [SUBCOMMAND]"
    expect "  generate "
    run generate --help
    expect_status 0
    expect "Usage: tavisor-demo generate [OPTIONS] [COUNT]"
    expect "  -o,--output FILE"
    run --version
    expect_status 0
    expect "tavisor-demo 1.0.0"
    run generate ""
    expect_status 2
    expect 'tavisor-demo: COUNT: "" is not a whole number'
    run generate 5 --data "$data" -o "$work/no/such/dir.jsonl"
    expect_status 1
    expect "tavisor-demo: cannot open \"$work/no/such/dir.jsonl\" for writing: "
    run --library "$work/libNone.so"
    expect_status 1
    expect "Tavisor library \"$work/libNone.so\" cannot be loaded"
    mkdir "$work/empty"
    run --data "$work/empty"
    expect_status 1
    expect 'Unable to open file "Eesti linnud.txt"'
    expect_not "random record"
    run generate 5 --data "$work/empty"
    expect_status 1
    expect "tavisor-demo: no random records without the reference lists"
    ;;

  *)
    echo "unknown case $case_name"
    exit 2
    ;;
esac

if ((failures > 0)); then
  echo "--- output of the last run ---"
  cat -v "$out"
  exit 1
fi
echo "demo $case_name: all checks passed"
