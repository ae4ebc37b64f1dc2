#!/usr/bin/env bash
# The Windows and SPARC programs against the native builds.
#
# Cross-compiles varnel.exe (64-bit Windows, mingw-w64) and the SPARC varnel_sol
# (sparc64, big-endian), runs them under Wine and QEMU on every input under
# fixtures/ plus the example input and a missing input_file, and requires the
# same exit status, the same standard output and error, and byte-identical
# LZ_comp and d1.dst .. d5.dst as the native varnel and varnel_sol on the same
# input. Windows writes standard error in text mode, so its CRLF line ends are
# read back as LF before comparing; the output files are binary on every build.
#
# Installs the cross compilers, Wine and QEMU when they are missing. Builds in
# build-mingw, build-sparc and build-cross-native; leaves build/ alone.
set -euo pipefail
cd "$(dirname "$0")/../.."
root=$PWD
fixtures=$root/tests/cross/fixtures
mapfile -t outputs <"$root/tests/outputs.list"

started=$SECONDS
missing=()
command -v cmake >/dev/null || missing+=(cmake)
command -v g++ >/dev/null || missing+=(g++)
command -v x86_64-w64-mingw32-g++-posix >/dev/null || missing+=(g++-mingw-w64-x86-64-posix)
command -v sparc64-linux-gnu-g++ >/dev/null || missing+=(g++-sparc64-linux-gnu)
command -v wine >/dev/null || missing+=(wine)
[ -x /usr/lib/wine/wine64 ] || missing+=(wine64)
command -v qemu-sparc64-static >/dev/null || missing+=(qemu-user-static)
if [ ${#missing[@]} -gt 0 ]; then
  echo "== installing ${missing[*]}"
  apt-get update -qq
  DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
fi
installed=$SECONDS

echo "== building native, Windows and SPARC programs"
cmake -S . -B build-cross-native -DBUILD_TESTING=OFF -DVARNEL_WERROR=ON >/dev/null
cmake --build build-cross-native -j2 --target varnel varnel_sol >/dev/null
cmake --no-warn-unused-cli -S . -B build-mingw -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64.cmake -DVARNEL_WERROR=ON >/dev/null
cmake --build build-mingw -j2 --target varnel >/dev/null
cmake --no-warn-unused-cli -S . -B build-sparc -DCMAKE_TOOLCHAIN_FILE=cmake/sparc64-linux.cmake -DVARNEL_WERROR=ON >/dev/null
cmake --build build-sparc -j2 --target varnel_sol >/dev/null
built=$SECONDS

# Wine in a prefix of this build's own, silent, without the .NET and browser
# installers that a new prefix would otherwise offer. Only Wine's processes
# get these variables, which is how the end of the script tells them apart.
prefix=$root/build-mingw/wineprefix
wine_env=(env WINEPREFIX="$prefix" WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml=" HOME="${HOME:-$root/build-mingw}")
wine_left() { grep -qlsz "^WINEPREFIX=$prefix\$" /proc/[0-9]*/environ; }
# The prefix's server and services end by themselves a few seconds after the
# last program; wait for them so that nothing is left running.
stop_wine() {
  "${wine_env[@]}" wineserver -w 2>/dev/null || true
  for _ in $(seq 50); do
    wine_left || return 0
    sleep 0.2
  done
  echo "Wine processes of $prefix still running" >&2
}
trap stop_wine EXIT
if [ ! -f "$prefix/system.reg" ]; then
  echo "== creating the Wine prefix"
  "${wine_env[@]}" wine wineboot --init >"$root/build-mingw/wineboot.log" 2>&1
fi

native_fold=$root/build-cross-native/varnel
native_keep=$root/build-cross-native/varnel_sol
windows=("${wine_env[@]}" wine "$root/build-mingw/varnel.exe")
sparc=(qemu-sparc64-static "$root/build-sparc/varnel_sol")

runs=$root/build-cross-native/runs
generated=$runs/.inputs  # inputs made here rather than kept under fixtures/
rm -rf "$runs"
mkdir -p "$runs" "$generated"

# run_in DIR INPUT SETUP COMMAND...: runs COMMAND in DIR/work, a new directory
# holding a copy of INPUT as input_file (none when INPUT is empty) after the
# shell command SETUP ran there; keeps DIR/status, DIR/out and DIR/err.
run_in() {
  local dir=$1 input=$2 setup=$3
  shift 3
  mkdir -p "$dir/work"
  [ -z "$input" ] || cp "$input" "$dir/work/input_file"
  [ -z "$setup" ] || (cd "$dir/work" && eval "$setup")
  local status=0
  (cd "$dir/work" && "$@" </dev/null >"$dir/out" 2>"$dir/err") || status=$?
  echo "$status" >"$dir/status"
}

# differences A B [MASK]: names what differs between two runs, nothing when
# they agree. MASK is a sed command applied to both standard errors first.
differences() {
  local a=$1 b=$2 mask=${3:-} what=()
  cmp -s "$a/status" "$b/status" || what+=("status $(cat "$a/status")/$(cat "$b/status")")
  cmp -s "$a/out" "$b/out" || what+=(stdout)
  cmp -s <(sed "$mask" "$a/err") <(sed "$mask" "$b/err") || what+=(stderr)
  [ "$(ls -A "$a/work")" = "$(ls -A "$b/work")" ] || what+=("files: $(ls -A "$a/work" | tr '\n' ' ')/ $(ls -A "$b/work" | tr '\n' ' ')")
  for f in "${outputs[@]}"; do
    if [ -d "$a/work/$f" ] || [ -d "$b/work/$f" ]; then  # a directory left in its way
      [ -d "$a/work/$f" ] && [ -d "$b/work/$f" ] || what+=("$f")
    elif [ -e "$a/work/$f" ] || [ -e "$b/work/$f" ]; then
      cmp -s "$a/work/$f" "$b/work/$f" 2>/dev/null || what+=("$f")
    fi
  done
  if [ ${#what[@]} -gt 0 ]; then
    local IFS=,
    echo "${what[*]} differ"
  fi
}

# The native run must have done its job itself, or two equal failures would
# pass as agreement: a complete run with all six files, or the failure MESSAGE
# as the last line on standard error with status 1.
native_problem() {
  local dir=$1 message=$2 status
  status=$(cat "$dir/status")
  if [ -z "$message" ]; then
    [ "$status" = 0 ] || echo "native status $status"
    for f in "${outputs[@]}"; do [ -f "$dir/work/$f" ] || echo "native $f missing"; done
  else
    [ "$status" = 1 ] || echo "native status $status"
    printf '\n%s\n\n' "$message" | cmp -s - <(tail -c $((${#message} + 3)) "$dir/err") ||
      echo "native message not '$message'"
  fi
}

passed=0 failed=0
# report PLATFORM CASE WHAT: one line for the case; WHAT names what went wrong.
report() {
  local platform=$1 name=$2 what=$3
  if [ -z "$what" ]; then
    passed=$((passed + 1))
    printf 'ok    %-8s %s\n' "$platform" "$name"
  else
    failed=$((failed + 1))
    printf 'FAIL  %-8s %s: %s (%s)\n' "$platform" "$name" "$what" "$runs/$name"
  fi
}

# check_case NAME INPUT [SETUP MESSAGE [MASK]]: native varnel against
# varnel.exe and native varnel_sol against the SPARC varnel_sol, on INPUT
# (empty: no input_file) after SETUP. With a MESSAGE the run must fail with it.
# MASK blanks what the host reports differently to each on standard error:
# the machine's memory, which Wine counts a page short, and a program with
# 8 KiB pages (SPARC) under QEMU rounds down to its page size.
check_case() {
  local name=$1 input=$2 setup=${3:-} message=${4:-} mask=${5:-} d=$runs/$1 what
  run_in "$d/native" "$input" "$setup" "$native_fold"
  run_in "$d/windows" "$input" "$setup" "${windows[@]}"
  mv "$d/windows/err" "$d/windows/err.crlf"
  perl -0777 -pe 's/\r\n/\n/g' "$d/windows/err.crlf" >"$d/windows/err"
  what=$(native_problem "$d/native" "$message")
  [ -n "$what" ] || what=$(differences "$d/native" "$d/windows" "$mask")
  report windows "$name" "$what"

  run_in "$d/native_sol" "$input" "$setup" "$native_keep"
  run_in "$d/sparc" "$input" "$setup" "${sparc[@]}"
  what=$(native_problem "$d/native_sol" "$message")
  [ -n "$what" ] || what=$(differences "$d/native_sol" "$d/sparc" "$mask")
  report sparc "$name" "$what"
}

check_case example "$root/examples/input_file"
for f in "$fixtures"/*; do
  check_case "$(basename "$f")" "$f"
done
check_case missing-input "" "" "Input file not found."
# Windows opens no directory as a file; the programs report it as POSIX does.
check_case input-is-directory "" "mkdir input_file" "Cannot open input_file: Is a directory"
check_case report-is-directory "$fixtures/three-records" "mkdir ${outputs[0]}" "Cannot create ${outputs[0]}: Is a directory"
check_case matrix-is-directory "$fixtures/three-records" "mkdir ${outputs[-1]}" "Cannot create ${outputs[-1]}: Is a directory"
# An earlier run's longer outputs are replaced whole (a rename over an existing
# file is its own call on Windows), and no temporary file is left beside them.
check_case replaces-earlier-outputs "$fixtures/three-records" \
  "while read -r f; do head -c 5000 /dev/zero | tr '\\0' x >\"\$f\"; done <'$root/tests/outputs.list'"
# Matrices larger than any machine holds: refused up front, naming its memory.
awk 'BEGIN { for (i = 0; i < 1000000; i++) print ">" }' >"$generated/too-many-records"
memory=$(($(awk '/^MemTotal:/ { print $2 }' /proc/meminfo) * 1024))
check_case too-many-records "$generated/too-many-records" "" \
  "Cannot allocate memory: 1000000 records need 4000004000000 bytes for their counts, more than this machine's $memory" \
  's/[0-9]*$//'

# Ctrl-C: Wine turns SIGINT into the console's Ctrl-C event. The run must stop
# as a reported failure does, with the earlier run's outputs as they were and
# no temporary file left.
check_ctrl_c() {
  local d=$runs/ctrl-c what=()
  awk 'BEGIN { srand(7); for (r = 0; r < 300; r++) { printf ">r%d\n", r; s = ""; for (i = 0; i < 3000; i++) s = s substr("ACGT", int(rand() * 4) + 1, 1); print s } }' >"$generated/long-pass"
  mkdir -p "$d/work"
  cp "$generated/long-pass" "$d/work/input_file"
  for f in "${outputs[@]}"; do echo "earlier $f" >"$d/work/$f"; done
  (cd "$d/work" && exec "${windows[@]}" </dev/null >"$d/out" 2>"$d/err.crlf") &
  local pid=$! waited=0
  until grep -q REGARDING "$d/err.crlf" 2>/dev/null || [ $waited -ge 600 ]; do sleep 0.05; waited=$((waited + 1)); done
  kill -INT $pid
  local status=0
  wait $pid || status=$?
  perl -0777 -pe 's/\r\n/\n/g' "$d/err.crlf" >"$d/err"
  [ "$status" = 1 ] || what+=("status $status")
  [ "$(tail -c 20 "$d/err")" = "$(printf '\nStopped by Ctrl-C\n\n')" ] || what+=("last line")
  for f in "${outputs[@]}"; do [ "$(cat "$d/work/$f")" = "earlier $f" ] || what+=("$f"); done
  [ -z "$(ls -A "$d/work" | grep '^\.')" ] || what+=("temporary files left")
  local IFS=,
  report windows ctrl-c "${what[*]:+${what[*]} wrong}"
}
check_ctrl_c

echo "installs $((installed - started)) s, builds $((built - installed)) s, runs $((SECONDS - built)) s"
echo "$passed passed, $failed failed"
[ "$failed" -eq 0 ]
