// The engine against the direct parse, which serves as the definition.
#include <algorithm>
#include <fstream>
#include <mutex>
#include <random>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "base/parallel.h"
#include "base/state.h"
#include "complexity/engine.h"
#include "complexity/pass.h"
#include "lz_direct.h"

namespace varnel {
namespace {

std::int32_t direct(const std::string& text) {
    parse_state s;
    lz_steps(reinterpret_cast<const unsigned char*>(text.data()), 0, std::int32_t(text.size()), s);
    return s.count;
}

// Counts of a alone, b alone, a then b and b then a, by the engine.
struct engine_counts {
    std::int32_t a, b, ab, ba;
};

// With `path` automaton, every record is searched through its automaton.
engine_counts engine(const std::string& a, const std::string& b, index_path path) {
    const alphabet abc({a, b});
    workspace work;
    arena mem;
    record_index ia, ib;
    index_record(ia, a, abc, work, mem, path);
    index_record(ib, b, abc, work, mem, path);
    index_starts(ia, mem);
    index_starts(ib, mem);
    first_sequence f(work);
    engine_counts c{ia.count, ib.count, 0, 0};
    f.load(ia, abc);
    c.ab = f.resume(ib);
    f.load(ib, abc);
    c.ba = f.resume(ia);
    return c;
}

// n letters drawn from the first sigma of the alphabet.
std::string random_letters(std::mt19937& rng, int n, int sigma) {
    std::string s;
    for (int i = 0; i < n; ++i) s += char('A' + rng() % sigma);
    return s;
}

void expect_same(const std::string& a, const std::string& b) {
    for (index_path path : {index_path::chains, index_path::automaton}) {
        const bool chains = path == index_path::chains;
        const engine_counts c = engine(a, b, path);
        ASSERT_EQ(c.a, direct(a)) << a << (chains ? "" : " (automaton)");
        ASSERT_EQ(c.b, direct(b)) << b << (chains ? "" : " (automaton)");
        ASSERT_EQ(c.ab, direct(a + b)) << a << " | " << b << (chains ? "" : " (automaton)");
        ASSERT_EQ(c.ba, direct(b + a)) << b << " | " << a << (chains ? "" : " (automaton)");
    }
}

TEST(engine, divider_is_exact) {
    std::mt19937 rng(3);
    // powers of two (shifted) and others (multiplied), up to the largest powers of an alphabet
    for (std::uint32_t d : {1u, 2u, 3u, 4u, 5u, 7u, 20u, 95u, 1u << 30, 1u << 31, 1162261467u, 4294967291u}) {
        const divider div(d);
        for (std::uint32_t x : {0u, 1u, d - 1, d, d + 1, 0xffffffffu}) ASSERT_EQ(div(x), x / d) << x << " / " << d;
        for (int i = 0; i < 10000; ++i) {
            const std::uint32_t x = std::uint32_t(rng());
            ASSERT_EQ(div(x), x / d) << x << " / " << d;
        }
    }
}

TEST(engine, every_binary_text_up_to_twelve_at_every_split) {
    for (int n = 0; n <= 12; ++n) {
        for (std::uint32_t bits = 0; bits < (1u << n); ++bits) {
            std::string text;
            for (int i = 0; i < n; ++i) text += (bits >> i & 1) ? 'B' : 'A';
            for (int split = 0; split <= n; ++split) expect_same(text.substr(0, split), text.substr(split));
        }
    }
}

TEST(engine, random_texts_over_small_and_full_alphabets) {
    std::mt19937 rng(11);
    for (int round = 0; round < 4000; ++round) {
        const int sigma = round % 5 == 4 ? 95 : 1 + round % 4;
        const int longest = round % 10 == 3 ? 600 : 60;  // long enough for every short prefix to occur
        std::string a, b;
        for (int i = 0, n = int(rng() % longest); i < n; ++i) a += char(' ' + rng() % sigma);
        for (int i = 0, n = int(rng() % longest); i < n; ++i) b += char(' ' + rng() % sigma);
        expect_same(a, b);
    }
}

TEST(engine, runs_periods_and_copies_across_the_join) {
    std::mt19937 rng(5);
    auto random_text = [&](int n, int sigma) { return random_letters(rng, n, sigma); };
    const std::string run(300, 'A'), dna = random_text(200, 4);
    const std::pair<std::string, std::string> cases[] = {
        {run, run},
        {run + "C", run},
        {run, "C" + run},
        {std::string(299, 'A') + "C", "AAC"},
        {"ABCABCABCABCABC", "ABCABCABD"},
        {random_text(7, 2) + std::string(50, 'B'), std::string(40, 'B') + "A"},
        {dna, dna},
        {dna, dna.substr(150) + random_text(30, 4)},  // B repeats the end of A
        {dna, dna.substr(190) + dna.substr(0, 40)},   // ... and carries on with A's start
        {dna + dna.substr(0, 37), dna.substr(37, 20)},
        {"GATTACA", "ACATTAG"},
        {run, dna},  // a record searched through its automaton beside one searched through its windows
        {dna + run, dna},
    };
    for (const auto& [a, b] : cases) expect_same(a, b);
    for (int round = 0; round < 500; ++round) {  // B starts inside a repeat of A's tail
        const std::string a = random_text(1 + int(rng() % 80), 2 + round % 3);
        const std::size_t cut = rng() % a.size();
        expect_same(a, a.substr(cut) + a.substr(0, rng() % a.size()) + random_text(int(rng() % 10), 3));
    }
}

// Records long enough to keep their table of windows from indexing, and a
// row resumed over many records at once, against the same pairs one by one.
TEST(engine, long_records_and_rows_resumed_together) {
    std::mt19937 rng(7);
    auto random_text = [&](int n, int sigma) { return random_letters(rng, n, sigma); };
    const std::string a = random_text(6000, 4), b = a.substr(2500, 1500) + random_text(3000, 4);
    expect_same(a, b);
    expect_same(b, a.substr(0, 5000) + b.substr(0, 700));

    std::vector<std::string> texts = {a, b, "", "A", a.substr(5990), std::string(700, 'C'), random_text(40, 2)};
    for (int i = 0; i < 20; ++i) texts.push_back(a.substr(rng() % 6000, rng() % 300) + random_text(int(rng() % 200), 4));
    const alphabet abc(std::vector<std::string_view>(texts.begin(), texts.end()));
    workspace work;
    arena mem;
    std::vector<record_index> records(texts.size());
    for (std::size_t i = 0; i < texts.size(); ++i) index_record(records[i], texts[i], abc, work, mem);
    for (record_index& r : records) index_starts(r, mem);
    std::vector<const record_index*> row;
    for (const record_index& r : records) row.push_back(&r);
    first_sequence first(work);
    for (std::size_t l : {std::size_t(0), std::size_t(1), std::size_t(5)}) {
        first.load(records[l], abc);
        std::vector<std::int32_t> together(row.size());
        first.resume(row, together.data());
        for (std::size_t e = 0; e < row.size(); ++e) {
            ASSERT_EQ(together[e], first.resume(records[e])) << l << " then " << e;
            ASSERT_EQ(together[e], direct(texts[l] + texts[e])) << l << " then " << e;
        }
    }
}

// The whole pass, its rows in tiles over blocks of the others on every
// thread, against each pair resumed alone: enough records that each thread's
// tiles hold several rows and the others fall in more than one block; copies
// of one text among them, runs that take the automaton, and empty records.
TEST(engine, pass_in_tiles_and_blocks_gives_every_pairs_count) {
    const std::int32_t threads = std::max(1, usable_processors());
    const std::int32_t num = std::max(600, 3 * tuning::records_per_tile_row * threads);
    std::mt19937 rng(11);
    const std::string shared = random_letters(rng, 2000, 4);
    std::vector<std::string> texts;
    for (std::int32_t i = 0; i < num; ++i) {
        const int kind = int(rng() % 8);
        if (kind == 0) texts.push_back(shared.substr(rng() % 1900, rng() % 100));
        else if (kind == 1) texts.push_back(std::string(rng() % 150, 'T'));
        else if (kind == 2) texts.push_back(i % 16 == 2 ? "" : random_letters(rng, 1 + int(rng() % 10), 4));
        else texts.push_back(random_letters(rng, int(rng() % 300), 4));
    }
    std::int64_t block = 0;
    for (const std::string& t : texts) block += 9 * std::int64_t(t.size()) + 64;
    ASSERT_GT(block, 2 * tuning::block_bytes);  // the others in several blocks

    analysis st;
    st.num = num;
    for (const std::string& t : texts) st.S.push_back(t), st.length.push_back(std::int32_t(t.size()));
    allocate_matrices(st);
    std::vector<int> done(static_cast<std::size_t>(num), 0);
    std::mutex done_lock;
    complexity_pass(st, [&](std::int32_t l) {
        std::lock_guard<std::mutex> hold(done_lock);
        ++done[std::size_t(l)];
    });
    ASSERT_EQ(std::count(done.begin(), done.end(), 1), num);  // each row reported once

    const alphabet abc(st.S);
    workspace work;
    arena mem;
    std::vector<record_index> records(static_cast<std::size_t>(num));
    for (std::int32_t l = 0; l < num; ++l) index_record(records[std::size_t(l)], st.S[std::size_t(l)], abc, work, mem);
    for (record_index& r : records) index_starts(r, mem);
    first_sequence first(work);
    for (std::int32_t l = 0; l < num; ++l) {
        ASSERT_EQ(st.ex_com[std::size_t(l)], records[std::size_t(l)].count) << l;
        first.load(records[std::size_t(l)], abc);
        for (std::int32_t e = 0; e < num; ++e) {
            if (e == l) continue;
            ASSERT_EQ(st.cr(l, e), first.resume(records[std::size_t(e)])) << l << " then " << e;
        }
    }
}

// The sequences of a FASTA file, letters folded to upper case.
std::vector<std::string> fasta(const std::string& path) {
    std::ifstream in(path);
    std::vector<std::string> seqs;
    for (std::string line; std::getline(in, line);) {
        if (line.starts_with(">")) {
            seqs.emplace_back();
        } else if (!seqs.empty()) {
            for (char c : line)
                if (c > ' ' && c <= '~') seqs.back() += char(c >= 'a' && c <= 'z' ? c - 32 : c);
        }
    }
    return seqs;
}

// Which path typical records take, each indexed beside nothing else: the
// chains for the sequences users compare, the automaton for those that repeat
// so much that comparing along the chains would cost more. A change of the
// budget or of the spans that moved ordinary records to the automaton would
// leave every count right and every run slower: it fails here instead.
TEST(engine, ordinary_records_take_the_chains_and_repeats_the_automaton) {
    std::mt19937 rng(3);
    const std::string piece = random_letters(rng, 400, 4);
    std::string period, copies;
    while (period.size() < 5000) period += "ACGTTGCAAT";
    for (int i = 0; i < 25; ++i) copies += piece;
    const std::vector<std::string> paths = fasta(std::string(VARNEL_FIXTURES) + "/paths.fasta");
    const struct {
        const char* what;
        std::string seq;
        index_path path;
    } cases[] = {
        {"orchid ITS region (DNA)", fasta(std::string(VARNEL_EXAMPLES) + "/input_file").at(0), index_path::chains},
        {"fly upstream region (DNA)", fasta(std::string(VARNEL_FIXTURES) + "/mixed/input_file").at(0), index_path::chains},
        {"globin (protein)", paths.at(0), index_path::chains},
        {"16 kb of a bacterial chromosome", paths.at(1), index_path::chains},
        {"100 kb of random DNA", random_letters(rng, 100000, 4), index_path::chains},
        {"a run of one letter", std::string(5000, 'A'), index_path::automaton},
        {"a period of ten letters", period, index_path::automaton},
        {"25 copies of one piece", copies, index_path::automaton},
    };
    for (const auto& c : cases) {
        const alphabet abc({c.seq});
        workspace work;
        arena mem;
        record_index r;
        index_record(r, c.seq, abc, work, mem);
        auto name = [](index_path p) { return p == index_path::chains ? "chains" : "automaton"; };
        EXPECT_STREQ(name(r.path), name(c.path)) << c.what;
    }
}

}  // namespace
}  // namespace varnel
