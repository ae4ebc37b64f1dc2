#!/usr/bin/env bash
# The program at scale, outside CI: one record of 100 MB, 20,000 short records
# (counts of 1.6 GB, distance files of about 3.6 GB each), a header line of
# 1 MB, and 10 MB of one repeated byte. Prints the wall time and peak memory of
# each run and fails if a run does not complete.
#   bash bench/scale.sh [work directory, default a new one under /tmp]
# Needs about 10 GB of memory and 25 GB of disk at its largest; takes minutes.
set -euo pipefail
repo=$(cd "$(dirname "$0")/.." && pwd)
build=$repo/build-scale
work=${1:-$(mktemp -d /tmp/varnel-scale.XXXXXX)}
mkdir -p "$work"
[ -x /usr/bin/time ] || { apt-get update -qq && DEBIAN_FRONTEND=noninteractive apt-get install -y -qq time >/dev/null; }

cmake -S "$repo" -B "$build" -DCMAKE_BUILD_TYPE=Release -DBUILD_TESTING=OFF >/dev/null
cmake --build "$build" -j2 --target varnel >/dev/null

# make_input CASE: writes $work/CASE/input_file
make_input() {
  mkdir -p "$work/$1"
  python3 - "$1" "$work/$1/input_file" <<'PY'
import os, random, sys
case, path = sys.argv[1], sys.argv[2]
dna = bytes.maketrans(bytes(range(256)), b'ACGT' * 64)
def random_dna(n):
    return os.urandom(n).translate(dna)
def lines(seq, width=70):
    return b''.join(seq[k:k + width] + b'\n' for k in range(0, len(seq), width))
with open(path, 'wb') as f:
    if case == 'one-record-100MB':
        f.write(b'>genome\n' + lines(random_dna(100_000_000)))
    elif case == '20000-records-100bp':
        for r in range(20000):
            f.write(b'>r%d\n' % r + random_dna(100) + b'\n')
    elif case == 'header-line-1MB':
        f.write(b'>' + bytes(random.choice(range(32, 127)) for _ in range(1 << 20)) + b'\n' + lines(random_dna(1000)))
        f.write(b'>short\n' + random_dna(100) + b'\n')
    elif case == 'one-byte-run-10MB':
        f.write(b'>run\n' + lines(b'A' * 10_000_000) + b'>short\n' + random_dna(100) + b'\n')
PY
}

printf '| case | records | input | wall time (s) | peak memory (MB) | peak bytes per matrix cell |\n|---|---|---|---|---|---|\n'
failed=0
for case in one-record-100MB 20000-records-100bp header-line-1MB one-byte-run-10MB; do
  make_input "$case"
  dir=$work/$case
  size=$(du -h "$dir/input_file" | cut -f1)
  status=0
  (cd "$dir" && /usr/bin/time -o "$dir/time" -f '%e %M' "$build/varnel" </dev/null >/dev/null 2>"$dir/console") || status=$?
  read -r seconds kb <"$dir/time" || true
  records=$(head -n1 "$dir/LZ_comp" 2>/dev/null || echo '?')
  outputs=$(cd "$dir" && xargs ls <"$repo/tests/outputs.list" 2>/dev/null | wc -l)
  if [ "$status" -ne 0 ] || [ "$outputs" -ne "$(wc -l <"$repo/tests/outputs.list")" ]; then
    failed=1
    echo "$case: exit status $status, $outputs of $(wc -l <"$repo/tests/outputs.list") outputs; console ends: $(tail -c 200 "$dir/console" | tr '\n' ' ')" >&2
  fi
  per_cell=$(python3 -c "r = '$records'; print(f'{${kb:-0} * 1024 / int(r) ** 2:.1f}' if r.isdigit() and int(r) > 1 else '')")
  printf '| %s | %s | %s | %s | %s | %s |\n' "$case" "$records" "$size" "${seconds:-?}" "$(( ${kb:-0} / 1024 ))" "$per_cell"
  rm -rf "$dir"  # the outputs of the large cases run to gigabytes
done
[ -n "${1:-}" ] || rmdir "$work" 2>/dev/null || true
exit $failed
