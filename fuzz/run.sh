#!/bin/sh
# Runs fuzz targets for a fixed time each, from their seed corpora.
#
#   fuzz/run.sh SECONDS [target...]      every target when none is named
#
# The targets are those of the fuzz preset (cmake --workflow --preset fuzz),
# taken from build-fuzz/fuzz or $FUZZ_BUILD_DIR. Each one starts from
# fuzz/corpus/<target>/ with fuzz/<target>.dict and the options of
# fuzz/<target>.options when they exist. New corpus units go to a scratch
# folder ($FUZZ_WORK_DIR, default a new folder under /tmp), never into the
# repository; it is removed afterwards unless a target failed or FUZZ_KEEP=1.
# Exits with 1 when any target crashed, leaked, timed out or failed one of
# its checks; the input that did it stays in the scratch folder.
set -eu
if [ $# -lt 1 ]; then
    echo "usage: $0 SECONDS [target...]" >&2
    exit 2
fi
seconds=$1
shift
source_dir=$(cd "$(dirname "$0")" && pwd)
build_dir=$(cd "${FUZZ_BUILD_DIR:-$source_dir/../build-fuzz}/fuzz" && pwd)
work=${FUZZ_WORK_DIR:-$(mktemp -d /tmp/suite-fuzz-run.XXXXXX)}
mkdir -p "$work"
work=$(cd "$work" && pwd)

if [ $# -eq 0 ]; then
    for source in "$source_dir"/*.cpp; do
        set -- "$@" "$(basename "$source" .cpp)"
    done
fi

failed=""
for target in "$@"; do
    binary=$build_dir/fuzz_$target
    if [ ! -x "$binary" ]; then
        echo "$target: no fuzz target $binary" >&2
        failed="$failed $target"
        continue
    fi
    new_units=$work/corpus-$target
    log=$work/$target.log
    mkdir -p "$new_units"
    set -- -max_total_time="$seconds" -timeout=10 -rss_limit_mb=2048 -close_fd_mask=1 \
        -print_final_stats=1 -artifact_prefix="$work/$target-"
    [ -f "$source_dir/$target.dict" ] && set -- "$@" -dict="$source_dir/$target.dict"
    if [ -f "$source_dir/$target.options" ]; then
        for option in $(grep -v '^#' "$source_dir/$target.options"); do
            set -- "$@" "$option"
        done
    fi
    started=$(date +%s)
    status=0
    "$binary" "$@" "$new_units" "$source_dir/corpus/$target" >"$log" 2>&1 || status=$?
    finished=$(date +%s)
    executions=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log" | tail -n 1)
    last=$(grep -E '^#[0-9]+.*cov: ' "$log" | tail -n 1)
    coverage=$(echo "$last" | sed -n 's/.*cov: \([0-9]*\).*/\1/p')
    features=$(echo "$last" | sed -n 's/.*ft: \([0-9]*\).*/\1/p')
    corpus=$(echo "$last" | sed -n 's/.*corp: \([^ ]*\).*/\1/p')
    echo "$target: $((finished - started)) s, ${executions:-?} runs, cov ${coverage:-?}, ft ${features:-?}, corpus ${corpus:-?}, status $status"
    if [ "$status" -ne 0 ]; then
        failed="$failed $target"
        grep -B 5 -A 30 -m 1 -E "^==[0-9]+==|fuzz check failed|ERROR: libFuzzer" "$log" >&2 || tail -n 40 "$log" >&2
        ls "$work/$target-"* >&2 2>/dev/null || true
    fi
done

if [ -n "$failed" ]; then
    echo "fuzzing failed:$failed (inputs and logs in $work)" >&2
    exit 1
fi
if [ "${FUZZ_KEEP:-0}" != 1 ] && [ -z "${FUZZ_WORK_DIR:-}" ]; then
    rm -rf "$work"
fi
