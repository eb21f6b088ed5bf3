#!/usr/bin/env bash
# fuzz/run_shell.sh SECONDS [BUILD_FOLDER [LIBFUZZER_FLAGS...]]
# Builds the command interpreter's fuzz target with clang (libFuzzer,
# AddressSanitizer, UndefinedBehaviorSanitizer) and runs it for SECONDS
# seconds, seeded from the transcripts' inputs and a few scripts with files.
# Exits non-zero when the fuzzer finds a crash, a hang (an input taking over
# 60 s) or an allocation over 1 GB; the failing input is left in
# BUILD_FOLDER (default build-fuzz) as crash-*, timeout-* or oom-*. The
# target may change files only beneath BUILD_FOLDER, where it was started.
# Where the kernel has no Landlock (the target's guard against writing
# outside BUILD_FOLDER), it says so and skips. To read a finding through:
#   KRV_FUZZ_SHOW=1 BUILD_FOLDER/shell-build/fuzz/krv_shell_fuzzer FILE
set -euo pipefail
seconds=${1:?usage: fuzz/run_shell.sh SECONDS [BUILD_FOLDER [LIBFUZZER_FLAGS...]]}
root=$(cd "$(dirname "$0")/.." && pwd)
out=${2:-$root/build-fuzz}
shift $(($# < 2 ? $# : 2))
out=$(mkdir -p "$out" && cd "$out" && pwd)
work=$out/shell
mkdir -p "$work/corpus" "$work/seeds"

cmake -S "$root" -B "$out/shell-build" -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++ \
    -DCMAKE_BUILD_TYPE=RelWithDebInfo -DBUILD_TESTING=OFF -DKRV_FUZZ=ON \
    -DKRV_SANITIZE=address,undefined,fuzzer-no-link >/dev/null
cmake --build "$out/shell-build" --target krv_shell_fuzzer -j"$(nproc)"

# Seeds: every transcript's input, and scripts that read, load and save
# files of their own.
cp "$root"/tests/transcripts/*.in "$work/seeds/"
printf 'newtrack\nread a.krv\nload a.krv\nsave b.krv\nread b.krv\n!!\n!rea\n%%%%file a.krv\nnewtrack\nsels 1\nsetnote Db3\nread a.krv\n' \
    >"$work/seeds/files1"
printf 'namechannel 1 "a b"\nsaveconfig c.krv\ndeleteconfig\nread c.krv\nsavesel s.krv\nexportsmf m.mid\nimportsmf m.mid\nload m.mid\n%%%%file x\n\001\000\002\n' \
    >"$work/seeds/files2"

# The command words, so that mutations find commands quickly.
sed -nE 's/^ *\{"([a-z0-9]+)", "([a-z0-9]*)".*/"\1"\n"\2"/p' "$root/shell/commands/KRVCommandTable.cpp" |
    grep -v '^""$' >"$work/commands.dict"

cd "$out"
# libFuzzer's own scratch files (in -fork mode) must lie where it may write.
export TMPDIR="$out/tmp"
mkdir -p "$TMPDIR"
status=0
"$out/shell-build/fuzz/krv_shell_fuzzer" -max_total_time="$seconds" -timeout=60 \
    -rss_limit_mb=1024 -max_len=16384 -print_final_stats=1 -dict="$work/commands.dict" \
    -artifact_prefix="$out/" "$@" "$work/corpus" "$work/seeds" || status=$?
if [ "$status" -eq 77 ]; then
    echo "fuzz/run_shell.sh: skipped, the kernel cannot confine the target's file writes"
    exit 0
fi
exit "$status"
