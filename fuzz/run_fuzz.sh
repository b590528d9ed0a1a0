#!/usr/bin/env bash
# Builds the fuzz targets with clang, replays the inputs kept in fuzz/regressions/<target>/
# (each one a fixed finding), then fuzzes each target for FUZZ_SECONDS (default 60) from seeds
# taken from the samples and the catalogue. New findings land in BUILD_DIR/findings/<target>/.
# Usage: fuzz/run_fuzz.sh BUILD_DIR [TEST_MEDIA_DIR]
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=$(realpath -m "${1:-$root/build/fuzz}")
media=${2:-$root/build/test-media}
seconds=${FUZZ_SECONDS:-60}
corpus=${CORVANE_CORPUS:-$root/../shared/corpus}
jobs=${JOBS:-$(nproc)}

cmake -S "$root" -B "$build" -DCORVANE_FUZZ=ON -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DCMAKE_C_COMPILER=clang-14 -DCMAKE_CXX_COMPILER=clang++-14
cmake --build "$build" -j "$jobs"

seeds=$build/seeds
rm -rf "$seeds"
mkdir -p "$seeds"/{media_import,profile_catalogue,update_reply,app_settings}
# Small media files only: big seeds slow every execution down.
for dir in "$corpus" "$media"; do
  [ -d "$dir" ] && find "$dir" -type f -size -400k -exec cp -t "$seeds/media_import" {} + || true
done
{ cat "$root/profile/profilelist.xml"; printf '\0'; cat "$root/profile/format.xml"; } \
  > "$seeds/profile_catalogue/shipped"
cp "$root/profile/profile.xml" "$seeds/profile_catalogue/header"
cp "$root/fuzz/seeds/update_reply/"* "$seeds/update_reply/"
cp "$root/fuzz/seeds/app_settings/"* "$seeds/app_settings/"

# The engine reports its failures on standard output when no logger is set; only libFuzzer's
# own report on standard error matters here.
export ASAN_OPTIONS=detect_leaks=1:abort_on_error=1
export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
status=0
for target in media_import profile_catalogue update_reply app_settings; do
  binary=$build/fuzz_$target
  kept=$root/fuzz/regressions/$target
  if [ -d "$kept" ] && [ -n "$(ls -A "$kept")" ]; then
    echo "== $target: replaying $(ls "$kept" | wc -l) kept inputs"
    "$binary" "$kept"/* >/dev/null || status=1
  fi
  work=$build/corpus/$target
  mkdir -p "$work" "$build/findings/$target"
  echo "== $target: fuzzing for ${seconds}s"
  "$binary" -max_total_time="$seconds" -timeout=25 -rss_limit_mb=2048 -max_len=1048576 \
    -artifact_prefix="$build/findings/$target/" -print_final_stats=1 \
    "$work" "$seeds/$target" >/dev/null 2>"$build/$target.log" || status=1
  grep -E '^stat::number_of_executed_units|^stat::peak_rss_mb' "$build/$target.log" || true
  ls "$build/findings/$target" 2>/dev/null | sed "s|^|finding: $target/|" || true
done
exit $status
