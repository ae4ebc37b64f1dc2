#!/usr/bin/env bash
# Every recipe of README.md (each ```sh block) run as a user runs it, and what
# it leaves checked, so that no recipe can go stale:
#  - in a copy of the repository (the files git knows, as they are in the work
#    tree), with a home directory of its own; the copy's build is configured
#    as if GoogleTest were missing, so the first command shows the programs
#    build without it and the test command must fail saying so (CI runs the
#    test command for real);
#  - the recipes for your own sequences in directories holding a
#    sequences.fasta made here, with the headers that break names;
#  - `apt-get install` lines are checked for packages that are installed,
#    not run;
#  - the packages are unpacked and their programs run on the example: the
#    .deb (no dependencies, static programs), the .tar.gz, the Windows .zip
#    under Wine; the SPARC program under QEMU.
# Each recipe is found by what it does; a block this script does not know
# fails it. Installs what it needs where missing. Ends with "N passed,
# M failed"; exit 1 on a failure, the scratch directory then kept.
set -uo pipefail
cd "$(dirname "$0")/../.."
repo=$PWD
started=$SECONDS

passed=0
failed=0
pass() { echo "PASS $*"; passed=$((passed + 1)); }
fail() { echo "FAIL $*"; failed=$((failed + 1)); }
check() {  # check LABEL COMMAND...: passes when COMMAND succeeds
    local label=$1
    shift
    if "$@"; then pass "$label"; else fail "$label"; fi
}

missing=()
command -v cmake >/dev/null || missing+=(cmake)
command -v g++ >/dev/null || missing+=(g++)
command -v git >/dev/null || missing+=(git)
command -v unzip >/dev/null || missing+=(unzip)
command -v readelf >/dev/null || missing+=(binutils)
command -v neighbor >/dev/null || [ -x /usr/lib/phylip/bin/neighbor ] || missing+=(phylip)
/usr/bin/python3 -c 'import dendropy' 2>/dev/null || missing+=(python3-dendropy)
command -v x86_64-w64-mingw32-g++-posix >/dev/null || missing+=(g++-mingw-w64-x86-64-posix)
command -v sparc64-linux-gnu-g++ >/dev/null || missing+=(g++-sparc64-linux-gnu)
command -v wine >/dev/null || missing+=(wine)
[ -x /usr/lib/wine/wine64 ] || missing+=(wine64)
command -v qemu-sparc64-static >/dev/null || missing+=(qemu-user-static)
if [ ${#missing[@]} -gt 0 ]; then
    echo "installing ${missing[*]}"
    apt-get update -qq && DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
fi
installed=$SECONDS

work=$(mktemp -d /tmp/varnel-readme.XXXXXX)
wineprefix=$work/wineprefix
stop_wine() { WINEPREFIX=$wineprefix wineserver -k 2>/dev/null || true; }
finish() {
    stop_wine
    echo "installs $((installed - started)) s, the rest $((SECONDS - installed)) s"
    if [ "$failed" -eq 0 ]; then rm -rf "$work"; else echo "scratch files kept in $work"; fi
    echo "$passed passed, $failed failed"
    [ "$failed" -eq 0 ]
    exit
}

# --- the recipes: README's ```sh blocks, one file each ----------------------
mkdir -p "$work/blocks" "$work/logs"
awk -v dir="$work/blocks" '
    /^```/ { if (file) { close(file); file = "" } else if (other) other = 0
             else if ($0 == "```sh") file = sprintf("%s/%02d", dir, ++n)
             else other = 1
             next }
    file { print > file }' README.md
recipes=$(ls "$work/blocks")

# The block that does KIND: the one matching an extended regular expression.
declare -A block_of
kinds=(build test apt install number own empty revcomp tree example fitch package zip cross)
declare -A pattern=(
    [build]='^cmake .*\(cd examples && \.\./build/varnel </dev/null\)$'
    [test]='^cmake .*ctest'
    [apt]='^apt-get install '
    [install]='^cmake --install build --prefix ~/\.local'
    [number]='> "names\.tsv"'
    [own]='seen\[h\]\+\+'
    [empty]='has = 1'
    [revcomp]='comp\[f\[k\]\]'
    [tree]='^varnel-tree --names names\.tsv'
    [example]='varnel-tree --draw'
    [fitch]='phylip fitch'
    [package]='^cmake --build build --target package'
    [zip]='^cmake --build build-mingw .*--target package'
    [cross]='build-sparc'
)
for b in $recipes; do
    found=""
    for kind in "${kinds[@]}"; do
        grep -Eq -- "${pattern[$kind]}" "$work/blocks/$b" || continue
        found="$found $kind"
        [ -z "${block_of[$kind]:-}" ] || fail "README: two recipes for '$kind' (blocks ${block_of[$kind]} and $b)"
        block_of[$kind]=$b
    done
    if [ -z "$found" ]; then
        fail "README recipe $b is not run by this check: $(head -1 "$work/blocks/$b")"
    elif [ "$(wc -w <<<"$found")" -gt 1 ]; then
        fail "README recipe $b matches several kinds:$found"
    fi
done
for kind in "${kinds[@]}"; do
    [ -n "${block_of[$kind]:-}" ] || fail "README has no recipe for '$kind' any more: update this check"
done
[ "$failed" -eq 0 ] || finish
pass "README: $(wc -w <<<"$recipes") recipes, each known to this check"

# run_block KIND DIR [NAME]: runs the recipe in DIR, as a user at a shell with
# an empty standard input, keeping its output in logs/NAME (default KIND).
# Returns its exit status.
run_block() {
    local kind=$1 dir=$2 name=${3:-$1}
    (cd "$dir" && bash -e -o pipefail "$work/blocks/${block_of[$kind]}" </dev/null \
        >"$work/logs/$name.out" 2>"$work/logs/$name.err")
}
show_log() { tail -n 15 "$work/logs/$1.out" "$work/logs/$1.err" | sed 's/^/    /'; }

# same_outputs DIR FIXTURE: the six outputs in DIR are those of the regression
# fixture (tests/fixtures/example/varnel or varnel_sol).
same_outputs() {
    local f
    for f in LZ_comp d1.dst d2.dst d3.dst d4.dst d5.dst; do
        cmp -s "$1/$f" "$repo/tests/fixtures/example/$2/$f" || return 1
    done
}

# run_on_example DIR PROGRAM...: runs the program on the example input in the
# new directory DIR.
run_on_example() {
    local dir=$1
    shift
    mkdir -p "$dir" && cp "$repo/examples/input_file" "$dir/" &&
        (cd "$dir" && "$@" </dev/null >stdout 2>stderr)
}

# --- a copy of the repository, a home and a PATH of its own ------------------
copy=$work/repo
mkdir -p "$copy" "$work/home" "$work/shim"
git ls-files -z --cached --others --exclude-standard |
    tar --null -T - --ignore-failed-read -cf - 2>/dev/null | tar -xf - -C "$copy"
export HOME=$work/home
# `apt-get install PACKAGE...` checks that each package is installed.
cat >"$work/shim/apt-get" <<'EOF'
#!/bin/sh
[ "$1" = install ] || { echo "apt-get $1: not checked" >&2; exit 1; }
shift
for p in "$@"; do
    dpkg-query -W -f '${Status}\n' "$p" 2>/dev/null | grep -q 'install ok installed' ||
        { echo "package $p is not installed" >&2; exit 1; }
done
EOF
chmod +x "$work/shim/apt-get"
export PATH="$work/shim:$HOME/.local/bin:$PATH"
cmake -S "$copy" -B "$copy/build" -DCMAKE_DISABLE_FIND_PACKAGE_GTest=ON >"$work/logs/configure" 2>&1

# --- build and run the example, without GoogleTest ----------------------------
if run_block build "$copy"; then
    check "first command: builds without GoogleTest, example outputs as the regression copies" \
        same_outputs "$copy/examples" varnel
else
    fail "first command: exit status not 0"
    show_log build
    finish
fi
grep -qs "GoogleTest not found (Debian: libgtest-dev): the test suite is not built" "$work/logs/configure" &&
    pass "configure without GoogleTest: one-line notice" ||
    fail "configure without GoogleTest: no notice"

test_line=$(grep -m1 '^cmake .*ctest' README.md)
[ "$(cat "$work/blocks/${block_of[test]}")" = "$test_line" ] &&
    pass "test command: the line .ci/run runs" || fail "test command: not the line .ci/run greps"
if run_block test "$copy"; then
    fail "test command without GoogleTest: passed"
else
    grep -q "GoogleTest was not found" "$work/logs/test.out" &&
        pass "test command without GoogleTest: fails, saying why" ||
        { fail "test command without GoogleTest: fails without saying why"; show_log test; }
fi

run_block apt "$copy" && pass "apt-get lines: every package named is installed" ||
    { fail "apt-get lines"; show_log apt; }

# --- installing ---------------------------------------------------------------
if run_block install "$copy"; then
    prefix=$HOME/.local
    ok=1
    for f in bin/varnel bin/varnel_sol bin/varnel-tree bin/varnel-relabel; do [ -x "$prefix/$f" ] || ok=0; done
    for f in share/doc/varnel/README.md share/doc/varnel/examples/input_file; do [ -f "$prefix/$f" ] || ok=0; done
    [ $ok = 1 ] && pass "install: programs and scripts in bin/, README and example in share/doc/varnel/" ||
        fail "install: files missing under $prefix"
    # On PATH from here on, as for a user after installing.
    check "installed varnel on the example" run_on_example "$work/installed" varnel
    check "installed varnel: outputs as the regression copies" same_outputs "$work/installed" varnel
    check "installed varnel_sol on the example" run_on_example "$work/installed-sol" varnel_sol
    check "installed varnel_sol: outputs as the regression copies" same_outputs "$work/installed-sol" varnel_sol
else
    fail "install: exit status not 0"
    show_log install
    finish
fi

# --- your own sequences: names that break trees --------------------------------
# Two pairs of near copies (tests/phylip) and an unrelated record; headers
# with blanks after '>', quotes, a tab, characters PHYLIP refuses, two names
# alike in ten bytes, an empty header; CR LF line ends in part; a comment
# before the first header.
seq_of() { awk -v want="$1" '/^>/ { on = ($1 == ">" want); next } on' "$repo/tests/phylip/near_copies.fasta"; }
make_sequences() {
    printf '; sequences for the README check\r\n'
    printf "> GLB3_CHITH globin III 'a'\r\n"
    seq_of orig_a | sed 's/$/\r/'
    printf '> GLB3_CHITP globin (IV): b; [c]\n'
    seq_of copy_a
    printf '>sample_1_run1 "first", x\n'
    seq_of orig_b
    printf '>sample_1_run2\tsecond \n'
    seq_of copy_b
    printf '>\n'
    awk '/^>/ { n++; next } n == 3' "$repo/examples/input_file"
}
expected_names=(
    "GLB3_CHITH globin III 'a'"
    "GLB3_CHITP globin (IV): b; [c]"
    'sample_1_run1 "first", x'
    "sample_1_run2 second"
    "s5"
)
data=$work/data
mkdir -p "$data"
make_sequences >"$data/sequences.fasta"

if run_block number "$data"; then
    printf 's%d\t%s\n' 1 "${expected_names[0]}" 2 "${expected_names[1]}" 3 "${expected_names[2]}" \
        4 "${expected_names[3]}" 5 "${expected_names[4]}" >"$work/names.expected"
    check "numbering: names.tsv holds the headers without '>' and the blanks around them" \
        cmp -s "$data/names.tsv" "$work/names.expected"
    headers=$(grep '^>' "$data/input_file" | cut -c1-11 | tr '\n' '|')
    [ "$headers" = ">s1        |>s2        |>s3        |>s4        |>s5        |" ] &&
        ! grep -q '^;' "$data/input_file" &&
        pass "numbering: input_file names s1..s5, the comment left out" ||
        fail "numbering: input_file headers $headers"
else
    fail "numbering: exit status not 0"
    show_log number
fi

mkdir -p "$work/own-dup" "$work/own-ok"
cp "$data/sequences.fasta" "$work/own-dup/"
if run_block own "$work/own-dup" own-dup; then
    fail "own names: two records named sample_1_r not found"
else
    [ "$(cat "$work/logs/own-dup.out")" = "two records named sample_1_r" ] &&
        pass "own names: the two records named sample_1_r found, and the recipe fails" ||
        { fail "own names: wrong report"; show_log own-dup; }
fi
grep '^>' "$work/own-dup/input_file" | head -2 | tr '\n' '|' | grep -qxF ">GLB3_CHITH globin III 'a'"$'\r'"|>GLB3_CHITP globin _IV__ b_ _c_|" &&
    pass "own names: blanks after '>' dropped, refused characters replaced" ||
    fail "own names: headers $(grep '^>' "$work/own-dup/input_file" | head -2 | tr '\n\r' '|~')"
cp "$repo/examples/input_file" "$work/own-ok/sequences.fasta"
run_block own "$work/own-ok" own-ok && cmp -s "$work/own-ok/input_file" "$repo/examples/input_file" &&
    pass "own names: the example passes the check unchanged" || { fail "own names: the example"; show_log own-ok; }

mkdir -p "$work/empty"
printf '>a\nACGT\n>empty\n>empty with CR LF\r\n\r\n>blanks\n  \n>b\nGG\n' >"$work/empty/sequences.fasta"
run_block empty "$work/empty" &&
    [ "$(cat "$work/empty/input_file")" = "$(printf '>a\nACGT\n>blanks\n  \n>b\nGG')" ] &&
    pass "empty records: the two without a sequence byte left out" || { fail "empty records"; show_log empty; }

mkdir -p "$work/revcomp"
printf '>a x\nACGTN\r\nTTa-\n>b\n>c\nGGGC\n' >"$work/revcomp/input_file"
run_block revcomp "$work/revcomp" &&
    [ "$(cat "$work/revcomp/input_file")" = "$(printf '>a x\nACGTN\nTTa-\n-tAA\nNACGT\n>b\n>c\nGGGC\nGCCC')" ] &&
    pass "reverse complements: each record followed by its own, other symbols kept" ||
    { fail "reverse complements"; show_log revcomp; }

# leaves FILE: the leaf labels of a Newick tree, one a line, sorted; then
# "split" and the smaller side of each inner edge.
leaves() {
    /usr/bin/python3 - "$1" <<'PY'
import sys, dendropy
tree = dendropy.Tree.get(path=sys.argv[1], schema="newick", preserve_underscores=True, rooting="force-unrooted")
labels = sorted(leaf.taxon.label for leaf in tree.leaf_node_iter())
print("\n".join(labels))
for edge in tree.postorder_edge_iter():
    if edge.tail_node is not None and not edge.head_node.is_leaf():
        side = sorted(leaf.taxon.label for leaf in edge.head_node.leaf_iter())
        other = sorted(set(labels) - set(side))
        print("split", "; ".join(min(side, other, key=len)))
PY
}
printf '%s\n' "${expected_names[@]}" | LC_ALL=C sort >"$work/leaves.expected"
if run_block tree "$data"; then
    for d in 1 2 3 4 5; do
        leaves "$data/d$d.tree" >"$work/d$d.leaves" 2>&1
        grep -v '^split' "$work/d$d.leaves" | LC_ALL=C sort | cmp -s - "$work/leaves.expected" &&
            grep -qxF "split ${expected_names[0]}; ${expected_names[1]}" "$work/d$d.leaves" &&
            grep -qxF "split ${expected_names[2]}; ${expected_names[3]}" "$work/d$d.leaves" &&
            pass "tree of d$d.dst: the real names, the near copies paired" ||
            { fail "tree of d$d.dst:"; sed 's/^/    /' "$work/d$d.leaves"; }
    done
else
    fail "tree: exit status not 0"
    show_log tree
fi

if run_block fitch "$data" && run_block fitch "$data" fitch-again; then
    leaves "$data/d3-fitch.tree" >"$work/fitch.leaves" 2>&1
    grep -v '^split' "$work/fitch.leaves" | LC_ALL=C sort | cmp -s - "$work/leaves.expected" &&
        pass "PHYLIP by hand: runs twice, fitch's tree gets the real names" ||
        { fail "PHYLIP by hand: leaves"; sed 's/^/    /' "$work/fitch.leaves"; }
else
    fail "PHYLIP by hand: exit status not 0"
    show_log fitch
    show_log fitch-again
fi

# The example's tree and drawing, shown in the README as this recipe prints
# them.
if run_block example "$copy"; then
    /usr/bin/python3 - README.md "$work/logs/example.out" "$copy/examples/d1.tree" <<'PY' &&
import sys
readme, printed, tree = (open(p).read() for p in sys.argv[1:])
sys.exit(not (printed in readme and tree in readme))
PY
        pass "example tree: the README shows what the recipe prints and writes" ||
        fail "example tree: the README's drawing or Newick differs from $copy/examples/d1.tree"
else
    fail "example tree: exit status not 0"
    show_log example
fi

# --- packages -------------------------------------------------------------------
# named_files KIND: the package files the recipe's comment names.
named_files() { grep -oE 'build[-a-z]*/[^ ,]+\.(deb|tar\.gz|zip)' "$work/blocks/${block_of[$1]}"; }
if run_block package "$copy"; then
    for f in $(named_files package); do
        [ -f "$copy/$f" ] && pass "package: $f made" || fail "package: $f not made ($(ls "$copy"/build/*.deb "$copy"/build/*.tar.gz 2>/dev/null | xargs -n1 basename | tr '\n' ' '))"
    done
    deb=$(ls "$copy"/build/*.deb | head -1)
    [ -z "$(dpkg-deb -f "$deb" Depends)" ] && pass ".deb: depends on nothing" || fail ".deb: Depends: $(dpkg-deb -f "$deb" Depends)"
    dpkg-deb -x "$deb" "$work/deb"
    for p in varnel varnel_sol; do
        ! readelf -d "$work/deb/usr/bin/$p" 2>/dev/null | grep -q NEEDED && pass ".deb: $p linked statically" ||
            fail ".deb: $p needs shared libraries"
        run_on_example "$work/deb-$p" "$work/deb/usr/bin/$p" && same_outputs "$work/deb-$p" "$p" &&
            pass ".deb: $p runs, outputs as the regression copies" || fail ".deb: $p on the example"
    done
    [ -x "$work/deb/usr/bin/varnel-tree" ] && "$work/deb/usr/bin/varnel-tree" --help >/dev/null &&
        pass ".deb: varnel-tree runs" || fail ".deb: varnel-tree"
    mkdir -p "$work/tgz" && tar -xzf "$(ls "$copy"/build/*.tar.gz | head -1)" -C "$work/tgz"
    run_on_example "$work/tgz-run" "$work"/tgz/*/bin/varnel && same_outputs "$work/tgz-run" varnel &&
        pass ".tar.gz: varnel runs, outputs as the regression copies" || fail ".tar.gz: varnel on the example"
else
    fail "package: exit status not 0"
    show_log package
fi

if run_block zip "$copy"; then
    for f in $(named_files zip); do
        [ -f "$copy/$f" ] && pass "Windows package: $f made" || fail "Windows package: $f not made"
    done
    zip=$(ls "$copy"/build-mingw/*.zip | head -1)
    unzip -Z1 "$zip" | grep -q '/bin/varnel\.exe$' && ! unzip -Z1 "$zip" | grep -q 'varnel_sol' &&
        pass "Windows package: holds varnel.exe" || fail "Windows package: $(unzip -Z1 "$zip" | tr '\n' ' ')"
    mkdir -p "$work/zip" && unzip -q "$zip" -d "$work/zip"
    wine_env=(env WINEPREFIX="$wineprefix" WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml=")
    "${wine_env[@]}" wine wineboot --init >"$work/logs/wineboot" 2>&1
    run_on_example "$work/zip-run" "${wine_env[@]}" wine "$(ls "$work"/zip/*/bin/varnel.exe)" &&
        same_outputs "$work/zip-run" varnel &&
        pass "Windows package: varnel.exe runs under Wine, outputs as the regression copies" ||
        fail "Windows package: varnel.exe on the example"
    stop_wine
else
    fail "Windows package: exit status not 0"
    show_log zip
fi

if run_block cross "$copy"; then
    [ -f "$copy/build-mingw/varnel.exe" ] && pass "cross builds: build-mingw/varnel.exe" || fail "cross builds: no varnel.exe"
    run_on_example "$work/sparc-run" qemu-sparc64-static "$copy/build-sparc/varnel_sol" &&
        same_outputs "$work/sparc-run" varnel_sol &&
        pass "cross builds: the SPARC varnel_sol runs under QEMU, outputs as the regression copies" ||
        fail "cross builds: the SPARC varnel_sol on the example"
else
    fail "cross builds: exit status not 0"
    show_log cross
fi

finish
