#!/usr/bin/env bash
# Builds the libFuzzer harnesses with clang (installing clang and its fuzzer
# runtime when missing), runs each for a bounded time from the seed corpus,
# prints how many inputs each ran, and fails on any finding.
#   bash fuzz/run.sh [seconds per harness, default 60]
set -euo pipefail
repo=$(cd "$(dirname "$0")/.." && pwd)
seconds=${1:-60}
build=$repo/build-fuzz

links_fuzzer() {
  local dir
  dir=$(mktemp -d)
  printf '%s\n' '#include <cstddef>' '#include <cstdint>' \
    'extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t*, std::size_t) { return 0; }' >"$dir/t.cpp"
  local ok=0
  clang++ -fsanitize=fuzzer,address,undefined "$dir/t.cpp" -o "$dir/t" >/dev/null 2>&1 || ok=1
  rm -rf "$dir"
  return $ok
}
if ! command -v clang++ >/dev/null || ! links_fuzzer; then
  echo "== installing clang and its fuzzer runtime"
  apt-get update -qq
  DEBIAN_FRONTEND=noninteractive apt-get install -y -qq clang libclang-rt-14-dev >/dev/null
  links_fuzzer || { echo "fuzz: clang++ cannot link -fsanitize=fuzzer" >&2; exit 1; }
fi

echo "== fuzz harnesses: build"
CXX=clang++ cmake -S "$repo/fuzz" -B "$build" >/dev/null
cmake --build "$build" -j2 >/dev/null

# harness max_len: the reader takes whole files, the parse 3 control bytes and
# at most 4096 bytes of text.
harnesses=("reader_fuzz 4096 reader" "parse_fuzz 4099 parse")
work=$(mktemp -d /tmp/varnel-fuzz.XXXXXX)
trap 'rm -rf "$work"' EXIT
mkdir -p "$build/artifacts"

echo "== fuzz harnesses: ${seconds} s each, side by side"
pids=()
for h in "${harnesses[@]}"; do
  read -r name max_len seeds <<<"$h"
  mkdir -p "$work/$name"
  # New inputs go to the scratch corpus (the first directory); the seeds stay as committed.
  "$build/$name" "$work/$name" "$repo/fuzz/corpus/$seeds" \
    -max_total_time="$seconds" -timeout=10 -rss_limit_mb=2048 -max_len="$max_len" \
    -print_final_stats=1 -artifact_prefix="$build/artifacts/$name-" >"$work/$name.log" 2>&1 &
  pids+=($!)
done

failed=0
for i in "${!harnesses[@]}"; do
  read -r name _ _ <<<"${harnesses[$i]}"
  status=0
  wait "${pids[$i]}" || status=$?
  runs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$work/$name.log" | tail -1)
  if [ "$status" -ne 0 ]; then
    failed=1
    echo "$name: FAILED (exit status $status) after ${runs:-?} inputs; its log ends:"
    tail -n 40 "$work/$name.log"
    ls "$build/artifacts" | sed -n "s/^\($name-.*\)/  reproducer: build-fuzz\/artifacts\/\1/p"
  else
    echo "$name: ${runs:-?} inputs in ${seconds} s, no finding"
  fi
done
exit $failed
