#!/bin/sh
# Builds the libFuzzer targets (tests/fuzz) with clang, the address and
# undefined-behaviour sanitizers in build/fuzz, and runs each one for a
# while inside a private network namespace (scripts/in-netns.sh).
#
#   scripts/fuzz.sh [seconds per target] [target ...]
#
# Targets: split_url parse_url response form_body (all by default); 60 s
# each by default. New inputs go to build/fuzz/corpus/<target>, the seeds
# in tests/fuzz/corpus/<target> are only read. An input that makes a target
# fail is kept in build/fuzz/crashes/<target>/: fix the fault, then add the
# input to the seed corpus, where fuzz_corpus_test replays it in every test
# run. The exit status is non-zero when any target failed.
set -eu
root=$(cd "$(dirname "$0")/.." && pwd)
seconds=${1:-60}
[ $# -gt 0 ] && shift
targets=${*:-split_url parse_url response form_body}
build="$root/build/fuzz"

CC=clang CXX=clang++ cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
    -DDRAVENLOK_FUZZ=ON -DDRAVENLOK_BUILD_TESTS=OFF -DDRAVENLOK_TARGET_HOST=target.dravenlok.test \
    >/dev/null
# shellcheck disable=SC2046
cmake --build "$build" --target $(for t in $targets; do printf 'fuzz_%s ' "$t"; done)

export UBSAN_OPTIONS="print_stacktrace=1:halt_on_error=1"
status=0
summary=""
for t in $targets; do
    work="$build/corpus/$t"
    crashes="$build/crashes/$t"
    log="$build/$t.log"
    mkdir -p "$work" "$crashes"
    case $t in
    split_url | parse_url) dict="$root/tests/fuzz/url.dict" ;;
    *) dict="$root/tests/fuzz/$t.dict" ;;
    esac
    echo "fuzz: $t for ${seconds} s"
    if "$root/scripts/in-netns.sh" "$build/tests/fuzz/fuzz_$t" \
        -max_total_time="$seconds" -max_len=65536 -timeout=20 -rss_limit_mb=2048 \
        -dict="$dict" -print_final_stats=1 -artifact_prefix="$crashes/" \
        "$work" "$root/tests/fuzz/corpus/$t" >"$log" 2>&1; then
        result="clean"
    else
        result="FAILED (see $log and $crashes)"
        status=1
    fi
    runs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log" | tail -n 1)
    rate=$(sed -n 's/^stat::average_exec_per_sec: *//p' "$log" | tail -n 1)
    line="$t: ${runs:-?} executions in ${seconds} s (${rate:-?}/s), $result"
    echo "fuzz: $line"
    summary="$summary$line
"
done
printf '\n%s' "$summary"
exit $status
