#!/usr/bin/env bash
# Runs a fuzz target for a bounded time over a copy of the seed corpus (the files named *.xls, or
# PATTERN).
# Usage: run_fuzzer.sh FUZZER SEED_DIR SHARED_CORPUS_DIR WORK_DIR [SECONDS] [PATTERN]
# Exit 77 (skipped) when the fuzzer has not been built; 1 when it found a crash.
set -u
fuzzer=$1 seeds=$2 shared=$3 work=$4 seconds=${5:-60} pattern=${6:-*.xls}
if [ ! -x "$fuzzer" ]; then
    echo "No fuzzer at $fuzzer (build build/fuzz with --target fuzzers); skipped."
    exit 77
fi
rm -rf "$work"
mkdir -p "$work/corpus" "$work/artifacts"
find "$seeds" -type f -name "$pattern" -size -300k -exec cp {} "$work/corpus/" \;
if [ -d "$shared" ]; then
    find "$shared" -maxdepth 1 -type f -name "$pattern" -size -300k -exec cp {} "$work/corpus/" \;
fi
echo "Seeds: $(ls "$work/corpus" | wc -l) files; fuzzing for $seconds s."
"$fuzzer" -max_total_time="$seconds" -rss_limit_mb=2048 -timeout=25 -print_final_stats=1 \
    -artifact_prefix="$work/artifacts/" "$work/corpus" >"$work/log.txt" 2>&1
status=$?
tail -n 12 "$work/log.txt"
if [ $status -ne 0 ] || [ -n "$(ls -A "$work/artifacts")" ]; then
    echo "The fuzzer found a problem (exit $status); inputs kept in $work/artifacts:"
    ls -l "$work/artifacts"
    grep -m 1 -A 30 -E "ERROR|runtime error|deadly signal" "$work/log.txt"
    exit 1
fi
exit 0
