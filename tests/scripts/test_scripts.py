"""The tree scripts, varnel-relabel and varnel-tree, on names that break naive
Newick text: blanks, quotes, the characters PHYLIP refuses, underscores,
non-ASCII letters. Needs DendroPy; the varnel-tree cases need PHYLIP's
neighbor. Run with Debian's Python:

    /usr/bin/python3 -m unittest discover -s tests/scripts -v
"""
import os
import subprocess
import sys
import tempfile
import unittest

import dendropy

ROOT = os.path.dirname(os.path.dirname(os.path.dirname(os.path.abspath(__file__))))
RELABEL = os.path.join(ROOT, "scripts", "varnel-relabel")
TREE = os.path.join(ROOT, "scripts", "varnel-tree")

# Real names a FASTA header can hold, each of them trouble for Newick text or
# for PHYLIP when written bare.
AWKWARD = [
    "GLB3_CHITH globin",                  # blank, underscore
    "it's a 'quoted' name",               # single quotes
    'say "hi"',                           # double quotes
    "a(1):b;c,d[e]",                      # every character PHYLIP refuses
    "Ångström β-globin",                  # non-ASCII
    "x",                                  # plain
]

# An outtree as PHYLIP writes it: unquoted stand-in names, branch lengths,
# lines broken anywhere, three branches at the outermost node.
OUTTREE = """(s1:0.10000,(s2:0.20000,(s3:0.30000,s4:0.40000):0.50000):0.60000,
(s5:0.70000,s6:0.80000):0.90000);
"""


def run(command, cwd=None):
    return subprocess.run(command, cwd=cwd, capture_output=True, text=True, encoding="utf-8")


def read_tree(text, taxa=None):
    return dendropy.Tree.get(data=text, schema="newick", preserve_underscores=True,
                             taxon_namespace=taxa, rooting="force-unrooted")


def splits(tree):
    """The tree's splits, each as its smaller side (of equal sides, the first in
    sorted order): a frozenset of labels."""
    leaves = frozenset(t.label for t in tree.taxon_namespace)
    found = set()
    for edge in tree.postorder_edge_iter():
        if edge.head_node.is_leaf() or edge.tail_node is None:
            continue
        side = frozenset(leaf.taxon.label for leaf in edge.head_node.leaf_iter())
        found.add(min(side, leaves - side, key=lambda s: (len(s), sorted(s))))
    return found


def write_matrix(path, names, rows, line_start="\r"):
    """A distance matrix as varnel writes it (each row after a carriage return,
    10-byte name field, values "%f " each), or with another row start."""
    with open(path, "w", encoding="latin-1", newline="") as f:
        f.write(str(len(names)))
        for name, row in zip(names, rows):
            f.write(line_start + f"{name:<10.10}" + "".join(f"{v:f} " for v in row))


def path_metric(groups):
    """Distances of a tree with the given cherries: 1 within a cherry, 4 apart."""
    names = [n for g in groups for n in g]
    group = {n: k for k, g in enumerate(groups) for n in g}
    return names, [[0.0 if a == b else 1.0 if group[a] == group[b] else 4.0 for b in names] for a in names]


class Relabel(unittest.TestCase):
    def relabel(self, tree_text, names_text):
        with tempfile.TemporaryDirectory() as d:
            with open(os.path.join(d, "outtree"), "w") as f:
                f.write(tree_text)
            with open(os.path.join(d, "names.tsv"), "w", encoding="utf-8") as f:
                f.write(names_text)
            return run([RELABEL, "outtree", "names.tsv"], cwd=d)

    def test_awkward_names_come_back_exactly_with_the_tree_unchanged(self):
        names = "".join(f"s{i + 1}\t{n}\n" for i, n in enumerate(AWKWARD))
        done = self.relabel(OUTTREE, names)
        self.assertEqual(done.returncode, 0, done.stderr)
        self.assertEqual(done.stdout.count("\n"), 1, "one line of Newick")
        self.assertTrue(done.stdout.endswith(");\n"))
        tree = read_tree(done.stdout)
        self.assertCountEqual([leaf.taxon.label for leaf in tree.leaf_node_iter()], AWKWARD)
        lengths = {leaf.taxon.label: leaf.edge.length for leaf in tree.leaf_node_iter()}
        self.assertEqual([lengths[n] for n in AWKWARD], [0.1, 0.2, 0.3, 0.4, 0.7, 0.8])
        self.assertEqual(splits(tree), {frozenset(AWKWARD[2:4]), frozenset(AWKWARD[4:6]),
                                        frozenset(AWKWARD[0:1] + AWKWARD[4:6])})

    def test_quoting_follows_newick(self):
        # Quoted where a bare label would be cut or changed; quotes doubled
        # inside; an underscore quoted, or a reader would make it a blank.
        done = self.relabel("(s1:1,s2:2,s3:3);\n", "s1\tit's (x)\ns2\ta_b\ns3\tplain\n")
        self.assertEqual(done.stdout, "('it''s (x)':1.0,'a_b':2.0,plain:3.0);\n", done.stderr)

    def test_names_are_matched_as_phylip_writes_them(self):
        # PHYLIP's leaf is the first ten bytes, trailing blanks dropped and
        # inner blanks made underscores.
        cases = [("a b", "a_b"), ("long name here", "long_name"), ("pad   ", "pad"), ("gi|2765658|emb", "gi|2765658")]
        tree = "(" + ",".join(leaf for _, leaf in cases) + ");"
        done = self.relabel(tree, "".join(f"{key}\treal {i}\n" for i, (key, _) in enumerate(cases)))
        self.assertEqual(done.returncode, 0, done.stderr)
        self.assertCountEqual([leaf.taxon.label for leaf in read_tree(done.stdout).leaf_node_iter()],
                              [f"real {i}" for i in range(len(cases))])

    def test_refusals(self):
        cases = [
            ("a leaf without a name", "(s1,s2,s3);", "s1\tA\ns2\tB\n", "s3"),
            ("two names for one leaf", "(s1,s2,s3);", "sample_1_run1\tA\nsample_1_run2\tB\n", "sample_1_r"),
            ("a line without a tab", "(s1,s2,s3);", "s1 A\n", "line 1"),
            ("no tree", "(s1,s2,", "s1\tA\ns2\tB\n", "varnel-relabel"),
        ]
        for what, tree, names, said in cases:
            with self.subTest(what):
                done = self.relabel(tree, names)
                self.assertEqual(done.returncode, 1)
                self.assertEqual(done.stdout, "")
                self.assertIn(said, done.stderr)


class Tree(unittest.TestCase):
    def setUp(self):
        self.dir = tempfile.TemporaryDirectory()
        self.addCleanup(self.dir.cleanup)
        self.d = self.dir.name

    def tree(self, *args):
        return run([TREE, *args], cwd=self.d)

    def leaves_and_splits(self, path):
        with open(os.path.join(self.d, path), encoding="utf-8") as f:
            tree = read_tree(f.read())
        return sorted(leaf.taxon.label for leaf in tree.leaf_node_iter()), splits(tree)

    def test_matrix_names_phylip_refuses_make_a_tree_of_those_names(self):
        # Names straight from headers: a leading blank, refused characters,
        # quotes, names that PHYLIP would make alike (a b / a_b).
        groups = [[" GLB3_CHIT", "a(1):b;c"], ["x,y[z]", "it's"], ["a b", "a_b"]]
        names, rows = path_metric(groups)
        write_matrix(os.path.join(self.d, "d1.dst"), names, rows)
        done = self.tree("--draw", "d1.dst")
        self.assertEqual(done.returncode, 0, done.stderr)
        leaves, found = self.leaves_and_splits("d1.tree")
        self.assertEqual(leaves, sorted(n.rstrip() for n in names))
        self.assertEqual(found, {frozenset(n.rstrip() for n in g) for g in groups})
        # The path, then the drawing with every name as it is.
        self.assertTrue(done.stdout.startswith("d1.tree\n"))
        for name in leaves:
            self.assertIn(" " + name + "\n", done.stdout)

    def test_all_five_matrices_with_real_names_from_names_tsv(self):
        groups = [["s1", "s2"], ["s3", "s4"], ["s5", "s6"]]
        names, rows = path_metric(groups)
        for k in range(1, 6):
            write_matrix(os.path.join(self.d, f"d{k}.dst"), names, rows)
        with open(os.path.join(self.d, "names.tsv"), "w", encoding="utf-8") as f:
            f.write("".join(f"s{i + 1}\t{n}\n" for i, n in enumerate(AWKWARD)))
        for attempt in (1, 2):  # a second run replaces the trees
            with self.subTest(attempt=attempt):
                done = self.tree("--names", "names.tsv")
                self.assertEqual(done.returncode, 0, done.stderr)
                self.assertEqual(done.stdout.split(), [f"d{k}.tree" for k in range(1, 6)])
                for k in range(1, 6):
                    leaves, found = self.leaves_and_splits(f"d{k}.tree")
                    self.assertEqual(leaves, sorted(AWKWARD))
                    self.assertIn(frozenset(AWKWARD[2:4]), found)

    def test_rows_on_lines_of_their_own_and_values_over_several_lines(self):
        # PHYLIP's own layout: rows after line feeds (or CR LF), a long row
        # carried on over further lines.
        names, rows = path_metric([["p", "q"], ["r", "s"]])
        for line_end in ("\n", "\r\n"):
            with self.subTest(line_end=repr(line_end)):
                with open(os.path.join(self.d, "m.dst"), "w", newline="") as f:
                    f.write(f"{len(names)}{line_end}")
                    f.write(line_end.join(f"{n:<10}{row[0]} {row[1]}{line_end}  {row[2]} {row[3]}"
                                          for n, row in zip(names, rows)) + line_end)
                done = self.tree("m.dst")
                self.assertEqual(done.returncode, 0, done.stderr)
                self.assertEqual(self.leaves_and_splits("m.tree"), (names, {frozenset("pq")}))

    def test_refusals_write_no_tree(self):
        names, rows = path_metric([["a", "b"], ["c", "d"]])
        nan_rows = [row[:] for row in rows]
        nan_rows[0][1] = nan_rows[1][0] = float("nan")
        cases = [
            ("two records of one name", ["sample_1_run1", "sample_1_run2", "c", "d"], rows, [],
             "several records are named 'sample_1_r'"),
            ("a distance that is not a number", names, nan_rows, [], "not a number"),
            ("a record missing from names.tsv", names, rows, ["--names", "names.tsv"], "no real name for d"),
            ("too few records for a tree", names[:2], [r[:2] for r in rows[:2]], [], "at least 3 species"),
        ]
        with open(os.path.join(self.d, "names.tsv"), "w") as f:
            f.write("a\tA\nb\tB\nc\tC\n")
        for what, matrix_names, matrix_rows, options, said in cases:
            with self.subTest(what):
                write_matrix(os.path.join(self.d, "bad.dst"), matrix_names, matrix_rows)
                done = self.tree(*options, "bad.dst")
                self.assertEqual(done.returncode, 1)
                self.assertIn(said, done.stderr)
                self.assertFalse(os.path.exists(os.path.join(self.d, "bad.tree")))


if __name__ == "__main__":
    unittest.main()
