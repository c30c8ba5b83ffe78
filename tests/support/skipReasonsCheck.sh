#!/usr/bin/env bash
# Checks skipReasons.sh on logs laid out as ctest leaves them while its
# post-test command runs: the current run in LastTest.log.tmp, the previous
# one (if any) in LastTest.log. usage: skipReasonsCheck.sh SKIPREASONS.sh
set -u
script=$1
dir=$(mktemp -d); trap 'rm -rf "$dir"' EXIT
log() {  # log FILE TEST REASON
    printf '1/1 Test: %s\n[ RUN      ] %s\nx_test.cpp:1: Skipped\n%s\n[  SKIPPED ] %s (0 ms)\n' "$2" "$2" "$3" "$2" >"$1"
}
fail() { echo "skipReasonsCheck: $*" >&2; exit 1; }
log "$dir/LastTest.log.tmp" Now.Skipped "reason of this run"
out=$(bash "$script" "$dir")
[[ $out == *"Now.Skipped: reason of this run"* ]] || fail "a first run printed: $out"
log "$dir/LastTest.log" Before.Skipped "reason of the previous run"
out=$(bash "$script" "$dir")
[[ $out == *"Now.Skipped"* && $out != *"Before.Skipped"* ]] || fail "a later run printed: $out"
rm "$dir/LastTest.log.tmp"
out=$(bash "$script" "$dir")
[[ $out == *"Before.Skipped"* ]] || fail "without a current log it printed: $out"
echo "skip reasons are the current run's"
