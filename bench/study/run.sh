#!/bin/sh
# Which distance matrix gives the right tree: sequences evolved along known
# trees from the public sets in bench/data, the neighbor-joining trees of all
# five matrices scored against the true trees (bench/study/study.py says how).
# Writes bench/study/results.md, results.tsv and nrf.png. Not run by CI; about
# 10 minutes on one processor of the machine in the README.
#   bash bench/study/run.sh [data-dir]     (default: bench/data)
# Installs PHYLIP, DendroPy and Matplotlib (Debian's) where they are missing.
set -eu
repo=$(cd "$(dirname "$0")/../.." && pwd)
data=$(cd "${1:-$repo/bench/data}" && pwd)

missing=""
command -v cmake >/dev/null || missing="$missing cmake"
command -v g++ >/dev/null || missing="$missing g++"
command -v neighbor >/dev/null || [ -x /usr/lib/phylip/bin/neighbor ] || missing="$missing phylip"
/usr/bin/python3 -c 'import dendropy' 2>/dev/null || missing="$missing python3-dendropy"
/usr/bin/python3 -c 'import matplotlib' 2>/dev/null || missing="$missing python3-matplotlib"
if [ -n "$missing" ]; then
    echo "installing$missing"
    apt-get update -qq && DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends $missing >/dev/null
fi

cmake -S "$repo" -B "$repo/build-study" -DBUILD_TESTING=OFF >/dev/null
cmake --build "$repo/build-study" -j2 --target varnel varnel_sol >/dev/null
exec /usr/bin/python3 "$repo/bench/study/study.py" --bin "$repo/build-study" --data "$data" --out "$repo/bench/study"
