// Exact Lempel-Ziv counts of sequences and of ordered pairs, with a cost per
// parsed position that does not grow with the length of the text.
//
// A component starting at p ends at p + L, where L is the longest prefix of the
// text from p that also starts before p (overlap allowed); it is counted only
// when p + L lies inside the text. For the text A followed by B, a copy of a
// component starting in B comes from one of three places: inside B before it
// (B's own longest-previous-factor array), inside A, or from a suffix of A
// running on into B's start.
//
// Two paths find the copies inside A, chosen once per record by index_record:
// - chains (chain_path.cpp): A's windows, its substrings of `span` symbols,
//   chained by code, with a table per code of A's last window and per shorter
//   prefix of how much of it A holds. The fast path: one table lookup and a
//   comparison or two per component.
// - automaton (automaton_path.cpp): a walk in A's suffix automaton, for records
//   whose windows repeat so much that comparing along the chains would cost
//   more (runs, periodic text, many copies of one piece).
// The parse of a pair is written once, in pair_parse.h, over either path.
//
// ---- Encodings and rules that hold between calls ---------------------------
//
// Symbols. The bytes that occur in any sequence get codes 0 .. sigma-1 in
// byte order. A key is k symbols as a number in base sigma, the first
// weighing most, k the most for which sigma^k fits in 32 bits; key[q] holds
// text[q .. q+k), and the symbols past the end of the text count as code 0,
// so a key near the end is not a string of the text: every use clamps to the
// room left (`min(.., n - q)`). A key's first d symbols are cut[d](key).
//
// Texts. Each record's text of codes has text_pad readable bytes after it,
// zeros (arena memory is zeroed): a word compared from anywhere up to the end,
// or a key built up to span symbols past it, stays inside.
//
// Windows (chains). Window i is text[i .. i+span), i <= n - span; its code is
// cut[span](key[i]). prev[i] is the last window before i with the same code,
// -1 if none (and for i > n - span).
// A head, per window code, is 0 for none, else 1 + the last window with that
// code, with more_windows (bit 30) set if there are others before it; so
// zeroed memory is a table of no windows.
// Prefix levels: the codes of d symbols, d < span, are level d, at offset
// off[d] = sigma^0 + .. + sigma^(d-1) (level_offsets); a bit or byte at
// off[d] + c stands for the d symbols of code c.
// A kept record's `held` has bit off[d] + c set where the record holds the d
// symbols of code c. A row's prefix entry, per code of span - 1 symbols: bits
// 0-7 the most of its first symbols A holds together, bit 7 + d set where A
// ends with its first d symbols.
// workspace::last is all zero between records: index_record clears the heads
// it wrote there when the record does not keep them.
//
// Automaton. Transitions carry terminal_bit (the target's strings are
// suffixes of A) and unique_bit (they occur once in A) after mark_targets.
// B's Z-array (index_starts) is needed only by rows on this path.
//
// ---- Tuning constants ------------------------------------------------------
// Each is named in `tuning` below, with what moving it did: whole runs of the
// benchmark sets (bench/run.sh), one processor, a variant against the default
// in alternating pairs (wall time; about 3% is noise there).
#pragma once

#include <array>
#include <bit>
#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "base/memory.h"
#include "complexity/automaton.h"

namespace varnel {

namespace tuning {
// The chains give way to the automaton once comparing windows past their
// span would cost more than chain_budget(n) steps of 8 bytes. Ordinary records
// spend 0.02 to 0.3 steps a symbol (2.6 the most, on the benchmark sets); a
// run, a period or many copies of one piece spend hundreds. At 0 the fly sets
// took 1.55 times as long (many of their records move to the automaton) and
// the 64 kb windows 3.8 times; anywhere from 1 to 8 no ordinary record moves;
// at 32 a run of 1 MiB took 1.14 times as long, spending more before giving
// up. The floor moved nothing.
constexpr std::int64_t chain_steps_per_symbol = 8, chain_steps_floor = 64;
constexpr std::int64_t chain_budget(std::int32_t n) { return chain_steps_per_symbol * std::int64_t(n) + chain_steps_floor; }

// Window codes (sigma^span) of a record of n symbols: at least one per window
// and up to codes_per_symbol per symbol, more while the components the other
// records parse against its row (about one in every others_per_component of
// their symbols) outnumber the codes, up to max_codes_per_symbol and
// max_codes; never below min_codes. Every change of span these moved was
// slower: codes_per_symbol 1 or 16, 1.16 and 1.52 times on the 64 kb windows;
// others_per_component 16, 1.5 times on the globins (span 3 to 2);
// max_codes_per_symbol 32 or 512, 1.07 and 1.12 times on fly1000 (with 20,000
// records of 100 bytes, each row's table had grown to a megabyte before the
// cap). min_codes and max_codes bound no set of the benchmark.
constexpr std::int64_t min_codes = 4096, codes_per_symbol = 4, others_per_component = 4;
constexpr std::int64_t max_codes_per_symbol = 128, max_codes = std::int64_t(1) << 24;

// A record keeps its heads and prefix bits from indexing, instead of its row
// rebuilding them, when they take no more room than this many codes a symbol:
// at 1 the 64 kb windows took 1.05 times as long, at 64 fly200 1.2 times (every
// record's table kept, and out of the caches).
constexpr std::int64_t kept_codes_per_symbol = 4;

// Rows resume this many pairs at once, one component each in turn, so the
// table entry each needs next is fetched while the others take theirs. 2 lanes
// took 1.12 times as long on the 16 kb windows; 16 changed nothing.
constexpr std::size_t lanes = 8;
// A parse fetches its record's key, lpf and text this many symbols ahead:
// anything from 12 to 96 measured the same, 192 cost fly200 3%.
constexpr std::int32_t fetch_ahead = 48;

// Rows go in tiles of at most tile_rows first records whose tables take at
// most tile_table_bytes together (a record of a few hundred symbols has a
// table of about 80 KiB; one of a few thousand goes alone); each is resumed
// over blocks of the other records, each block at least `lanes` records and
// about block_bytes of their arrays, so a block stays in the caches while
// every row of the tile is resumed over it. On one processor, tiles of 8 took
// 0.96 times as long as rows one at a time on 3,000 records of 150 bp and on
// the globins; on two processors, with a cache of 480 MiB shared, they made no
// difference on 10,000 records of 150 bp.
constexpr std::int32_t tile_rows = 8;
// A tile holds one row for every records_per_tile_row records a thread has,
// up to tile_rows: each row beyond the first loads its table into a workspace
// of its own, whose first touch 94 records of 740 bp did not win back (tiles
// of 8 took them 1.05 times as long as rows one at a time, and at 32, tiles of
// 2, 1.04 times; 630 globins keep tiles of 8, 0.95 times).
constexpr std::int32_t records_per_tile_row = 64;
constexpr std::int64_t tile_table_bytes = 1 << 19, block_bytes = 1 << 18;

// The automaton path's first steps come from a table of at most max_jumps
// walks from the root: with 1024, 200 records of ten copies each took 1.12
// times as long; 16384 gained nothing.
constexpr std::uint32_t max_jumps = 4096;
}  // namespace tuning

// Division of 32-bit numbers by a constant, exact: a shift when the constant
// is a power of two (as it is for DNA, of four symbols), else one multiplication.
class divider {
public:
    explicit divider(std::uint32_t d = 1)
        : m_((d & (d - 1)) == 0 ? 0 : ~std::uint64_t(0) / d + 1), shift_((d & (d - 1)) == 0 ? std::countr_zero(d) : 64) {}
    // x * ceil(2^64 / d) / 2^64 is off x / d by less than 2^-32 <= 1/d, too little to reach the next integer.
    std::uint32_t operator()(std::uint32_t x) const {
        return shift_ < 64 ? x >> shift_ : std::uint32_t((unsigned __int128)x * m_ >> 64);
    }

private:
    std::uint64_t m_;
    std::int32_t shift_;  // log2 d for a power of two, else 64
};

// Symbol codes 0 .. sigma-1 for the bytes that occur in the sequences, and keys.
struct alphabet {
    std::array<std::uint8_t, 256> code{};
    std::int32_t sigma = 0;
    std::int32_t k = 1;                       // symbols in a key: sigma^k fits in 32 bits
    std::array<std::uint32_t, 17> power{};    // sigma^d
    std::array<divider, 17> cut;              // cut[d](key): the key's first d symbols
    std::int64_t total = 0;                   // symbols in all the sequences
    explicit alphabet(const std::vector<std::string_view>& sequences);
    // Symbols in the windows of a record of n symbols (see tuning).
    std::int32_t span(std::int32_t n) const;
};

enum class index_path : std::uint8_t { chains, automaton };

// What every pair needs of one record; computed once per record. The arrays
// live in the arena given to index_record.
struct record_index {
    std::int32_t n = 0;
    index_path path = index_path::automaton;
    const std::uint8_t* text = nullptr;  // the sequence as symbol codes, text_pad zeros after
    const std::int32_t* lpf = nullptr;   // lpf[q]: longest prefix of text[q..] that also starts before q
    const std::int32_t* z = nullptr;     // z[x], x <= n: longest common prefix of text and text[x..] (index_starts)
    const std::uint32_t* key = nullptr;  // key[q]: text[q .. q+k), symbols past the end taken as 0
    std::int32_t count = 0;              // complexity of the sequence alone
    std::int32_t open = 0;               // start of the component still under way at its end (n if none)

    // Chains only (see the top of this file).
    std::int32_t span = 0;
    const std::int32_t* prev = nullptr;
    const std::int32_t* heads = nullptr;  // null unless kept
    const std::uint64_t* held = nullptr;  // kept with the heads
};

// Scratch space of one thread, reused from record to record.
struct workspace {
    automaton sam;
    page_array<std::int32_t> last;     // per window code: a head, 0 between records
    page_array<std::uint64_t> seen;    // per prefix of a window, a bit: whether it started yet
    page_array<std::uint8_t> depth;    // per prefix of a window: the most of its symbols the loaded record holds
    page_array<std::int32_t> heads;    // the loaded record's heads when it keeps none
    page_array<std::uint32_t> prefixes;  // the loaded record's prefix entries
};

// Fills `r` for `seq`, its arrays taken from `mem`, choosing its path. With
// `prefer` automaton the record takes that path whatever it holds (for tests).
void index_record(record_index& r, std::string_view seq, const alphabet& abc, workspace& work, arena& mem,
                  index_path prefer = index_path::chains);

// Fills r.z, which a row on the automaton path needs of every other record.
void index_starts(record_index& r, arena& mem);

// Bytes index_record, and index_starts, take from the arena for a record of n symbols.
std::size_t index_bytes(std::int32_t n, const alphabet& abc);
std::size_t starts_bytes(std::int32_t n);

// The parse of one record, saved at its end, resumed over any record behind it.
class first_sequence {
public:
    // `work` holds the loaded record's automaton or window table; it is the caller's, for reuse.
    explicit first_sequence(workspace& work);
    first_sequence(first_sequence&&) noexcept;
    ~first_sequence();
    void load(const record_index& a, const alphabet& abc);
    // Complexity of the loaded record followed by each of `bs`, into `counts`.
    void resume(std::span<const record_index* const> bs, std::int32_t* counts) const;
    std::int32_t resume(const record_index& b) const {
        const record_index* one = &b;
        std::int32_t count;
        resume({&one, 1}, &count);
        return count;
    }

private:
    struct rows;  // a row of each path
    std::unique_ptr<rows> rows_;
    const record_index* a_ = nullptr;
};

}  // namespace varnel
