#!/usr/bin/env bash
# Prints why each skipped test of the ctest run that just ended was skipped:
# the line a GoogleTest GTEST_SKIP() wrote after "Skipped", read from CTest's
# log. Run by ctest itself after the tests (CTestCustom.cmake of the build);
# it never fails, so that it cannot change ctest's result.
#
# While this runs, ctest has written the current run's log as
# LastTest.log.tmp and renames it to LastTest.log only afterwards, so the
# .tmp is read when it is there; LastTest.log then still holds the previous
# run (or nothing, after a first run in a fresh build folder).
#
# usage: tests/skipReasons.sh BUILD/Testing/Temporary
dir=${1:?usage: skipReasons.sh BUILD/Testing/Temporary}
log=$dir/LastTest.log
[ -r "$log.tmp" ] && log=$log.tmp
[ -r "$log" ] || exit 0
awk '
    /^[0-9]+\/[0-9]+ Test: / { name = $3 }
    /: Skipped$/ {
        reason = "(no reason given)"
        if ((getline line) > 0 && line !~ /^\[  SKIPPED \]/) reason = line
        if (!shown++) print "Why tests were skipped:"
        print "\t" name ": " reason
    }
' "$log" || true
exit 0
