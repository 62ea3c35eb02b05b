#!/bin/sh
# Runs one disabled test of the media test program in a child process and
# passes only when ThreadSanitizer reports a data race in it whose stack
# names the engine frame given: proof that the suppressions leave such a
# race visible.
#   expect_race_report.sh PROGRAM TEST_FILTER ENGINE_FRAME
set -u
program=$1
filter=$2
frame=$3
output=$(TSAN_OPTIONS="halt_on_error=1:exitcode=66" "$program" \
  --gtest_also_run_disabled_tests --gtest_filter="$filter" 2>&1)
status=$?
printf '%s\n' "$output"
if ! printf '%s\n' "$output" | grep -q "WARNING: ThreadSanitizer: data race"; then
  echo "FAIL: no data race reported (exit status $status)"
  exit 1
fi
if ! printf '%s\n' "$output" | grep -q "$frame"; then
  echo "FAIL: the reported race does not name $frame"
  exit 1
fi
echo "PASS: ThreadSanitizer reported the planted race in $frame"
