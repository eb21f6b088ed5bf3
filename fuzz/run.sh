#!/usr/bin/env bash
# fuzz/run.sh SECONDS [BUILD_FOLDER]
# Builds the Standard MIDI File reader's fuzz target with clang++
# (libFuzzer, AddressSanitizer, UndefinedBehaviorSanitizer) and runs it for
# SECONDS seconds from a small seed corpus. Exits non-zero when the fuzzer
# finds a crash, a hang (an input taking over 5 s) or an allocation over
# 64 MB; the failing input is left in BUILD_FOLDER (default build-fuzz).
set -euo pipefail
seconds=${1:?usage: fuzz/run.sh SECONDS [BUILD_FOLDER]}
root=$(cd "$(dirname "$0")/.." && pwd)
out=${2:-$root/build-fuzz}
mkdir -p "$out/corpus" "$out/seeds"

clang++ -std=c++20 -g -O1 -Wall -Wextra -fsanitize=fuzzer,address,undefined \
    -fno-sanitize-recover=all -I"$root/seq" \
    "$root/fuzz/KRVSMFReaderFuzzer.cpp" "$root/seq/smf/KRVSMFReader.cpp" \
    -o "$out/smf_reader_fuzzer"

# Seeds: a format-0 file with running status, system-exclusive and meta
# events, and a format-1 file with a tempo track and a note track.
printf 'MThd\0\0\0\6\0\0\0\1\1\340MTrk\0\0\0\37\0\360\2\1\367\0\223\100\120\60\100\0\0\377\1\1x\0\101\121\0\377\121\3\7\241\40\0\377\57\0' \
    >"$out/seeds/format0.mid"
printf 'MThd\0\0\0\6\0\1\0\2\0\140MTrk\0\0\0\13\0\377\121\3\7\241\40\0\377\57\0MTrk\0\0\0\14\0\220\74\144\30\200\74\100\0\377\57\0' \
    >"$out/seeds/format1.mid"

cd "$out"
./smf_reader_fuzzer -max_total_time="$seconds" -timeout=5 -rss_limit_mb=512 \
    -malloc_limit_mb=64 -max_len=65536 -print_final_stats=1 corpus seeds
