#!/usr/bin/env bash
# Prints why each skipped test of the last ctest run was skipped: the line a
# GoogleTest GTEST_SKIP() wrote after "Skipped", read from CTest's log.
# Run by ctest itself after the tests (CTestCustom.cmake of the build); it
# never fails, so that it cannot change ctest's result.
#
# usage: tests/skipReasons.sh BUILD/Testing/Temporary/LastTest.log
log=${1:?usage: skipReasons.sh LastTest.log}
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
