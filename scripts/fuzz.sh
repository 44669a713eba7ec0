#!/usr/bin/env bash
# Builds the libFuzzer targets of fuzz/ with clang and runs each of them.
#
#   scripts/fuzz.sh [-t SECONDS | -r RUNS] [-j WORKERS] [TARGET...]
#
#   -t SECONDS  run every target this long (default 30)
#   -r RUNS     run every target until this many inputs were executed in all
#   -j WORKERS  fuzzing processes per target (default: the number of cores)
#   TARGET      fuzz_tm4040_history, fuzz_tm4040_params, fuzz_report_template,
#               fuzz_database_file, fuzz_irda_stack, fuzz_tm4040emu_irda
#               (default: all)
#
# The build lives in build-fuzz/, the growing corpora, logs and any crash
# inputs in fuzz-out/. Exits non-zero when a target crashed, leaked, hit a
# sanitizer report or timed out on an input; its log and input are named.
set -euo pipefail
ORVANE_ROOT="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
source "$ORVANE_ROOT/scripts/common.sh"

seconds=30
runs=""
workers="$(nproc)"
while getopts "t:r:j:" option; do
    case "$option" in
        t) seconds="$OPTARG"; runs="" ;;
        r) runs="$OPTARG" ;;
        j) workers="$OPTARG" ;;
        *) sed -n '2,16p' "${BASH_SOURCE[0]}"; exit 2 ;;
    esac
done
shift $((OPTIND - 1))
all_targets=(fuzz_tm4040_history fuzz_tm4040_params fuzz_report_template fuzz_database_file
    fuzz_irda_stack fuzz_tm4040emu_irda)
targets=("$@")
[ ${#targets[@]} -eq 0 ] && targets=("${all_targets[@]}")

orvane_install_packages clang libclang-rt-14-dev libsqlite3-dev

build="$ORVANE_ROOT/build-fuzz"
out="$ORVANE_ROOT/fuzz-out"
CC=clang CXX=clang++ cmake -S "$ORVANE_ROOT" -B "$build" -DORVANE_FUZZ=ON \
    -DORVANE_BUILD_TESTS=OFF -DORVANE_BUILD_BENCH=OFF -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build "$build" --parallel "$(nproc)" --target "${targets[@]}"

# Dates are decoded as local time: a zone with clock changes covers the
# times that do not exist or exist twice. A fixed TZ also spares the C
# library a look at /etc/localtime on every conversion.
if [ -e /usr/share/zoneinfo/Europe/Berlin ]; then
    export TZ=Europe/Berlin
else
    export TZ=UTC
fi
# libFuzzer looks for leaks after every input that allocated more than it
# freed. The check at exit would only find what the Qt platform plug-in keeps
# for the life of the process, and slow malloc stacks would cost ten times
# the speed, so neither is used here.
export ASAN_OPTIONS="detect_leaks=1:leak_check_at_exit=0:abort_on_error=1"
export LSAN_OPTIONS="suppressions=$ORVANE_ROOT/tests/lsan.supp:print_suppressions=0"
export UBSAN_OPTIONS="print_stacktrace=1:halt_on_error=1"

# Per-target options: the largest input worth trying, and a dictionary.
target_options() {
    case "$1" in
        fuzz_tm4040_history) echo "-max_len=8100" ;;
        fuzz_tm4040_params) echo "-max_len=64" ;;
        fuzz_report_template) echo "-max_len=32768 -dict=$ORVANE_ROOT/fuzz/report_template.dict" ;;
        fuzz_database_file) echo "-max_len=70000" ;;
        fuzz_irda_stack) echo "-max_len=1024" ;;
        fuzz_tm4040emu_irda) echo "-max_len=4096" ;;
    esac
}

status=0
for target in "${targets[@]}"; do
    corpus="$out/corpus/$target"
    artifacts="$out/artifacts/$target/"
    logs="$out/logs"
    mkdir -p "$corpus" "$artifacts" "$logs"
    limit=(-max_total_time="$seconds")
    [ -n "$runs" ] && limit=(-runs=$(( (runs + workers - 1) / workers )))
    # shellcheck disable=SC2207
    extra=($(target_options "$target"))

    pids=()
    for ((w = 0; w < workers; ++w)); do
        "$build/bin/fuzz/$target" "${limit[@]}" "${extra[@]}" -timeout=30 \
            -print_final_stats=1 -artifact_prefix="$artifacts" \
            "$corpus" "$ORVANE_ROOT/fuzz/corpus/$target" >"$logs/$target.$w.log" 2>&1 &
        pids+=($!)
    done
    executed=0
    failed=0
    for ((w = 0; w < workers; ++w)); do
        if ! wait "${pids[$w]}"; then
            failed=1
            echo "!! $target worker $w failed; the end of $logs/$target.$w.log:"
            grep -v '^libpng error' "$logs/$target.$w.log" | tail -n 40
        fi
        n="$(sed -n 's/^stat::number_of_executed_units: *//p' "$logs/$target.$w.log" | tail -n 1)"
        executed=$((executed + ${n:-0}))
    done
    if [ "$failed" = 0 ]; then
        echo "== $target: $executed executions, no findings ($(ls "$corpus" | wc -l) inputs in the corpus)"
    else
        echo "== $target: FAILED after $executed executions; inputs in $artifacts"
        status=1
    fi
done
exit $status
