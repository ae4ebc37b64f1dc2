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
// Copies inside A are found through A's windows (its substrings of a few
// symbols) chained by code, with a table per code of A's last window and per
// shorter prefix of how much of it A holds. A record whose windows repeat too
// much for that (runs, many copies) is searched through its suffix automaton.
#pragma once

#include <array>
#include <bit>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "complexity/automaton.h"
#include "base/memory.h"

namespace varnel {

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

// Symbol codes 0 .. sigma-1 for the bytes that occur in the sequences. A key
// is k symbols as a number in base sigma, the first symbol weighing most.
struct alphabet {
    std::array<std::uint8_t, 256> code{};
    std::int32_t sigma = 0;
    std::int32_t k = 1;                       // symbols in a key: sigma^k fits in 32 bits
    std::array<std::uint32_t, 17> power{};    // sigma^d
    std::array<divider, 17> cut;              // cut[d](key): the key's first d symbols
    std::int64_t total = 0;                   // symbols in all the sequences
    explicit alphabet(const std::vector<std::string_view>& sequences);
    // Symbols in the windows of a record of n symbols (see record_index): at
    // least one code per window, and more while a row's table costs little
    // beside the components the other records parse against it.
    std::int32_t span(std::int32_t n) const;
};

// What every pair needs of one record; computed once per record. The arrays
// live in the arena given to index_record.
struct record_index {
    std::int32_t n = 0;
    const std::uint8_t* text = nullptr;  // the sequence as symbol codes
    const std::int32_t* lpf = nullptr;   // lpf[q]: longest prefix of text[q..] that also starts before q
    const std::int32_t* z = nullptr;     // z[x], x <= n: longest common prefix of text and text[x..] (index_starts)
    const std::uint32_t* key = nullptr;  // key[q]: text[q .. q+k), symbols past the end taken as 0
    std::int32_t count = 0;              // complexity of the sequence alone
    std::int32_t open = 0;               // start of the component still under way at its end (n if none)

    // The record's windows text[i .. i+span), i <= n - span, chained by code
    // (the key's first span symbols): prev[i] is the window before i with the
    // same code, -1 if none. Null when the windows repeat so much that the
    // automaton is cheaper.
    std::int32_t span = 0;
    const std::int32_t* prev = nullptr;
    // Per code, 1 + the last window with it (bit 30 set if there are more), 0
    // if none; kept when there are few codes for the record's length, else
    // null and built when the record's row starts.
    const std::int32_t* heads = nullptr;
    // Kept with the heads: bit off[d] + c set where the record holds the d
    // symbols of code c, d < span, off[d] being the codes of fewer symbols.
    const std::uint64_t* held = nullptr;
};

// Scratch space of one thread, reused from record to record.
struct workspace {
    automaton sam;
    page_array<std::int32_t> last;     // per window code: a head as in record_index, 0 between records
    page_array<std::uint64_t> seen;    // per prefix of a window, a bit: whether it started yet
    page_array<std::uint8_t> depth;    // per prefix of a window: the most of its symbols the loaded record holds
    // The loaded record's heads when it keeps none (see record_index); per code
    // of span - 1 symbols, the most of its first symbols the loaded record holds
    // together (bits 0-7), and at bit 7 + d whether it ends with its first d.
    page_array<std::int32_t> heads;
    page_array<std::uint32_t> prefixes;
};

// Fills `r` for `seq`, its arrays taken from `mem`. With `chains` false the
// record is always searched through its automaton (for tests of that path).
void index_record(record_index& r, std::string_view seq, const alphabet& abc, workspace& work, arena& mem,
                  bool chains = true);

// Fills r.z, which the parse needs of every record that follows one without
// chains (see record_index::prev).
void index_starts(record_index& r, arena& mem);

// Bytes index_record, and index_starts, take from the arena for a record of n symbols.
std::size_t index_bytes(std::int32_t n, const alphabet& abc);
std::size_t starts_bytes(std::int32_t n);

// The parse of one record, saved at its end, resumed over any record behind it.
class first_sequence {
public:
    // `work` holds the loaded record's automaton or window table; it is the caller's, for reuse.
    explicit first_sequence(workspace& work) : work_(work) {}
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
    // A's count, and where in b the parse goes on, once A's open component has
    // been carried into b (b.n if that is the end).
    struct progress {
        std::int32_t q, count;
    };
    progress begin(const record_index& b) const;
    std::int32_t resume_in_automaton(const record_index& b) const;
    // How many symbols of the window code c A holds together (span if all),
    // which of its first d < span symbols A ends with (bit d - 1), and A's
    // head for code c (see record_index::heads).
    std::int32_t holds(std::uint32_t c, std::uint32_t& ends, std::int32_t& head) const;
    // Longest copy of b.text[q ..] that starts in A: inside it or running off
    // its end into B; c is B's window code at q.
    std::int32_t copy_from_a(const record_index& b, std::int32_t q, std::uint32_t c) const;
    // Longest copy of A[open ..) followed by B that starts before open.
    std::int32_t open_copy(const record_index& b) const;
    void fill_table();

    // Through the automaton, for a record without chains.
    std::int32_t extend(std::uint32_t v, const record_index& b, std::int32_t from, std::int32_t d, std::int32_t& cross) const;
    std::int32_t match(const record_index& b, std::int32_t q, std::int32_t& cross) const;
    void fill_jumps(std::uint32_t entry, std::int32_t depth, std::uint32_t code, std::uint32_t ends);

    // Where the walk from the root over one jump_k-symbol key prefix ends in A's automaton.
    struct jump {
        std::uint32_t entry;          // transition entry reached (root if none)
        std::uint8_t depth;           // symbols matched, jump_k when all
        std::uint8_t suffix_depths;   // bit d-1: the first d symbols are a suffix of A
    };

    workspace& work_;
    const record_index* a_ = nullptr;
    const alphabet* abc_ = nullptr;
    std::vector<jump> jumps_;
    std::int32_t jump_k_ = 1;
    divider window_, jump_cut_;  // a key's first a.span, first jump_k_ symbols
    divider shorter_;            // a window code's first span - 1 symbols
    const std::int32_t* heads_ = nullptr;      // A's heads and prefixes, its own or built in work_
    const std::uint32_t* prefixes_ = nullptr;
    std::uint32_t open_state_ = automaton::root;  // transition entry of A[a.open ..)
};

}  // namespace varnel
