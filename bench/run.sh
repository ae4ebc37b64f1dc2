#!/usr/bin/env bash
# Speed and memory of the complete run on real sequence sets, with one thread
# (pinned to one processor) and with all of them, beside the direct parse on
# the orchid set. Prints one markdown table.
#   bench/run.sh [data-dir]     (default: bench/data, the sets kept in the repository)
set -euo pipefail
repo=$(cd "$(dirname "$0")/.." && pwd)
data=$(cd "${1:-$repo/bench/data}" && pwd)
work=$(mktemp -d /tmp/varnel-bench.XXXXXX)
trap 'rm -rf "$work"' EXIT

cmake -S "$repo" -B "$repo/build-bench" -DCMAKE_BUILD_TYPE=Release -DVARNEL_BENCH=ON -DBUILD_TESTING=OFF >/dev/null
cmake --build "$repo/build-bench" -j2 >/dev/null
varnel=$repo/build-bench/varnel
direct=$repo/build-bench/bench/varnel_direct

# Data sets, one directory each holding its input_file.
python3 - "$data" "$work" <<'PY'
import os, sys
data, work = sys.argv[1], sys.argv[2]
def records(name):
    out, cur = [], None
    for line in open(os.path.join(data, name)):
        if line.startswith('>'):
            cur = [line.rstrip('\n'), []]; out.append(cur)
        elif cur: cur[1].append(line.strip())
    return [(h, ''.join(s)) for h, s in out]
def write(set_name, recs):
    os.makedirs(os.path.join(work, set_name))
    with open(os.path.join(work, set_name, 'input_file'), 'w') as f:
        for h, s in recs:
            f.write(h + '\n' + ''.join(s[k:k + 70] + '\n' for k in range(0, len(s), 70)))
genome = records('chlamydia_genome.fasta')[0][1]
def windows(count, size):
    step = (len(genome) - size) // count
    return [('>w%d_%dk' % (i, size // 1024), genome[i * step:i * step + size]) for i in range(count)]
fly = records('fly_upstream_1000.fasta')
write('orchid', records('orchid_its.fasta'))
write('fly200', fly[:200])
write('fly1000', fly)
write('chlamydia24x16k', windows(24, 16384))
write('globins', records('globins630.fasta'))
for kb in (16, 32, 64):
    write('growth8x%dk' % kb, windows(8, kb * 1024))
write('run1M', [('>run', 'A' * (1 << 20)), records('orchid_its.fasta')[0]])
# many short records: the fly regions cut into pieces of 150 bp
pieces = [s[k:k + 150] for _, s in fly for k in range(0, len(s) - 149, 150)]
write('fly10000x150', [('>p%05d' % i, p) for i, p in enumerate(pieces[:10000])])
PY

# Times a complete run: run DIR THREADS PROGRAM, THREADS 1 (pinned to one
# processor) or all, as many times as fit in a second (at most 12), adding the
# seconds to DIR/times.THREADS.PROGRAM; the first call also records the run's
# peak kilobytes in DIR/peak.THREADS.PROGRAM.
run() {
    local dir=$1 threads=$2 program=$3
    python3 - "$dir" "$threads" "$program" <<'PY'
import os, subprocess, sys, time
dir, threads, cmd = sys.argv[1], sys.argv[2], sys.argv[3:]
name = f"{threads}.{os.path.basename(cmd[0])}"
if threads == '1':  # the program inherits this process's processors (a hook in the child would slow its start)
    os.sched_setaffinity(0, {min(os.sched_getaffinity(0))})
# Timed runs start the program directly; one under /usr/bin/time gives its own
# peak (a child of this interpreter would count the interpreter's pages too).
mem = os.path.join(dir, 'peak.' + name)
if not os.path.exists(mem) and subprocess.call(['/usr/bin/time', '-f', '%M', '-o', mem] + cmd, cwd=dir,
                                               stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL,
                                               stderr=subprocess.DEVNULL) != 0:
    sys.exit("run failed in " + dir)
times = []
while sum(times) < 1 and len(times) < 12:
    start = time.perf_counter()
    status = subprocess.call(cmd, cwd=dir, stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    times.append(time.perf_counter() - start)
    if status != 0: sys.exit("run failed in " + dir)
with open(os.path.join(dir, 'times.' + name), 'a') as f:
    f.write(''.join(f"{t:.6f}\n" for t in times))
PY
}

# The fastest and the median of the times recorded, and the peak kilobytes:
# report DIR THREADS PROGRAM. The fastest is the figure reported: other load on
# a shared machine only ever adds time to a run of a fixed computation.
report() {
    local name=$2.$(basename "$3")
    python3 - "$1/times.$name" "$1/peak.$name" <<'PY'
import sys
times = sorted(float(line) for line in open(sys.argv[1]))
print(f"{times[0]:.4f} {times[len(times) // 2]:.4f} {int(open(sys.argv[2]).read().split()[-1])}")
PY
}

threads=$(nproc)
sets="orchid fly200 fly1000 chlamydia24x16k globins growth8x16k growth8x32k growth8x64k run1M fly10000x150"
mkdir "$work/empty" && : > "$work/empty/input_file"
# Rounds over every set, so that the runs of each are spread over minutes: this
# machine's speed drifts with the load of the machines it shares processors with.
for round in 1 2 3; do
    run "$work/empty" 1 "$varnel"  # the program with nothing to do or hold
    for set in $sets; do
        for t in 1 "$threads"; do run "$work/$set" "$t" "$varnel"; done
        if [ "$set" = orchid ]; then run "$work/$set" 1 "$direct"; fi
    done
done
read -r empty_secs _ baseline_kb < <(report "$work/empty" 1 "$varnel")
echo "| data set | records | pair-positions | threads | seconds | ns per pair-position | ns per pair-position beyond an empty run | median seconds | peak MB | peak bytes per matrix cell | working bytes per sequence byte per thread |"
echo "|---|---|---|---|---|---|---|---|---|---|---|"
for set in $sets; do
    dir=$work/$set
    read -r num total < <(python3 - "$dir/input_file" <<'PY'
import sys
n, total = 0, 0
for line in open(sys.argv[1], 'rb'):
    if line.startswith(b'>'): n += 1
    else: total += sum(1 for c in line if 32 <= c <= 126)
print(n, total)
PY
)
    pairs=$(( (num - 1) * total ))
    for t in 1 "$threads"; do
        read -r secs median kb < <(report "$dir" "$t" "$varnel")
        if [ "$set" = orchid ]; then orchid_fast=$secs; fi  # the all-threads run comes last
        python3 - "$set" "$num" "$pairs" "$t" "$secs" "$kb" "$total" "$baseline_kb" "$empty_secs" "$median" <<'PY'
import sys
s, num, pairs, t, secs, kb, total, base, empty = sys.argv[1], int(sys.argv[2]), int(sys.argv[3]), int(sys.argv[4]), float(sys.argv[5]), int(sys.argv[6]), int(sys.argv[7]), int(sys.argv[8]), float(sys.argv[9])
median = float(sys.argv[10])
matrices = num * num * 4  # the counts: the one records x records array
per_byte = max(0, (kb - base) * 1024 - matrices) / max(total, 1) / t
per_cell = (kb - base) * 1024 / (num * num)
per_pair, beyond = secs * 1e9 / max(pairs, 1), max(secs - empty, 0) * 1e9 / max(pairs, 1)
print(f"| {s} | {num} | {pairs:,} | {t} | {secs:.4f} | {per_pair:.2f} | {beyond:.2f} | {median:.4f} | {kb / 1024:.1f} | {per_cell:.1f} | {per_byte:.1f} |")
PY
    done
    if [ "$set" = orchid ]; then
        read -r dsecs dmedian dkb < <(report "$dir" 1 "$direct")
        orchid_direct=$dsecs
        python3 -c "print(f'| orchid, direct parse | $num | {$pairs:,} | 1 | {$dsecs:.2f} | {$dsecs * 1e9 / $pairs:.0f} | {($dsecs - $empty_secs) * 1e9 / $pairs:.0f} | {$dmedian:.2f} | {$dkb / 1024:.1f} | | |')"
    fi
done
python3 -c "print(f'\nOrchid, complete run: direct parse {$orchid_direct:.2f} s, engine {$orchid_fast:.3f} s with $threads threads: {$orchid_direct / max($orchid_fast, 0.001):.0f} times faster.')"
echo "Pair-positions: the positions of the second sequence over all ordered pairs, (records - 1) x sequence bytes."
echo "Seconds: the fastest of all the runs of a set, three rounds over all the sets of as many runs as fit in a second (at most 12); median seconds: the median of the same runs."
python3 -c "print(f'Empty run: the program on an empty input_file, {$empty_secs * 1e3:.1f} ms (starting the process and putting its output files in place).')"
echo "Peak bytes per matrix cell: peak memory less the $((baseline_kb / 1024)) MB the program holds with no input, per cell of the records x records counts (the per-record arrays included)."
echo "Working bytes: peak memory less the records x records counts and the $((baseline_kb / 1024)) MB the program holds with no input, per sequence byte and thread."
echo "Machine: $(nproc) processors, $(grep -m1 'model name' /proc/cpuinfo | cut -d: -f2 | sed 's/^ //'), $(free -g | awk '/Mem/{print $2}') GiB; g++ $(g++ -dumpfullversion), Release (-O3)."
