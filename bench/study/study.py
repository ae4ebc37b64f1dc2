"""Which matrix gives the right tree: sequences evolved along a known tree,
their five matrices made into neighbor-joining trees, each scored against the
true tree by the normalised Robinson-Foulds distance (nRF: the splits found in
one tree but not the other, over all the splits the two could have; 0 is the
true tree, 1 shares no inner split with it).

    /usr/bin/python3 bench/study/study.py --bin BUILD_DIR [--data DIR] [--out DIR]

Writes OUT/results.tsv (one line per simulation, variant, program and
matrix), OUT/results.md (the tables) and OUT/nrf.png (nRF against divergence,
one line per matrix). Every random choice comes from a seed named after the
setting, the divergence and the replicate, so a run gives the same numbers.
"""
import argparse
import itertools
import math
import os
import random
import statistics
import subprocess
import sys
import tempfile
import time

import dendropy
from dendropy.calculate import treecompare

ROOT = os.path.dirname(os.path.dirname(os.path.dirname(os.path.abspath(__file__))))
VARNEL_TREE = os.path.join(ROOT, "scripts", "varnel-tree")
MATRICES = ["d1", "d2", "d3", "d4", "d5"]

# The data sets: name, kind of symbols, records, length, and how many times
# the rates of inversions and moved segments below they take.
SETTINGS = [
    ("DNA 16 x 100 kb", "dna", 16, 100_000, 1),
    ("DNA 32 x 16 kb", "dna", 32, 16_000, 1),
    ("protein 16 x 10 kaa", "protein", 16, 10_000, 1),
    ("DNA 32 x 16 kb, 10x rearranged", "dna", 32, 16_000, 10),
]
# Divergence: expected substitutions per site from the root to a leaf.
DIVERGENCES = [0.01, 0.02, 0.05, 0.1, 0.2, 0.4]
REPLICATES = 10

# Events per site per unit of divergence, beside the substitutions (rate 1).
# Indels: lengths 1 to 20, geometric (mean about 3). Inversions (DNA only: a
# segment replaced by its reverse complement) and moved segments: lengths
# uniform in SEGMENT (symbols; a third of it for protein).
INDEL_RATE = 0.1
INVERSION_RATE = 2e-4
MOVE_RATE = 2e-4
SEGMENT = (100, 5000)
# Soft-masking: about this share of each record in lower case, in stretches
# of MASK_STRETCH symbols placed independently in each record.
MASK_SHARE = 0.25
MASK_STRETCH = (200, 2000)

COMPLEMENT = bytes.maketrans(b"ACGTacgt", b"TGCAtgca")


def read_fasta(path):
    records, current = [], None
    with open(path, "rb") as f:
        for line in f:
            if line.startswith(b">"):
                current = []
                records.append(current)
            elif current is not None:
                current.append(line.strip())
    return [b"".join(r).upper() for r in records]


class Node:
    def __init__(self, length=0.0):
        self.children, self.length, self.name = [], length, None

    def leaves(self):
        return [self] if not self.children else [leaf for c in self.children for leaf in c.leaves()]

    def newick(self):
        if not self.children:
            return self.name
        return "(" + ",".join(c.newick() for c in self.children) + ")"


def random_tree(rng, count, divergence):
    """A Yule tree of COUNT leaves named t1..tCOUNT; every branch's length
    scaled by a factor from 0.5 to 1.5 (rates differ between lineages), then
    all of them so that the mean root-to-leaf length is DIVERGENCE."""
    root = Node()
    tips = [root]
    while True:
        wait = rng.expovariate(len(tips))  # until one of the lineages splits
        for tip in tips:
            tip.length += wait
        if len(tips) == count:
            break
        tip = tips.pop(rng.randrange(len(tips)))
        tip.children = [Node(), Node()]
        tips += tip.children
    nodes = [root]
    while nodes:
        node = nodes.pop()
        node.length *= rng.uniform(0.5, 1.5)
        nodes += node.children
    root.length = 0.0

    def depths(node, above):
        here = above + node.length
        return [here] if not node.children else [d for c in node.children for d in depths(c, here)]

    scale = divergence / statistics.mean(depths(root, 0.0))
    nodes = [root]
    while nodes:
        node = nodes.pop()
        node.length *= scale
        nodes += node.children
    for i, leaf in enumerate(root.leaves()):
        leaf.name = f"t{i + 1}"
    return root


def poisson(rng, mean):
    """A Poisson count (a normal approximation for large means)."""
    if mean > 50:
        return max(0, round(rng.gauss(mean, math.sqrt(mean))))
    limit, k, p = math.exp(-mean), 0, rng.random()
    while p > limit:
        k += 1
        p *= rng.random()
    return k


def evolve(rng, seq, length, kind, alphabet, rearranged):
    """SEQ after a branch of LENGTH: substitutions, indels, inversions (DNA)
    and moved segments (REARRANGED times their rates), in a random order."""
    seq = bytearray(seq)
    n = len(seq)
    low, high = SEGMENT if kind == "dna" else (SEGMENT[0] // 3, SEGMENT[1] // 3)
    events = (["sub"] * poisson(rng, length * n) + ["indel"] * poisson(rng, INDEL_RATE * length * n) +
              ["move"] * poisson(rng, rearranged * MOVE_RATE * length * n))
    if kind == "dna":
        events += ["inversion"] * poisson(rng, rearranged * INVERSION_RATE * length * n)
    rng.shuffle(events)
    others = {a: bytes(b for b in alphabet if b != a) for a in alphabet}
    for event in events:
        n = len(seq)
        if event == "sub":
            i = rng.randrange(n)
            seq[i] = rng.choice(others.get(seq[i], alphabet))
        elif event == "indel":
            size = min(20, 1 + int(math.log(1 - rng.random()) / math.log(0.7)))
            i = rng.randrange(n)
            if rng.random() < 0.5:
                seq[i:i] = bytes(rng.choice(alphabet) for _ in range(size))
            else:
                del seq[i:i + size]
        else:
            size = min(rng.randint(low, high), n // 4)
            i = rng.randrange(n - size)
            piece = bytes(seq[i:i + size])
            if event == "inversion":
                seq[i:i + size] = piece.translate(COMPLEMENT)[::-1]
            else:
                del seq[i:i + size]
                j = rng.randrange(len(seq) + 1)
                seq[j:j] = piece
    return bytes(seq)


def simulate(rng, setting, divergence, sources):
    """The true tree (Newick) and the leaves' sequences by name."""
    _, kind, count, length, rearranged = setting
    tree = random_tree(rng, count, divergence)
    if kind == "dna":
        genome = sources["dna"]
        start = rng.randrange(len(genome) - length)
        root = genome[start:start + length]
        alphabet = b"ACGT"
    else:
        globins = sources["protein"][:]
        rng.shuffle(globins)
        root = b"".join(globins)[:length]
        alphabet = bytes(sorted(set(root)))
    seqs = {}

    def down(node, seq):
        seq = evolve(rng, seq, node.length, kind, alphabet, rearranged)
        if node.children:
            for child in node.children:
                down(child, seq)
        else:
            seqs[node.name] = seq

    down(tree, root)
    return tree.newick() + ";", seqs


def soft_mask(rng, seq):
    """SEQ with about MASK_SHARE of it in lower case, in random stretches."""
    seq = bytearray(seq)
    masked = 0
    while masked < MASK_SHARE * len(seq):
        size = rng.randint(*MASK_STRETCH)
        i = rng.randrange(max(1, len(seq) - size))
        seq[i:i + size] = seq[i:i + size].lower()
        masked += size
    return bytes(seq)


def write_input(path, records):
    with open(path, "wb") as f:
        for name, seq in records:
            f.write(b">" + name.encode() + b"\n")
            f.write(b"".join(seq[k:k + 80] + b"\n" for k in range(0, len(seq), 80)))


def trees_of(program, records, work):
    """Runs PROGRAM on the records in the new directory WORK, then varnel-tree
    on the five matrices; returns the five trees' Newick texts."""
    os.makedirs(work)
    write_input(os.path.join(work, "input_file"), records)
    subprocess.run([program], cwd=work, stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL,
                   stderr=subprocess.DEVNULL, check=True)
    subprocess.run([sys.executable, VARNEL_TREE], cwd=work, stdout=subprocess.DEVNULL, check=True)
    trees = {}
    for m in MATRICES:
        with open(os.path.join(work, m + ".tree")) as f:
            trees[m] = f.read()
    return trees


def nrf(a, b):
    """Normalised Robinson-Foulds distance of two trees (Newick), both taken
    as unrooted."""
    taxa = dendropy.TaxonNamespace()
    x, y = (dendropy.Tree.get(data=t, schema="newick", taxon_namespace=taxa, rooting="force-unrooted")
            for t in (a, b))
    return treecompare.symmetric_difference(x, y) / (2 * (len(taxa) - 3))


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    parser.add_argument("--bin", required=True, help="directory holding varnel and varnel_sol")
    parser.add_argument("--data", default=os.path.join(ROOT, "bench", "data"))
    parser.add_argument("--out", default=os.path.join(ROOT, "bench", "study"))
    args = parser.parse_args()
    programs = {p: os.path.join(os.path.abspath(args.bin), p) for p in ("varnel", "varnel_sol")}
    sources = {"dna": read_fasta(os.path.join(args.data, "chlamydia_genome.fasta"))[0],
               "protein": read_fasta(os.path.join(args.data, "globins630.fasta"))}
    started = time.time()
    rows = []  # setting, divergence, replicate, variant, program, matrix, nRF
    with tempfile.TemporaryDirectory(prefix="varnel-study.") as tmp:
        for setting, divergence, replicate in itertools.product(SETTINGS, DIVERGENCES, range(1, REPLICATES + 1)):
            label, kind = setting[0], setting[1]
            rng = random.Random(f"{label}/{divergence}/{replicate}")
            truth, seqs = simulate(rng, setting, divergence, sources)
            records = sorted(seqs.items(), key=lambda r: int(r[0][1:]))
            variants = [("plain", "varnel", records), ("plain", "varnel_sol", records)]
            shuffled = records[:]
            rng.shuffle(shuffled)
            variants.append(("records shuffled", "varnel", shuffled))
            if kind == "dna":
                both = [(n, s + s.translate(COMPLEMENT)[::-1]) for n, s in records]
                variants.append(("reverse complements appended", "varnel", both))
                masked = [(n, soft_mask(rng, s)) for n, s in records]
                variants += [("soft-masked", "varnel", masked), ("soft-masked", "varnel_sol", masked)]
            for k, (variant, program, recs) in enumerate(variants):
                work = os.path.join(tmp, f"{len(rows)}-{k}")
                trees = trees_of(programs[program], recs, work)
                for m in MATRICES:
                    rows.append((label, divergence, replicate, variant, program, m, nrf(truth, trees[m]),
                                 trees[m].strip()))
            print(f"{label}, divergence {divergence}, replicate {replicate}: "
                  f"{time.time() - started:.0f} s", file=sys.stderr, flush=True)
    elapsed = time.time() - started
    with open(os.path.join(args.out, "results.tsv"), "w") as f:
        f.write("setting\tdivergence\treplicate\tvariant\tprogram\tmatrix\tnRF\n")
        for r in rows:
            f.write("\t".join(str(x) for x in r[:6]) + f"\t{r[6]:.4f}\n")
    tables = summarise(rows, elapsed)
    with open(os.path.join(args.out, "results.md"), "w") as f:
        f.write(tables)
    plot(rows, os.path.join(args.out, "nrf.png"))
    print(tables)


def mean_nrf(rows, label, divergence, variant, program, matrix):
    values = [r[6] for r in rows if r[:2] == (label, divergence) and r[3:6] == (variant, program, matrix)]
    return statistics.mean(values) if values else None


def variants_of(kind):
    """The inputs and programs of each simulation of a kind of data."""
    if kind == "dna":
        return [("plain", "varnel"), ("reverse complements appended", "varnel"), ("soft-masked", "varnel"),
                ("soft-masked", "varnel_sol"), ("records shuffled", "varnel")]
    return [("plain", "varnel"), ("records shuffled", "varnel")]


def summarise(rows, elapsed):
    """The tables: the five matrices on the plain input; d1 on every input;
    the details of every input and program (results.md only, after the
    marker line)."""
    cell = lambda v: "" if v is None else f"{v:.2f}"
    out = ["Mean nRF to the true tree of the trees of each matrix, %d replicates (lower is better; "
           "0: the true tree), `varnel` on the simulated records:" % REPLICATES, "",
           "| data | divergence | d1 | d2 | d3 | d4 | d5 |", "|---|---|---|---|---|---|---|"]
    for label, *_ in SETTINGS:
        for d in DIVERGENCES:
            out.append(f"| {label} | {d} | " +
                       " | ".join(cell(mean_nrf(rows, label, d, "plain", "varnel", m)) for m in MATRICES) + " |")
    out += ["", "Mean nRF of d1 by input and program, against divergence:", "",
            "| data | input | program | " + " | ".join(str(d) for d in DIVERGENCES) + " |",
            "|---|---|---|" + "---|" * len(DIVERGENCES)]
    for label, kind, *_ in SETTINGS:
        for variant, program in variants_of(kind):
            out.append(f"| {label} | {variant} | `{program}` | " +
                       " | ".join(cell(mean_nrf(rows, label, d, variant, program, "d1")) for d in DIVERGENCES) + " |")
    out.append("")
    # Trees alike: which matrices gave the same tree, and what the order did.
    by_case = {}
    for r in rows:
        by_case.setdefault(r[:5], {})[r[5]] = r[7]
    plain = {k[:3]: v for k, v in by_case.items() if k[3:] == ("plain", "varnel")}
    sol = {k[:3]: v for k, v in by_case.items() if k[3:] == ("plain", "varnel_sol")}
    shuffled = {k[:3]: v for k, v in by_case.items() if k[3:] == ("records shuffled", "varnel")}
    same = lambda a, b: nrf(a, b) == 0
    d123 = sum(1 for t in plain.values() if same(t["d1"], t["d2"]) and same(t["d1"], t["d3"]))
    out.append(f"- d1, d2 and d3 gave the same tree in {d123} of {len(plain)} simulations.")
    out.append(f"- `varnel_sol` gave the same trees as `varnel` on the upper-case records in "
               f"{sum(1 for k in plain if sol[k] == plain[k])} of {len(plain)} simulations.")
    changed = ", ".join(f"{m} {sum(1 for k in plain if not same(plain[k][m], shuffled[k][m]))}" for m in MATRICES)
    out.append(f"- Trees that another order of the records changed, of {len(plain)} simulations: {changed}.")
    out.append(f"- {len(rows) // len(MATRICES)} runs, each of one program and five trees, in {elapsed / 60:.1f} minutes.")
    out += ["", MARKER, "", "Mean nRF of every matrix by input and program:", "",
            "| data | divergence | input | program | d1 | d2 | d3 | d4 | d5 |", "|---|---|---|---|---|---|---|---|---|"]
    for label, kind, *_ in SETTINGS:
        for d in DIVERGENCES:
            for variant, program in variants_of(kind):
                out.append(f"| {label} | {d} | {variant} | `{program}` | " +
                           " | ".join(cell(mean_nrf(rows, label, d, variant, program, m)) for m in MATRICES) + " |")
    return "\n".join(out) + "\n"


MARKER = "<!-- the README shows the tables above this line -->"


def plot(rows, path):
    """nRF against divergence, one line per matrix: one panel per data set,
    then the rearranged set with reverse complements appended and the
    soft-masked records read by varnel_sol."""
    import matplotlib
    matplotlib.use("Agg")
    import matplotlib.pyplot as plt
    panels = [(label, "plain", "varnel", label) for label, *_ in SETTINGS] + [
        (SETTINGS[3][0], "reverse complements appended", "varnel", SETTINGS[3][0] + ",\nreverse complements appended"),
        (SETTINGS[1][0], "soft-masked", "varnel_sol", SETTINGS[1][0] + ", soft-masked,\nread by varnel_sol")]
    fig, axes = plt.subplots(2, 3, figsize=(12, 7.5), sharey=True)
    styles = {"d1": "-o", "d2": "--s", "d3": ":^", "d4": "-.v", "d5": "-D"}
    for ax, (label, variant, program, title) in zip(axes.flat, panels):
        for m in MATRICES:
            ax.plot(DIVERGENCES, [mean_nrf(rows, label, d, variant, program, m) for d in DIVERGENCES],
                    styles[m], label=m, markersize=4)
        ax.set_xscale("log")
        ax.set_xticks(DIVERGENCES)
        ax.set_xticklabels([str(d) for d in DIVERGENCES])
        ax.minorticks_off()
        ax.set_title(title, fontsize=10)
        ax.grid(alpha=0.3)
    for ax in axes[1]:
        ax.set_xlabel("divergence (substitutions per site, root to leaf)")
    for ax in axes[:, 0]:
        ax.set_ylabel("nRF to the true tree (mean of %d)" % REPLICATES)
    axes[0, 0].set_ylim(-0.02, 1.0)
    axes[0, 0].legend(title="matrix")
    fig.tight_layout()
    fig.savefig(path, dpi=80)


if __name__ == "__main__":
    main()
