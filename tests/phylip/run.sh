#!/usr/bin/env bash
# varnel's matrices in PHYLIP, the way a user builds a tree from them:
#  - the five matrices of examples/input_file are read by PHYLIP's `neighbor`,
#    which must finish and write a tree naming every record of the example and
#    keeping its closest records together;
#  - the meaning check: near_copies.fasta holds two random sequences and a near
#    copy of each (four substitutions); every measure must give a tree whose one
#    inner edge splits {orig_a,copy_a} from {orig_b,copy_b}.
# Installs PHYLIP (and the compiler tools) only where they are missing, builds
# into build-phylip/, runs everything in a scratch directory that is removed
# when every check passed. Ends with "N passed, M failed"; exit 1 on a failure.
set -uo pipefail
cd "$(dirname "$0")/../.."
root=$PWD
here=$root/tests/phylip
mapfile -t outputs <"$root/tests/outputs.list"  # the report, then the matrices
matrices=("${outputs[@]:1}")
started=$SECONDS

passed=0
failed=0
pass() { echo "PASS $*"; passed=$((passed + 1)); }
fail() { echo "FAIL $*"; failed=$((failed + 1)); }
finish() {
    echo "took $((SECONDS - started)) s"
    if [ "$failed" -eq 0 ]; then rm -rf "$work"; else echo "scratch files kept in $work"; fi
    echo "$passed passed, $failed failed"
    [ "$failed" -eq 0 ]
    exit
}

# Debian installs PHYLIP's programs outside PATH (and `phylip NAME` runs them);
# other systems put `neighbor` on PATH.
find_neighbor() {
    neighbor=$(command -v neighbor || true)
    [ -n "$neighbor" ] || { [ -x /usr/lib/phylip/bin/neighbor ] && neighbor=/usr/lib/phylip/bin/neighbor; }
    [ -n "$neighbor" ]
}

missing=()
command -v cmake >/dev/null || missing+=(cmake)
command -v g++ >/dev/null || missing+=(g++)
find_neighbor || missing+=(phylip)
if [ ${#missing[@]} -gt 0 ]; then
    echo "installing ${missing[*]}"
    t=$SECONDS
    apt-get update -qq && DEBIAN_FRONTEND=noninteractive apt-get install -y -qq "${missing[@]}" >/dev/null
    echo "installed in $((SECONDS - t)) s"
fi
work=$(mktemp -d /tmp/varnel-phylip.XXXXXX)
if ! find_neighbor; then
    fail "PHYLIP's neighbor is not installed"
    finish
fi
echo "neighbor: $neighbor"

if cmake -S . -B build-phylip -DBUILD_TESTING=OFF >"$work/cmake.log" 2>&1 &&
    cmake --build build-phylip -j2 --target varnel >>"$work/cmake.log" 2>&1; then
    pass "build: build-phylip/varnel"
else
    tail -20 "$work/cmake.log"
    fail "build: build-phylip/varnel"
    finish
fi
varnel=$root/build-phylip/varnel

# Runs varnel on the input file $1 in the new directory $2; standard input is
# empty, so the pause at the end returns at once.
run_varnel() {
    mkdir -p "$2" && cp "$1" "$2/input_file" &&
        (cd "$2" && timeout -k 5 60 "$varnel" </dev/null >stdout 2>stderr)
}

# Builds the tree of matrix $1 with neighbor in the new directory $2: the
# matrix is `infile`, the menu is answered with Y (accept the defaults).
run_neighbor() {
    mkdir -p "$2" && cp "$1" "$2/infile" &&
        (cd "$2" && printf 'Y\n' | timeout -k 5 60 "$neighbor" >console 2>&1)
}

# Reads a Newick tree and prints "leaf NAME" for each leaf and, for each inner
# node but the outermost, "clade NAME NAME ..." with its leaves sorted. Prints
# "error ..." on anything that is not a complete tree with numeric branch
# lengths (PHYLIP writes "nan" for a length computed from a NaN distance).
newick() {
    tr -d '\r\n' <"$1" | LC_ALL=C awk '
        function sorted(list, n, a, i, j, t, s) {
            n = split(list, a, " ")
            for (i = 2; i <= n; i++)
                for (j = i; j > 1 && a[j - 1] > a[j]; j--) { t = a[j]; a[j] = a[j - 1]; a[j - 1] = t }
            s = a[1]
            for (i = 2; i <= n; i++) s = s " " a[i]
            return s
        }
        function length_after(   num) {  # optional ":length" at position p
            if (substr(s, p, 1) != ":") return 1
            p++
            num = ""
            while (p <= len && index("(),:;", substr(s, p, 1)) == 0) num = num substr(s, p++, 1)
            if (num !~ /^ *-?[0-9]+(\.[0-9]*)?([eE][-+]?[0-9]+)?$/) { print "error: branch length \"" num "\""; bad = 1; return 0 }
            return 1
        }
        {
            s = $0; len = length(s); p = 1; depth = 0; bad = 0
            while (p <= len && !bad) {
                c = substr(s, p, 1)
                if (c == "(") { members[++depth] = ""; p++ }
                else if (c == ",") p++
                else if (c == ")") {
                    if (depth == 0) { print "error: unbalanced )"; bad = 1; break }
                    clade = members[depth--]
                    p++
                    if (depth > 0) { print "clade " sorted(clade); members[depth] = members[depth] " " clade }
                    else if (substr(s, p, 1) != ";") { print "error: text after the outermost )"; bad = 1 }
                    else { done = 1; break }
                    length_after()
                } else if (c == ";" || c == ":") { print "error: unexpected " c; bad = 1 }
                else {
                    name = ""
                    while (p <= len && index("(),:;", substr(s, p, 1)) == 0) name = name substr(s, p++, 1)
                    if (depth == 0) { print "error: leaf outside parentheses"; bad = 1; break }
                    print "leaf " name
                    members[depth] = members[depth] " " name
                    length_after()
                }
            }
            if (!bad && !done) print "error: incomplete tree"
        }'
}

# The record names of an input file as a tree shows them: the first ten kept
# bytes (32..126) of each header line, trailing blanks dropped and inner blanks
# turned into underscores, sorted.
tree_names() {
    LC_ALL=C awk '/^>/ { h = substr($0, 2); gsub(/[^ -~]/, "", h); h = substr(h, 1, 10)
                         sub(/ +$/, "", h); gsub(/ /, "_", h); print h }' "$1" | LC_ALL=C sort
}

# Runs neighbor on matrix $1 in directory $2 and checks that it ends well with a
# well-formed tree. Leaves the parsed tree in $2/tree.
tree_of() {
    local label=$1 matrix=$2 dir=$3 status=0
    run_neighbor "$matrix" "$dir" || status=$?
    if [ "$status" -ne 0 ] || [ ! -s "$dir/outtree" ]; then
        fail "$label: neighbor exit status $status, outtree $([ -s "$dir/outtree" ] && echo written || echo missing)"
        tail -5 "$dir/console" 2>/dev/null | sed 's/^/    /'
        return 1
    fi
    newick "$dir/outtree" >"$dir/tree"
    if grep -q '^error' "$dir/tree"; then
        fail "$label: outtree is no usable tree: $(grep -m1 '^error' "$dir/tree")"
        return 1
    fi
    return 0
}

# True when the tree (parsed by `newick`, in file $1) has the split between the
# leaves $2... and all the others: one side or the other is a clade of it.
has_split() {
    local tree=$1 side other
    shift
    side=$(printf '%s\n' "$@" | LC_ALL=C sort | paste -sd' ')
    other=$(sed -n 's/^leaf //p' "$tree" | grep -vxF -f <(printf '%s\n' "$@") | LC_ALL=C sort | paste -sd' ')
    grep -qxF -e "clade $side" -e "clade $other" "$tree"
}

# --- the example: every matrix makes a tree naming every record -------------
ex=$work/example
status=0
run_varnel examples/input_file "$ex" || status=$?
files_ok=1
for f in "${outputs[@]}"; do [ -s "$ex/$f" ] || files_ok=0; done
if [ "$status" -eq 0 ] && [ "$files_ok" -eq 1 ]; then
    pass "varnel on examples/input_file: exit 0, ${outputs[*]} written"
else
    fail "varnel on examples/input_file: exit status $status, output files $([ $files_ok -eq 1 ] && echo complete || echo missing)"
    sed 's/^/    /' "$ex/stderr" 2>/dev/null | tail -5
    finish
fi

tree_names examples/input_file >"$work/expected_names"
records=$(wc -l <"$work/expected_names")
for m in "${matrices[@]}"; do
    dir=$work/example-$m
    tree_of "example $m" "$ex/$m" "$dir" || continue
    sed -n 's/^leaf //p' "$dir/tree" | LC_ALL=C sort >"$dir/names"
    if cmp -s "$dir/names" "$work/expected_names"; then
        pass "example $m: neighbor exit 0, tree names all $records records"
    else
        fail "example $m: tree leaves differ from the record names (< tree, > input_file):"
        diff "$dir/names" "$work/expected_names" | grep '^[<>]' | sed 's/^/    /'
        continue
    fi
    # Close relatives in the example, far from the rest by every measure: two
    # pairs of species and a group of three.
    if has_split "$dir/tree" 'gi|2765655' 'gi|2765654' &&
        has_split "$dir/tree" 'gi|2765652' 'gi|2765651' &&
        has_split "$dir/tree" 'gi|2765648' 'gi|2765647' 'gi|2765646'; then
        pass "example $m: tree groups {55,54}, {52,51} and {48,47,46} (gi|27656..)"
    else
        fail "example $m: tree splits up {55,54}, {52,51} or {48,47,46} (gi|27656..): $(tr -d '\n' <"$dir/outtree")"
    fi
done

# --- the meaning: near copies are neighbours in every measure's tree --------
nc=$work/near_copies
status=0
run_varnel "$here/near_copies.fasta" "$nc" || status=$?
if [ "$status" -ne 0 ]; then
    fail "varnel on near_copies.fasta: exit status $status"
    finish
fi
for m in "${matrices[@]}"; do
    dir=$work/near-$m
    tree_of "near copies $m" "$nc/$m" "$dir" || continue
    leaves=$(sed -n 's/^leaf //p' "$dir/tree" | LC_ALL=C sort | tr '\n' ' ')
    # Four leaves: the tree has one inner edge, and it must part the two pairs.
    if [ "$leaves" = "copy_a copy_b orig_a orig_b " ] && has_split "$dir/tree" orig_a copy_a; then
        pass "near copies $m: tree splits {orig_a,copy_a} | {orig_b,copy_b}"
    else
        fail "near copies $m: tree does not pair the near copies: $(tr -d '\n' <"$dir/outtree")"
    fi
done

finish
